#include "kwinet/core/Streams.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kwinet {

std::string EncodeText(const String& s, TTextEncoding encoding) {
  switch (encoding) {
    case teUTF8:
      return StringToUtf8(s);
    case teUnicode: {
      std::string out(s.size() * 2, '\0');
      for (std::size_t i = 0; i < s.size(); ++i) {
        out[2 * i] = static_cast<char>(s[i] & 0xFF);
        out[2 * i + 1] = static_cast<char>(s[i] >> 8);
      }
      return out;
    }
    case teANSI:
    default: {
      std::string out(s.size(), '\0');
      for (std::size_t i = 0; i < s.size(); ++i) out[i] = s[i] < 256 ? static_cast<char>(s[i]) : '?';
      return out;
    }
  }
}

String DecodeText(std::string_view bytes, TTextEncoding encoding) {
  switch (encoding) {
    case teUTF8:
      return Utf8ToString(bytes);
    case teUnicode: {
      String out(bytes.size() / 2, u'\0');
      for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<Char>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
      return out;
    }
    case teANSI:
    default:
      return BytesToString(bytes);
  }
}

// --- TStream ------------------------------------------------------------------

std::int64_t TStream::Position() { return Seek(0, soCurrent); }

std::int64_t TStream::Size() {
  std::int64_t pos = Seek(0, soCurrent);
  std::int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::ReadBuffer(void* Buffer, std::int64_t Count) {
  auto* p = static_cast<char*>(Buffer);
  while (Count > 0) {
    std::int64_t n = Read(p, Count);
    if (n <= 0) throw EReadError(u"Stream read error");
    p += n;
    Count -= n;
  }
}

void TStream::WriteBuffer(const void* Buffer, std::int64_t Count) {
  const auto* p = static_cast<const char*>(Buffer);
  while (Count > 0) {
    std::int64_t n = Write(p, Count);
    if (n <= 0) throw EWriteError(u"Stream write error");
    p += n;
    Count -= n;
  }
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  std::vector<char> buf(static_cast<std::size_t>(std::min<std::int64_t>(Count, 65536)) + 1);
  std::int64_t done = 0;
  while (done < Count) {
    std::int64_t n = std::min<std::int64_t>(Count - done, static_cast<std::int64_t>(buf.size()));
    Source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    done += n;
  }
  return done;
}

std::string TStream::ReadAll() {
  std::string out;
  char buf[65536];
  for (;;) {
    std::int64_t n = Read(buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

// --- TFileStream --------------------------------------------------------------

std::string FileNameToPath(const String& FileName) { return StringToUtf8(FileName); }

TFileStream::TFileStream(const String& FileName, std::uint32_t Mode, unsigned Rights) : THandleStream(FileName) {
  const std::string path = FileNameToPath(FileName);
  const bool create = (Mode & 0xFF00) == fmCreate;
  const std::uint32_t access = Mode & 3;
  const std::uint32_t share = Mode & 0xF0;
  int flags = O_CLOEXEC;
  if (Mode & fmNoFollow) flags |= O_NOFOLLOW;
  if (create) flags |= O_RDWR | O_CREAT | O_TRUNC;
  else if (access == fmOpenWrite) flags |= O_WRONLY;
  else if (access == fmOpenReadWrite) flags |= O_RDWR;
  else flags |= O_RDONLY;
  auto fail = [&](int code) {
    SetLastError(code);
    String reason = code == EWOULDBLOCK ? String(u"The file is in use by another handle") : SysErrorMessage(code);
    if (create) throw EFCreateError(u"Cannot create file \"%s\". %s", {FileName, reason});
    throw EFOpenError(u"Cannot open file \"%s\". %s", {FileName, reason});
  };
  if (path.find('\0') != std::string::npos || path.empty()) fail(ENOENT);
  // A new file is created without truncating first, so that a lock held by
  // another handle is seen before the content is lost.
  FHandle = ::open(path.c_str(), create ? (flags & ~O_TRUNC) : flags, Rights);
  if (FHandle < 0) fail(errno);
  struct stat st{};
  if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    fail(EISDIR);
  }
  const bool writes = create || access != fmOpenRead;
  // A writer checks that nobody denies writes (a reader that nobody holds
  // the file exclusively); then every handle takes the lock that its own
  // share mode asks for.
  if (::flock(FHandle, (writes ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    int e = errno;
    ::close(FHandle);
    FHandle = -1;
    fail(e);
  }
  int lock = LOCK_UN;
  if (share == fmShareExclusive) lock = LOCK_EX;
  else if (share == fmShareDenyWrite || share == fmShareDenyRead) lock = LOCK_SH;
  if (::flock(FHandle, lock | LOCK_NB) != 0) {
    int e = errno;
    ::close(FHandle);
    FHandle = -1;
    fail(e);
  }
  if (create && ::ftruncate(FHandle, 0) != 0) {
    int e = errno;
    ::close(FHandle);
    FHandle = -1;
    fail(e);
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

// --- THandleStream ------------------------------------------------------------

std::int64_t THandleStream::Read(void* Buffer, std::int64_t Count) {
  auto* p = static_cast<char*>(Buffer);
  std::int64_t done = 0;
  while (done < Count) {
    ssize_t n = ::read(FHandle, p + done, static_cast<std::size_t>(std::min<std::int64_t>(Count - done, 1 << 30)));
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

std::int64_t THandleStream::Write(const void* Buffer, std::int64_t Count) {
  const auto* p = static_cast<const char*>(Buffer);
  std::int64_t done = 0;
  while (done < Count) {
    ssize_t n = ::write(FHandle, p + done, static_cast<std::size_t>(std::min<std::int64_t>(Count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetLastError(errno);
      break;
    }
    done += n;
  }
  return done;
}

std::int64_t THandleStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
  if (r < 0) {
    SetLastError(errno);
    return -1;
  }
  return r;
}

void THandleStream::SetSize(std::int64_t NewSize) {
  if (::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0) {
    SetLastError(errno);
    throw EStreamError(u"Cannot set the size of \"%s\". %s", {FHandleName, SysErrorMessage(errno)});
  }
}

std::int64_t THandleStream::Size() {
  struct stat st{};
  if (::fstat(FHandle, &st) != 0) return -1;
  return st.st_size;
}

// --- TMemoryStream ------------------------------------------------------------

std::int64_t TMemoryStream::Read(void* Buffer, std::int64_t Count) {
  if (Count <= 0 || FPosition >= Size()) return 0;
  std::int64_t n = std::min<std::int64_t>(Count, Size() - FPosition);
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* Buffer, std::int64_t Count) {
  if (Count <= 0) return 0;
  std::int64_t end = FPosition + Count;
  if (end > Size()) FData.resize(static_cast<std::size_t>(end));
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition = end;
  return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  std::int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? FPosition : Size();
  std::int64_t p = base + Offset;
  if (p < 0) return -1;
  FPosition = p;
  return p;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0) throw EStreamError(u"Invalid stream size");
  FData.resize(static_cast<std::size_t>(NewSize));
  if (FPosition > NewSize) FPosition = NewSize;
}

void TMemoryStream::Clear() {
  FData.clear();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  Stream.SetPosition(0);
  std::int64_t n = Stream.Size();
  FData.resize(static_cast<std::size_t>(n));
  if (n > 0) Stream.ReadBuffer(FData.data(), n);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const String& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TMemoryStream::SaveToStream(TStream& Stream) {
  if (!FData.empty()) Stream.WriteBuffer(FData.data(), Size());
}

void TMemoryStream::SaveToFile(const String& FileName) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

// --- TStringStream ------------------------------------------------------------

TStringStream::TStringStream(const String& AString, TTextEncoding Encoding) : FEncoding(Encoding) {
  std::string bytes = EncodeText(AString, Encoding);
  FData.assign(bytes.begin(), bytes.end());
}

String TStringStream::DataString() const {
  return DecodeText(std::string_view(reinterpret_cast<const char*>(FData.data()), FData.size()), FEncoding);
}

void TStringStream::WriteString(const String& AString) {
  std::string bytes = EncodeText(AString, FEncoding);
  WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

String TStringStream::ReadString(std::int64_t Count) {
  std::string bytes(static_cast<std::size_t>(std::max<std::int64_t>(0, std::min(Count, Size() - Position()))), '\0');
  std::int64_t n = Read(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, n)));
  return DecodeText(bytes, FEncoding);
}

// --- paths --------------------------------------------------------------------

bool FileExists(const String& FileName) {
  struct stat st{};
  return ::stat(FileNameToPath(FileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

namespace {
std::size_t NameStart(const String& f) {
  auto p = f.find_last_of(u'/');
  return p == String::npos ? 0 : p + 1;
}
}  // namespace

String ExtractFileExt(const String& FileName) {
  std::size_t start = NameStart(FileName);
  auto dot = FileName.find_last_of(u'.');
  if (dot == String::npos || dot < start) return String();
  return FileName.substr(dot);
}

String ExtractFileName(const String& FileName) { return FileName.substr(NameStart(FileName)); }

String ExtractFilePath(const String& FileName) { return FileName.substr(0, NameStart(FileName)); }

String ChangeFileExt(const String& FileName, const String& Extension) {
  std::size_t start = NameStart(FileName);
  auto dot = FileName.find_last_of(u'.');
  if (dot == String::npos || dot < start) return FileName + Extension;
  return FileName.substr(0, dot) + Extension;
}

}  // namespace kwinet
