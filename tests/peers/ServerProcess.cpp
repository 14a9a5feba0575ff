#include "peers/ServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "peers/TestSupport.h"

extern char** environ;

namespace kwinet::test {

int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
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

bool WaitForPort(int port, std::chrono::milliseconds limit, pid_t process) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    if (ok) return true;
    if (process > 0 && ::waitpid(process, nullptr, WNOHANG) == process) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

bool HaveProgram(const std::string& path) {
  return ::access(path.c_str(), X_OK) == 0;
}

bool RunShell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

bool TServerProcess::Start(const std::vector<std::string>& argv, const std::string& logFile) {
  Stop();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  FPid = pid;
  return true;
}

bool TServerProcess::WaitReady(const std::function<bool()>& Ready, std::chrono::milliseconds Limit) {
  const auto end = std::chrono::steady_clock::now() + Limit;
  while (std::chrono::steady_clock::now() < end) {
    if (Ready()) return true;
    if (!Running()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool TServerProcess::Running() {
  return FPid > 0 && ::waitpid(FPid, nullptr, WNOHANG) == 0;
}

void TServerProcess::Stop() {
  if (FPid <= 0) return;
  ::kill(FPid, SIGTERM);
  for (int i = 0; i < 100; ++i) {  // at most 5 s
    if (::waitpid(FPid, nullptr, WNOHANG) != 0) {
      FPid = 0;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(FPid, SIGKILL);
  ::waitpid(FPid, nullptr, 0);
  FPid = 0;
}

}  // namespace kwinet::test
