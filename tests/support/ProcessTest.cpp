// The process runner and port waits that the suites and the demo stand on:
// they must give up when the program dies, never lose output, and never
// reap or signal a process that is not theirs to.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "support/Ports.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace kwinet::support {
namespace {

using Clock = std::chrono::steady_clock;

std::string ReadAll(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

TEST(ServerProcess, LogsBothStreamsAndEndsTheProgramWithTheObject) {
  TempDir dir;
  pid_t pid = 0;
  {
    TServerProcess p;
    ASSERT_TRUE(p.Start({"/bin/sh", "-c", "echo out; echo err >&2; exec sleep 30"}, dir.File("log")));
    pid = p.Pid();
    ASSERT_TRUE(p.WaitReady([&] { return ReadAll(dir.File("log")).size() >= 8; }));
    EXPECT_TRUE(p.Running());
  }
  EXPECT_EQ(ReadAll(dir.File("log")), "out\nerr\n");
  // Ended and reaped: no such process is left, not even a zombie.
  EXPECT_NE(::kill(pid, 0), 0);

  TServerProcess missing;
  EXPECT_FALSE(missing.Start({dir.File("no-such-program")}, dir.File("log")));
}

TEST(ServerProcess, WaitsGiveUpAsSoonAsTheProgramDies) {
  TempDir dir;
  const int port = FreePort();
  ASSERT_GT(port, 0);
  struct Case {
    const char* name;
    bool (*wait)(TServerProcess&, int port);
  } cases[] = {
      {"WaitReady", [](TServerProcess& p, int) { return p.WaitReady([] { return false; }, std::chrono::seconds(30)); }},
      {"member WaitForPort", [](TServerProcess& p, int port) { return p.WaitForPort(port, std::chrono::seconds(30)); }},
      {"free WaitForPort",
       [](TServerProcess& p, int port) { return WaitForPort(port, std::chrono::seconds(30), p.Pid()); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TServerProcess p;
    ASSERT_TRUE(p.Start({"/bin/sh", "-c", "exit 3"}, dir.File("log")));
    const pid_t pid = p.Pid();
    const auto start = Clock::now();
    EXPECT_FALSE(c.wait(p, port));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    if (p.Pid() != 0) {
      // The free wait left the child to its owner: still there to be reaped.
      siginfo_t info{};
      EXPECT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT), 0);
      EXPECT_EQ(info.si_pid, pid);
      EXPECT_FALSE(p.Running());
      EXPECT_EQ(p.Pid(), 0);
    }
  }
}

TEST(RunProcess, CapturesBothStreamsFeedsInputAndBoundsTheRun) {
  // More input than a pipe holds, echoed back while it is still being fed.
  std::string input;
  for (int i = 0; i < 1 << 20; ++i) input.push_back(static_cast<char>('a' + i % 26));
  ProcessResult echo = RunProcess({"/bin/cat"}, input);
  EXPECT_EQ(echo.ExitCode, 0);
  EXPECT_TRUE(echo.Out == input) << echo.Out.size() << " bytes back of " << input.size();

  ProcessResult both = RunProcess({"/bin/sh", "-c", "echo out; echo err >&2; exit 7"});
  EXPECT_EQ(both.ExitCode, 7);
  EXPECT_EQ(both.Out, "out\n");
  EXPECT_EQ(both.Err, "err\n");
  EXPECT_FALSE(both.TimedOut);

  const auto start = Clock::now();
  ProcessResult slow = RunProcess({"/bin/sleep", "30"}, "", std::chrono::milliseconds(200));
  EXPECT_TRUE(slow.TimedOut);
  EXPECT_EQ(slow.ExitCode, -1);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));

  EXPECT_THROW(RunProcess({"/no/such/program"}), std::runtime_error);
}

}  // namespace
}  // namespace kwinet::support
