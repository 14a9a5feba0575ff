// dnsmasq serving a small zone on a free loopback port (UDP and TCP), for
// the DNS resolver's tests and the tool's.
//
// Zone kwinet.test (answered locally, nothing is forwarded):
//   www.kwinet.test      A    192.0.2.10
//   kwinet.test          MX   10 mail.kwinet.test
//   kwinet.test          TXT  "hello world"
//   10.2.0.192.in-addr.arpa PTR www.kwinet.test
//   big.kwinet.test      TXT  six strings of 200 characters (too large for UDP)
#pragma once

#include <memory>
#include <string>

#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"

namespace kwinet::test {

class Dnsmasq {
 public:
  static constexpr const char* Program = "/usr/sbin/dnsmasq";
  static constexpr const char* Package = "dnsmasq";

  // Starts the server and waits (at most 10 s) until it answers; Ok() tells
  // whether it did, Error() why not.
  Dnsmasq();
  bool Ok() const { return FOk; }
  const std::string& Error() const { return FError; }
  int Port() const { return FPort; }
  // The text of one big TXT string (the same six times).
  static std::string BigText();

 private:
  TempDir FDir;
  TServerProcess FDaemon;
  int FPort = 0;
  bool FOk = false;
  std::string FError;
};

}  // namespace kwinet::test
