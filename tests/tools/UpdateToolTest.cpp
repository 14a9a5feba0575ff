// kwinet update and kwinet get against nginx and pyftpdlib on loopback.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "peers/FtpServer.h"
#include "peers/Nginx.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"

namespace {

using kwinet::test::ProcessResult;
using kwinet::test::ReadFileBytes;
using kwinet::test::RunProcess;
using kwinet::test::WriteFileBytes;

ProcessResult Tool(std::vector<std::string> args) {
  args.insert(args.begin(), KWINET_TOOL_PATH);
  return RunProcess(args);
}

class UpdateTool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const char* v : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "no_proxy", "NO_PROXY"})
      ::unsetenv(v);
    kwinet::test::TNginxOptions options;
    options.Https = true;
    server = new kwinet::test::TNginx(options);
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override { KWINET_REQUIRE_PEER(server->Started(), server->Error()); }
  static kwinet::test::TNginx* server;
  kwinet::test::TempDir dir;
};
kwinet::test::TNginx* UpdateTool::server = nullptr;

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

}  // namespace
