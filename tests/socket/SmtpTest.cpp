#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <regex>
#include <set>

#include "kwinet/socket/KwISMTP.h"
#include "kwinet/socket/TlsTransport.h"
#include "kwinet/utils/kwiutil.h"
#include "peers/FakeServer.h"
#include "peers/SmtpServer.h"

using namespace kwinet;
using kwinet::test::FakeConnection;
using kwinet::test::FakeServer;

namespace {

// An SMTP dialogue in process: answers every command and keeps the message.
struct FakeSmtpOptions {
  bool RefuseEhlo = false;
  std::set<std::string> RefusedRecipients;
  std::string QuitReply = "221 Bye\r\n";  // empty: the connection is closed without a word
};

FakeServer::ConnectionHandler FakeSmtp(FakeSmtpOptions options = {}) {
  return [options](FakeConnection& c) {
    c.Send("220 fake.test ESMTP\r\n");
    int authStep = 0;
    for (;;) {
      if (!c.ReadUntil("\r\n")) return;
      const std::size_t eol = c.Data().find("\r\n");
      const std::string line = c.Data().substr(0, eol);
      c.Consume(eol + 2);
      std::string verb = line.substr(0, line.find(' '));
      for (auto& ch : verb) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      if (authStep == 1 || authStep == 2) {
        c.Send(authStep++ == 1 ? "334 UGFzc3dvcmQ6\r\n" : "235 2.7.0 Authentication successful\r\n");
      } else if (verb == "EHLO") {
        c.Send(options.RefuseEhlo ? "500 5.5.1 Unknown command\r\n"
                                  : "250-fake.test\r\n250-AUTH LOGIN\r\n250 8BITMIME\r\n");
      } else if (verb == "HELO" || verb == "RSET" || verb == "MAIL") {
        c.Send("250 OK\r\n");
      } else if (verb == "AUTH") {
        authStep = 1;
        c.Send("334 VXNlcm5hbWU6\r\n");
      } else if (verb == "RCPT") {
        const std::string address = line.substr(line.find('<') + 1, line.find('>') - line.find('<') - 1);
        c.Send(options.RefusedRecipients.count(address) ? "550 5.1.1 <" + address + ">: no such user\r\n"
                                                        : "250 OK\r\n");
      } else if (verb == "DATA") {
        c.Send("354 End data with <CR><LF>.<CR><LF>\r\n");
        if (!c.ReadUntil("\r\n.\r\n")) return;
        c.Consume(c.Data().find("\r\n.\r\n") + 5);
        c.Send("250 2.0.0 Ok: queued\r\n");
      } else if (verb == "QUIT") {
        if (!options.QuitReply.empty()) c.Send(options.QuitReply);
        return;
      } else {
        c.Send("502 5.5.2 Error: command not recognized\r\n");
      }
    }
  };
}

std::unique_ptr<TKwISMTP> MakeMailer(int port) {
  auto smtp = std::make_unique<TKwISMTP>(nullptr);
  smtp->SetHost(u"127.0.0.1");
  smtp->SetPort(port);
  smtp->SetTimeout(5000);
  smtp->From()->SetText(u"Sender <sender@test.invalid>");
  smtp->SetDate(EncodeDate(2026, 3, 6) + EncodeTime(9, 5, 7, 0));
  return smtp;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0, eol;
  while ((eol = text.find("\r\n", start)) != std::string::npos) {
    out.push_back(text.substr(start, eol - start));
    start = eol + 2;
  }
  if (start < text.size()) out.push_back(text.substr(start));
  return out;
}

}  // namespace

TEST(SmtpFormat, DatesZonesAndIdentifiers) {
  const TDateTime d = EncodeDate(2026, 3, 6) + EncodeTime(9, 5, 7, 0);
  EXPECT_EQ(TKwISMTP::EMailFormatDate(d, {-60, false}), u"Fri, 6 Mar 2026 09:05:07 +0100");
  EXPECT_EQ(TKwISMTP::EMailFormatDate(d, {330, false}), u"Fri, 6 Mar 2026 09:05:07 -0530");
  EXPECT_EQ(TKwISMTP::EMailFormatDate(d, {0, false}), u"Fri, 6 Mar 2026 09:05:07 GMT");
  EXPECT_EQ(TKwISMTP::LeadZero(7, 2), u"07");
  EXPECT_EQ(TKwISMTP::LeadZero(123, 2), u"123");
  const std::string id = StringToUtf8(TKwISMTP::UniqueMessageID(u"host"));
  EXPECT_TRUE(std::regex_match(id, std::regex("<[0-9]{12}[a-t]{8}@host>"))) << id;
}

