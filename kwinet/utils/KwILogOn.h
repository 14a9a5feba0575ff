/// @file
/// The logon prompt: a modal dialog asking for a user name and a password,
/// used for proxy and server authorization.
#pragma once

#include "kwinet/core/Forms.h"

namespace kwinet {

class TfrmKwILogon : public TCustomForm {
 public:
  explicit TfrmKwILogon(TComponent* AOwner);

  TLabel* lblLogin;
  TLabel* lblPassword;
  TBevel* bvlButtons;
  TImage* imgKey;
  TEdit* edLogin;
  TEdit* edPassword;
  TButton* btnOk;
  TButton* btnCancel;
};

/// Shows the prompt with Caption (the dialog keeps "Enter Password" when
/// Caption is empty) and Login and Password as the boxes' texts. OK stores
/// the boxes' texts into Login and Password and returns true; anything else
/// leaves them as they were and returns false.
bool KwInAskLogon(const String& Caption, String& Login, String& Password);

}  // namespace kwinet
