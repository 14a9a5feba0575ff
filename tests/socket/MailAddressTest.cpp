#include <gtest/gtest.h>

#include "kwinet/socket/KwISMTP.h"

using namespace kwinet;

TEST(MailAddress, ParsingAndFormatting) {
  struct Case {
    const char16_t* text;
    const char16_t* name;
    const char16_t* address;
    const char16_t* readBack;
  } cases[] = {
      {u"John Brown <jbrown>", u"John Brown", u"jbrown", u"John Brown <jbrown>"},
      {u"jbrown (John Brown)", u"John Brown", u"jbrown", u"John Brown <jbrown>"},
      {u"\"'Brown, John'\" <jb>", u"Brown, John", u"jb", u"Brown, John <jb>"},
      {u"plainbox", u"", u"plainbox", u"plainbox"},
      {u" spaced ", u"", u" spaced ", u" spaced "},  // a bare address is taken as it is
      {u"Joe >", u"", u"", u""},
      {u"Joe )", u"", u"", u""},
      {u"  Ann  <  ann@x  >", u"Ann", u"ann@x", u"Ann <ann@x>"},
      {u"\"\" <e>", u"", u"e", u"e"},                 // a name of two quotes becomes empty
      {u"\"a' <e>", u"\"a'", u"e", u"\"a' <e>"},       // mismatched quotes stay
      {u"<only>", u"", u"only", u"only"},
      {u"", u"", u"", u""},
  };
  TKwIEMailAddresses list(nullptr);
  TKwIEMailAddress* a = list.Add();
  for (const auto& c : cases) {
    a->SetText(c.text);
    EXPECT_EQ(a->Name(), c.name) << StringToUtf8(c.text);
    EXPECT_EQ(a->Address(), c.address) << StringToUtf8(c.text);
    EXPECT_EQ(a->Text(), c.readBack) << StringToUtf8(c.text);
  }
  a->SetAddress(u"joe");
  a->SetName(u"JOE");
  EXPECT_EQ(a->Text(), u"joe");
  a->SetName(u"joe");
  EXPECT_EQ(a->Text(), u"joe <joe>");
}

TEST(MailAddresses, SplittingAndJoining) {
  TComponent owner(nullptr);
  TKwIEMailAddresses list(&owner);
  EXPECT_EQ(list.Owner(), &owner);
  list.SetEMailAddresses(u"\"Brown, John\" <jb>, ann,,");
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0)->Name(), u"Brown, John");
  EXPECT_EQ(list.EMailAddresses(), u"Brown, John <jb>, ann");
  // Only the first quoted stretch of a piece protects its commas.
  list.SetEMailAddresses(u"\"a\" \"b,c\" <x>");
  EXPECT_EQ(list.Count(), 2);
  list.SetEMailAddresses(u"");
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.EMailAddresses(), u"");
  list.SetEMailAddresses(u"a <a@x>; b");
  TStringList lines;
  lines.Add(u"kept");
  list.FillTStrings(lines);
  EXPECT_EQ(lines.Count(), 2);
  EXPECT_EQ(lines[1], u"a <a@x>; b");  // only commas split; the rest is one piece ending in "b"
}

TEST(MailAttachment, NameTypeAndAssign) {
  TKwIEMailAttachments list(nullptr);
  TKwIEMailAttachment* a = list.Add();
  a->SetFileName(u"D:\\data\\report.pdf");
  EXPECT_EQ(a->GetAttachmentName(), u"report.pdf");
  a->SetFileName(u"/home/u/notes.txt");
  EXPECT_EQ(a->GetAttachmentName(), u"notes.txt");
  a->SetAttachmentName(u"Shown.txt");
  EXPECT_EQ(a->GetAttachmentName(), u"Shown.txt");
  a->SetFileName(u"/tmp/no-extension");
  a->DetectContentType();
  EXPECT_EQ(a->ContentType(), u"application/octet-stream");
  a->SetEncoding(u"base64");
  TKwIEMailAttachment* b = list.Add();
  b->Assign(a);
  EXPECT_EQ(b->FileName(), a->FileName());
  EXPECT_EQ(b->Encoding(), u"base64");
  EXPECT_EQ(b->AttachmentName(), u"Shown.txt");

  TKwILogin login, copy;
  login.SetUserID(u"u");
  login.SetPassword(u"p");
  login.SetUseLogin(true);
  copy.Assign(&login);
  EXPECT_TRUE(copy.UseLogin());
  EXPECT_EQ(copy.Password(), u"p");
  EXPECT_THROW(copy.Assign(b), EConvertError);
}
