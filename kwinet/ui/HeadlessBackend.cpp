#include "kwinet/ui/HeadlessBackend.h"

#include <cstdio>

namespace kwinet {

TModalResult THeadlessBackend::ShowModal(TCustomForm&) { return mrCancel; }

int THeadlessBackend::MessageBox(const String& Text, const String& Caption, int Flags) {
  std::string line = StringToUtf8(Caption.empty() ? Text : Caption + u": " + Text);
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  std::fprintf(stderr, "%s\n", line.c_str());
  if ((Flags & 0x0F) == MB_YESNO) return IDNO;
  if ((Flags & 0x0F) == MB_OKCANCEL) return IDCANCEL;
  return IDOK;
}

}  // namespace kwinet
