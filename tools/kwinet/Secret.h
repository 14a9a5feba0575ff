// Passwords and keys for the commands: other users can read a process's
// command line, so beside each option that takes a secret as its value
// stand a file that holds it and an environment variable.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace kwinet::tool {

// Adds NAME VALUE (for existing scripts; its help says that other users can
// read it) and NAME-file FILE to cmd; Env is named in their help, followed
// by EnvWhen. What: "password for the FTP server".
void AddSecretOptions(CLI::App* cmd, const std::string& name, std::string& value, std::string& file, const char* env,
                      const std::string& what, const std::string& envWhen = "");

// The secret that the value option, else the file, else the environment
// variable Env (none when nullptr) gives; empty when none does. The file's
// first line is the secret, without the blanks and the line end after it.
// A file that cannot be read, whose first line is empty, or that its group
// or others may read is refused: ToolError(2) naming Name-file.
std::string ReadSecret(const std::string& name, const std::string& value, const std::string& file, const char* env);

// A server's password, from --password or --password-file, else the one
// that the URL gave, else KWINET_PASSWORD, but only for a named user: a
// password of the environment is never sent where no user is given.
inline constexpr const char* kPasswordEnv = "KWINET_PASSWORD";
// The SMTP login's password (mail) and an HTTP proxy's (http): each has its
// own, so that no password goes to a server it was not meant for.
inline constexpr const char* kSmtpPasswordEnv = "KWINET_SMTP_PASSWORD";
inline constexpr const char* kProxyPasswordEnv = "KWINET_PROXY_PASSWORD";
void AddServerPasswordOptions(CLI::App* cmd, std::string& value, std::string& file, const std::string& what);
std::string ServerPassword(const std::string& value, const std::string& file, const std::string& user,
                           const std::string& urlPassword);

}  // namespace kwinet::tool
