/// @file
/// Streams of bytes: files, memory, and strings in a stated encoding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kwinet/core/Classes.h"

namespace kwinet {

/// What a Seek offset counts from: the start, the position or the end.
enum TSeekOrigin : std::uint8_t { soBeginning, soCurrent, soEnd };
/// @var soBeginning
/// From the start.
/// @var soCurrent
/// From the position.
/// @var soEnd
/// From the end.

/// How text becomes bytes. teANSI is ISO-8859-1: every character 0-255 is one
/// byte of the same value (higher characters become "?").
enum TTextEncoding : std::uint8_t { teANSI, teUTF8, teUnicode /* UTF-16LE */ };
/// @var teANSI
/// ISO-8859-1, one byte a character.
/// @var teUTF8
/// UTF-8.
/// @var teUnicode
/// UTF-16, little-endian.

/// The bytes of s in an encoding.
std::string EncodeText(const String& s, TTextEncoding encoding);
/// The text of bytes in an encoding.
String DecodeText(std::string_view bytes, TTextEncoding encoding);

/// A stream of bytes with a position: the base of files and memory.
class TStream : public TObject {
 public:
  /// Reads at most Count bytes; returns how many were read (0 at the end).
  virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
  /// Writes at most Count bytes; returns how many were written.
  virtual std::int64_t Write(const void* Buffer, std::int64_t Count) = 0;
  /// Moves the position; returns the new position.
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
  /// Makes the stream NewSize bytes long.
  virtual void SetSize(std::int64_t NewSize) = 0;

  ///@{
  /// The position, counted from the start.
  std::int64_t Position();
  void SetPosition(std::int64_t value) { Seek(value, soBeginning); }
  ///@}
  /// The length in bytes; the base seeks to the end and back.
  virtual std::int64_t Size();

  ///@{
  /// Read or write exactly Count bytes, or raise EReadError / EWriteError.
  void ReadBuffer(void* Buffer, std::int64_t Count);
  void WriteBuffer(const void* Buffer, std::int64_t Count);
  ///@}
  /// Copies Count bytes from Source (all of Source from its start when
  /// Count is 0); returns the number copied.
  std::int64_t CopyFrom(TStream& Source, std::int64_t Count);
  /// The rest of the stream from the position, as bytes.
  std::string ReadAll();
};

/// File open modes: one access mode combined with one share mode, or fmCreate.
enum : std::uint32_t {
  fmOpenRead = 0x0000,        ///< Reading only.
  fmOpenWrite = 0x0001,       ///< Writing only.
  fmOpenReadWrite = 0x0002,   ///< Reading and writing.
  fmShareCompat = 0x0000,     ///< No share restriction (as fmShareDenyNone).
  fmShareExclusive = 0x0010,  ///< No other handle may open the file (an exclusive lock).
  fmShareDenyWrite = 0x0020,  ///< Others may read but not write (a shared lock).
  fmShareDenyRead = 0x0030,   ///< Others may write but not read (a shared lock).
  fmShareDenyNone = 0x0040,   ///< No restriction on others.
  fmCreate = 0xFF00,          ///< Create the file, or empty an existing one, for reading and writing.
  /// Not a framework mode: refuse to open a symbolic link (a file that an
  /// attacker could have pointed elsewhere).
  fmNoFollow = 0x10000,
};

/// A stream over an open file descriptor, which derived classes open and
/// close: reads and writes go on through interruptions, and a failure sets
/// the last error (SetSize raises EStreamError naming the file).
class THandleStream : public TStream {
 public:
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(std::int64_t NewSize) override;
  /// The file's length, -1 when it cannot be read.
  std::int64_t Size() override;

  /// The file descriptor (-1 when none is open).
  int Handle() const { return FHandle; }

 protected:
  /// A stream not yet open; Name names it in error messages.
  explicit THandleStream(const String& Name) : FHandleName(Name) {}

  /// The file's name for error messages.
  String FHandleName;
  /// The open descriptor, -1 when none.
  int FHandle = -1;
};

/// A file. The share modes are kept with advisory locks: fmShareDenyWrite and
/// fmShareDenyRead take a shared lock, fmShareExclusive an exclusive one, so
/// two handles of this library respect each other. A failure raises
/// EFOpenError or EFCreateError naming the file and the system's reason.
class TFileStream : public THandleStream {
 public:
  /// Opens or creates (fmCreate) FileName in Mode; Rights are a new file's
  /// permissions.
  TFileStream(const String& FileName, std::uint32_t Mode, unsigned Rights = 0644);
  ~TFileStream() override;

  /// The name the file was opened with.
  const String& FileName() const { return FHandleName; }
};

/// A stream held in memory.
class TMemoryStream : public TStream {
 public:
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(std::int64_t NewSize) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }

  /// Empties the stream.
  void Clear();
  ///@{
  /// Replaces the content with all of Stream or of a file; the position goes to
  /// 0.
  void LoadFromStream(TStream& Stream);
  void LoadFromFile(const String& FileName);
  ///@}
  ///@{
  /// Writes the whole content to Stream or to a new file.
  void SaveToStream(TStream& Stream);
  void SaveToFile(const String& FileName);
  ///@}
  ///@{
  /// The bytes, valid until the size changes.
  const std::uint8_t* Memory() const { return FData.data(); }
  std::uint8_t* Memory() { return FData.data(); }
  ///@}

 protected:
  /// The content.
  std::vector<std::uint8_t> FData;
  /// The position.
  std::int64_t FPosition = 0;
};

/// A memory stream whose bytes are a string's text in an encoding.
class TStringStream : public TMemoryStream {
 public:
  /// A stream holding AString in Encoding, positioned at its start.
  explicit TStringStream(const String& AString = String(), TTextEncoding Encoding = teUTF8);
  /// The encoding of the text.
  TTextEncoding Encoding() const { return FEncoding; }
  /// The whole content decoded with Encoding.
  String DataString() const;
  /// Writes AString in Encoding at the position.
  void WriteString(const String& AString);
  /// Reads at most Count bytes from the position and decodes them.
  String ReadString(std::int64_t Count);

 private:
  TTextEncoding FEncoding;
};

///@{
/// Path helpers working on Strings.
std::string FileNameToPath(const String& FileName);
bool FileExists(const String& FileName);
String ExtractFileExt(const String& FileName);
String ExtractFileName(const String& FileName);
String ExtractFilePath(const String& FileName);
String ChangeFileExt(const String& FileName, const String& Extension);
///@}

}  // namespace kwinet
