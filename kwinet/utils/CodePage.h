/// @file
/// Text read one byte per character, re-decoded as the code page or character
/// set that its document declares (the XML engine, the RSS parser).
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "kwinet/core/String.h"

namespace kwinet {

/// Re-decodes text that was read one byte per character as a declared code
/// page, through iconv.
class TCodePageDecoder {
 public:
  /// Declared is a name "windows-<number>" as an XML declaration gives it:
  /// 65001 is UTF-8, 28591 to 28605 the ISO-8859 pages, any other number
  /// CP<number>.
  explicit TCodePageDecoder(const String& Declared);
  ~TCodePageDecoder();
  TCodePageDecoder(const TCodePageDecoder&) = delete;
  TCodePageDecoder& operator=(const TCodePageDecoder&) = delete;

  /// A decoder for a character set that iconv knows by this name ("KOI8-R",
  /// "ISO-8859-5", "UTF-16LE"...), or nothing when it knows none such. Only
  /// letters, digits and "-_.:()" make a name, at most 40 of them: a name from
  /// a document can never ask iconv for more than a character set.
  static std::unique_ptr<TCodePageDecoder> ForCharset(std::string_view Charset);

  /// False for a page that changes nothing: the ANSI page itself (a number
  /// that is not one, or 28591) and a page the system does not know.
  bool Valid() const { return FHandle != nullptr; }

  /// Bytes that the page does not define keep their place as U+FFFD.
  String Decode(const char* Bytes, std::size_t Count);

 private:
  TCodePageDecoder() = default;
  void Open(const char* Name);

  void* FHandle = nullptr;  // the converter to UTF-16 of this machine's byte order
};

}  // namespace kwinet
