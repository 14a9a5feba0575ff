#include "ServiceHost.h"

#include <cctype>

#include "Tool.h"
#include "kwinet/web/KwInet.h"

namespace kwinet::tool {

TService ParseHost(const std::string& url) {
  TService s;
  const std::size_t sep = url.find("://");
  std::string scheme = sep == std::string::npos ? std::string() : url.substr(0, sep);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme == "https")
    s.Service = isHTTPS;
  else if (scheme == "http")
    s.Service = isHTTP;
  else
    throw ToolError(2, "--host needs http:// or https://, a host and maybe a port, not \"" + url + "\"");
  std::string authority = url.substr(sep + 3);
  if (!authority.empty() && authority.back() == '/') authority.pop_back();
  if (InetHasControlCharacter(Utf8ToString(url))) throw ToolError(2, "--host holds a control character");
  if (authority.find_first_of("/?#@ ") != std::string::npos)
    throw ToolError(2, "--host takes the scheme, host and port only (the service's path is fixed): " + url);
  std::string host = authority, port;
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string::npos) throw ToolError(2, "bad IPv6 address in --host " + url);
    port = host.substr(close + 1);
    host = host.substr(1, close - 1);
    if (!port.empty() && port.front() != ':') throw ToolError(2, "bad port in --host " + url);
    if (!port.empty()) port.erase(0, 1);
  } else if (const std::size_t colon = host.rfind(':'); colon != std::string::npos) {
    port = host.substr(colon + 1);
    host.resize(colon);
  }
  if (host.empty()) throw ToolError(2, "no host in --host " + url);
  if (!port.empty()) {
    int n = 0;
    if (!TryStrToInt(Utf8ToString(port), n) || n < 1 || n > 65535 ||
        port.find_first_not_of("0123456789") != std::string::npos)
      throw ToolError(2, "bad port in --host " + url);
    s.Port = n;
  }
  s.Host = Utf8ToString(host);
  return s;
}

}  // namespace kwinet::tool
