// An FTP server on loopback (pyftpdlib through Debian's /usr/bin/python3)
// with one user and anonymous read access, serving Root(); over TLS on
// demand, with a certificate of a test CA (python3-openssl).
#pragma once

#include <string>

#include "support/Nginx.h"
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
  // tlsExplicit: AUTH TLS, required before the logon and for every data
  // transfer; tlsImplicit: TLS from the first byte, data too.
  enum TTls { tlsNone, tlsExplicit, tlsImplicit } Tls = tlsNone;
  // Over TLS: the certificate names wrong.invalid instead of 127.0.0.1.
  bool WrongName = false;
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
  // The CA that signed the certificate of a server over TLS.
  const std::string& CAFile() const { return FCerts.CAFile; }

 private:
  TempDir FDir;
  TTestCertificates FCerts;
  TServerProcess FProcess;
  bool FStarted = false;
  std::string FError;
  int FPort = 0;
};

}  // namespace kwinet::support
