#include "peers/NginxSuite.h"

#include <cstdlib>

#include "peers/ServerProcess.h"

namespace kwinet::test {

void ClearProxyEnvironment() {
  for (const char* v : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "ftp_proxy", "FTP_PROXY", "all_proxy",
                        "ALL_PROXY", "no_proxy", "NO_PROXY"})
    ::unsetenv(v);
}

TNginx* TNginxSuite::server = nullptr;

void TNginxSuite::StartNginx(const TNginxOptions& options) {
  ClearProxyEnvironment();
  server = new TNginx(options);
}

void TNginxSuite::StopNginx() {
  delete server;
  server = nullptr;
}

void TNginxSuite::SetUp() {
  KWINET_REQUIRE_PEER(server->Started(), server->Error());
}

}  // namespace kwinet::test
