// Internal to the XML engine; no public header includes it.
#pragma once

#include <cstddef>

#include "kwinet/core/String.h"

namespace kwinet::xml {

// Re-decodes text that was read one byte per character as the code page that
// an XML declaration names "windows-<number>": 65001 is UTF-8, 28591 to 28605
// the ISO-8859 pages, any other number CP<number>.
class TCodePageDecoder {
 public:
  // Declared is the whole declared name, "windows-" and the number.
  explicit TCodePageDecoder(const String& Declared);
  ~TCodePageDecoder();
  TCodePageDecoder(const TCodePageDecoder&) = delete;
  TCodePageDecoder& operator=(const TCodePageDecoder&) = delete;

  // False for a page that changes nothing: the ANSI page itself (a number
  // that is not one, or 28591) and a page the system does not know.
  bool Valid() const { return FHandle != nullptr; }

  // Bytes that the page does not define keep their place as U+FFFD.
  String Decode(const char* Bytes, std::size_t Count);

 private:
  void* FHandle = nullptr;  // the converter to UTF-16 of this machine's byte order
};

}  // namespace kwinet::xml
