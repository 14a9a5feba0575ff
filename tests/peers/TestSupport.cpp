#include "peers/TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kwinet::test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kwinet-test-XXXXXX";
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  FPath = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         std::chrono::milliseconds timeout) {
  ProcessResult r;
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC))
    throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_adddup2(&fa, err[1], 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawn(&pid, argv[0].c_str(), &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  if (rc != 0) {
    ::close(in[1]);
    ::close(out[0]);
    ::close(err[0]);
    throw std::runtime_error("cannot start " + argv[0]);
  }
  signal(SIGPIPE, SIG_IGN);
  std::size_t written = 0;
  if (input.empty()) ::close(in[1]), in[1] = -1;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int open = 2;
  while (open > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      r.TimedOut = true;
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
    int n = ::poll(fds, in[1] >= 0 ? 3 : 2, static_cast<int>(left.count()));
    if (n < 0 && errno == EINTR) continue;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[65536];
      ssize_t got = ::read(fds[k].fd, buf, sizeof buf);
      if (got > 0) (k == 0 ? r.Out : r.Err).append(buf, static_cast<std::size_t>(got));
      else {
        ::close(fds[k].fd);
        (k == 0 ? out[0] : err[0]) = -1;
        --open;
      }
    }
    if (in[1] >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t w = ::write(in[1], input.data() + written, input.size() - written);
      if (w > 0) written += static_cast<std::size_t>(w);
      if (w < 0 || written == input.size()) ::close(in[1]), in[1] = -1;
    }
  }
  if (in[1] >= 0) ::close(in[1]);
  if (out[0] >= 0) ::close(out[0]);
  if (err[0] >= 0) ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!r.TimedOut && WIFEXITED(status)) r.ExitCode = WEXITSTATUS(status);
  return r;
}

bool InCI() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

}  // namespace kwinet::test
