#include "kwinet/utils/PrivateTemp.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "kwinet/core/Exceptions.h"
#include "kwinet/core/Streams.h"

namespace kwinet {

String PrivateTempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string folder = base && *base ? base : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  folder += "/kwinet-" + std::to_string(::geteuid());
  const String name = Utf8ToString(folder);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    const int e = errno;
    SetLastError(e);
    throw EInOutError(u"Cannot create the temporary folder \"%s\". %s", {name, SysErrorMessage(e)});
  }
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
    throw EInOutError(u"The temporary folder \"%s\" is not a folder of this user's own", {name});
  if ((st.st_mode & 07777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) {
    const int e = errno;
    SetLastError(e);
    throw EInOutError(u"Cannot make the temporary folder \"%s\" private. %s", {name, SysErrorMessage(e)});
  }
  return name;
}

String RemoteFileExtension(const String& RemoteFileName) {
  const std::size_t dot = RemoteFileName.rfind(u'.');
  if (dot == String::npos) return String();
  String ext = RemoteFileName.substr(dot);
  for (Char c : ext)
    if (c == u'/' || c == u'\\' || c == u':' || c < 0x20 || c == 0x7F) return String();
  return ext;
}

String PrivateTempFileName(const String& RemoteFileName) {
  static std::atomic<unsigned> count{0};
  const std::string stem = "/tmp" + std::to_string(::getpid()) + "-" + std::to_string(count.fetch_add(1) + 1);
  return PrivateTempFolder() + Utf8ToString(stem) + RemoteFileExtension(RemoteFileName);
}

}  // namespace kwinet
