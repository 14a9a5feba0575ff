#include "FakeHttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace kwinet::test {

TFakeHttp::TFakeHttp(std::string head, std::string body, std::size_t bodyBytes, TMode mode)
    : FHead(std::move(head)), FBody(std::move(body)), FBodyBytes(bodyBytes), FMode(mode) {
  FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(FListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(FListen, 16);
  ::getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len);
  FPort = ntohs(addr.sin_port);
  FThread = std::thread([this] { Serve(); });
}

TFakeHttp::~TFakeHttp() {
  FStop = true;
  FThread.join();
  ::close(FListen);
}

void TFakeHttp::Serve() {
  std::vector<int> held;
  while (!FStop) {
    pollfd p{FListen, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int fd = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++FConnections;
    // Read the request head (bounded), then answer.
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
      pollfd r{fd, POLLIN, 0};
      if (::poll(&r, 1, 2000) <= 0) break;
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, static_cast<std::size_t>(n));
    }
    if (FHead.empty()) {
      ::close(fd);
      continue;
    }
    std::string out = FHead + FBody.substr(0, FBodyBytes);
    ::send(fd, out.data(), out.size(), MSG_NOSIGNAL);
    if (FMode == fmStallAfter)
      held.push_back(fd);
    else
      ::close(fd);
  }
  for (int fd : held) ::close(fd);
}

}  // namespace kwinet::test