TEST(SmtpFormat, EncodersKeepLinesShortAndSafe) {
  std::string qp = EncodeQuotedPrintable("caf\xC3\xA9 = ok \r\n" + std::string(100, 'x') + "\t");
  for (const auto& line : Lines(qp)) EXPECT_LE(line.size(), 76u) << line;
  EXPECT_EQ(Lines(qp)[0], "caf=C3=A9 =3D ok=20");  // a blank before a line end is encoded
  EXPECT_EQ(qp.substr(qp.size() - 3), "=09");
  std::string b64 = EncodeBase64Lines(std::string(100, '\xFF'));
  EXPECT_EQ(Lines(b64)[0].size(), 76u);
  EXPECT_EQ(EncodeHeaderText(u"plain"), "plain");
  EXPECT_EQ(EncodeHeaderText(u"caf\u00E9"), "=?utf-8?B?Y2Fmw6k=?=");
  std::string folded = EncodeHeaderText(String(40, u'\u00E9'));  // 80 bytes: two words
  EXPECT_NE(folded.find("?=\r\n =?utf-8?B?"), std::string::npos);
  EXPECT_EQ(DoubleLeadingDots(".a\r\nb\r\n.\r\n..c"), "..a\r\nb\r\n..\r\n...c");
}

TEST(SmtpDialogue, CommandsAndMessageOnTheWire) {
  FakeServer server(FakeSmtp({/*RefuseEhlo=*/true, {}}));
  auto smtp = MakeMailer(server.Port());
  smtp->Recipients()->SetEMailAddresses(u"x@test.invalid");
  smtp->CC()->SetEMailAddresses(u"Why <y@test.invalid>");
  smtp->BCC()->SetEMailAddresses(u"z@test.invalid");
  smtp->ReplyTo()->SetEMailAddresses(u"r1@test.invalid, R2 <r2@test.invalid>");
  smtp->Login()->SetUseLogin(true);
  smtp->Login()->SetUserID(u"user");
  smtp->Login()->SetPassword(u"p\u00E4ss");
  smtp->SetAllowPlainAuth(true);  // the fake server speaks no TLS
  smtp->Body()->SetText(u"Hello\r\n.\r\n.hidden\r\nend");
  EXPECT_EQ(smtp->Execute(), u"");
  ASSERT_TRUE(server.WaitForConnections(1));
  const auto lines = Lines(server.Received(0));
  ASSERT_GE(lines.size(), 10u);
  EXPECT_EQ(lines[0].substr(0, 5), "EHLO ");
  EXPECT_EQ(lines[1].substr(0, 5), "HELO ");  // after EHLO was refused
  const std::vector<std::string> envelope(lines.begin() + 2, lines.begin() + 11);
  EXPECT_EQ(envelope, (std::vector<std::string>{
                          "RSET", "auth LOGIN", "dXNlcg==", "cMOkc3M=", "MAIL FROM:<sender@test.invalid>",
                          "RCPT TO:<x@test.invalid>", "RCPT TO:<y@test.invalid>", "RCPT TO:<z@test.invalid>", "DATA"}));
  std::vector<std::string> message(lines.begin() + 11, lines.end());
  ASSERT_GE(message.size(), 16u);
  EXPECT_EQ(message[0].substr(0, 13), "Message-Id: <");
  EXPECT_EQ(message[1], "Reply-To: <r1@test.invalid>");
  EXPECT_EQ(message[2], "Reply-To: <r2@test.invalid>");
  EXPECT_EQ(message[3].substr(0, 27), "Date: Fri, 6 Mar 2026 09:05");
  EXPECT_EQ(message[4], "From: Sender <sender@test.invalid>");
  EXPECT_EQ(message[5], "To: x@test.invalid");
  EXPECT_EQ(message[6], "Cc: Why <y@test.invalid>");
  EXPECT_EQ(message[7], "X-Priority: 3");
  EXPECT_EQ(message[8].substr(0, 28), "X-Mailer: Moravelle mailer (");
  EXPECT_EQ(message[9], "MIME-Version: 1.0");
  EXPECT_EQ(message[10], "Content-Type: Text/Plain; charset=us-ascii");
  EXPECT_EQ(message[11], "Content-Transfer-Encoding: 7bit");
  EXPECT_EQ(message[12], "");
  // Lines that begin with a dot travel with the dot doubled.
  EXPECT_EQ(std::vector<std::string>(message.begin() + 13, message.begin() + 17),
            (std::vector<std::string>{"Hello", "..", "..hidden", "end"}));
  EXPECT_EQ(message[17], "");
  EXPECT_EQ(message[18], ".");
  EXPECT_EQ(message.at(19), "QUIT");
  EXPECT_EQ(server.Received(0).find("z@test.invalid", server.Received(0).find("DATA")), std::string::npos)
      << "the blind copy must not appear in the message";
}

