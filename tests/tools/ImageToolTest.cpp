// kwinet image against nginx and local files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "peers/NginxSuite.h"
#include "peers/PictureFiles.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

namespace {

using kwinet::test::Lines;
using kwinet::test::ProcessResult;
using kwinet::test::ReadFileBytes;
using kwinet::test::RunProcess;
using kwinet::test::Tool;
using kwinet::test::WriteFileBytes;

class ImageTool : public kwinet::test::TNginxSuite {
 protected:
  kwinet::test::TempDir dir;
};

TEST_F(ImageTool, PrintsWhatEachPictureIsAndExitsByTheOutcome) {
  WriteFileBytes(server->Root() + "/a.png", kwinet::test::MakePng(64, 48));
  WriteFileBytes(server->Root() + "/b.gif", kwinet::test::MakeGif(9, 3));
  WriteFileBytes(server->Root() + "/broken.jpg", "<html>camera offline</html>");
  WriteFileBytes(dir.File("c.jpeg"), kwinet::test::MakeJpeg(80, 60));
  WriteFileBytes(dir.File("d.bmp"), kwinet::test::MakeBmp(3, 5));
  ASSERT_EQ(::mkfifo(dir.File("fifo.png").c_str(), 0600), 0);
  struct Case {
    std::vector<std::string> args;
    std::string out;
    int code;
    const char* reason;  // on standard error
  } cases[] = {
      {{server->Url("/a.png")}, "PNG 64x48\n", 0, ""},
      {{server->Url("/b.gif"), "--timeout", "5000"}, "GIF 9x3\n", 0, ""},
      {{dir.File("c.jpeg")}, "JPEG 80x60\n", 0, ""},
      {{"file://" + dir.File("d.bmp")}, "BMP 3x5\n", 0, ""},
      {{server->Url("/broken.jpg")}, "", 1, "not a PNG, JPEG, GIF or BMP"},
      {{server->Url("/nothing.png")}, "", 3, ""},
      {{dir.File("nothing.png")}, "", 3, ""},
      // There, but no file to copy: a failure that says what it is.
      {{"/dev/zero"}, "", 1, "/dev/zero is not a regular file"},
      {{dir.File("fifo.png")}, "", 1, "fifo.png is not a regular file"},
      {{dir.Path()}, "", 1, "is a directory"},
      {{"gopher://127.0.0.1/x.png"}, "", 2, "gopher"},
      {{server->Url("/a.png"), "--count", "0"}, "", 2, "--count"},
      {{server->Url("/a.png"), "--every", "-1"}, "", 2, "--every"},
      {{server->Url("/a.png"), "-o", dir.Path()}, "", 2, "directory"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"image"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto r = Tool(args);
    SCOPED_TRACE(c.args[0]);
    EXPECT_EQ(r.Out, c.out);
    EXPECT_EQ(r.ExitCode, c.code) << r.Err;
    EXPECT_EQ(Lines(r.Err), c.code == 0 ? 0 : 1) << r.Err;
    EXPECT_NE(r.Err.find(c.reason), std::string::npos) << r.Err;
  }
}

TEST_F(ImageTool, RefreshesOnATimerAndKeepsTheLastCopy) {
  const std::string png = kwinet::test::MakePng(7, 6);
  WriteFileBytes(server->Root() + "/live.png", png);
  const std::string kept = dir.File("last.png");
  auto r = Tool({"image", server->Url("/live.png"), "--every", "0.2", "--count", "3", "-o", kept});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "PNG 7x6\nPNG 7x6\nPNG 7x6\n");
  EXPECT_EQ(ReadFileBytes(kept), png);
  EXPECT_FALSE(std::filesystem::exists(kept + ".part"));
  EXPECT_EQ(server->CountRequests("/live.png", 3), 3);

  // A picture that breaks in the middle of a run ends it with the reason,
  // and the copy kept is the last good one.
  WriteFileBytes(server->Root() + "/flaky.png", png);
  // It breaks once the first refresh has been served, however slowly the
  // tool starts.
  std::thread breaker([&] {
    for (int i = 0; i < 6 && server->CountRequests("/flaky.png", 1) < 1; ++i) {
    }
    WriteFileBytes(server->Root() + "/flaky.png", "broken");
  });
  r = Tool({"image", server->Url("/flaky.png"), "--every", "0.3", "--count", "50", "-o", kept});
  breaker.join();
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(Lines(r.Err), 1) << r.Err;
  EXPECT_NE(r.Out.find("PNG 7x6\n"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(kept), png);
}

// Stopped by Ctrl-C (or SIGTERM) in the middle of a run, the tool leaves
// nothing in its private temporary folder; a later run removes what a
// killed one left there.
TEST_F(ImageTool, AStoppedRunLeavesNoCopyBehind) {
  WriteFileBytes(server->Root() + "/cam.png", kwinet::test::MakePng(5, 4));
  kwinet::test::TempDir tmp;
  const std::string mine = tmp.Path() + "/kwinet-" + std::to_string(::geteuid());
  auto copies = [&] {
    std::vector<std::string> names;
    if (std::filesystem::exists(mine))
      for (const auto& e : std::filesystem::directory_iterator(mine)) names.push_back(e.path().filename().string());
    return names;
  };
  kwinet::test::TEnvScope tmpdir("TMPDIR", tmp.Path());
  // A shell that starts the tests in the background makes them ignore
  // SIGINT, and the tool keeps what it inherits: here it must not.
  struct sigaction interrupt {}, taken {};
  interrupt.sa_handler = SIG_DFL;
  ::sigaction(SIGINT, &interrupt, &taken);
  for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
    SCOPED_TRACE(sig);
    kwinet::support::TServerProcess run;
    const std::string out = dir.File("out" + std::to_string(sig));
    ASSERT_TRUE(run.Start({KWINET_TOOL_PATH, "image", "--every", "0.2", server->Url("/cam.png")}, out));
    ASSERT_TRUE(run.WaitReady([&] { return ReadFileBytes(out).find("PNG 5x4") != std::string::npos; }));
    EXPECT_EQ(copies().size(), 1u);
    ::kill(run.Pid(), sig);
    ASSERT_TRUE(run.WaitReady([&] { return !run.Running(); })) << "still running";
    if (sig != SIGKILL) {
      EXPECT_TRUE(copies().empty());
    }
  }
  // The killed run's copy is there until the next run starts.
  EXPECT_EQ(copies().size(), 1u);
  auto r = Tool({"image", server->Url("/cam.png")});
  ::sigaction(SIGINT, &taken, nullptr);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(copies().empty());
}

}  // namespace
