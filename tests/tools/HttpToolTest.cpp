#include <gtest/gtest.h>

#include "peers/Nginx.h"
#include "peers/TestSupport.h"

using kwinet::test::RunProcess;

TEST(HttpTool, BodyHeadersRedirectsAndErrors) {
  kwinet::test::TNginx nginx({false, {{"kwuser", "kwpass"}}, "location = /old { return 302 /a.bin; }"});
  KWINET_REQUIRE_PEER(nginx.Started(), nginx.Error());
  const std::string body("\x00\x01\n\r\nbinary\xFF", 12);
  kwinet::test::WriteFileBytes(nginx.Root() + "/a.bin", body);
  const std::string base = "http://127.0.0.1:" + std::to_string(nginx.Port());

  auto get = RunProcess({KWINET_TOOL_PATH, "http", base + "/a.bin"});
  ASSERT_EQ(get.ExitCode, 0) << get.Err;
  EXPECT_TRUE(get.Out == body);

  auto head = RunProcess({KWINET_TOOL_PATH, "http", "--method", "HEAD", "-i", base + "/a.bin"});
  EXPECT_EQ(head.ExitCode, 0);
  EXPECT_EQ(head.Out.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << head.Out;
  EXPECT_NE(head.Out.find("Content-Length: 12\r\n"), std::string::npos);
  EXPECT_EQ(head.Out.substr(head.Out.size() - 4), "\r\n\r\n");

  auto notFollowed = RunProcess({KWINET_TOOL_PATH, "http", "-i", base + "/old"});
  EXPECT_EQ(notFollowed.Out.rfind("HTTP/1.1 302", 0), 0u);
  auto followed = RunProcess({KWINET_TOOL_PATH, "http", "--follow", base + "/old"});
  EXPECT_TRUE(followed.Out == body);

  auto missing = RunProcess({KWINET_TOOL_PATH, "http", base + "/none"});
  EXPECT_EQ(missing.ExitCode, 3);
  EXPECT_EQ(missing.Err, "kwinet: File not found\n");
  auto https = RunProcess({KWINET_TOOL_PATH, "http", "https://127.0.0.1/"});
  EXPECT_EQ(https.ExitCode, 2);
  auto refused = RunProcess({KWINET_TOOL_PATH, "http", "--timeout", "2000", "http://127.0.0.1:1/"});
  EXPECT_EQ(refused.ExitCode, 1);
  EXPECT_FALSE(refused.Err.empty());
}
