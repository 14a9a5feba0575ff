#include <gtest/gtest.h>

#include "kwinet/ui/ScriptedBackend.h"
#include "kwinet/utils/KwILogOn.h"
#include "kwinet/utils/KwInCnst.h"

using namespace kwinet;

namespace {

TModalResult Confirm(TCustomForm& f, const String& login, const String& password) {
  auto& form = dynamic_cast<TfrmKwILogon&>(f);
  form.edLogin->SetText(login);
  form.edPassword->SetText(password);
  form.btnOk->Click();
  return form.ModalResult();
}

}  // namespace

TEST(Logon, OkWithBothBoxesEmptiedReturnsEmptyValues) {
  TBackendScope<TScriptedBackend> ui;
  ui->QueueModal([](TCustomForm& f) { return Confirm(f, u"", u""); });
  String login = u"bob", password = u"secret";
  EXPECT_TRUE(KwInAskLogon(u"Proxy Server authorization", login, password));
  EXPECT_EQ(login, u"");
  EXPECT_EQ(password, u"");
  ASSERT_EQ(ui->ModalForms.size(), 1u);
  EXPECT_EQ(ui->ModalForms[0].Caption, u"Proxy Server authorization");
  // The prompt showed the caller's values, the password masked.
  EXPECT_EQ(ui->ModalForms[0].Text(u"edLogin"), u"bob");
  EXPECT_EQ(ui->ModalForms[0].Text(u"edPassword"), u"******");
}

TEST(Logon, CancelKeepsTheCallersValuesAndEmptyCaptionKeepsTheDefault) {
  TBackendScope<TScriptedBackend> ui;
  ui->QueueModal([](TCustomForm& f) {
    auto& form = dynamic_cast<TfrmKwILogon&>(f);
    form.edLogin->SetText(u"changed");
    form.btnCancel->Click();
    return form.ModalResult();
  });
  String login = u"bob", password = u"pw";
  EXPECT_FALSE(KwInAskLogon(u"", login, password));
  EXPECT_EQ(login, u"bob");
  EXPECT_EQ(password, u"pw");
  EXPECT_EQ(ui->ModalForms.at(0).Caption, u"Enter Password");
  // The default backend answers Cancel too (the scope above puts the
  // previous backend back).
  Application->SetBackend(nullptr);
  EXPECT_FALSE(KwInAskLogon(u"x", login, password));
}

TEST(Logon, OkStoresTheTypedValues) {
  TBackendScope<TScriptedBackend> ui;
  ui->QueueModal([](TCustomForm& f) { return Confirm(f, u"alice", u"pa ss"); });
  String login, password;
  EXPECT_TRUE(KwInAskLogon(u"HTTP Server authorization", login, password));
  EXPECT_EQ(login, u"alice");
  EXPECT_EQ(password, u"pa ss");
}

TEST(Logon, TheFormHasItsDesignedLayout) {
  TfrmKwILogon form(nullptr);
  EXPECT_EQ(form.Caption(), u"Enter Password");
  EXPECT_EQ(form.ClientWidth(), 305);
  EXPECT_EQ(form.ClientHeight(), 105);
  EXPECT_EQ(form.BorderStyle(), bsDialog);
  struct Expect {
    const char16_t* name;
    int left, top, width, height;
  } layout[] = {{u"lblLogin", 48, 12, 88, 13},  {u"lblPassword", 16, 37, 120, 13}, {u"bvlButtons", 8, 64, 289, 17},
                {u"imgKey", 16, 8, 24, 24},     {u"edLogin", 144, 8, 150, 21},     {u"edPassword", 144, 32, 150, 21},
                {u"btnOk", 139, 72, 75, 25},    {u"btnCancel", 219, 72, 75, 25}};
  ASSERT_EQ(form.Controls().size(), std::size(layout));
  for (std::size_t i = 0; i < std::size(layout); ++i) {
    TControl* c = form.Controls()[i];  // creation order
    EXPECT_EQ(c->Name(), layout[i].name);
    EXPECT_EQ(c->Left(), layout[i].left);
    EXPECT_EQ(c->Top(), layout[i].top);
    EXPECT_EQ(c->Width(), layout[i].width);
    EXPECT_EQ(c->Height(), layout[i].height);
  }
  auto tab = form.TabOrderList();
  ASSERT_EQ(tab.size(), 4u);
  EXPECT_EQ(tab[0], form.edLogin);
  EXPECT_EQ(tab[1], form.edPassword);
  EXPECT_EQ(tab[2], form.btnOk);
  EXPECT_EQ(tab[3], form.btnCancel);
  EXPECT_EQ(form.DefaultButton(), form.btnOk);
  EXPECT_EQ(form.CancelButton(), form.btnCancel);
  EXPECT_EQ(form.btnOk->Caption(), u"&OK");
  EXPECT_EQ(form.lblPassword->Caption(), u"Password:");
  EXPECT_NE(form.edPassword->PasswordChar(), 0);
}

TEST(Messages, AreWritableAndReadAtTheMomentOfUse) {
  EXPECT_EQ(strKwInProgress, u"Downloaded %d of %d bytes (%d%%)");
  EXPECT_EQ(strKwInEHost, u"Host/Address is not defined.");
  const String saved = strKwInEHost;
  strKwInEHost = u"Kein Server angegeben.";
  EXPECT_EQ(strKwInEHost, u"Kein Server angegeben.");
  strKwInEHost = saved;
}
