// kwinet links against nginx, a misbehaving fake server and local files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "peers/FakeServer.h"
#include "peers/NginxSuite.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

namespace {

using kwinet::test::FakeServer;
using kwinet::test::OneErrorLine;
using kwinet::test::ProcessResult;
using kwinet::test::Tool;
using kwinet::test::WriteFileBytes;

ProcessResult Links(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), "links");
  return Tool(args, input);
}

constexpr const char* kPage =
    "<a href=\"mailto:ann@example.org\">Ann</a> <a href='http://example.org/a#top'>a</a>\n"
    "<a href=\"http://example.org/b\r\nc\">b</a> https://example.org/s ftp://example.org/f\x01 HTTP://LOUD\n"
    "http://example.org/a";

class LinksTool : public kwinet::test::TNginxSuite {
 protected:
  kwinet::test::TempDir dir;
};

TEST_F(LinksTool, PrintsTheLinksOfAPageOnAServerOrInAFile) {
  WriteFileBytes(server->Root() + "/page.html", kPage);
  WriteFileBytes(server->Root() + "/none.html", "<p>no links here</p>");
  WriteFileBytes(dir.File("page.html"), kPage);
  const std::string http = "http://example.org/a\nhttp://example.org/b\\r\\nc\nhttp://example.org/a\n";
  struct Case {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{server->Url("/page.html")}, http},
      {{dir.File("page.html")}, http},
      {{"file://" + dir.File("page.html")}, http},
      {{"--kind", "mailto", server->Url("/page.html")}, "mailto:ann@example.org\n"},
      {{"--kind", "https", dir.File("page.html")}, "https://example.org/s\n"},
      {{"--kind", "ftp", dir.File("page.html")}, "ftp://example.org/f\\x01\n"},
      {{"--kind", "gopher", server->Url("/page.html")}, ""},
      {{server->Url("/none.html")}, ""},
  };
  for (const Case& c : cases) {
    const ProcessResult r = Links(c.args);
    EXPECT_EQ(r.ExitCode, 0) << c.args.back() << ": " << r.Err;
    EXPECT_EQ(r.Out, c.out) << c.args.back();
    EXPECT_EQ(r.Err, "");
  }
  // Standard input, read up to its first NUL.
  const ProcessResult in = Links({"-"}, std::string("http://x.example http://y.example\0http://z.example", 50));
  EXPECT_EQ(in.ExitCode, 0);
  EXPECT_EQ(in.Out, "http://x.example\nhttp://y.example\n");
}

TEST_F(LinksTool, FailsWithAReasonAndTheExitStatusForIt) {
  WriteFileBytes(server->Root() + "/private/p.html", "http://example.org/p");
  FakeServer stall(FakeServer::Stall(10000));
  FakeServer error(
      FakeServer::ReplyAndClose("HTTP/1.0 500 Oops\r\nContent-Length: 17\r\n\r\nhttp://error.page", "\r\n\r\n"));
  const std::string fake = "http://127.0.0.1:";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int code;
  } cases[] = {
      {"404", {server->Url("/gone.html")}, 3},
      {"no such file", {dir.File("gone.html")}, 3},
      {"a directory", {dir.Path()}, 1},
      {"authorization refused", {server->Url("/private/p.html")}, 1},
      {"an error answer", {fake + std::to_string(error.Port()) + "/"}, 1},
      {"a stalled server", {"--timeout", "300", fake + std::to_string(stall.Port()) + "/"}, 1},
      {"an unknown kind", {"--kind", "irc", dir.File("x")}, 2},
      {"a negative timeout", {"--timeout", "-1", server->Url("/")}, 2},
      {"an unknown scheme", {"gopher://example.org/"}, 2},
      {"a bad port", {"http://127.0.0.1:99999/"}, 2},
      {"no source", {}, 2},
  };
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult r = Links(c.args);
    EXPECT_EQ(r.ExitCode, c.code) << c.what << ": " << r.Err;
    EXPECT_EQ(r.Out, "") << c.what;
    EXPECT_TRUE(OneErrorLine(r)) << c.what << ": " << r.Err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.what;
  }
}

}  // namespace
