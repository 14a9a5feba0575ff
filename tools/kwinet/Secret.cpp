#include "Secret.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Tool.h"

namespace kwinet::tool {

namespace {

// A secret is a line, not a document.
constexpr std::size_t kMaxSecret = 64 * 1024;

std::string ReadSecretFile(const std::string& option, const std::string& file) {
  const std::string where = option + " " + file + ": ";
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) throw ToolError(2, where + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    throw ToolError(2, where + std::strerror(error));
  }
  if ((st.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    ::close(fd);
    throw ToolError(2, where + "its group or others may read it; make it private first (chmod 600 " + file + ")");
  }
  std::string text;
  char buffer[4096];
  while (text.find('\n') == std::string::npos && text.size() <= kMaxSecret) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      throw ToolError(2, where + std::strerror(error));
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  text.resize(std::min(text.find('\n'), text.size()));
  if (text.size() > kMaxSecret) throw ToolError(2, where + "its first line is longer than 64 KiB");
  text.erase(text.find_last_not_of(" \t\r") + 1);
  if (text.empty()) throw ToolError(2, where + "its first line is empty");
  return text;
}

}  // namespace

void AddSecretOptions(CLI::App* cmd, const std::string& name, std::string& value, std::string& file, const char* env,
                      const std::string& what, const std::string& envWhen) {
  cmd->add_option(
      name, value,
      "The " + what + " (other users can read it in the process list: prefer " + name + "-file or " + env + ")");
  cmd->add_option(name + "-file", file,
                  "A file whose first line is the " + what +
                      "; refused (exit status 2) when its group or others "
                      "may read it. Without " +
                      name + " or " + name + "-file, the " + what + " comes from " + env + envWhen);
}

std::string ReadSecret(const std::string& name, const std::string& value, const std::string& file, const char* env) {
  if (!value.empty()) return value;
  if (!file.empty()) return ReadSecretFile(name + "-file", file);
  const char* fromEnv = env ? std::getenv(env) : nullptr;
  return fromEnv ? fromEnv : "";
}

void AddServerPasswordOptions(CLI::App* cmd, std::string& value, std::string& file, const std::string& what) {
  AddSecretOptions(cmd, "--password", value, file, kPasswordEnv, what,
                   " when a user is named (by --user or the URL) and the URL gives no password");
}

std::string ServerPassword(const std::string& value, const std::string& file, const std::string& user,
                           const std::string& urlPassword) {
  const std::string given = ReadSecret("--password", value, file, nullptr);
  if (!given.empty()) return given;
  if (!urlPassword.empty() || user.empty()) return urlPassword;
  return ReadSecret("--password", "", "", kPasswordEnv);
}

}  // namespace kwinet::tool
