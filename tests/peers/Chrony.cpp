#include "peers/Chrony.h"

#include <unistd.h>

#include <fstream>

namespace kwinet::test {

namespace {

// Only a synchronised answer will do (leap indicator not 3).
bool Answers(int port) {
  std::string packet(48, '\0');
  packet[0] = 0x1B;
  return UdpAnswers(port, packet, [](const std::string& a) { return a.size() >= 48 && (a[0] & 0xC0) != 0xC0; });
}

}  // namespace

Chrony::Chrony() {
  if (!HaveProgram(Program)) {
    FError = std::string(Program) + " is missing (install the Debian package " + Package + ")";
    return;
  }
  FPort = FreeUdpTcpPort();
  const std::string conf = FDir.File("chrony.conf");
  {
    std::ofstream f(conf);
    f << "port " << FPort << "\n"
      << "bindaddress 127.0.0.1\nallow 127.0.0.1\nlocal stratum 8\ncmdport 0\n"
      << "pidfile " << FDir.File("chronyd.pid") << "\n";
  }
  const std::string log = FDir.File("chronyd.log");
  std::vector<std::string> argv = {Program, "-f", conf, "-d", "-x"};
  if (::geteuid() == 0) {
    argv.push_back("-u");
    argv.push_back("root");
  } else {
    argv.push_back("-U");
  }
  if (!FDaemon.Start(argv, log)) {
    FError = "cannot start chronyd";
    return;
  }
  FOk = FDaemon.WaitReady([this] { return Answers(FPort); });
  if (!FOk) FError = "chronyd did not answer: " + ReadFileBytes(log);
}

}  // namespace kwinet::test
