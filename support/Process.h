// Running other programs: a server kept running for as long as its owner
// lives, and a program run to its end with its output captured. Both start
// the program through one spawn helper, and every wait has a bound.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kwinet::support {

// True when the file exists and may be executed.
bool HaveProgram(const std::string& Path);
// Runs a command line through /bin/sh; true when it exits 0.
bool RunShell(const std::string& Command);

// A server program running as a child process, ended (SIGTERM, then SIGKILL
// after 5 s) when the object goes.
//
//   TServerProcess nginx;
//   if (!nginx.Start({"/usr/sbin/nginx", ...}, dir + "/nginx.out") ||
//       !nginx.WaitForPort(port)) ... it did not come up ...
class TServerProcess {
 public:
  TServerProcess() = default;
  ~TServerProcess() { Stop(); }
  TServerProcess(const TServerProcess&) = delete;
  TServerProcess& operator=(const TServerProcess&) = delete;

  // Starts Argv[0] (a path) with the arguments, standard input from
  // /dev/null, standard output and error appended to LogFile. Stops the
  // process this object ran before, if any.
  bool Start(const std::vector<std::string>& Argv, const std::string& LogFile);
  void Stop();
  // Polls Ready until it says yes (true), the process ends or Limit passes.
  bool WaitReady(const std::function<bool()>& Ready, std::chrono::milliseconds Limit = std::chrono::seconds(5));
  // Waits until 127.0.0.1:Port accepts connections.
  bool WaitForPort(int Port, std::chrono::milliseconds Limit = std::chrono::seconds(10));
  // The child's id; 0 once it has ended and been reaped.
  pid_t Pid() const { return FPid; }
  bool Running();

 private:
  pid_t FPid = 0;
};

// Runs a program with arguments (Argv[0] is the program's path) to its end,
// feeding it Input on standard input; it is killed when it outlives Timeout.
// Throws std::runtime_error when it cannot be started.
struct ProcessResult {
  int ExitCode = -1;  // -1 when it did not exit normally (killed, timed out)
  bool TimedOut = false;
  std::string Out, Err;
};
ProcessResult RunProcess(const std::vector<std::string>& Argv, const std::string& Input = "",
                         std::chrono::milliseconds Timeout = std::chrono::seconds(60));

}  // namespace kwinet::support
