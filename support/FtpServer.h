// An FTP server on loopback (pyftpdlib through Debian's /usr/bin/python3)
// with one user and anonymous read access, serving Root().
#pragma once

#include <string>

#include "support/Process.h"
#include "support/TempDir.h"

namespace kwinet::support {

struct TFtpOptions {
  std::string User = "ftpuser";
  std::string Password = "ftppass";
  // Without MLSD the client has to read LIST output.
  bool Mlsd = true;
  // The user's pyftpdlib permissions ("e": change folder, "l": list...).
  std::string Permissions = "elradfmw";
};

class TFtpServer {
 public:
  explicit TFtpServer(TFtpOptions options = {});
  ~TFtpServer() { FProcess.Stop(); }

  bool Started() const { return FStarted; }
  const std::string& Error() const { return FError; }
  int Port() const { return FPort; }
  std::string Root() const { return FDir.Path() + "/root"; }
  // The server's log: one line per command it received.
  std::string Log() const;

 private:
  TempDir FDir;
  TServerProcess FProcess;
  bool FStarted = false;
  std::string FError;
  int FPort = 0;
};

}  // namespace kwinet::support
