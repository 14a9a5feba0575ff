#include "kwinet/utils/KwILogOn.h"

#include <memory>

namespace kwinet {

namespace {
template <typename T>
T* MakeControl(TCustomForm* form, const char16_t* name, int left, int top, int width, int height) {
  auto* c = new T(form);  // owned by the form
  c->SetName(name);
  c->SetBounds(left, top, width, height);
  return c;
}
}  // namespace

TfrmKwILogon::TfrmKwILogon(TComponent* AOwner) : TCustomForm(AOwner) {
  SetName(u"frmKwILogon");
  SetCaption(u"Enter Password");
  SetBorderStyle(bsDialog);
  SetPosition(poDesigned);
  SetLeft(200);
  SetTop(108);
  SetClientWidth(305);
  SetClientHeight(105);
  SetFontHeight(11);

  lblLogin = MakeControl<TLabel>(this, u"lblLogin", 48, 12, 88, 13);
  lblLogin->SetCaption(u"User ID:");
  lblLogin->SetAlignment(taRightJustify);
  lblLogin->SetAutoSize(false);
  lblLogin->SetTransparent(true);

  lblPassword = MakeControl<TLabel>(this, u"lblPassword", 16, 37, 120, 13);
  lblPassword->SetCaption(u"Password:");
  lblPassword->SetAlignment(taRightJustify);
  lblPassword->SetAutoSize(false);
  lblPassword->SetTransparent(true);

  bvlButtons = MakeControl<TBevel>(this, u"bvlButtons", 8, 64, 289, 17);
  bvlButtons->SetShape(bsTopLine);

  imgKey = MakeControl<TImage>(this, u"imgKey", 16, 8, 24, 24);
  imgKey->SetAutoSize(true);
  imgKey->SetTransparent(true);
  imgKey->SetPicture(u"key.png");

  edLogin = MakeControl<TEdit>(this, u"edLogin", 144, 8, 150, 21);
  edLogin->SetTabOrder(0);

  edPassword = MakeControl<TEdit>(this, u"edPassword", 144, 32, 150, 21);
  edPassword->SetTabOrder(1);
  // Never show a password as typed.
  edPassword->SetPasswordChar(u'*');

  btnOk = MakeControl<TButton>(this, u"btnOk", 139, 72, 75, 25);
  btnOk->SetCaption(u"&OK");
  btnOk->SetDefault(true);
  btnOk->SetModalResult(mrOk);
  btnOk->SetTabOrder(2);

  btnCancel = MakeControl<TButton>(this, u"btnCancel", 219, 72, 75, 25);
  btnCancel->SetCaption(u"&Cancel");
  btnCancel->SetCancel(true);
  btnCancel->SetModalResult(mrCancel);
  btnCancel->SetTabOrder(3);

  lblLogin->SetFocusControl(edLogin);
  lblPassword->SetFocusControl(edPassword);
}

bool KwInAskLogon(const String& Caption, String& Login, String& Password) {
  // Freed on every path, also when the backend raises.
  auto form = std::make_unique<TfrmKwILogon>(nullptr);
  if (!Caption.empty()) form->SetCaption(Caption);
  form->edLogin->SetText(Login);
  form->edPassword->SetText(Password);
  if (form->ShowModal() != mrOk) return false;
  Login = form->edLogin->Text();
  Password = form->edPassword->Text();
  return true;
}

}  // namespace kwinet
