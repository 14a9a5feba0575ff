// What the web commands share: the remote file that a URL argument names,
// handed to a web component, and the millisecond options.
#pragma once

#include <cstdint>
#include <string>

#include "kwinet/core/String.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet::tool {

// What a URL argument names: the service, host, port, user info and the
// remote file (a path of the file system when there is no scheme).
struct TTarget {
  TKwIService Service = isNetwork;
  String Host;
  int Port = 0;
  String User, Password;
  String RemoteFileName;
};

// http://, https://, ftp://, file:// or a path; another scheme, a missing
// host or a bad port is a usage error (ToolError 2).
TTarget ParseTarget(const std::string& url);

// Sets the component's service, port (when the URL gives one), host, user,
// password and remote file.
void ApplyTarget(const TTarget& Target, TKwCustomWebUpdater& Component);

// --timeout and --max-time, as given: negative values are refused, not
// taken as "no bound".
std::uint32_t Milliseconds(const char* option, std::int64_t value);

}  // namespace kwinet::tool
