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
  TKwIFtpTLS FtpTLS = ftNone;  // ftImplicit for ftps://
};

// "%XX" as the byte XX; everything else as it is.
std::string PercentDecode(const std::string& s);

// http://, https://, ftp://, ftps:// (FTP over TLS from the first byte,
// port 990 unless given), file:// or a path; another scheme, a missing host,
// a port that is not a number from 1 to 65535 or a control character (as it
// is, or percent-encoded in the user information, the host or an FTP path)
// is a usage error (ToolError 2).
TTarget ParseTarget(const std::string& url);

// A user name or password given as an option: a control character in it is
// a usage error (ToolError 2) that names the option, never the value.
void CheckCredential(const char* option, const std::string& value);

// Points a web component at the target's server: service, port (when the URL
// gives one), host, user, password and FTP over TLS.
void SetTarget(TKwCustomWebComponent& web, const TTarget& target);
// The same for an updater, and its remote file too.
void ApplyTarget(const TTarget& target, TKwCustomWebUpdater& component);

// --timeout and --max-time, as given: negative values are refused, not
// taken as "no bound".
std::uint32_t Milliseconds(const char* option, std::int64_t value);

// The --max-time of the commands that fetch an answer, a page, a feed or a
// picture, when none is given: a server that drips its answer must not keep
// them for ever. Downloads have none.
constexpr std::int64_t kFetchMaxTime = 120000;
// The help of --max-time, with its default (0: none).
std::string MaxTimeHelp(std::int64_t defaultMs);

// The target of -o must be a file name: checked before anything goes on the
// wire or to the disk.
void CheckOutput(const std::string& output);

// Writes Output through Output.part (TPartFile), which takes Output's place
// only when Fill has written it whole; on failure Output is untouched, no
// .part of ours is left and ToolError(1, "cannot write OUTPUT: why") is
// raised. A .part that is a link, not a regular file, or another writer's
// is refused and left as it is. Fill may raise ToolError itself (a
// cancel); the .part goes then too. The .part, and so Output, has the
// rights Mode (0600 for a file that may hold a password).
void WriteOutputFile(const std::string& output, const std::function<void(TStream& out)>& fill, unsigned mode = 0644);

}  // namespace kwinet::tool