// A login on a connection without TLS would show the password to anyone on
// the way: it is refused before any of it is sent, unless AllowPlainAuth
// says otherwise. What counts is the connection itself: one kept open from
// before UseTLS was set is no protection.
TEST(SmtpDialogue, LoginWithoutTlsIsRefusedBeforeAnyCredentialUnlessAllowed) {
  const std::string refusal =
      "The message was not sent: logging in without TLS would send the password readable to anyone on the way; "
      "use TLS (UseTLS), or allow it with AllowPlainAuth";
  FakeServer server(FakeSmtp());
  auto smtp = MakeMailer(server.Port());
  smtp->Recipients()->SetEMailAddresses(u"x@test.invalid");
  smtp->Login()->SetUseLogin(true);
  smtp->Login()->SetUserID(u"user");
  smtp->Login()->SetPassword(u"secret");
  EXPECT_FALSE(smtp->AllowPlainAuth());
  try {
    smtp->Execute();
    ADD_FAILURE() << "sent";
  } catch (const Exception& e) {
    EXPECT_EQ(StringToUtf8(e.Message()), refusal);
  }
  EXPECT_EQ(server.ConnectionCount(), 0u);

  // A plain connection kept open, then UseTLS set: the session goes on in
  // the clear, so the login is refused after RSET, before AUTH.
  smtp->Login()->SetUseLogin(false);
  smtp->SetKeepConnection(true);
  EXPECT_EQ(StringToUtf8(smtp->Execute()), "");
  smtp->Login()->SetUseLogin(true);
  smtp->SetUseTLS(utStartTLS);
  EXPECT_EQ(StringToUtf8(smtp->Execute()), refusal);
  smtp->SetKeepConnection(false);
  smtp->Disconnect();
  ASSERT_TRUE(server.WaitForConnections(1));
  const std::string refused = server.Received(0);
  EXPECT_NE(refused.find("RSET\r\n"), std::string::npos) << refused;
  for (const char* secret : {"auth", "AUTH", "dXNlcg==", "c2VjcmV0"})
    EXPECT_EQ(refused.find(secret), std::string::npos) << secret << " in " << refused;

  smtp->SetUseTLS(utNone);
  smtp->SetAllowPlainAuth(true);
  EXPECT_EQ(StringToUtf8(smtp->Execute()), "");
  ASSERT_TRUE(server.WaitForConnections(2));
  EXPECT_NE(server.Received(1).find("RSET\r\nauth LOGIN\r\ndXNlcg==\r\nc2VjcmV0\r\nMAIL FROM:"), std::string::npos)
      << server.Received(1);
}

TEST(SmtpDialogue, RefusedRecipientIsReportedAndNothingMoreIsSent) {
  FakeServer server(FakeSmtp({false, {"nobody@test.invalid"}}));
  auto smtp = MakeMailer(server.Port());
  smtp->Recipients()->SetEMailAddresses(u"ok@test.invalid, nobody@test.invalid");
  const String result = smtp->Execute();
  EXPECT_NE(result.find(u"550"), String::npos) << StringToUtf8(result);
  EXPECT_NE(result.find(u"RCPT TO:<nobody@test.invalid>"), String::npos);
  server.WaitForConnections(1);
  EXPECT_EQ(server.Received(0).find("DATA"), std::string::npos);
  // The next message goes out on a fresh connection.
  smtp->Recipients()->SetEMailAddresses(u"ok@test.invalid");
  EXPECT_EQ(smtp->Execute(), u"");
  EXPECT_TRUE(server.WaitForConnections(2));
}

TEST(SmtpDialogue, FailedQuitAfterAcceptedMessageIsOnlyAWarning) {
  for (const std::string quit : {"", "421 4.4.2 Timeout\r\n"}) {
    SCOPED_TRACE(quit);
    FakeServer server(FakeSmtp({false, {}, quit}));
    auto smtp = MakeMailer(server.Port());
    smtp->Recipients()->SetEMailAddresses(u"x@test.invalid");
    EXPECT_EQ(smtp->Execute(), u"");
    EXPECT_NE(smtp->Warning().find(u"accepted"), String::npos) << StringToUtf8(smtp->Warning());
    EXPECT_FALSE(smtp->Connected());
    // A refusal before the message is accepted stays a failure, and the
    // warning of the earlier message does not linger.
    smtp->Recipients()->SetEMailAddresses(u"");
    smtp->BCC()->SetEMailAddresses(u"y@test.invalid");
    FakeServer refusing(FakeSmtp({false, {"y@test.invalid"}, quit}));
    smtp->SetPort(refusing.Port());
    EXPECT_NE(smtp->Execute().find(u"550"), String::npos);
    EXPECT_EQ(smtp->Warning(), u"");
  }
}

TEST(SmtpDialogue, AddressesThatWouldLeaveTheirBracketsAreRefusedBeforeAnythingIsSent) {
  struct Case {
    const char* Field;  // from, to, cc, bcc, reply
    std::u16string Address;
    const char16_t* Reason;
  };
  const Case cases[] = {
      {"to", u"b@x> NOTIFY=NEVER", u"holds an angle bracket"},
      {"to", u"b@x NOTIFY=NEVER", u"holds a space"},
      {"bcc", u"b@x>", u"holds an angle bracket"},
      {"cc", u"<b@x", u"holds an angle bracket"},
      {"to", u"b@x\r\nRCPT TO:<c@x", u"holds a control character"},
      {"to", u"b@x\n", u"holds a control character"},
      {"to", u"b@x\t", u"holds a control character"},
      {"to", String(u"b@x\0y", 5), u"holds a control character"},
      {"to", u"b@x\x7F", u"holds a control character"},
      {"to", u"", u"is empty"},
      {"from", u"", u"is empty"},
      {"from", u"a@x SIZE=1", u"holds a space"},
      {"reply", u"r@x>", u"holds an angle bracket"},
  };
  FakeServer server(FakeSmtp());
  for (const Case& c : cases) {
    SCOPED_TRACE(StringToUtf8(c.Address));
    auto smtp = MakeMailer(server.Port());
    smtp->Recipients()->Add()->SetAddress(u"fine@test.invalid");
    const std::string field = c.Field;
    TKwIEMailAddress* a = field == "from"  ? smtp->From()
                          : field == "to"  ? smtp->Recipients()->Add()
                          : field == "cc"  ? smtp->CC()->Add()
                          : field == "bcc" ? smtp->BCC()->Add()
                                           : smtp->ReplyTo()->Add();
    a->SetAddress(c.Address);
    EXPECT_EQ(TKwISMTP::CheckMailAddress(c.Address), c.Reason);
    try {
      smtp->Execute();
      ADD_FAILURE() << "sent";
    } catch (const Exception& e) {
      EXPECT_NE(e.Message().find(c.Reason), String::npos) << StringToUtf8(e.Message());
      EXPECT_EQ(e.Message().find_first_of(u"\r\n"), String::npos);
    }
  }
  EXPECT_EQ(server.ConnectionCount(), 0u);
  for (const char16_t* good : {u"a.b+tag@test.invalid", u"\"quoted\"@test.invalid", u"x@[127.0.0.1]"})
    EXPECT_EQ(TKwISMTP::CheckMailAddress(good), u"");
}

