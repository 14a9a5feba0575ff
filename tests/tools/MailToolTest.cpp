#include <gtest/gtest.h>

#include "peers/FakeServer.h"
#include "peers/SmtpServer.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

using kwinet::test::Tool;

TEST(MailTool, SendsBodyFromStandardInputWithAttachmentAndReportsRefusals) {
  kwinet::test::TSmtpServer server({"plain", "", "", {"nobody@test.invalid"}});
  KWINET_REQUIRE_PEER(server.Started(), server.Error());
  kwinet::test::TempDir dir;
  kwinet::test::WriteFileBytes(dir.File("a.bin"), std::string("\x00\x01\xFF\n.", 5));
  const std::string port = std::to_string(server.Port());
  auto sent =
      Tool({"mail", "--server", "127.0.0.1", "--port", port, "--from", "a@test.invalid", "--to", "b@test.invalid",
            "--cc", "c@test.invalid", "--subject", "S\xC3\xBC", "--attach", dir.File("a.bin")},
           "line\n.\nend\n");
  ASSERT_EQ(sent.ExitCode, 0) << sent.Err;
  EXPECT_EQ(sent.Out, "Sent to 2 recipient(s).\n");
  ASSERT_TRUE(server.WaitForMessage(1));
  EXPECT_TRUE(kwinet::test::ReadFileBytes(server.MessageFile(1, ".att.a.bin")) == std::string("\x00\x01\xFF\n.", 5));
  const std::string eml = kwinet::test::ReadFileBytes(server.MessageFile(1, ".eml"));
  EXPECT_NE(eml.find("Subject: =?utf-8?B?U8O8?="), std::string::npos);
  EXPECT_NE(eml.find("\r\nline\r\n.\r\nend\r\n"), std::string::npos);
  // The attachment is announced by its file name alone, never its folder.
  EXPECT_NE(eml.find("Content-Disposition: attachment; filename=\"a.bin\"\r\n"), std::string::npos) << eml;
  EXPECT_EQ(eml.find(dir.Path()), std::string::npos);

  auto refused = Tool({"mail", "--server", "127.0.0.1", "--port", port, "--from", "a@test.invalid", "--to",
                       "nobody@test.invalid", "--body-file", "/dev/null"});
  EXPECT_EQ(refused.ExitCode, 1);
  EXPECT_NE(refused.Err.find("550"), std::string::npos) << refused.Err;
  EXPECT_EQ(refused.Err.find('\n'), refused.Err.size() - 1);
}

TEST(MailTool, LoginWithoutTlsGoesThroughWithAllowPlainAuth) {
  kwinet::test::TSmtpServer server({"plain", "mailuser", "mailpass", {}});
  KWINET_REQUIRE_PEER(server.Started(), server.Error());
  auto sent = Tool({"mail", "--server", "127.0.0.1", "--port", std::to_string(server.Port()), "--user", "mailuser",
                    "--password", "mailpass", "--allow-plain-auth", "--from", "a@test.invalid", "--to",
                    "b@test.invalid", "--body-file", "/dev/null"});
  ASSERT_EQ(sent.ExitCode, 0) << sent.Err;
  ASSERT_TRUE(server.WaitForMessage(1));
  const std::string info = kwinet::test::ReadFileBytes(server.MessageFile(1, ".json"));
  EXPECT_NE(info.find("\"authenticated\": true"), std::string::npos) << info;
}

