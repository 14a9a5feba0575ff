// A one-thread HTTP server on loopback that misbehaves on purpose: it
// answers every connection with Head, then the first BodyBytes of Body, and
// then either closes, or holds the connection open without a word until it
// is stopped (a stall). With Head empty it closes at once.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace kwinet::test {

class TFakeHttp {
 public:
  enum TMode { fmCloseAfter, fmStallAfter };
  TFakeHttp(std::string head, std::string body, std::size_t bodyBytes, TMode mode);
  ~TFakeHttp();
  int Port() const { return FPort; }
  int Connections() const { return FConnections.load(); }

 private:
  void Serve();
  std::string FHead, FBody;
  std::size_t FBodyBytes;
  TMode FMode;
  int FListen = -1;
  int FPort = 0;
  std::atomic<bool> FStop{false};
  std::atomic<int> FConnections{0};
  std::thread FThread;
};

}  // namespace kwinet::test
