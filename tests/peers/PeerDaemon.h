// A server program run in the foreground as a child of the test, with its
// output in a log file; stopped (SIGTERM, then SIGKILL) when the object goes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kwinet::test {

class PeerDaemon {
 public:
  PeerDaemon() = default;
  ~PeerDaemon() { Stop(); }
  PeerDaemon(const PeerDaemon&) = delete;
  PeerDaemon& operator=(const PeerDaemon&) = delete;

  // Starts argv[0] (a full path) with its output appended to logFile.
  bool Start(const std::vector<std::string>& argv, const std::string& logFile);
  void Stop();
  // False once the process has exited.
  bool Running();
  pid_t Pid() const { return FPid; }

 private:
  pid_t FPid = 0;
};

// True when path names an executable file.
bool Executable(const std::string& path);
// A UDP port on 127.0.0.1 that is free for both UDP and TCP right now.
int FreeUdpTcpPort();

}  // namespace kwinet::test
