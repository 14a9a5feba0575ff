#include "support/Nginx.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/Ports.h"

namespace kwinet::support {

namespace {
const char* kNginx = "/usr/sbin/nginx";
const char* kOpenssl = "/usr/bin/openssl";
}  // namespace

bool TTestCertificates::Make(const std::string& folder) {
  CAFile = folder + "/ca.pem";
  ServerCert = folder + "/server.pem";
  ServerKey = folder + "/server.key";
  WrongCert = folder + "/wrong.pem";
  WrongKey = folder + "/wrong.key";
  const std::string q = " >>" + folder + "/openssl.log 2>&1";
  const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  std::ofstream(folder + "/server.ext") << "subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                                           "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n";
  std::ofstream(folder + "/wrong.ext") << "subjectAltName=DNS:wrong.invalid\nbasicConstraints=CA:FALSE\n"
                                          "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n";
  std::string o = kOpenssl;
  bool ok = RunShell(o + " req -x509" + key + " -keyout " + folder + "/ca.key -out " + CAFile +
                     " -days 2 -subj /CN=kwinet-test-CA -addext basicConstraints=critical,CA:TRUE"
                     " -addext keyUsage=critical,keyCertSign,cRLSign" +
                     q);
  for (const char* name : {"server", "wrong"}) {
    const std::string n = folder + "/" + name;
    const std::string cn = std::string(name) == "server" ? "localhost" : "wrong.invalid";
    ok = ok && RunShell(o + " req" + key + " -keyout " + n + ".key -out " + n + ".csr -subj /CN=" + cn + q) &&
         RunShell(o + " x509 -req -in " + n + ".csr -CA " + CAFile + " -CAkey " + folder +
                  "/ca.key -CAcreateserial -days 2 -out " + n + ".pem -extfile " + n + ".ext" + q);
  }
  return ok;
}

TNginx::TNginx(TNginxOptions options) {
  if (!HaveProgram(kNginx)) {
    FError = "nginx is not installed (Debian package nginx)";
    return;
  }
  const std::string d = FDir.Path();
  std::filesystem::create_directories(d + "/www/private");
  std::filesystem::create_directories(d + "/tmp");
  {
    std::ofstream users(d + "/htpasswd");
    for (const auto& [u, p] : options.Users) users << u << ":{PLAIN}" << p << "\n";
  }
  FPort = FreePort();
  if (options.Https) {
    if (!HaveProgram(kOpenssl) || !FCerts.Make(d)) {
      FError = "openssl could not make the test certificates (Debian package openssl)";
      return;
    }
    FHttpsPort = FreePort();
    FWrongPort = FreePort();
  }
  const std::string locations = "    root " + d +
                                "/www;\n    location /private/ { auth_basic \"kwinet\"; auth_basic_user_file " + d +
                                "/htpasswd; }\n" + options.ServerExtra + "\n";
  std::ostringstream conf;
  conf << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << d << "/nginx.pid;\nerror_log " << d
       << "/error.log;\nevents { worker_connections 64; }\nhttp {\n"
       << "  log_format kw '$request_method $uri $status $http_range';\n"
       << "  access_log " << d << "/access.log kw;\n"
       << "  client_body_temp_path " << d << "/tmp/body;\n  proxy_temp_path " << d << "/tmp/proxy;\n"
       << "  fastcgi_temp_path " << d << "/tmp/fastcgi;\n  uwsgi_temp_path " << d << "/tmp/uwsgi;\n"
       << "  scgi_temp_path " << d << "/tmp/scgi;\n"
       << "  default_type application/octet-stream;\n  sendfile on;\n"
       << "  server {\n    listen 127.0.0.1:" << FPort << ";\n"
       << locations << "  }\n";
  if (options.Https) {
    conf << "  server {\n    listen 127.0.0.1:" << FHttpsPort << " ssl;\n    ssl_certificate " << FCerts.ServerCert
         << ";\n    ssl_certificate_key " << FCerts.ServerKey << ";\n"
         << locations << "  }\n";
    conf << "  server {\n    listen 127.0.0.1:" << FWrongPort << " ssl;\n    ssl_certificate " << FCerts.WrongCert
         << ";\n    ssl_certificate_key " << FCerts.WrongKey << ";\n"
         << locations << "  }\n";
  }
  conf << "}\n";
  std::ofstream(d + "/nginx.conf") << conf.str();
  if (!FProcess.Start({kNginx, "-p", d, "-c", d + "/nginx.conf", "-e", d + "/error.log"}, d + "/nginx.out")) {
    FError = "nginx could not be started";
    return;
  }
  FStarted = FProcess.WaitForPort(FPort) &&
             (!options.Https || (FProcess.WaitForPort(FHttpsPort) && FProcess.WaitForPort(FWrongPort)));
  if (!FStarted) {
    std::ifstream log(d + "/error.log");
    std::stringstream ss;
    ss << log.rdbuf();
    FError = "nginx did not start: " + ss.str();
  }
}

TNginx::~TNginx() {
  FProcess.Stop();
}

std::string TNginx::Url(const std::string& path, bool https) const {
  return (https ? "https://localhost:" + std::to_string(FHttpsPort) : "http://127.0.0.1:" + std::to_string(FPort)) +
         path;
}

std::vector<std::string> TNginx::AccessLog() const {
  std::vector<std::string> lines;
  std::ifstream log(FDir.Path() + "/access.log");
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

int TNginx::CountRequests(const std::string& path, int atLeast) const {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    int n = 0;
    for (const auto& line : AccessLog()) {
      std::istringstream fields(line);
      std::string method, uri;
      fields >> method >> uri;
      if (uri == path) ++n;
    }
    if (n >= atLeast || std::chrono::steady_clock::now() > end) return n;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool TNginx::WaitForLogLine(const std::string& line) const {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    for (const auto& l : AccessLog())
      if (l == line) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace kwinet::support