TEST(SmtpDialogue, LineBreaksInHeaderFieldsAreRefusedBeforeAnythingIsSent) {
  FakeServer server(FakeSmtp());
  auto smtp = MakeMailer(server.Port());
  smtp->Recipients()->SetEMailAddresses(u"x@test.invalid");
  smtp->SetSubject(u"Hi\r\nBcc: victim@test.invalid");
  EXPECT_THROW(smtp->Execute(), Exception);
  smtp->SetSubject(u"fine");
  smtp->Recipients()->Items(0)->SetName(u"Evil\nTo: y");
  EXPECT_THROW(smtp->Execute(), Exception);
  EXPECT_EQ(server.ConnectionCount(), 0u);
}

TEST(SmtpDialogue, UnreadableAttachmentStopsBeforeTheEnvelope) {
  FakeServer server(FakeSmtp());
  auto smtp = MakeMailer(server.Port());
  smtp->Recipients()->SetEMailAddresses(u"x@test.invalid");
  smtp->Attachments()->Add()->SetFileName(u"/nonexistent/file.bin");
  const String result = smtp->Execute();
  EXPECT_NE(result.find(u"Cannot open file"), String::npos) << StringToUtf8(result);
  server.WaitForConnections(1);
  EXPECT_EQ(server.Received(0).find("MAIL FROM"), std::string::npos);
}

TEST(SmtpDialogue, NonAsciiSubjectAndNamesAreEncodedAndBodyFollowsTheCharSet) {
  FakeServer server(FakeSmtp());
  auto smtp = MakeMailer(server.Port());
  smtp->Recipients()->SetEMailAddresses(u"\"Brown, John\" <jb@test.invalid>, J\u00FCrgen <j@test.invalid>");
  smtp->SetSubject(u"Gr\u00FC\u00DFe");
  smtp->SetCharSet(u"utf-8");
  smtp->SetEncoding(u"quoted-printable");
  smtp->Body()->Add(u"\u20AC 5");
  EXPECT_EQ(smtp->Execute(), u"");
  server.WaitForConnections(1);
  const std::string wire = server.Received(0);
  EXPECT_NE(wire.find("Subject: =?utf-8?B?R3LDvMOfZQ==?=\r\n"), std::string::npos);
  EXPECT_NE(wire.find("To: \"Brown, John\" <jb@test.invalid>, =?utf-8?B?SsO8cmdlbg==?= <j@test.invalid>\r\n"),
            std::string::npos);
  EXPECT_NE(wire.find("\r\n=E2=82=AC 5\r\n"), std::string::npos);
}

TEST(SmtpDialogue, AttachmentsNameTheFileWithoutItsFolder) {
  FakeServer server(FakeSmtp());
  kwinet::test::TempDir dir;
  kwinet::test::WriteFileBytes(dir.File("report.txt"), "hi\r\n");
  auto smtp = MakeMailer(server.Port());
  smtp->Recipients()->SetEMailAddresses(u"x@test.invalid");
  auto* plain = smtp->Attachments()->Add();
  plain->SetFileName(Utf8ToString(dir.File("report.txt")));
  plain->SetContentType(u"text/plain");
  // A name of its own goes in the type's name; the disposition still gives
  // the file's own name, without the folder.
  auto* named = smtp->Attachments()->Add();
  named->SetFileName(Utf8ToString(dir.File("report.txt")));
  named->SetAttachmentName(u"Summary.txt");
  named->SetContentType(u"text/plain");
  ASSERT_EQ(StringToUtf8(smtp->Execute()), "");
  ASSERT_TRUE(server.WaitForConnections(1));
  const std::string wire = server.Received(0);
  for (const char* name : {"report.txt", "Summary.txt"})
    EXPECT_NE(wire.find(std::string("Content-Type: text/plain; name=\"") + name +
                        "\"\r\n"
                        "Content-Transfer-Encoding: base64\r\n"
                        "Content-Disposition: attachment; filename=\"report.txt\"\r\n"
                        "\r\n"
                        "aGkNCg==\r\n"),
              std::string::npos)
        << wire;
  EXPECT_EQ(wire.find(dir.Path()), std::string::npos) << "the sender's folder went out";
}

