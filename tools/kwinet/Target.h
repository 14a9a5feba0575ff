// What the web commands share: the URL argument (a remote file over HTTP,
// HTTPS or FTP, or a path of the file system), handed to a web component,
// and the checks of their common options.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "kwinet/core/Streams.h"
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

// "%XX" as the byte XX; everything else as it is.
std::string PercentDecode(const std::string& s);

// http://, https://, ftp://, file:// or a path; another scheme, a missing
// host or a port that is not a number from 1 to 65535 is a usage error
// (ToolError 2).
TTarget ParseTarget(const std::string& url);

// Points a web component at the target's server: service, port (when the URL
// gives one), host, user and password.
void SetTarget(TKwCustomWebComponent& web, const TTarget& target);
// The same for an updater, and its remote file too.
void ApplyTarget(const TTarget& target, TKwCustomWebUpdater& component);

// --timeout and --max-time, as given: negative values are refused, not
// taken as "no bound".
std::uint32_t Milliseconds(const char* option, std::int64_t value);

// The target of -o must be a file name: checked before anything goes on the
// wire or to the disk.
void CheckOutput(const std::string& output);

// Writes Output through Output.part, which takes Output's place only when
// Fill has written it whole; on failure Output is untouched, no .part is
// left and ToolError(1, "cannot write OUTPUT: why") is raised. The .part,
// and so Output, has the rights Mode (0600 for a file that may hold a
// password), whatever an old .part had.
void WriteOutputFile(const std::string& output, const std::function<void(TStream& out)>& fill, unsigned mode = 0644);

}  // namespace kwinet::tool
