// Servers that the demo parts of the whois, time and dns commands start for
// themselves: a small in-process TCP server that answers each connection
// with a text, and daemons whose readiness is an answer over UDP.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kwinet::tool {

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

// A daemon started in the foreground; Start waits (at most 10 s) until
// Ready() says it serves. Stopped at destruction.
class TDemoDaemon {
 public:
  TDemoDaemon() = default;
  ~TDemoDaemon() { Stop(); }
  TDemoDaemon(const TDemoDaemon&) = delete;
  TDemoDaemon& operator=(const TDemoDaemon&) = delete;
  bool Start(const std::vector<std::string>& argv, const std::string& logFile, const std::function<bool()>& Ready);
  void Stop();

 private:
  pid_t FPid = 0;
};

// A port on 127.0.0.1 free for UDP and TCP right now.
int FreeUdpTcpPort();
// Sends Request to 127.0.0.1:port over UDP; true when an answer comes
// within 200 ms and Accept takes it.
bool UdpAnswers(int port, const std::string& request, const std::function<bool(const std::string&)>& Accept);

}  // namespace kwinet::tool
