// Stored forms of the socket family, where the order of assignment or a
// derived property decides what a form gives back.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "kwinet/core/DateTime.h"
#include "kwinet/design/KwInetClasses.h"
#include "kwinet/socket/KwISMTP.h"
#include "kwinet/socket/KwWhoIs.h"
#include "kwinet/storage/FormStream.h"

namespace kwinet {
namespace {

class SocketForms : public ::testing::Test {
 protected:
  void SetUp() override { RegisterKwInetClasses(); }

  template <class C>
  static C* Child(const std::unique_ptr<TComponent>& form, const String& name) {
    auto* c = dynamic_cast<C*>(form->FindComponent(name));
    EXPECT_NE(c, nullptr) << StringToUtf8(name);
    return c;
  }
};

// The domain picks its server from the table the component was made with:
// the stored table is assigned after it, whichever comes first in the text.
TEST_F(SocketForms, WhoisDomainIsAssignedBeforeServerList) {
  const std::string domainFirst =
      "object Form1: TForm\n"
      "  object Who: TKwWhoIs\n"
      "    Domain = 'example.com'\n"
      "    ServerList.Strings = (\n"
      "      '*=fallback.example'\n"
      "      'com=whois.example')\n"
      "  end\n"
      "end\n";
  const std::string listFirst =
      "object Form1: TForm\n"
      "  object Who: TKwWhoIs\n"
      "    ServerList.Strings = (\n"
      "      '*=fallback.example'\n"
      "      'com=whois.example')\n"
      "    Domain = 'example.com'\n"
      "  end\n"
      "end\n";
  auto a = ReadComponentText(domainFirst);
  auto b = ReadComponentText(listFirst);
  EXPECT_EQ(WriteComponentText(a.get()), WriteComponentText(b.get()));

  TKwWhoIs fresh(nullptr);
  fresh.SetDomain(u"example.com");
  for (auto* form : {&a, &b}) {
    TKwWhoIs* who = Child<TKwWhoIs>(*form, u"Who");
    ASSERT_NE(who, nullptr);
    EXPECT_EQ(StringToUtf8(who->Host()), StringToUtf8(fresh.Host()));
    ASSERT_EQ(who->ServerList()->Count(), 2);
    EXPECT_EQ(StringToUtf8(who->ServerList()->Strings(1)), "com=whois.example");
  }
}

// A mail job as a user writes it by hand: addresses given by their Text
// alone, the body as lines, no Date (the mail is dated when the form is
// read, and that date is not written back).
TEST_F(SocketForms, HandWrittenMailLoads) {
  const std::string text =
      "object Form1: TForm\n"
      "  object Mail: TKwISMTP\n"
      "    Host = 'localhost'\n"
      "    Subject = 'Nightly report'\n"
      "    Body.Strings = (\n"
      "      'All jobs ran.'\n"
      "      '')\n"
      "    From.Text = 'Cron <cron@example.org>'\n"
      "    Recipients = <\n"
      "      item\n"
      "        Text = '\"Ops, night\" <ops@example.org>'\n"
      "      end\n"
      "      item\n"
      "        Address = 'jb'\n"
      "        Name = 'JB'\n"
      "      end>\n"
      "    Priority = spHigh\n"
      "    Login.UserID = 'cron'\n"
      "    Login.UseLogin = True\n"
      "  end\n"
      "end\n";
  const TDateTime before = Now();
  auto form = ReadComponentText(text);
  TKwISMTP* mail = Child<TKwISMTP>(form, u"Mail");
  ASSERT_NE(mail, nullptr);
  EXPECT_EQ(StringToUtf8(mail->From()->Address()), "cron@example.org");
  ASSERT_EQ(mail->Recipients()->Count(), 2);
  EXPECT_EQ(StringToUtf8(mail->Recipients()->GetItem(0)->Address()), "ops@example.org");
  EXPECT_EQ(StringToUtf8(mail->Recipients()->GetItem(0)->Name()), "Ops, night");
  ASSERT_EQ(mail->Body()->Count(), 2);
  EXPECT_EQ(StringToUtf8(mail->Body()->Strings(0)), "All jobs ran.");
  EXPECT_EQ(mail->Priority(), spHigh);
  EXPECT_TRUE(mail->Login()->UseLogin());
  EXPECT_GE(mail->Date(), before);
  EXPECT_LE(mail->Date(), Now());

  // Written and read again: no Date appears, and a name that differs from
  // its address only in case survives although its Text is the address.
  const std::string written = WriteComponentText(form.get());
  EXPECT_EQ(written.find("Date"), std::string::npos) << written;
  auto again = ReadComponentText(written);
  TKwISMTP* copy = Child<TKwISMTP>(again, u"Mail");
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->Recipients()->Count(), 2);
  EXPECT_EQ(StringToUtf8(copy->Recipients()->GetItem(1)->Name()), "JB");
  EXPECT_EQ(StringToUtf8(copy->Recipients()->GetItem(1)->Address()), "jb");
  EXPECT_EQ(WriteComponentText(again.get()), written);
}

TEST_F(SocketForms, AboutIsNeverStoredAndTheBaseIsNoComponent) {
  auto form = ReadComponentText(
      "object Form1: TForm\n"
      "  object Who: TKwWhoIs\n"
      "    About = 'anything'\n"
      "  end\n"
      "end\n");
  TKwWhoIs* who = Child<TKwWhoIs>(form, u"Who");
  ASSERT_NE(who, nullptr);
  EXPECT_TRUE(who->About().empty());
  EXPECT_EQ(WriteComponentText(form.get()).find("About"), std::string::npos);

  EXPECT_THROW(ReadComponentText("object Form1: TForm\n"
                                 "  object Base: TKwInetBase\n"
                                 "  end\n"
                                 "end\n"),
               Exception);
}

}  // namespace
}  // namespace kwinet
