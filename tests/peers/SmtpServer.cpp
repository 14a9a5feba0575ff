#include "peers/SmtpServer.h"

#include <unistd.h>

#include <thread>

namespace kwinet::test {

TSmtpServer::TSmtpServer(TSmtpServerOptions options) {
  const std::string python = "/usr/bin/python3";
  if (!HaveProgram(python) || !RunShell(python + " -c 'import aiosmtpd' 2>/dev/null")) {
    FError = "aiosmtpd for /usr/bin/python3 (Debian package python3-aiosmtpd)";
    return;
  }
  std::vector<std::string> argv = {python,     std::string(KWINET_SOURCE_DIR) + "/tests/peers/smtp_server.py",
                                   "--folder", FDir.Path(),
                                   "--mode",   options.Mode};
  if (options.Mode != "plain") {
    if (!FCerts.Make(FDir.Path())) {
      FError = "openssl to make test certificates";
      return;
    }
    argv.insert(argv.end(), {"--cert", FCerts.ServerCert, "--key", FCerts.ServerKey});
  }
  if (!options.User.empty()) argv.insert(argv.end(), {"--user", options.User, "--password", options.Password});
  for (const auto& r : options.Refuse) argv.insert(argv.end(), {"--refuse", r});
  for (int attempt = 0; attempt < 3 && !FStarted; ++attempt) {
    FPort = FreePort();
    std::vector<std::string> run = argv;
    run.insert(run.end(), {"--port", std::to_string(FPort)});
    if (!FProcess.Start(run, FDir.Path() + "/smtp.log")) continue;
    FStarted = FProcess.WaitForPort(FPort, std::chrono::seconds(15));
    if (!FStarted) FProcess.Stop();
  }
  if (!FStarted) FError = "aiosmtpd did not start: " + ReadFileBytes(FDir.Path() + "/smtp.log");
}

std::string TSmtpServer::MessageFile(int n, const std::string& suffix) const {
  return FDir.Path() + "/msg" + std::to_string(n) + suffix;
}

bool TSmtpServer::WaitForMessage(int n) const {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end) {
    if (::access(MessageFile(n, ".json").c_str(), R_OK) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace kwinet::test
