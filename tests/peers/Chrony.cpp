#include "peers/Chrony.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace kwinet::test {

namespace {

bool Answers(int port) {
  unsigned char packet[48] = {0x1B};
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::sendto(fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  pollfd p{fd, POLLIN, 0};
  bool ok = ::poll(&p, 1, 200) == 1 && (p.revents & POLLIN);
  if (ok) {
    unsigned char buf[128];
    // Only a synchronised answer will do (leap indicator not 3).
    ok = ::recv(fd, buf, sizeof buf, 0) >= 48 && (buf[0] >> 6) != 3;
  }
  ::close(fd);
  return ok;
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
