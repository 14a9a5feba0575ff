// aiosmtpd on loopback for the mail tests: plain, STARTTLS or implicit TLS,
// optionally with AUTH LOGIN, keeping every accepted message in a folder.
#pragma once

#include <string>
#include <vector>

#include "peers/Nginx.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"

namespace kwinet::test {

struct TSmtpServerOptions {
  std::string Mode = "plain";  // plain, starttls, implicit
  std::string User, Password;  // AUTH LOGIN when User is set
  std::vector<std::string> Refuse;  // recipients answered with 550
};

class TSmtpServer {
 public:
  explicit TSmtpServer(TSmtpServerOptions options = {});
  bool Started() const { return FStarted; }
  const std::string& Error() const { return FError; }
  int Port() const { return FPort; }
  std::string CAFile() const { return FCerts.CAFile; }
  // Waits (at most 10 s) until message number N (from 1) has been stored.
  bool WaitForMessage(int n) const;
  std::string MessageFile(int n, const std::string& suffix) const;

 private:
  TempDir FDir;
  TTestCertificates FCerts;
  TServerProcess FProcess;
  bool FStarted = false;
  std::string FError;
  int FPort = 0;
};

}  // namespace kwinet::test
