#include "kwinet/utils/PrivateTemp.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "kwinet/core/Exceptions.h"
#include "kwinet/core/Streams.h"

namespace kwinet {

namespace {

// The names RemoveRegisteredFiles removes: each slot holds a name of its own
// (made with strdup) or nothing. Slots change only by atomic exchange, so a
// signal handler reads whole names.
constexpr std::size_t kSignalSlots = 256;
std::atomic<char*> gSignalSlots[kSignalSlots];
// Taken by RemoveOnSignal and KeepOnSignal (jobs on several threads): a name
// is freed only while no other thread compares it.
std::mutex gSignalSlotsLock;

// The process id that a copy's name starts with ("tmp1234-..."), or 0.
pid_t CopyOwner(const char* name) {
  if (std::strncmp(name, "tmp", 3) != 0) return 0;
  const char* p = name + 3;
  long long pid = 0;
  const char* digits = p;
  while (*p >= '0' && *p <= '9' && pid < 100000000) pid = pid * 10 + (*p++ - '0');
  return p > digits && *p == '-' && pid > 0 ? static_cast<pid_t>(pid) : 0;
}

}  // namespace

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
  static std::once_flag swept;
  std::call_once(swept, [] {
    try {
      RemoveStaleTempCopies();
    } catch (const Exception&) {
      // No folder yet to sweep: the name below says why.
    }
  });
  static std::atomic<unsigned> count{0};
  const std::string stem = "/tmp" + std::to_string(::getpid()) + "-" + std::to_string(count.fetch_add(1) + 1);
  const String name = PrivateTempFolder() + Utf8ToString(stem) + RemoteFileExtension(RemoteFileName);
  RemoveOnSignal(name);
  RemoveOnSignal(name + u".part");
  return name;
}

void RemoveTempCopy(const String& FileName) {
  if (FileName.empty()) return;
  for (const String& name : {FileName, FileName + u".part"}) {
    ::unlink(FileNameToPath(name).c_str());
    KeepOnSignal(name);
  }
}

void RemoveStaleTempCopies() {
  const std::string folder = FileNameToPath(PrivateTempFolder());
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const int fd = ::dirfd(dir);
  const pid_t self = ::getpid();
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t owner = CopyOwner(entry->d_name);
    // kill with signal 0 only asks whether the process is there.
    if (owner == 0 || owner == self || ::kill(owner, 0) == 0 || errno != ESRCH) continue;
    ::unlinkat(fd, entry->d_name, 0);
  }
  ::closedir(dir);
}

void RemoveOnSignal(const String& FileName) {
  char* copy = ::strdup(FileNameToPath(FileName).c_str());
  if (!copy) return;
  std::lock_guard lock(gSignalSlotsLock);
  for (auto& slot : gSignalSlots) {
    char* empty = nullptr;
    if (slot.compare_exchange_strong(empty, copy)) return;
  }
  std::free(copy);
}

void KeepOnSignal(const String& FileName) {
  const std::string path = FileNameToPath(FileName);
  std::lock_guard lock(gSignalSlotsLock);
  for (auto& slot : gSignalSlots) {
    char* name = slot.load();
    if (name && path == name && slot.compare_exchange_strong(name, nullptr)) {
      std::free(name);
      return;
    }
  }
}

void RemoveRegisteredFiles() noexcept {
  for (auto& slot : gSignalSlots)
    if (const char* name = slot.load()) ::unlink(name);
}

}  // namespace kwinet
