// URL redaction on arbitrary text (messages quote what servers send): it
// must never crash, and redacting twice changes nothing more.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kwinet/utils/RedactUrl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kwinet;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string once = RedactUrl(text);
  if (RedactUrl(std::string_view(once)) != once) __builtin_trap();
  // Two bytes a character, so that codes above 255 are reached too.
  String wide;
  for (std::size_t i = 0; i + 1 < size; i += 2) wide.push_back(static_cast<Char>(data[i] | data[i + 1] << 8));
  const String wideOnce = RedactUrl(wide);
  if (RedactUrl(wideOnce) != wideOnce) __builtin_trap();
  return 0;
}
