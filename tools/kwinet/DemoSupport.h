// What the demo parts share: showing a command as a user would type it and
// running it, a private temporary folder, server processes started on
// loopback ports for as long as the demo part runs, and a small in-process
// text server.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
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

// A server program, stopped at destruction. Its output goes to LogFile.
class TDemoProcess {
 public:
  TDemoProcess() = default;
  ~TDemoProcess() { Stop(); }
  TDemoProcess(const TDemoProcess&) = delete;
  TDemoProcess& operator=(const TDemoProcess&) = delete;
  // Starts argv and waits (at most 10 s) until Ready says it serves.
  bool Start(const std::vector<std::string>& argv, const std::string& logFile, const std::function<bool()>& Ready);
  // The same, ready when port accepts connections on 127.0.0.1.
  bool Start(const std::vector<std::string>& argv, int port, const std::string& logFile);
  void Stop();

 private:
  pid_t FPid = 0;
};

// Serves connections on a free port of 127.0.0.1 from a thread of its own,
// until destroyed: reads a request line first when ReadLine is set, then
// sends what Answer returns for it and closes. Every wait is bounded.
class TDemoTextServer {
 public:
  TDemoTextServer(bool ReadLine, std::function<std::string(const std::string& request)> Answer);
  ~TDemoTextServer();
  TDemoTextServer(const TDemoTextServer&) = delete;
  TDemoTextServer& operator=(const TDemoTextServer&) = delete;
  int Port() const { return FPort; }

 private:
  void Serve();
  bool FReadLine;
  std::function<std::string(const std::string&)> FAnswer;
  int FListen = -1;
  int FPort = 0;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

// A port on 127.0.0.1 free for UDP and TCP right now.
int FreeUdpTcpPort();
// Sends Request to 127.0.0.1:port over UDP; true when an answer comes
// within 200 ms and Accept takes it.
bool UdpAnswers(int port, const std::string& request, const std::function<bool(const std::string&)>& Accept);

}  // namespace kwinet::tool
