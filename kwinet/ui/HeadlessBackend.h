// The default backend: shows nothing. A modal form answers Cancel, and a
// message box writes one line to standard error and takes the answer that
// consents to nothing.
#pragma once

#include "kwinet/core/Application.h"

namespace kwinet {

class THeadlessBackend : public TUIBackend {
 public:
  TModalResult ShowModal(TCustomForm& Form) override;
  int MessageBox(const String& Text, const String& Caption, int Flags) override;
};

}  // namespace kwinet