// Quotes and backslashes in a name cannot end its quoted string and add
// parameters of their own.
TEST(SmtpDialogue, AttachmentNamesAreQuotedStrings) {
  FakeServer server(FakeSmtp());
  kwinet::test::TempDir dir;
  const std::string onDisk = "a\"; size=1; x=\".txt";
  kwinet::test::WriteFileBytes(dir.File(onDisk), "hi");
  auto smtp = MakeMailer(server.Port());
  smtp->Recipients()->SetEMailAddresses(u"x@test.invalid");
  auto* a = smtp->Attachments()->Add();
  a->SetFileName(Utf8ToString(dir.File(onDisk)));
  a->SetAttachmentName(u"say \"hi\" \\ bye\\\".txt");
  a->SetContentType(u"text/plain");
  ASSERT_EQ(StringToUtf8(smtp->Execute()), "");
  ASSERT_TRUE(server.WaitForConnections(1));
  const std::string wire = server.Received(0);
  EXPECT_NE(wire.find("Content-Type: text/plain; name=\"say \\\"hi\\\" \\\\ bye\\\\\\\".txt\"\r\n"), std::string::npos)
      << wire;
  EXPECT_NE(wire.find("Content-Disposition: attachment; filename=\"a\\\"; size=1; x=\\\".txt\"\r\n"), std::string::npos)
      << wire;
}

TEST(SmtpDialogue, BytesAfterTheStartTlsAnswerEndTheSessionBeforeAnyHandshake) {
  // A man in the middle appends a forged reply to the 220, in the clear.
  FakeServer server([](FakeConnection& c) {
    c.Send("220 fake.test ESMTP\r\n");
    if (!c.ReadUntil("\r\n")) return;
    c.Send("250-fake.test\r\n250 STARTTLS\r\n");
    if (!c.ReadUntil("STARTTLS\r\n")) return;
    c.Send("220 go ahead\r\n250 forged\r\n");
    c.WaitForClientClose();
  });
  auto smtp = MakeMailer(server.Port());
  smtp->SetUseTLS(utStartTLS);
  smtp->Recipients()->SetEMailAddresses(u"x@test.invalid");
  try {
    smtp->Execute();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(StringToUtf8(e.Message()),
              "The mail server sent data after its STARTTLS answer before the TLS handshake; closing the connection");
  }
  EXPECT_FALSE(smtp->Connected());
  EXPECT_EQ(StringToUtf8(smtp->LastReply()), "220 go ahead");
  ASSERT_TRUE(server.WaitForConnections(1));
  // Nothing followed STARTTLS: no handshake, no EHLO on the tainted stream.
  const std::string wire = server.Received(0);
  EXPECT_EQ(wire.substr(wire.find("STARTTLS")), "STARTTLS\r\n");
}

TEST(SmtpDialogue, ReplyWithoutEndFailsAtTheReplyBound) {
  // A server that never ends its greeting line is given up on after one
  // reply's worth of bytes, not after the socket's whole reply allowance.
  FakeServer server(FakeServer::Endless(std::uint64_t(64) << 20));
  auto smtp = MakeMailer(server.Port());
  smtp->Recipients()->SetEMailAddresses(u"x@test.invalid");
  try {
    smtp->Execute();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find(u"longer than 65536 bytes"), String::npos) << StringToUtf8(e.Message());
  }
  EXPECT_FALSE(smtp->Connected());
}

// --- against aiosmtpd ------------------------------------------------------------

TEST(SmtpServer, StartTlsLoginCopiesAndAttachmentsArrive) {
  kwinet::test::TSmtpServer server({"starttls", "mailuser", "mailpass", {}});
  KWINET_REQUIRE_PEER(server.Started(), server.Error());
  kwinet::test::TempDir dir;
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary.push_back(static_cast<char>((i * 7919) % 256));
  kwinet::test::WriteFileBytes(dir.File("data.bin"), binary);
  kwinet::test::WriteFileBytes(dir.File("notes.txt"), "line one\r\n.\r\nline three\r\n");

  auto smtp = MakeMailer(server.Port());
  smtp->SetHost(u"localhost");
  smtp->SetUseTLS(utStartTLS);
  smtp->SetCACertFile(Utf8ToString(server.CAFile()));
  smtp->Login()->SetUseLogin(true);
  smtp->Login()->SetUserID(u"mailuser");
  smtp->Login()->SetPassword(u"mailpass");
  smtp->Recipients()->SetEMailAddresses(u"to@test.invalid");
  smtp->CC()->SetEMailAddresses(u"cc@test.invalid");
  smtp->BCC()->SetEMailAddresses(u"bcc@test.invalid");
  smtp->SetSubject(u"Report");
  smtp->Body()->SetText(u"First\r\n.\r\nLast");
  smtp->Attachments()->Add()->SetFileName(Utf8ToString(dir.File("data.bin")));
  auto* notes = smtp->Attachments()->Add();
  notes->SetFileName(Utf8ToString(dir.File("notes.txt")));
  notes->SetEncoding(u"quoted-printable");
  notes->SetContentType(u"text/plain");
  ASSERT_EQ(StringToUtf8(smtp->Execute()), "");

  ASSERT_TRUE(server.WaitForMessage(1));
  const std::string info = kwinet::test::ReadFileBytes(server.MessageFile(1, ".json"));
  for (const char* r : {"to@test.invalid", "cc@test.invalid", "bcc@test.invalid"})
    EXPECT_NE(info.find(r), std::string::npos) << info;
  EXPECT_NE(info.find("\"authenticated\": true"), std::string::npos) << info;
  EXPECT_NE(info.find("\"tls\": true"), std::string::npos) << info;
  const std::string eml = kwinet::test::ReadFileBytes(server.MessageFile(1, ".eml"));
  EXPECT_EQ(eml.find("bcc@test.invalid"), std::string::npos);
  EXPECT_EQ(eml.find("Bcc:"), std::string::npos);
  EXPECT_NE(eml.find("\r\nFirst\r\n.\r\nLast\r\n"), std::string::npos);  // the "." line is intact
  EXPECT_TRUE(kwinet::test::ReadFileBytes(server.MessageFile(1, ".att.data.bin")) == binary);
  EXPECT_EQ(kwinet::test::ReadFileBytes(server.MessageFile(1, ".att.notes.txt")), "line one\r\n.\r\nline three\r\n");
}

