#include "Target.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "Tool.h"
#include "kwinet/utils/PartFile.h"

namespace kwinet::tool {

std::string PercentDecode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out.push_back(static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

namespace {

// A control character would cut a value or end a command line of FTP early
// and start another.
void RefuseControl(const std::string& what, const std::string& value) {
  if (InetHasControlCharacter(Utf8ToString(value))) throw ToolError(2, what + " holds a control character");
}

}  // namespace

void CheckCredential(const char* option, const std::string& value) {
  RefuseControl(option, value);
}

TTarget ParseTarget(const std::string& url) {
  TTarget t;
  const std::size_t sep = url.find("://");
  if (sep == std::string::npos) {
    t.RemoteFileName = Utf8ToString(url);
    return t;
  }
  std::string scheme = url.substr(0, sep);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string rest = url.substr(sep + 3);
  if (scheme == "file") {
    t.RemoteFileName = Utf8ToString(PercentDecode(rest));
    return t;
  }
  // A local path is no command line: only a URL that goes on the wire is
  // checked.
  RefuseControl("the URL", url);
  if (scheme == "http")
    t.Service = isHTTP;
  else if (scheme == "https")
    t.Service = isHTTPS;
  else if (scheme == "ftp" || scheme == "ftps")
    t.Service = isFTP;
  else
    throw ToolError(2, "unsupported URL scheme \"" + scheme + "\" (http, https, ftp, ftps or a file path)");
  if (scheme == "ftps") {
    t.FtpTLS = ftImplicit;
    t.Port = 990;
  }
  const std::size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  std::string path = slash == std::string::npos ? "/" : rest.substr(slash);
  if (std::size_t at = authority.rfind('@'); at != std::string::npos) {
    std::string info = authority.substr(0, at);
    authority = authority.substr(at + 1);
    std::size_t colon = info.find(':');
    const std::string user = PercentDecode(info.substr(0, colon));
    const std::string password = colon == std::string::npos ? std::string() : PercentDecode(info.substr(colon + 1));
    RefuseControl("the user name in the URL", user);
    RefuseControl("the password in the URL", password);
    t.User = Utf8ToString(user);
    t.Password = Utf8ToString(password);
  }
  std::string host = authority, port;
  if (!host.empty() && host.front() == '[') {
    std::size_t close = host.find(']');
    if (close == std::string::npos) throw ToolError(2, "bad IPv6 address in " + url);
    std::string after = host.substr(close + 1);
    host = host.substr(1, close - 1);
    if (!after.empty() && after[0] != ':') throw ToolError(2, "bad port in " + url);
    if (!after.empty()) port = after.substr(1);
  } else if (std::size_t colon = host.rfind(':'); colon != std::string::npos) {
    port = host.substr(colon + 1);
    host.resize(colon);
  }
  if (host.empty()) throw ToolError(2, "no host in " + url);
  if (!port.empty()) {
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
      throw ToolError(2, "bad port in " + url);
    t.Port = std::stoi(port);
    if (t.Port < 1 || t.Port > 65535) throw ToolError(2, "bad port in " + url);
  }
  RefuseControl("the host name in the URL", PercentDecode(host));
  t.Host = Utf8ToString(host);
  // HTTP paths travel as written; an FTP path is a file name on the server.
  if (t.Service == isFTP) RefuseControl("the FTP path in the URL", PercentDecode(path));
  t.RemoteFileName = Utf8ToString(t.Service == isFTP ? PercentDecode(path) : path);
  return t;
}

void SetTarget(TKwCustomWebComponent& web, const TTarget& target) {
  web.SetService(target.Service);
  if (target.Port > 0) web.SetPort(static_cast<std::uint16_t>(target.Port));
  web.SetHost(target.Host);
  web.SetUser(target.User);
  web.SetPassword(target.Password);
  web.SetFtpTLS(target.FtpTLS);
}

void ApplyTarget(const TTarget& target, TKwCustomWebUpdater& component) {
  SetTarget(component, target);
  component.SetRemoteFileName(target.RemoteFileName);
}

std::uint32_t Milliseconds(const char* option, std::int64_t value) {
  if (value < 0) throw ToolError(2, std::string(option) + " must be 0 or more milliseconds");
  if (value > 0xFFFFFFFFLL) throw ToolError(2, std::string(option) + " is too large");
  return static_cast<std::uint32_t>(value);
}

std::string MaxTimeHelp(std::int64_t defaultMs) {
  return "Milliseconds that the whole exchange may take (0: no bound; default " +
         (defaultMs == 0 ? std::string("none") : std::to_string(defaultMs)) +
         (defaultMs == kFetchMaxTime ? ", 2 minutes)" : ")");
}

void CheckOutput(const std::string& output) {
  namespace fs = std::filesystem;
  const fs::path path(output);
  const std::string name = path.filename().string();
  if (output.empty() || name.empty() || name == "." || name == "..")
    throw ToolError(2, "-o needs a file name, not \"" + output + "\"");
  std::error_code ec;
  if (fs::is_directory(path, ec)) throw ToolError(2, "-o names a directory: " + output);
}

void WriteOutputFile(const std::string& output, const std::function<void(TStream& out)>& fill, unsigned mode) {
  try {
    // A new .part every time (a stale one is replaced), so it has Mode
    // whatever an old one had.
    TPartFile out(Utf8ToString(output), pfNew, mode);
    fill(out);
    out.Commit();
  } catch (const Exception& e) {
    throw ToolError(1, "cannot write " + output + ": " + StringToUtf8(e.Message()));
  }
}

}  // namespace kwinet::tool
