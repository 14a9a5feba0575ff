/// @file
/// The logon prompt: a modal dialog asking for a user name and a password,
/// used for proxy and server authorization.
#pragma once

#include "kwinet/core/Forms.h"

namespace kwinet {

/// The logon prompt's form: a user name, a masked password, OK and Cancel.
class TfrmKwILogon : public TCustomForm {
 public:
  /// Creates the form and its controls.
  explicit TfrmKwILogon(TComponent* AOwner);

  ///@{
  /// The form's controls, made by the constructor and owned by the form.
  TLabel* lblLogin;
  TLabel* lblPassword;
  TBevel* bvlButtons;
  TImage* imgKey;
  TEdit* edLogin;
  TEdit* edPassword;
  TButton* btnOk;
  TButton* btnCancel;
  ///@}
};

/// Shows the prompt with Caption (the dialog keeps "Enter Password" when
/// Caption is empty) and Login and Password as the boxes' texts. OK stores
/// the boxes' texts into Login and Password and returns true; anything else
/// leaves them as they were and returns false.
bool KwInAskLogon(const String& Caption, String& Login, String& Password);

}  // namespace kwinet
