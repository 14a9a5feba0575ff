// tinyproxy on loopback: an HTTP proxy that asks for basic authorization.
#pragma once

#include <string>

#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"

namespace kwinet::test {

class TTinyproxy {
 public:
  // With an empty user the proxy asks for no authorization.
  explicit TTinyproxy(const std::string& user = "proxyuser", const std::string& password = "proxypass");
  ~TTinyproxy() { FProcess.Stop(); }

  bool Started() const { return FStarted; }
  const std::string& Error() const { return FError; }
  int Port() const { return FPort; }
  // The proxy's log (requests it passed on, refusals).
  std::string Log() const;

 private:
  TempDir FDir;
  TServerProcess FProcess;
  bool FStarted = false;
  std::string FError;
  int FPort = 0;
};

}  // namespace kwinet::test
