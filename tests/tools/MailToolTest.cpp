#include <gtest/gtest.h>

#include "peers/SmtpServer.h"
#include "peers/TestSupport.h"

using kwinet::test::RunProcess;

TEST(MailTool, SendsBodyFromStandardInputWithAttachmentAndReportsRefusals) {
  kwinet::test::TSmtpServer server({"plain", "", "", {"nobody@test.invalid"}});
  KWINET_REQUIRE_PEER(server.Started(), server.Error());
  kwinet::test::TempDir dir;
  kwinet::test::WriteFileBytes(dir.File("a.bin"), std::string("\x00\x01\xFF\n.", 5));
  const std::string port = std::to_string(server.Port());
  auto sent = RunProcess({KWINET_TOOL_PATH, "mail", "--server", "127.0.0.1", "--port", port, "--from", "a@test.invalid",
                          "--to", "b@test.invalid", "--cc", "c@test.invalid", "--subject", "S\xC3\xBC", "--attach",
                          dir.File("a.bin")},
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

  auto refused = RunProcess({KWINET_TOOL_PATH, "mail", "--server", "127.0.0.1", "--port", port, "--from",
                             "a@test.invalid", "--to", "nobody@test.invalid", "--body-file", "/dev/null"});
  EXPECT_EQ(refused.ExitCode, 1);
  EXPECT_NE(refused.Err.find("550"), std::string::npos) << refused.Err;
  EXPECT_EQ(refused.Err.find('\n'), refused.Err.size() - 1);
}

TEST(MailTool, RequiredOptionsAndHelp) {
  auto missing = RunProcess({KWINET_TOOL_PATH, "mail", "--server", "x"});
  EXPECT_NE(missing.ExitCode, 0);
  EXPECT_NE(missing.Err.find("--from"), std::string::npos) << missing.Err;
  auto help = RunProcess({KWINET_TOOL_PATH, "mail", "--help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_NE(help.Out.find("--bcc"), std::string::npos);
}
