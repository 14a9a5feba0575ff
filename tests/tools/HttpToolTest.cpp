#include <gtest/gtest.h>

#include <chrono>

#include "peers/FakeServer.h"
#include "peers/Nginx.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

using kwinet::test::Tool;

TEST(HttpTool, BodyHeadersRedirectsAndErrors) {
  kwinet::test::TNginx nginx({false, {{"kwuser", "kwpass"}}, "location = /old { return 302 /a.bin; }"});
  KWINET_REQUIRE_PEER(nginx.Started(), nginx.Error());
  const std::string body("\x00\x01\n\r\nbinary\xFF", 12);
  kwinet::test::WriteFileBytes(nginx.Root() + "/a.bin", body);
  const std::string base = "http://127.0.0.1:" + std::to_string(nginx.Port());

  auto get = Tool({"http", base + "/a.bin"});
  ASSERT_EQ(get.ExitCode, 0) << get.Err;
  EXPECT_TRUE(get.Out == body);

  auto head = Tool({"http", "--method", "HEAD", "-i", base + "/a.bin"});
  EXPECT_EQ(head.ExitCode, 0);
  EXPECT_EQ(head.Out.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << head.Out;
  EXPECT_NE(head.Out.find("Content-Length: 12\r\n"), std::string::npos);
  EXPECT_EQ(head.Out.substr(head.Out.size() - 4), "\r\n\r\n");

  auto notFollowed = Tool({"http", "-i", base + "/old"});
  EXPECT_EQ(notFollowed.Out.rfind("HTTP/1.1 302", 0), 0u);
  auto followed = Tool({"http", "--follow", base + "/old"});
  EXPECT_TRUE(followed.Out == body);

  auto missing = Tool({"http", base + "/none"});
  EXPECT_EQ(missing.ExitCode, 3);
  EXPECT_EQ(missing.Err, "kwinet: File not found\n");
  auto https = Tool({"http", "https://127.0.0.1/"});
  EXPECT_EQ(https.ExitCode, 2);
  auto refused = Tool({"http", "--timeout", "2000", "http://127.0.0.1:1/"});
  EXPECT_EQ(refused.ExitCode, 1);
  EXPECT_FALSE(refused.Err.empty());
}

TEST(HttpTool, OnlyAWholeHttpAnswerExitsZero) {
  struct Case {
    std::string reply;
    int code;
    const char* text;  // the body printed, or a part of the error line
  } cases[] = {
      {"HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nbody", 0, "body"},
      {"HTTP/1.1 500 Oops\r\nContent-Length: 5\r\n\r\noops\n", 0, "oops\n"},  // like curl without --fail
      {"SSH-2.0-OpenSSH_9.2\r\n", 1, "not HTTP"},
      {"", 1, "without an answer"},
      {"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nhalf", 1, "ended after 4 of the 100 bytes"},
      {"HTTP/1.0 200 OK\r\nContent-Length: 2", 1, "inside its header lines"},
      {"HTTP/1.0 401 Unauthorized\r\n\r\n", 1, "authorization required"},
      {"HTTP/1.0 404 Not Found\r\n\r\n", 3, "File not found"},
  };
  for (const auto& tc : cases) {
    kwinet::test::FakeServer server(kwinet::test::FakeServer::ReplyAndClose(tc.reply, "\r\n\r\n"));
    auto r = Tool({"http", "--timeout", "5000", "http://127.0.0.1:" + std::to_string(server.Port()) + "/x"});
    EXPECT_EQ(r.ExitCode, tc.code) << tc.reply << r.Err;
    if (tc.code == 0) {
      EXPECT_EQ(r.Out, tc.text);
      EXPECT_EQ(r.Err, "");
    } else {
      EXPECT_EQ(r.Out, "") << tc.reply;
      EXPECT_NE(r.Err.find(tc.text), std::string::npos) << r.Err;
      EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
    }
  }
}

TEST(HttpTool, BadUrlsAreRefusedBeforeConnecting) {
  kwinet::test::FakeServer server(kwinet::test::FakeServer::ReplyAndClose("HTTP/1.0 200 OK\r\n\r\nok", "\r\n\r\n"));
  const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
  struct Case {
    std::string url;
    const char* text;
  } cases[] = {
      {base + "/x HTTP/1.0\r\nX-Injected: yes\r\n\r\nGET /smuggled", "control character"},
      {base + "/a b", "space"},
      {base + "/a\tb", "control character"},
      {base + "/a\x7F", "control character"},
      {"http://127.0.0.1:abc/", "bad port"},
      {"http://127.0.0.1:80abc/", "bad port"},
      {"http://127.0.0.1:99999/", "bad port"},
      {"http://[::1]:abc/", "bad port"},
      {"http://[::1/", "bad host"},
      {"http://user:pw@127.0.0.1/", "user name"},
      {"http:///x", "no host"},
      {"gopher://127.0.0.1/", "must begin with http://"},
  };
  for (const auto& tc : cases) {
    auto r = Tool({"http", tc.url});
    EXPECT_EQ(r.ExitCode, 2) << tc.url << r.Err;
    EXPECT_NE(r.Err.find(tc.text), std::string::npos) << tc.url << " gave: " << r.Err;
  }
  EXPECT_EQ(server.ConnectionCount(), 0u);
  // What may go is sent as it should: non-ASCII percent-encoded, no fragment.
  auto r = Tool({"http", base + "/caf\xC3\xA9?q=1#top"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  ASSERT_TRUE(server.WaitForConnections(1));
  const std::string sent = server.Received(0);
  EXPECT_EQ(sent.substr(0, sent.find("\r\n")), "GET /caf%C3%A9?q=1 HTTP/1.0");
}

// A server that answers one byte every 300 ms for as long as the client
// stays: --timeout bounds the whole exchange, not each read.
TEST(HttpTool, TricklingServerEndsTheCommandAtItsTimeout) {
  kwinet::test::FakeServer trickle([](kwinet::test::FakeConnection& c) {
    if (!c.ReadUntil("\r\n\r\n")) return;
    const std::string answer = "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(100, 'x');
    // 10 s at most: without the bound the test fails, not hangs.
    for (std::size_t i = 0; i < 34 && c.Send(answer.substr(i, 1)) && c.Sleep(300); ++i) {
    }
  });
  const auto start = std::chrono::steady_clock::now();
  auto r = Tool({"http", "--timeout", "2000", "http://127.0.0.1:" + std::to_string(trickle.Port()) + "/x"}, "",
                std::chrono::seconds(20));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(r.Out, "");
  EXPECT_NE(r.Err.find("timed out after 2000 ms"), std::string::npos) << r.Err;
  EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
}