TEST(SmtpServer, AttachmentNamesWithQuotesAndBackslashesReadBackAsGiven) {
  kwinet::test::TSmtpServer server;
  KWINET_REQUIRE_PEER(server.Started(), server.Error());
  kwinet::test::TempDir dir;
  struct Case {
    std::string onDisk;
    String name;  // AttachmentName
  } cases[] = {
      {"a\"; size=1; x=\".txt", u""},
      {"plain.txt", u"say \"hi\" \\ bye\\\".txt"},
      {"back\\slash \"q\".txt", u"\\\""},
  };
  auto smtp = MakeMailer(server.Port());
  smtp->Recipients()->SetEMailAddresses(u"to@test.invalid");
  std::string expected;
  for (const Case& c : cases) {
    kwinet::test::WriteFileBytes(dir.File(c.onDisk), "hi");
    auto* a = smtp->Attachments()->Add();
    a->SetFileName(Utf8ToString(dir.File(c.onDisk)));
    a->SetAttachmentName(c.name);
    a->SetContentType(u"text/plain");
    // The file's name without its folder; a backslash counts as a folder
    // separator too.
    const std::string fileName = c.onDisk.substr(c.onDisk.find_last_of('\\') + 1);
    expected += fileName + "\t" + (c.name.empty() ? fileName : StringToUtf8(c.name)) + "\tname\tfilename\n";
  }
  ASSERT_EQ(StringToUtf8(smtp->Execute()), "");
  ASSERT_TRUE(server.WaitForMessage(1));
  EXPECT_EQ(kwinet::test::ReadFileBytes(server.MessageFile(1, ".names")), expected);
}

TEST(SmtpServer, ImplicitTlsWrongCertificateAndRefusal) {
  kwinet::test::TSmtpServer server({"implicit", "", "", {"gone@test.invalid"}});
  KWINET_REQUIRE_PEER(server.Started(), server.Error());
  auto smtp = MakeMailer(server.Port());
  smtp->SetHost(u"localhost");
  smtp->SetUseTLS(utImplicit);
  smtp->SetCACertFile(Utf8ToString(server.CAFile()));
  smtp->Recipients()->SetEMailAddresses(u"to@test.invalid");
  EXPECT_EQ(StringToUtf8(smtp->Execute()), "");
  EXPECT_TRUE(server.WaitForMessage(1));

  smtp->Recipients()->SetEMailAddresses(u"gone@test.invalid");
  const String refused = smtp->Execute();
  EXPECT_NE(refused.find(u"550"), String::npos) << StringToUtf8(refused);

  // Without the test CA the server's certificate is not trusted.
  auto untrusting = MakeMailer(server.Port());
  untrusting->SetHost(u"localhost");
  untrusting->SetUseTLS(utImplicit);
  untrusting->Recipients()->SetEMailAddresses(u"to@test.invalid");
  try {
    untrusting->Execute();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find(u"certificate"), String::npos) << StringToUtf8(e.Message());
  }
}

// The certificate is checked against the whole name asked for: a name that
// OpenSSL would take shorter (cut at a NUL) or not at all (empty) would
// check another name or none, so the handshake fails instead.
TEST(SmtpServer, TlsChecksTheWholeServerName) {
  kwinet::test::TSmtpServer server({"implicit", "", "", {}});
  KWINET_REQUIRE_PEER(server.Started(), server.Error());
  struct Case {
    String host;
    const char* error;  // in the handshake's message; nullptr: it succeeds
  } cases[] = {
      {u"localhost", nullptr},
      {u"127.0.0.1", nullptr},
      {u"wrong.invalid", "hostname mismatch"},
      {u"", "no server name to check the certificate against"},
      {String(u"localhost\0.evil.example", 23), "holds a control character"},
      {u"localhost\r\n", "holds a control character"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(StringToUtf8(c.host));
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(server.Port()));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    try {
      TTlsTransport::Handshake(fd, c.host, Utf8ToString(server.CAFile()), 5000);
      EXPECT_EQ(c.error, nullptr);
    } catch (const ESocketError& e) {
      ASSERT_NE(c.error, nullptr) << StringToUtf8(e.Message());
      EXPECT_NE(StringToUtf8(e.Message()).find(c.error), std::string::npos) << StringToUtf8(e.Message());
    }
    ::close(fd);
  }
}

