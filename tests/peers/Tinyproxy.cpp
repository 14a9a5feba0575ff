#include "peers/Tinyproxy.h"

#include <fstream>

namespace kwinet::test {

TTinyproxy::TTinyproxy(const std::string& user, const std::string& password) {
  const char* program = "/usr/bin/tinyproxy";
  if (!HaveProgram(program)) {
    FError = "tinyproxy is not installed (Debian package tinyproxy)";
    return;
  }
  const std::string d = FDir.Path();
  FPort = FreePort();
  {
    std::ofstream conf(d + "/tinyproxy.conf");
    conf << "Port " << FPort << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\n"
         << "PidFile \"" << d << "/tinyproxy.pid\"\nLogFile \"" << d << "/tinyproxy.log\"\nLogLevel Info\n";
    if (!user.empty()) conf << "BasicAuth " << user << " " << password << "\n";
    // Only loopback destinations: a test that names another host by mistake
    // is refused instead of reaching out.
    conf << "FilterDefaultDeny Yes\nFilterExtended Yes\nFilter \"" << d << "/filter\"\n";
    std::ofstream(d + "/filter") << "^127\\.0\\.0\\.1$\n^localhost$\n";
  }
  if (!FProcess.Start({program, "-d", "-c", d + "/tinyproxy.conf"}, d + "/tinyproxy.out")) {
    FError = "tinyproxy could not be started";
    return;
  }
  FStarted = FProcess.WaitForPort(FPort, std::chrono::seconds(10));
  if (!FStarted) FError = "tinyproxy did not start: " + ReadFileBytes(d + "/tinyproxy.out");
}

std::string TTinyproxy::Log() const {
  return ReadFileBytes(FDir.Path() + "/tinyproxy.log");
}

}  // namespace kwinet::test
