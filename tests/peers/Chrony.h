// chronyd serving its local clock over NTP on a free loopback port (never
// setting the clock), for the SNTP client's tests.
#pragma once

#include <string>

#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"

namespace kwinet::test {

class Chrony {
 public:
  static constexpr const char* Program = "/usr/sbin/chronyd";
  static constexpr const char* Package = "chrony";

  // Starts chronyd and waits (at most 10 s) until it answers a client packet.
  Chrony();
  bool Ok() const { return FOk; }
  const std::string& Error() const { return FError; }
  int Port() const { return FPort; }

 private:
  TempDir FDir;
  TServerProcess FDaemon;
  int FPort = 0;
  bool FOk = false;
  std::string FError;
};

}  // namespace kwinet::test
