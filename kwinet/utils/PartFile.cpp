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
    : FTarget(Target), FPartName(Target + u".part"), FPath(FileNameToPath(FPartName)) {
  auto refuse = [&](const String& why) {
    throw EFCreateError(u"Cannot create file \"%s\". %s", {FPartName, why});
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
    RemoveOnSignal(FPartName);
    FRegistered = true;
  }
}

TPartFile::~TPartFile() {
  Abandon();
}

std::int64_t TPartFile::Read(void* Buffer, std::int64_t Count) {
  auto* p = static_cast<char*>(Buffer);
  std::int64_t done = 0;
  while (done < Count) {
    const ssize_t n =
        ::read(FHandle, p + done, static_cast<std::size_t>(std::min<std::int64_t>(Count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastError(errno);
      return done > 0 ? done : -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

std::int64_t TPartFile::Write(const void* Buffer, std::int64_t Count) {
  const auto* p = static_cast<const char*>(Buffer);
  std::int64_t done = 0;
  while (done < Count) {
    const ssize_t n =
        ::write(FHandle, p + done, static_cast<std::size_t>(std::min<std::int64_t>(Count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetLastError(errno);
      break;
    }
    done += n;
  }
  return done;
}

std::int64_t TPartFile::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  const int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
  const off_t r = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
  if (r < 0) {
    SetLastError(errno);
    return -1;
  }
  return r;
}

void TPartFile::SetSize(std::int64_t NewSize) {
  if (::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0) {
    const int e = errno;
    SetLastError(e);
    throw EStreamError(u"Cannot set the size of \"%s\". %s", {FPartName, SysErrorMessage(e)});
  }
}

std::int64_t TPartFile::Size() {
  struct stat st {};
  return ::fstat(FHandle, &st) == 0 ? st.st_size : -1;
}

bool TPartFile::NameIsOurs() const {
  struct stat st {};
  return ::lstat(FPath.c_str(), &st) == 0 && st.st_dev == FDev && st.st_ino == FIno;
}

void TPartFile::Forget() noexcept {
  if (FRegistered) KeepOnSignal(FPartName);
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
                        {FTarget, FPartName + u" was replaced while it was being written"});
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
