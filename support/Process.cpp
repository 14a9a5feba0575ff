#include "support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "support/Ports.h"

extern char** environ;

namespace kwinet::support {

namespace {

using Clock = std::chrono::steady_clock;

// Starts argv[0] with the file actions given; the child's id, or 0.
pid_t Spawn(const std::vector<std::string>& argv, const posix_spawn_file_actions_t* actions) {
  if (argv.empty()) return 0;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawn(&pid, args[0], actions, nullptr, args.data(), environ) != 0) return 0;
  return pid;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

bool HaveProgram(const std::string& Path) {
  return ::access(Path.c_str(), X_OK) == 0;
}

bool RunShell(const std::string& Command) {
  return std::system(Command.c_str()) == 0;
}

// --- TServerProcess -------------------------------------------------------------

bool TServerProcess::Start(const std::vector<std::string>& Argv, const std::string& LogFile) {
  Stop();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, LogFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  FPid = Spawn(Argv, &actions);
  posix_spawn_file_actions_destroy(&actions);
  return FPid > 0;
}

bool TServerProcess::Running() {
  if (FPid <= 0) return false;
  if (::waitpid(FPid, nullptr, WNOHANG) == 0) return true;
  FPid = 0;  // reaped (or not ours): its id must never be signalled again
  return false;
}

bool TServerProcess::WaitReady(const std::function<bool()>& Ready, std::chrono::milliseconds Limit) {
  const auto end = Clock::now() + Limit;
  for (;;) {
    if (Ready()) return true;
    if (!Running() || Clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
}

bool TServerProcess::WaitForPort(int Port, std::chrono::milliseconds Limit) {
  return WaitReady([Port] { return PortOpen(Port); }, Limit);
}

void TServerProcess::Stop() {
  if (FPid <= 0) return;
  ::kill(FPid, SIGTERM);
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (::waitpid(FPid, nullptr, WNOHANG) == 0) {
    if (Clock::now() >= end) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  FPid = 0;
}

// --- RunProcess -----------------------------------------------------------------

ProcessResult RunProcess(const std::vector<std::string>& Argv, const std::string& Input,
                         std::chrono::milliseconds Timeout) {
  ProcessResult r;
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  auto closeAll = [&] {
    for (int* p : {in, out, err}) CloseFd(p[0]), CloseFd(p[1]);
  };
  if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)) {
    closeAll();
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_adddup2(&fa, err[1], 2);
  const pid_t pid = Spawn(Argv, &fa);
  posix_spawn_file_actions_destroy(&fa);
  CloseFd(in[0]);
  CloseFd(out[1]);
  CloseFd(err[1]);
  if (pid <= 0) {
    closeAll();
    throw std::runtime_error("cannot start " + (Argv.empty() ? std::string("nothing") : Argv[0]));
  }
  // A child that stops reading its input must not end this process.
  ::signal(SIGPIPE, SIG_IGN);
  // Input is fed as the child takes it: a blocking write of all of it would
  // wait for ever on a child that is itself waiting for its output to be read.
  ::fcntl(in[1], F_SETFL, ::fcntl(in[1], F_GETFL) | O_NONBLOCK);
  std::size_t written = 0;
  if (Input.empty()) CloseFd(in[1]);
  const auto deadline = Clock::now() + Timeout;
  int open = 2;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      r.TimedOut = true;
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
    const int n = ::poll(fds, in[1] >= 0 ? 3 : 2, static_cast<int>(left.count()));
    if (n < 0 && errno == EINTR) continue;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[65536];
      const ssize_t got = ::read(fds[k].fd, buf, sizeof buf);
      if (got > 0) {
        (k == 0 ? r.Out : r.Err).append(buf, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        CloseFd(k == 0 ? out[0] : err[0]);
        --open;
      }
    }
    if (in[1] >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t w = ::write(in[1], Input.data() + written, Input.size() - written);
      if (w > 0) written += static_cast<std::size_t>(w);
      if ((w < 0 && errno != EINTR && errno != EAGAIN) || written == Input.size()) CloseFd(in[1]);
    }
  }
  closeAll();
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!r.TimedOut && WIFEXITED(status)) r.ExitCode = WEXITSTATUS(status);
  return r;
}

}  // namespace kwinet::support
