// --host of the commands that talk to a web service (track, translate,
// languages, speak): the scheme, host and port of the service and nothing
// else, since each service's path is fixed.
#pragma once

#include <string>

#include "kwinet/core/String.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet::tool {

struct TService {
  TKwIService Service = isHTTPS;
  String Host;   // an IPv6 address without its brackets
  int Port = 0;  // 0: the scheme's own
};

// http:// or https://, a host and maybe a port (one trailing "/" allowed).
// Anything else (another scheme, no host, a path, query, fragment or user
// name, a bad port) is a ToolError with exit status 2.
TService ParseHost(const std::string& url);

}  // namespace kwinet::tool