// --- files read while they are sent ------------------------------------------------

namespace {

// Line ends CR LF, LF or CR made CR LF, as text parts carry them.
std::string CrLf(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      out += "\r\n";
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// The message part of a session: from after DATA's 354 to the end-of-data line.
std::string DataOf(const std::string& session) {
  const std::size_t start = session.find("\r\nDATA\r\n");
  const std::size_t end = session.find("\r\n.\r\n", start);
  if (start == std::string::npos || end == std::string::npos) return "";
  return session.substr(start + 8, end + 5 - (start + 8));
}

std::string WithoutMessageId(const std::string& message) {
  return message.substr(message.find("\r\n") + 2);
}

}  // namespace

TEST(SmtpDialogue, FilesLargerThanAPieceGoOutAsTheMessageComposedAtOnce) {
  // Text whose special bytes straddle the pieces in which files are read:
  // a "." opening a line at a piece's first byte, a CR LF cut between two
  // pieces, a blank whose encoding depends on the next piece's bytes, and
  // a lone CR at a piece's end.
  constexpr std::size_t K = TKwISMTP::FileChunkSize;
  std::string text;
  for (int i = 0; text.size() < 4 * K + 100; ++i)
    text += "line " + std::to_string(i) + " caf\xE9 = x...................\r\n";
  text.replace(K - 2, 3, "\r\n.");
  text.replace(2 * K - 1, 2, "\r\n");
  text.replace(3 * K - 1, 3, " \r\n");
  text.replace(4 * K - 1, 2, "\rZ");
  text.resize(text.size() - 2);  // the last line has no line end
  std::string binary;
  for (std::size_t i = 0; i < 2 * K + 7; ++i) binary.push_back(static_cast<char>((i * 7919) % 251));

  kwinet::test::TempDir dir;
  kwinet::test::WriteFileBytes(dir.File("text.txt"), text);
  kwinet::test::WriteFileBytes(dir.File("data.bin"), binary);
  FakeServer server(FakeSmtp());
  auto smtp = MakeMailer(server.Port());
  smtp->Recipients()->SetEMailAddresses(u"x@test.invalid");
  smtp->SetEncoding(u"quoted-printable");
  smtp->SetBodyFile(Utf8ToString(dir.File("text.txt")));
  struct Part {
    const char16_t* Encoding;
    const char* File;
    std::string Content;  // as it must stand in the message
  } parts[] = {
      {u"base64", "data.bin", EncodeBase64Lines(binary)},
      {u"base64", "text.txt", EncodeBase64Lines(text)},
      {u"quoted-printable", "text.txt", EncodeQuotedPrintable(CrLf(text)) + "\r\n"},
      {u"8bit", "text.txt", CrLf(text) + "\r\n"},
  };
  for (const Part& p : parts) {
    auto* a = smtp->Attachments()->Add();
    a->SetFileName(Utf8ToString(dir.File(p.File)));
    a->SetEncoding(p.Encoding);
    a->SetContentType(u"application/octet-stream");
  }
  const std::string composed = smtp->ComposeMessage();
  ASSERT_EQ(StringToUtf8(smtp->Execute()), "");
  ASSERT_TRUE(server.WaitForConnections(1));
  const std::string sent = DataOf(server.Received(0));
  EXPECT_TRUE(WithoutMessageId(sent) == WithoutMessageId(DoubleLeadingDots(composed) + "\r\n.\r\n"));
  EXPECT_NE(sent.find("\r\n.." + text.substr(K + 1, 8)), std::string::npos);

  // The body file reads as the same text given to Body, its last line
  // closed; each attachment is its file encoded in one go.
  const std::string bodyText = EncodeQuotedPrintable(CrLf(text) + "\r\n");
  const std::string textHead = "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
  EXPECT_NE(composed.find(textHead + bodyText + "------------MoravelleSMTP\r\n"), std::string::npos);
  auto inMemory = MakeMailer(server.Port());
  inMemory->Recipients()->SetEMailAddresses(u"x@test.invalid");
  inMemory->SetEncoding(u"quoted-printable");
  inMemory->Body()->SetText(BytesToString(text));
  EXPECT_TRUE(inMemory->ComposeMessage().ends_with(textHead + bodyText));
  for (const Part& p : parts) {
    SCOPED_TRACE(StringToUtf8(p.Encoding));
    EXPECT_NE(composed.find(StringToUtf8(p.Encoding) + "\r\nContent-Disposition: attachment; filename=\"" + p.File +
                            "\"\r\n\r\n" + p.Content + "\r\n------------MoravelleSMTP"),
              std::string::npos);
  }
}

TEST(SmtpDialogue, SlowButMovingLinkIsNotCutByTheTimeoutWhileAStalledOneIs) {
  // A message of about 16 MB, much more than the connection's buffers hold.
  std::string binary(12 << 20, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 2654435761u) >> 13);
  kwinet::test::TempDir dir;
  kwinet::test::WriteFileBytes(dir.File("big.bin"), binary);
  binary = std::string();
  for (const bool stalls : {false, true}) {
    SCOPED_TRACE(stalls ? "stalled" : "slow");
    std::atomic<long long> heapWhileSending{0};
    // The server takes the first 2.5 MB in slices of 256 KiB with pauses
    // a tenth of the timeout (1 s in all), then the rest at once; or,
    // stalled, it takes nothing at all.
    FakeServer server([&](FakeConnection& c) {
      c.Send("220 fake.test ESMTP\r\n");
      while (c.ReadUntil("\r\n")) {
        const std::string line = c.Data().substr(0, c.Data().find("\r\n"));
        c.Consume(line.size() + 2);
        if (line != "DATA") {
          c.Send(line == "QUIT" ? "221 Bye\r\n" : "250 OK\r\n");
          continue;
        }
        c.Send("354 Go ahead\r\n");
        if (stalls) {
          c.Sleep(300);
          heapWhileSending = kwinet::test::HeapInUse();
          c.Sleep(10000);  // ends early when the server stops
          return;
        }
        for (std::size_t taken = 256 << 10; taken <= (10 << 18); taken += 256 << 10) {
          if (!c.ReadCount(taken) || !c.Sleep(100)) return;
        }
        // The end of data is the last thing the client sends before it waits.
        while (!c.Data().ends_with("\r\n.\r\n"))
          if (!c.ReadCount(c.Data().size() + 1, 10000)) return;
        c.Consume(c.Data().size());
        c.Send("250 2.0.0 Ok: queued\r\n");
      }
    });
    auto smtp = MakeMailer(server.Port());
    smtp->SetTimeout(1000);
    smtp->Recipients()->SetEMailAddresses(u"x@test.invalid");
    smtp->Attachments()->Add()->SetFileName(Utf8ToString(dir.File("big.bin")));
    const long long heapBefore = kwinet::test::HeapInUse();
    const auto start = std::chrono::steady_clock::now();
    const String result = smtp->Execute();
    const auto took = std::chrono::steady_clock::now() - start;
    if (!stalls) {
      EXPECT_EQ(StringToUtf8(result), "");
      EXPECT_GT(took, std::chrono::milliseconds(900)) << "the link was not slow: the test shows nothing";
    } else {
      EXPECT_NE(result.find(u"the server took nothing for 1000 ms"), String::npos) << StringToUtf8(result);
      EXPECT_LT(took, std::chrono::seconds(5));
      // The file is read while it is sent: the client holds a few pieces of
      // it, not the 16 MB of its encoding.
      EXPECT_LT(heapWhileSending - heapBefore, 2 << 20);
    }
  }
}

