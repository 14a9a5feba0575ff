#include "peers/Dnsmasq.h"

#include <unistd.h>

#include <fstream>

namespace kwinet::test {

namespace {

// A query for www.kwinet.test A; true when any answer comes back.
bool Answers(int port) {
  static const char query[] = {0x12, 0x34, 1,   0,   0,   1,   0, 0,   0,   0,   0,   0, 3, 'w', 'w', 'w', 6,
                               'k',  'w',  'i', 'n', 'e', 't', 4, 't', 'e', 's', 't', 0, 0, 1,   0,   1};
  return UdpAnswers(port, std::string(query, sizeof query), [](const std::string&) { return true; });
}

}  // namespace

std::string Dnsmasq::BigText() {
  return std::string(200, 'b');
}

Dnsmasq::Dnsmasq() {
  if (!HaveProgram(Program)) {
    FError = std::string(Program) + " is missing (install the Debian package " + Package + ")";
    return;
  }
  FPort = FreeUdpTcpPort();
  const std::string conf = FDir.File("dnsmasq.conf");
  {
    std::ofstream f(conf);
    f << "port=" << FPort << "\n"
      << "listen-address=127.0.0.1\nbind-interfaces\nno-resolv\nno-hosts\nno-poll\npid-file=\n"
      << "local=/kwinet.test/\n"
      << "host-record=www.kwinet.test,192.0.2.10\n"
      << "mx-host=kwinet.test,mail.kwinet.test,10\n"
      << "txt-record=kwinet.test,\"hello world\"\n"
      << "ptr-record=10.2.0.192.in-addr.arpa,www.kwinet.test\n";
    for (int i = 0; i < 6; ++i) f << "txt-record=big.kwinet.test,\"" << BigText() << "\"\n";
    if (::geteuid() == 0) f << "user=root\n";
  }
  const std::string log = FDir.File("dnsmasq.log");
  if (!FDaemon.Start({Program, "--keep-in-foreground", "--conf-file=" + conf, "--log-facility=-"}, log)) {
    FError = "cannot start dnsmasq";
    return;
  }
  FOk = FDaemon.WaitReady([this] { return Answers(FPort); });
  if (!FOk) FError = "dnsmasq did not answer: " + ReadFileBytes(log);
}

}  // namespace kwinet::test
