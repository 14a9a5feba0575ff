#include "peers/PeerDaemon.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace kwinet::test {

bool PeerDaemon::Start(const std::vector<std::string>& argv, const std::string& logFile) {
  Stop();
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0].c_str(), &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return false;
  FPid = pid;
  return true;
}

bool PeerDaemon::Running() {
  if (FPid <= 0) return false;
  int status;
  if (::waitpid(FPid, &status, WNOHANG) == FPid) {
    FPid = 0;
    return false;
  }
  return true;
}

void PeerDaemon::Stop() {
  if (FPid <= 0) return;
  ::kill(FPid, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    int status;
    if (::waitpid(FPid, &status, WNOHANG) == FPid) {
      FPid = 0;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(FPid, SIGKILL);
  int status;
  ::waitpid(FPid, &status, 0);
  FPid = 0;
}

bool Executable(const std::string& path) {
  return ::access(path.c_str(), X_OK) == 0;
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

}  // namespace kwinet::test
