// The news file reader on arbitrary bytes: it must never read outside its
// input, and what it gives back must keep its own promises.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kwinet/web/NewsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto sections = kwinet::ReadNewsFile(bytes);
  std::size_t items = 0;
  for (const kwinet::TNewsSection& s : sections) {
    for (const kwinet::TNewsItem& i : s.Items) {
      // A link is never empty and never holds "=" or a line end.
      if (i.Link.empty()) __builtin_trap();
      for (char16_t c : i.Link)
        if (c == u'=' || c == u'\n' || c == u'\r') __builtin_trap();
      for (char16_t c : i.Caption)
        if (c == u'\n' || c == u'\r') __builtin_trap();
    }
    items += s.Items.size();
  }
  // Every section and item comes from a line of its own.
  std::size_t lines = 1;
  for (char c : bytes) lines += c == '\n' || c == '\r';
  if (sections.size() + items > lines) __builtin_trap();
  return 0;
}
