// kwinet update and kwinet get against nginx and pyftpdlib on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "peers/FakeServer.h"
#include "peers/FtpServer.h"
#include "peers/NginxSuite.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

namespace {

using kwinet::test::OneErrorLine;
using kwinet::test::ProcessResult;
using kwinet::test::ReadFileBytes;
using kwinet::test::Tool;
using kwinet::test::WriteFileBytes;

class UpdateTool : public kwinet::test::TNginxSuite {
 protected:
  static void SetUpTestSuite() {
    kwinet::test::TNginxOptions options;
    options.Https = true;
    StartNginx(options);
  }
  kwinet::test::TempDir dir;
};

TEST_F(UpdateTool, PrintsTheStatusAndExitsByIt) {
  WriteFileBytes(server->Root() + "/app.bin", std::string(50000, 'a'));
  WriteFileBytes(server->Root() + "/private/p.bin", "private");
  const std::string local = dir.File("app.bin");
  struct Case {
    std::vector<std::string> args;
    std::string out;
    int code;
  } cases[] = {
      {{"update", server->Url("/app.bin"), local}, "isFinished\n", 0},
      {{"update", server->Url("/app.bin"), local}, "isSkipped\n", 0},
      {{"update", server->Url("/nothing.bin"), local}, "isNotFound\n", 3},
      {{"update", server->Root() + "/app.bin", dir.File("copy.bin")}, "isFinished\n", 0},
      {{"update", "--user", "kwuser", "--password", "kwpass", server->Url("/private/p.bin"), dir.File("p.bin")},
       "isFinished\n",
       0},
      {{"update", "--ca", server->CAFile(), server->Url("/app.bin", true), dir.File("s.bin")}, "isFinished\n", 0},
      {{"update", "ftp://127.0.0.1:" + std::to_string(kwinet::test::FreePort()) + "/x", dir.File("f.bin")},
       "isFailed\n",
       1},
  };
  for (const Case& c : cases) {
    auto r = Tool(c.args);
    EXPECT_EQ(r.Out, c.out) << c.args[1] << " " << r.Err;
    EXPECT_EQ(r.ExitCode, c.code) << c.args[1];
  }
  EXPECT_EQ(ReadFileBytes(local), std::string(50000, 'a'));
  EXPECT_EQ(ReadFileBytes(dir.File("p.bin")), "private");
  auto bad = Tool({"update", "gopher://x/y", local});
  EXPECT_EQ(bad.ExitCode, 2);
  EXPECT_NE(bad.Err.find("gopher"), std::string::npos);
}

TEST_F(UpdateTool, ResumesFromThePartialFile) {
  std::string data;
  for (int i = 0; i < 100000; ++i) data.push_back(static_cast<char>(i % 253));
  WriteFileBytes(server->Root() + "/r.bin", data);
  const std::string local = dir.File("r.bin");
  WriteFileBytes(local + ".part", data.substr(0, 40000));
  // A partial left by an interrupted run carries the remote file's time.
  const auto mtime = std::chrono::file_clock::from_sys(std::chrono::sys_seconds{std::chrono::seconds{1700000000}});
  std::filesystem::last_write_time(server->Root() + "/r.bin", mtime);
  std::filesystem::last_write_time(local + ".part", mtime);
  auto r = Tool({"update", "--resume", server->Url("/r.bin"), local});
  EXPECT_EQ(r.Out, "isFinished\n") << r.Err;
  EXPECT_TRUE(ReadFileBytes(local) == data);
  EXPECT_TRUE(server->WaitForLogLine("GET /r.bin 206 bytes=40000-"));
}

TEST_F(UpdateTool, GetWritesTheBody) {
  WriteFileBytes(server->Root() + "/g.txt", "body text\n");
  auto out = Tool({"get", server->Url("/g.txt")});
  EXPECT_EQ(out.ExitCode, 0);
  EXPECT_EQ(out.Out, "body text\n");
  auto file = Tool({"get", "--ca", server->CAFile(), server->Url("/g.txt", true), "-o", dir.File("g.txt")});
  EXPECT_EQ(file.ExitCode, 0) << file.Err;
  EXPECT_EQ(ReadFileBytes(dir.File("g.txt")), "body text\n");
  auto untrusted = Tool({"get", server->Url("/g.txt", true)});
  EXPECT_EQ(untrusted.ExitCode, 1);
  EXPECT_TRUE(untrusted.Out.empty());
  EXPECT_FALSE(untrusted.Err.empty());
}

using kwinet::test::FakeConnection;
using kwinet::test::FakeServer;

FakeServer::ConnectionHandler Reply(std::string answer) {
  return FakeServer::ReplyAndClose(std::move(answer), "\r\n\r\n");
}

// update: the status line and exit code say what happened; a failure or a
// missing file always comes with its reason; the old copy stays unless a
// whole good answer replaced it.
TEST(UpdateToolFaults, StatusExitAndReasonForEachAnswer) {
  for (const char* v : {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY"}) ::unsetenv(v);
  constexpr const char* kOld = "good old copy";
  struct Case {
    const char* name;
    FakeServer::ConnectionHandler handler;
    std::vector<std::string> options;
    bool local;
    std::string out;
    int code;
    const char* after;  // nullptr: no local file
  } cases[] = {
      {"401",
       Reply("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\nContent-Length: 2\r\n\r\nno"),
       {},
       false,
       "isFailed\n",
       1,
       nullptr},
      {"redirect to itself",
       Reply("HTTP/1.0 301 Moved\r\nLocation: /f\r\nContent-Length: 0\r\n\r\n"),
       {},
       true,
       "isFailed\n",
       1,
       kOld},
      {"no Content-Length", Reply("HTTP/1.0 200 OK\r\n\r\nnew body"), {}, false, "isFinished\n", 0, "new body"},
      {"Content-Length 0", Reply("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"), {}, false, "isFinished\n", 0, ""},
      {"negative Content-Length",
       Reply("HTTP/1.0 200 OK\r\nContent-Length: -1\r\n\r\nx"),
       {},
       true,
       "isFailed\n",
       1,
       kOld},
      {"500", Reply("HTTP/1.0 500 Oops\r\nContent-Length: 10\r\n\r\nerror page"), {}, true, "isFailed\n", 1, kOld},
      {"404", Reply("HTTP/1.0 404 Not Found\r\nContent-Length: 4\r\n\r\nnone"), {}, true, "isNotFound\n", 3, kOld},
      {"reset",
       FakeServer::CloseMidAnswer("HTTP/1.0 200 OK\r\nContent-Length: 99\r\n\r\nhalf", "\r\n\r\n"),
       {},
       true,
       "isFailed\n",
       1,
       kOld},
      {"garbage", FakeServer::Garbage(2000, "\r\n\r\n"), {}, true, "isFailed\n", 1, kOld},
      {"timeout", FakeServer::Stall(10000), {"--timeout", "300"}, true, "isFailed\n", 1, kOld},
      {"max time",
       [](FakeConnection& c) {
         c.ReadUntil("\r\n\r\n");
         c.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000000\r\n\r\n");
         while (c.Send(std::string(1000, 'x')) && c.Sleep(10)) {
         }
       },
       {"--max-time", "700"},
       true,
       "isFailed\n",
       1,
       kOld},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kwinet::test::TempDir dir;
    const std::string local = dir.File("l.bin");
    if (c.local) WriteFileBytes(local, kOld);
    FakeServer server(c.handler);
    std::vector<std::string> args = {"update"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back("http://127.0.0.1:" + std::to_string(server.Port()) + "/f");
    args.push_back(local);
    const auto start = std::chrono::steady_clock::now();
    auto r = Tool(args);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(r.Out, c.out) << r.Err;
    EXPECT_EQ(r.ExitCode, c.code);
    EXPECT_EQ(OneErrorLine(r), c.code != 0) << r.Err;
    if (c.after) {
      EXPECT_EQ(ReadFileBytes(local), c.after);
    } else {
      EXPECT_FALSE(std::filesystem::exists(local));
    }
  }
  // A server that cannot be reached is not found, with the reason.
  auto refused = Tool({"update", "http://127.0.0.1:" + std::to_string(kwinet::test::FreePort()) + "/f",
                       kwinet::test::TempDir().File("x")});
  EXPECT_EQ(refused.Out, "isNotFound\n");
  EXPECT_EQ(refused.ExitCode, 3);
  EXPECT_TRUE(OneErrorLine(refused)) << refused.Err;
  for (const char* option : {"--timeout", "--max-time"}) {
    auto negative = Tool({"update", option, "-5", "http://127.0.0.1:1/f", "x"});
    EXPECT_EQ(negative.ExitCode, 2) << option;
    EXPECT_TRUE(OneErrorLine(negative)) << negative.Err;
  }
}

// get -o: the file is replaced only by a whole body; a bad target or URL
// fails before anything is written, and no .part is left behind.
TEST(UpdateToolFaults, GetReplacesTheFileOnlyWithAWholeBody) {
  for (const char* v : {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY"}) ::unsetenv(v);
  FakeServer whole(Reply("HTTP/1.0 200 OK\r\nContent-Length: 8\r\n\r\nnew body"));
  FakeServer half(Reply("HTTP/1.0 200 OK\r\nContent-Length: 20\r\n\r\nonly ten b"));
  FakeServer errorPage(Reply("HTTP/1.0 500 Oops\r\nContent-Length: 5\r\n\r\noops!"));
  FakeServer stall(FakeServer::Stall(10000));
  auto url = [](const FakeServer& s) { return "http://127.0.0.1:" + std::to_string(s.Port()) + "/f"; };
  kwinet::test::TempDir dir;
  const std::string file = dir.File("out.txt");
  constexpr const char* kOld = "previous contents";
  struct Case {
    const char* name;
    std::vector<std::string> args;  // after "get"; FILE stands for the output file
    int code;
    const char* after;  // the output file afterwards
  } cases[] = {
      {"whole body", {"-o", "FILE", url(whole)}, 0, "new body"},
      {"an error page is a whole body", {"-o", "FILE", url(errorPage)}, 0, "oops!"},
      {"half the body", {"-o", "FILE", url(half)}, 1, kOld},
      {"refused", {"-o", "FILE", "http://127.0.0.1:" + std::to_string(kwinet::test::FreePort()) + "/f"}, 1, kOld},
      {"timeout", {"--timeout", "300", "-o", "FILE", url(stall)}, 1, kOld},
      {"max time", {"--max-time", "300", "-o", "FILE", url(stall)}, 1, kOld},
      {"negative timeout", {"--timeout", "-1", "-o", "FILE", url(whole)}, 2, kOld},
      {"gopher", {"-o", "FILE", "gopher://127.0.0.1/x"}, 2, kOld},
      {"a directory", {"-o", dir.Path(), url(whole)}, 2, kOld},
      {"empty name", {"-o", "", url(whole)}, 2, kOld},
      {"dot", {"-o", ".", url(whole)}, 2, kOld},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(file, kOld);
    std::vector<std::string> args = {"get"};
    for (const std::string& a : c.args) args.push_back(a == "FILE" ? file : a);
    const auto start = std::chrono::steady_clock::now();
    auto r = Tool(args);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(r.ExitCode, c.code) << r.Err;
    EXPECT_EQ(OneErrorLine(r), c.code != 0) << r.Err;
    EXPECT_EQ(ReadFileBytes(file), c.after);
    EXPECT_TRUE(r.Out.empty());
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 1u) << "a .part was left behind";
  }
  // To standard output, a cut body is a failure too.
  auto cut = Tool({"get", url(half)});
  EXPECT_EQ(cut.ExitCode, 1);
  EXPECT_TRUE(OneErrorLine(cut)) << cut.Err;
}

// get -o never writes through a link planted at FILE.part: the file it
// points to stays as it was, and so does the link. A stale regular .part of
// an earlier run is replaced.
TEST(UpdateToolFaults, GetRefusesALinkAtThePartFile) {
  for (const char* v : {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY"}) ::unsetenv(v);
  FakeServer whole(Reply("HTTP/1.0 200 OK\r\nContent-Length: 8\r\n\r\nnew body"));
  const std::string url = "http://127.0.0.1:" + std::to_string(whole.Port()) + "/f";
  kwinet::test::TempDir dir;
  const std::string file = dir.File("out.txt");
  const std::string precious = dir.File("precious.txt");
  for (bool link : {true, false}) {
    SCOPED_TRACE(link ? "a link" : "a stale .part");
    WriteFileBytes(file, "previous contents");
    WriteFileBytes(precious, "the user's own file");
    std::filesystem::remove(file + ".part");
    if (link)
      std::filesystem::create_symlink(precious, file + ".part");
    else
      WriteFileBytes(file + ".part", "left by an earlier run");
    auto r = Tool({"get", "-o", file, url});
    EXPECT_EQ(r.ExitCode, link ? 1 : 0) << r.Err;
    EXPECT_EQ(ReadFileBytes(precious), "the user's own file");
    EXPECT_EQ(ReadFileBytes(file), link ? "previous contents" : "new body");
    if (link) {
      EXPECT_TRUE(OneErrorLine(r)) << r.Err;
      EXPECT_NE(r.Err.find("symbolic link"), std::string::npos) << r.Err;
      EXPECT_TRUE(std::filesystem::is_symlink(file + ".part"));
    } else {
      EXPECT_FALSE(std::filesystem::exists(file + ".part"));
    }
  }
}

}  // namespace