TEST(SmtpDialogue, AttachmentThatChangesSizeWhileSentGoesAsItWasWhenOpenedOrNotAtAll) {
  // The file changes when DATA arrives: after it was opened, before its
  // first byte is read. A file that grew goes at the size seen at the
  // opening; one that shrank fails the message before its end, so no cut
  // copy is delivered.
  std::string original;
  for (int i = 0; i < 200000; ++i) original.push_back(static_cast<char>(i * 31 % 256));
  struct Case {
    const char* Name;
    std::function<void(const std::string& path)> Change;
    std::string Expected;
  } cases[] = {
      {"grows", [](const std::string& p) { std::ofstream(p, std::ios::app) << std::string(100000, 'Z'); }, original},
      {"shrinks", [](const std::string& p) { ::truncate(p.c_str(), 1000); }, ""},
      {"empties", [](const std::string& p) { ::truncate(p.c_str(), 0); }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    kwinet::test::TempDir dir;
    const std::string path = dir.File("data.bin");
    kwinet::test::WriteFileBytes(path, original);
    FakeServer server([&](FakeConnection& conn) {
      conn.Send("220 fake.test ESMTP\r\n");
      while (conn.ReadUntil("\r\n")) {
        const std::string line = conn.Data().substr(0, conn.Data().find("\r\n"));
        conn.Consume(line.size() + 2);
        if (line == "DATA") {
          c.Change(path);
          conn.Send("354 Go ahead\r\n");
          if (!conn.ReadUntil("\r\n.\r\n")) return;
          conn.Consume(conn.Data().find("\r\n.\r\n") + 5);
        }
        conn.Send(line == "QUIT" ? "221 Bye\r\n" : "250 OK\r\n");
      }
    });
    auto smtp = MakeMailer(server.Port());
    smtp->Recipients()->SetEMailAddresses(u"x@test.invalid");
    smtp->Attachments()->Add()->SetFileName(Utf8ToString(path));
    const std::string result = StringToUtf8(smtp->Execute());
    ASSERT_TRUE(server.WaitForConnections(1));
    if (std::string(c.Name) == "grows") {
      ASSERT_EQ(result, "");
      EXPECT_TRUE(DataOf(server.Received(0))
                      .ends_with("filename=\"data.bin\"\r\n\r\n" + EncodeBase64Lines(c.Expected) +
                                 "\r\n------------MoravelleSMTP--\r\n\r\n.\r\n"));
    } else {
      EXPECT_NE(result.find("became shorter while it was sent"), std::string::npos) << result;
      EXPECT_EQ(server.Received(0).find("\r\n.\r\n"), std::string::npos) << "the message was ended";
    }
  }
}
