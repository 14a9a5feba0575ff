// Starting and stopping real servers for the tests: free loopback ports, a
// child process with its output in a log file, and waits that have a bound.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "peers/TestSupport.h"

namespace kwinet::test {

// A TCP port on 127.0.0.1 that nobody listens on right now.
int FreePort();
// A port on 127.0.0.1 that is free for both UDP and TCP right now.
int FreeUdpTcpPort();
// Connects to 127.0.0.1:port until it answers or the time is up.
bool WaitForPort(int port, std::chrono::milliseconds limit, pid_t process = 0);
// True when the file exists and may be executed.
bool HaveProgram(const std::string& path);
// Runs a command line through /bin/sh; true when it exits 0.
bool RunShell(const std::string& command);

// A child process, ended (SIGTERM, then SIGKILL) when the object goes.
class TServerProcess {
 public:
  TServerProcess() = default;
  ~TServerProcess() { Stop(); }
  TServerProcess(const TServerProcess&) = delete;
  TServerProcess& operator=(const TServerProcess&) = delete;

  // Starts argv[0] with the arguments; its stdout and stderr go to logFile.
  bool Start(const std::vector<std::string>& argv, const std::string& logFile);
  void Stop();
  // Polls Ready until it says yes (true), the process ends or Limit passes.
  bool WaitReady(const std::function<bool()>& Ready, std::chrono::milliseconds Limit = std::chrono::seconds(5));
  pid_t Pid() const { return FPid; }
  bool Running();

 private:
  pid_t FPid = 0;
};

}  // namespace kwinet::test

// A peer server that could not be had: a failure under CI, elsewhere a skip
// that names the package to install.
#define KWINET_REQUIRE_PEER(ok, what)                                       \
  do {                                                                      \
    if (!(ok)) {                                                            \
      if (::kwinet::test::InCI()) FAIL() << "peer not available: " << what; \
      GTEST_SKIP() << "peer not available: " << what;                       \
    }                                                                       \
  } while (0)
