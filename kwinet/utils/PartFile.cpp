#include "kwinet/utils/PartFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "kwinet/core/Exceptions.h"
#include "kwinet/utils/PrivateTemp.h"

namespace kwinet {

TPartFile::TPartFile(const String& Target, unsigned Flags, unsigned Rights)
    : THandleStream(Target + u".part"), FTarget(Target), FPath(FileNameToPath(FHandleName)) {
  auto refuse = [&](const String& why) {
    throw EFCreateError(u"Cannot create file \"%s\". %s", {FHandleName, why});
  };
  auto refuseErrno = [&](int e) {
    SetLastError(e);
    refuse(SysErrorMessage(e));
  };
  if (Target.empty() || FPath.find('\0') != std::string::npos) refuseErrno(ENOENT);
  struct stat st {};
  if (::lstat(FPath.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) refuse(u"It is a symbolic link, and nothing is written through one");
    if (S_ISDIR(st.st_mode)) refuse(u"It is a directory");
    if (!S_ISREG(st.st_mode)) refuse(u"It is not a regular file");
    if (st.st_uid != ::geteuid()) refuse(u"It belongs to another user");
    // Opened without following a link or waiting on anything, and held to
    // be the file that was looked at.
    const int fd = ::open(FPath.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) refuseErrno(errno);
    struct stat now {};
    if (::fstat(fd, &now) != 0 || !S_ISREG(now.st_mode) || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
      ::close(fd);
      refuse(u"It changed while it was being opened");
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      refuse(u"Another process is writing it");
    }
    if (Flags & pfResume) {
      // A copy with another name is another file of the user's as well,
      // which a resume would cut or add to. (A new copy only unlinks it.)
      if (now.st_nlink != 1) {
        ::close(fd);
        refuse(u"It has other names (hard links)");
      }
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      FHandle = fd;
      FDev = now.st_dev;
      FIno = now.st_ino;
      FResumed = true;
      return;
    }
    // A copy left by an earlier run: made anew below.
    if (::unlink(FPath.c_str()) != 0) {
      const int e = errno;
      ::close(fd);
      refuseErrno(e);
    }
    ::close(fd);
  } else if (errno != ENOENT) {
    refuseErrno(errno);
  }
  FHandle = ::open(FPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, Rights);
  if (FHandle < 0) {
    if (errno == EEXIST) refuse(u"Another process made it at the same time");
    refuseErrno(errno);
  }
  struct stat made {};
  ::fstat(FHandle, &made);
  ::flock(FHandle, LOCK_EX | LOCK_NB);
  FDev = made.st_dev;
  FIno = made.st_ino;
  FMade = true;
  if (!(Flags & pfKeepOnSignal)) {
    RemoveOnSignal(FHandleName);
    FRegistered = true;
  }
}

TPartFile::~TPartFile() {
  Abandon();
}

bool TPartFile::NameIsOurs() const {
  struct stat st {};
  return ::lstat(FPath.c_str(), &st) == 0 && st.st_dev == FDev && st.st_ino == FIno;
}

void TPartFile::Forget() noexcept {
  if (FRegistered) KeepOnSignal(FHandleName);
  FRegistered = false;
  if (FHandle >= 0) ::close(FHandle);
  FHandle = -1;
}

void TPartFile::Commit() {
  if (FHandle < 0) throw EFCreateError(u"Cannot create file \"%s\". %s", {FTarget, String(u"The copy is closed")});
  if (!NameIsOurs()) {
    FMade = false;  // whatever stands there now is not ours to remove
    Forget();
    throw EFCreateError(u"Cannot create file \"%s\". %s",
                        {FTarget, FHandleName + u" was replaced while it was being written"});
  }
  // Renamed while it is still held, so no other writer takes it between.
  if (std::rename(FPath.c_str(), FileNameToPath(FTarget).c_str()) != 0) {
    const int e = errno;
    SetLastError(e);
    Abandon();
    throw EFCreateError(u"Cannot create file \"%s\". %s", {FTarget, SysErrorMessage(e)});
  }
  FMade = false;
  Forget();
}

void TPartFile::Close() {
  FMade = false;
  Forget();
}

void TPartFile::Abandon() noexcept {
  if (FHandle >= 0 && FMade && NameIsOurs()) ::unlink(FPath.c_str());
  FMade = false;
  Forget();
}

}  // namespace kwinet
