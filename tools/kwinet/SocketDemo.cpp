#include "SocketDemo.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

extern char** environ;

namespace kwinet::tool {

TDemoTextServer::TDemoTextServer(bool ReadLine, std::function<std::string(const std::string&)> Answer)
    : FReadLine(ReadLine), FAnswer(std::move(Answer)) {
  FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (FListen < 0 || ::bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(FListen, 8) != 0)
    return;
  ::getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len);
  FPort = ntohs(a.sin_port);
  FThread = std::thread([this] { Serve(); });
}

TDemoTextServer::~TDemoTextServer() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
  if (FListen >= 0) ::close(FListen);
}

void TDemoTextServer::Serve() {
  while (!FStop) {
    pollfd p{FListen, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    int fd = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::string request;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (FReadLine && request.find("\r\n") == std::string::npos && std::chrono::steady_clock::now() < deadline &&
           !FStop) {
      pollfd q{fd, POLLIN, 0};
      if (::poll(&q, 1, 100) <= 0) continue;
      char buf[512];
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, static_cast<std::size_t>(n));
    }
    const std::string answer = FAnswer(request);
    for (std::size_t done = 0; done < answer.size();) {
      ssize_t n = ::send(fd, answer.data() + done, answer.size() - done, MSG_NOSIGNAL);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
  }
}

bool TDemoDaemon::Start(const std::vector<std::string>& argv, const std::string& logFile,
                        const std::function<bool()>& Ready) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  std::vector<char*> args;
  for (const auto& s : argv) args.push_back(const_cast<char*>(s.c_str()));
  args.push_back(nullptr);
  const int rc = posix_spawn(&FPid, argv[0].c_str(), &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) {
    FPid = 0;
    return false;
  }
  for (int i = 0; i < 50; ++i) {
    if (Ready()) return true;
    int status;
    if (::waitpid(FPid, &status, WNOHANG) == FPid) {
      FPid = 0;
      return false;
    }
    ::usleep(100000);
  }
  return false;
}

void TDemoDaemon::Stop() {
  if (FPid <= 0) return;
  ::kill(FPid, SIGTERM);
  int status;
  for (int i = 0; i < 50; ++i) {
    if (::waitpid(FPid, &status, WNOHANG) == FPid) {
      FPid = 0;
      return;
    }
    ::usleep(20000);
  }
  ::kill(FPid, SIGKILL);
  ::waitpid(FPid, &status, 0);
  FPid = 0;
}

int FreeUdpTcpPort() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    int u = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(u, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(u);
      continue;
    }
    ::getsockname(u, reinterpret_cast<sockaddr*>(&a), &len);
    int t = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = ::bind(t, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(t);
    ::close(u);
    if (ok) return ntohs(a.sin_port);
  }
  return 0;
}

bool UdpAnswers(int port, const std::string& request, const std::function<bool(const std::string&)>& Accept) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  pollfd p{fd, POLLIN, 0};
  bool ok = false;
  if (::poll(&p, 1, 200) == 1 && (p.revents & POLLIN)) {
    char buf[2048];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    ok = n > 0 && Accept(std::string(buf, static_cast<std::size_t>(n)));
  }
  ::close(fd);
  return ok;
}

}  // namespace kwinet::tool
