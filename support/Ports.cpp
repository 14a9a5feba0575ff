#include "support/Ports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace kwinet::support {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  return addr;
}

// True when Process has ended; it stays a zombie for its owner to reap, so
// its id cannot be handed to another process meanwhile.
bool Ended(pid_t process) {
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(process), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return errno == ECHILD;
  return info.si_pid == process;
}

}  // namespace

int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in addr = Loopback(0);
  socklen_t len = sizeof addr;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  ::close(fd);
  return port;
}

int FreeUdpTcpPort() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    int u = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (u < 0) return 0;
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    if (::bind(u, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(u, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      ::close(u);
      continue;
    }
    int t = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = t >= 0 && ::bind(t, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (t >= 0) ::close(t);
    ::close(u);
    if (ok) return ntohs(a.sin_port);
  }
  return 0;
}

bool PortOpen(int Port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr = Loopback(Port);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

bool WaitForPort(int Port, std::chrono::milliseconds Limit, pid_t Process) {
  const auto end = std::chrono::steady_clock::now() + Limit;
  for (;;) {
    if (PortOpen(Port)) return true;
    if ((Process > 0 && Ended(Process)) || std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool UdpAnswers(int Port, const std::string& Request, const std::function<bool(const std::string&)>& Accept,
                int TimeoutMs) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in a = Loopback(Port);
  bool ok = false;
  if (::sendto(fd, Request.data(), Request.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a) >= 0) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, TimeoutMs) == 1 && (p.revents & POLLIN)) {
      char buf[4096];
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      ok = n > 0 && Accept(std::string(buf, static_cast<std::size_t>(n)));
    }
  }
  ::close(fd);
  return ok;
}

}  // namespace kwinet::support
