// nginx on loopback for the tests and the demo: plain HTTP, HTTPS with a
// test CA, a second HTTPS port whose certificate names another host, and a
// folder under basic authorization.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/Process.h"
#include "support/TempDir.h"

namespace kwinet::support {

// A CA and certificates made with openssl in a folder: one for "localhost"
// and 127.0.0.1, one for "wrong.invalid".
struct TTestCertificates {
  bool Make(const std::string& folder);
  std::string CAFile, ServerCert, ServerKey, WrongCert, WrongKey;
};

struct TNginxOptions {
  bool Https = false;
  // Users of the /private/ folder (basic authorization).
  std::vector<std::pair<std::string, std::string>> Users = {{"kwuser", "kwpass"}};
  // More directives inside every server block.
  std::string ServerExtra;
};

class TNginx {
 public:
  explicit TNginx(TNginxOptions options = {});
  ~TNginx();

  bool Started() const { return FStarted; }
  const std::string& Error() const { return FError; }
  int Port() const { return FPort; }
  int HttpsPort() const { return FHttpsPort; }
  int WrongNameHttpsPort() const { return FWrongPort; }
  // The served folder: Root() + "/a.txt" is http://127.0.0.1:Port()/a.txt.
  std::string Root() const { return FDir.Path() + "/www"; }
  std::string CAFile() const { return FCerts.CAFile; }
  std::string Url(const std::string& path, bool https = false) const;
  // Requests for this path in the access log. nginx writes a line as it
  // finishes a request, which may be just after the client has its answer:
  // with atLeast, waits (at most 5 s) until that many are there.
  int CountRequests(const std::string& path, int atLeast = 0) const;
  // Lines of the access log, "METHOD URI STATUS RANGE".
  std::vector<std::string> AccessLog() const;
  // Waits (at most 5 s) for this line in the access log.
  bool WaitForLogLine(const std::string& line) const;

 private:
  TempDir FDir;
  TTestCertificates FCerts;
  TServerProcess FProcess;
  bool FStarted = false;
  std::string FError;
  int FPort = 0, FHttpsPort = 0, FWrongPort = 0;
};

}  // namespace kwinet::support