TEST(MailTool, RequiredOptionsAndHelp) {
  auto missing = Tool({"mail", "--server", "x"});
  EXPECT_NE(missing.ExitCode, 0);
  EXPECT_NE(missing.Err.find("--from"), std::string::npos) << missing.Err;
  auto help = Tool({"mail", "--help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_NE(help.Out.find("--bcc"), std::string::npos);
  EXPECT_NE(help.Out.find("--allow-plain-auth"), std::string::npos);
}

namespace {

// A one-session SMTP server that takes every message and answers QUIT with
// QuitReply (empty: closes the connection without a word).
kwinet::test::FakeServer::ConnectionHandler SmtpEndingWith(std::string quitReply) {
  return [quitReply](kwinet::test::FakeConnection& c) {
    c.Send("220 fake.test ESMTP\r\n");
    while (c.ReadUntil("\r\n")) {
      const std::string line = c.Data().substr(0, c.Data().find("\r\n"));
      c.Consume(line.size() + 2);
      if (line == "QUIT") {
        if (!quitReply.empty()) c.Send(quitReply);
        return;
      }
      if (line != "DATA") {
        c.Send("250 OK\r\n");
        continue;
      }
      c.Send("354 Go ahead\r\n");
      if (!c.ReadUntil("\r\n.\r\n")) return;
      c.Consume(c.Data().find("\r\n.\r\n") + 5);
      c.Send("250 2.0.0 Ok: queued\r\n");
    }
  };
}

}  // namespace

TEST(MailTool, ExitStatusFollowsDeliveryAndAddressesAreCheckedFirst) {
  struct Case {
    std::string QuitReply;
    std::vector<std::string> Extra;  // options after --server/--port/--body-file
    int Exit;
    std::string Err;  // expected in standard error ("" : nothing at all)
    bool Connects;
  };
  const Case cases[] = {
      {"221 Bye\r\n", {"--from", "a@x", "--to", "b@x"}, 0, "", true},
      // The message is queued: a QUIT that goes wrong is no reason to send it again.
      {"", {"--from", "a@x", "--to", "b@x"}, 0, "kwinet: warning: The message was accepted", true},
      {"421 4.4.2 Bye\r\n", {"--from", "a@x", "--to", "b@x"}, 0, "kwinet: warning:", true},
      {"221 Bye\r\n", {"--from", "a@x", "--to", "b@x> NOTIFY=NEVER"}, 2, "--to \"b@x> NOTIFY=NEVER\"", false},
      {"221 Bye\r\n", {"--from", "a@x", "--to", "b@x", "--bcc", "c@x\r\nRSET"}, 2, "holds a control character", false},
      {"221 Bye\r\n", {"--from", "a@x", "--to", "b@x", "--cc", "Name <>"}, 2, "is empty", false},
      {"221 Bye\r\n", {"--from", "a@x SIZE=9", "--to", "b@x"}, 2, "--from", false},
      // The password would cross the wire in the clear: refused before it is asked for or sent.
      {"221 Bye\r\n",
       {"--from", "a@x", "--to", "b@x", "--user", "u", "--password", "p"},
       2,
       "--allow-plain-auth",
       false},
      // A device has no end: it is refused before the envelope.
      {"221 Bye\r\n", {"--from", "a@x", "--to", "b@x", "--attach", "/dev/zero"}, 1, "not a regular file", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Extra.back());
    kwinet::test::FakeServer server(SmtpEndingWith(c.QuitReply));
    std::vector<std::string> args = {"mail",        "--server", "127.0.0.1", "--port", std::to_string(server.Port()),
                                     "--body-file", "/dev/null"};
    args.insert(args.end(), c.Extra.begin(), c.Extra.end());
    auto run = Tool(args);
    EXPECT_EQ(run.ExitCode, c.Exit) << run.Err;
    if (c.Err.empty())
      EXPECT_EQ(run.Err, "");
    else
      EXPECT_NE(run.Err.find(c.Err), std::string::npos) << run.Err;
    EXPECT_EQ(kwinet::test::Lines(run.Err), run.Err.empty() ? 0 : 1) << run.Err;
    EXPECT_EQ(run.Out.empty(), c.Exit != 0) << run.Out;
    if (c.Connects) {
      ASSERT_TRUE(server.WaitForConnections(1));
      EXPECT_EQ(server.Received(0).find("MAIL FROM") == std::string::npos, c.Exit != 0) << server.Received(0);
    } else {
      EXPECT_EQ(server.ConnectionCount(), 0u);
    }
  }
}

TEST(MailTool, MessageTextFromAFileIsReadWhileSentAndFromAPipeUpToABound) {
  kwinet::test::TempDir dir;
  const std::string text =
      "Gr\xC3\xBC\xC3\x9F"
      "e\r\n.a dot line\nlast";
  kwinet::test::WriteFileBytes(dir.File("body.txt"), text);
  auto run = [](const std::string& port, const std::vector<std::string>& body, const std::string& input) {
    std::vector<std::string> args = {"mail", "--server", "127.0.0.1", "--port", port, "--from", "a@x", "--to", "b@x"};
    args.insert(args.end(), body.begin(), body.end());
    return Tool(args, input);
  };
  // The text part as it went out, from its header to the end of data.
  auto textPart = [](const std::string& session) {
    const std::size_t start = session.find("Content-Type: Text/Plain");
    return start == std::string::npos ? std::string() : session.substr(start, session.find("\r\n.\r\n") - start);
  };
  std::string parts[2];
  const std::vector<std::string> ways[2] = {{"--body-file", dir.File("body.txt")}, {}};
  for (int i = 0; i < 2; ++i) {
    kwinet::test::FakeServer server(SmtpEndingWith("221 Bye\r\n"));
    auto r = run(std::to_string(server.Port()), ways[i], i == 0 ? "" : text);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    ASSERT_TRUE(server.WaitForConnections(1));
    parts[i] = textPart(server.Received(0));
  }
  EXPECT_EQ(parts[0],
            "Content-Type: Text/Plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
            "Gr=C3=BC=C3=9Fe\r\n..a dot line\r\nlast\r\n");
  EXPECT_EQ(parts[1], parts[0]) << "standard input gives another message than the same text in a file";

  // Text without a size is held in memory: past 16 MiB it is refused,
  // before the server hears of it.
  const std::pair<std::vector<std::string>, std::string> unbounded[] = {
      {{"--body-file", "/dev/zero"}, ""},
      {{}, std::string((16 << 20) + 1, 'a')},
  };
  for (const auto& [body, input] : unbounded) {
    kwinet::test::FakeServer server(SmtpEndingWith("221 Bye\r\n"));
    auto r = run(std::to_string(server.Port()), body, input);
    EXPECT_EQ(r.ExitCode, 1) << r.Err;
    EXPECT_NE(r.Err.find("longer than 16 MiB"), std::string::npos) << r.Err;
    EXPECT_EQ(kwinet::test::Lines(r.Err), 1) << r.Err;
    EXPECT_EQ(server.ConnectionCount(), 0u);
  }
}
