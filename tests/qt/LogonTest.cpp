// The logon prompt through the Qt backend as a person uses it: typing into
// both boxes and Enter hands the credentials to the caller, Escape leaves
// them as they were, and the password is never shown.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>
#include <QTest>

#include "QtTestSupport.h"
#include "kwinet/ui/ScriptedBackend.h"
#include "kwinet/ui/qt/QtBackend.h"
#include "kwinet/utils/KwILogOn.h"

namespace kwinet {
namespace {

using test::WhenModal;

constexpr char kSecret[] = "Tr0ub4dor&3";

class QtLogonTest : public ::testing::Test {
 protected:
  TBackendScope<TQtBackend> ui;
};

TEST_F(QtLogonTest, TypingAndEnterGiveTheCredentials) {
  bool looked = false;
  WhenModal([&](QWidget* w) {
    looked = true;
    auto* login = w->findChild<QLineEdit*>("edLogin");
    auto* password = w->findChild<QLineEdit*>("edPassword");
    ASSERT_TRUE(login && password);
    EXPECT_EQ(w->windowTitle(), "Log on to proxy");
    QTest::keyClicks(login, "alice");
    // Tab moves on to the password box, as the model's tab order says.
    QTest::keyClick(login, Qt::Key_Tab);
    EXPECT_EQ(w->focusWidget(), password);
    QTest::keyClicks(password, kSecret);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    for (const QString& text : test::ShownTexts(w))
      EXPECT_FALSE(text.contains(kSecret) || text.contains("Tr0ub")) << text.toStdString();
    QTest::keyClick(password, Qt::Key_Return);
  });
  String login, password;
  EXPECT_TRUE(KwInAskLogon(u"Log on to proxy", login, password));
  EXPECT_TRUE(looked);
  EXPECT_EQ(login, u"alice");
  EXPECT_EQ(password, Utf8ToString(kSecret));
}

// What a person has typed stays through any change of the model while the
// dialog is open, and is the model's at once; a new text the program gives
// a box is shown.
TEST_F(QtLogonTest, TypedTextSurvivesAModelChange) {
  TfrmKwILogon form(nullptr);
  form.SetCaption(u"Log on to 127.0.0.1");
  form.edLogin->SetText(u"bob");
  bool looked = false;
  WhenModal([&](QWidget* w) {
    looked = true;
    auto* login = w->findChild<QLineEdit*>("edLogin");
    auto* password = w->findChild<QLineEdit*>("edPassword");
    ASSERT_TRUE(login && password);
    login->selectAll();
    QTest::keyClicks(login, "alice");
    QTest::keyClick(login, Qt::Key_Tab);
    QTest::keyClicks(password, "half");
    EXPECT_EQ(form.edLogin->Text(), u"alice");
    EXPECT_EQ(form.edPassword->Text(), u"half");
    // Other controls change, more than once, and the dialog is redrawn.
    form.SetCaption(u"Log on to 127.0.0.1 again");
    form.btnOk->SetEnabled(false);
    form.btnOk->SetEnabled(true);
    form.lblLogin->SetCaption(u"&User name:");
    QTest::qWait(100);
    EXPECT_EQ(w->windowTitle(), "Log on to 127.0.0.1 again");
    EXPECT_EQ(login->text(), "alice");
    EXPECT_EQ(password->text(), "half");
    QTest::keyClicks(password, "-done");
    // The program's own new text for a box is shown.
    form.edLogin->SetText(u"carol");
    QTest::qWait(100);
    EXPECT_EQ(login->text(), "carol");
    EXPECT_EQ(password->text(), "half-done");
    QTest::keyClick(password, Qt::Key_Return);
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_TRUE(looked);
  EXPECT_EQ(form.edLogin->Text(), u"carol");
  EXPECT_EQ(form.edPassword->Text(), u"half-done");
}

TEST_F(QtLogonTest, EscapeCancelsAndLeavesTheCredentials) {
  // By key, and by the window's close box.
  for (bool byKey : {true, false}) {
    SCOPED_TRACE(byKey ? "Escape" : "close box");
    WhenModal([&](QWidget* w) {
      auto* login = w->findChild<QLineEdit*>("edLogin");
      auto* password = w->findChild<QLineEdit*>("edPassword");
      ASSERT_TRUE(login && password);
      // What the caller gave is offered, the password masked.
      EXPECT_EQ(login->text(), "bob");
      EXPECT_NE(password->displayText(), "old");
      QTest::keyClicks(login, "by");
      QTest::keyClicks(password, "typed");
      if (byKey)
        QTest::keyClick(password, Qt::Key_Escape);
      else
        w->close();
    });
    String login = u"bob", password = u"old";
    EXPECT_FALSE(KwInAskLogon(String(), login, password));
    EXPECT_EQ(login, u"bob");
    EXPECT_EQ(password, u"old");
  }
}

}  // namespace
}  // namespace kwinet
