// What the demo parts share: showing a command as a user would type it and
// running it, a private temporary folder, and server processes started on
// loopback ports for as long as the demo part runs.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kwinet::tool {

// Prints "$ kwinet ARGS" and runs the tool with ARGS in this process;
// true when it exits with Expected.
bool Show(const std::vector<std::string>& args, int expected = 0);

// A TCP port on 127.0.0.1 that nobody listens on right now.
int FreeLoopbackPort();
// True when something accepts connections on 127.0.0.1:port.
bool LoopbackPortOpen(int port);

// A folder under /tmp, removed with its content at destruction.
class TDemoFolder {
 public:
  TDemoFolder();
  ~TDemoFolder();
  TDemoFolder(const TDemoFolder&) = delete;
  TDemoFolder& operator=(const TDemoFolder&) = delete;
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

// A server program on a loopback port, stopped at destruction. Its output
// goes to LogFile.
class TDemoProcess {
 public:
  TDemoProcess() = default;
  ~TDemoProcess() { Stop(); }
  TDemoProcess(const TDemoProcess&) = delete;
  TDemoProcess& operator=(const TDemoProcess&) = delete;
  // Starts argv and waits (at most 10 s) until port accepts connections.
  bool Start(const std::vector<std::string>& argv, int port, const std::string& logFile);
  void Stop();

 private:
  pid_t FPid = 0;
};

}  // namespace kwinet::tool
