// The text codecs on arbitrary input: they must decode or refuse with the
// framework's exception, never crash or read outside their input.
#include <cstddef>
#include <cstdint>

#include "kwinet/core/Exceptions.h"
#include "kwinet/utils/kwiutil.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kwinet;
  // Two bytes a character, so that codes above 255 are reached too.
  String wide;
  for (std::size_t i = 0; i + 1 < size; i += 2) wide.push_back(static_cast<Char>(data[i] | data[i + 1] << 8));
  const String bytes = BytesToString(reinterpret_cast<const char*>(data), size);
  Utf8Decode(bytes);
  String html = wide;
  ReplaceHTMLChars(html);
  if (html.size() > wide.size()) __builtin_trap();  // every replacement is shorter than its entity
  GetColumn(wide, size % 7, u',');
  KwInetHTTPEncode(wide);
  try {
    KwInetHTTPDecode(wide);
  } catch (const Exception&) {
  }
  try {
    if (Encode64(wide).size() != (wide.size() + 2) / 3 * 4) __builtin_trap();
  } catch (const ERangeError&) {
  }
  return 0;
}
