#include "DemoSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "Tool.h"

extern char** environ;

namespace kwinet::tool {

bool Show(const std::vector<std::string>& args, int expected) {
  std::string line = "$ kwinet";
  for (const auto& a : args)
    line += (a.empty() || a.find_first_of(" &;'\"<>|*?$") != std::string::npos) ? " '" + a + "'" : " " + a;
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  const int code = Run(args);
  std::fflush(stdout);
  std::fflush(stderr);
  if (code != expected) std::printf("(exit status %d, expected %d)\n", code, expected);
  return code == expected;
}

namespace {
sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  return addr;
}
}  // namespace

int FreeLoopbackPort() {
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

bool LoopbackPortOpen(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr = Loopback(port);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

TDemoFolder::TDemoFolder() {
  char tmpl[] = "/tmp/kwinet-demo-XXXXXX";
  if (::mkdtemp(tmpl)) FPath = tmpl;
}

TDemoFolder::~TDemoFolder() {
  std::error_code ec;
  if (!FPath.empty()) std::filesystem::remove_all(FPath, ec);
}

bool TDemoProcess::Start(const std::vector<std::string>& argv, const std::string& logFile,
                         const std::function<bool()>& Ready) {
  Stop();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  if (::posix_spawn(&FPid, args[0], &actions, nullptr, args.data(), environ) != 0) FPid = 0;
  posix_spawn_file_actions_destroy(&actions);
  for (int i = 0; FPid > 0 && i < 400; ++i) {
    if (Ready()) return true;
    if (::waitpid(FPid, nullptr, WNOHANG) == FPid) {
      FPid = 0;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  Stop();
  return false;
}

bool TDemoProcess::Start(const std::vector<std::string>& argv, int port, const std::string& logFile) {
  return Start(argv, logFile, [port] { return LoopbackPortOpen(port); });
}

void TDemoProcess::Stop() {
  if (FPid <= 0) return;
  ::kill(FPid, SIGTERM);
  for (int i = 0; i < 100 && ::waitpid(FPid, nullptr, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (::waitpid(FPid, nullptr, WNOHANG) == 0) {
    ::kill(FPid, SIGKILL);
    ::waitpid(FPid, nullptr, 0);
  }
  FPid = 0;
}

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
