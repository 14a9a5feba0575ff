// An HTTP server on loopback that misbehaves on purpose: it answers every
// connection with Head, then the first BodyBytes of Body, and then either
// closes, or holds the connection open without a word until it is stopped
// (a stall). With Head empty it closes as soon as it has read the request.
// A thin layer on the scripted fake server.
#pragma once

#include <string>

#include "peers/FakeServer.h"

namespace kwinet::test {

class TFakeHttp {
 public:
  enum TMode { fmCloseAfter, fmStallAfter };
  TFakeHttp(std::string head, std::string body, std::size_t bodyBytes, TMode mode);
  int Port() const { return FServer.Port(); }
  // Connections accepted so far.
  int Connections() const { return static_cast<int>(FServer.ConnectionCount()); }

 private:
  void Serve(FakeConnection& c) const;
  const std::string FAnswer;
  const bool FStall;
  // Last, so that it stops before the answer it sends goes.
  FakeServer FServer;
};

}  // namespace kwinet::test
