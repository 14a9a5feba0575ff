// The file search pattern against names as a server lists them: the first
// line is the pattern, each further line a name. Besides running clean, a
// match must survive a "*" put before the pattern and anything before the
// name, and a pattern without wildcards matches only itself.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kwinet/web/FtpListing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::size_t first = text.find('\n');
  if (first == std::string::npos) return 0;
  const std::string pattern = text.substr(0, first);
  const bool plain = pattern.find_first_of("*?[\\") == std::string::npos && !pattern.empty();
  std::size_t pos = first + 1;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string name = text.substr(pos, end - pos);
    const bool match = kwinet::MatchesWildCard(pattern, name);
    if (match && !kwinet::MatchesWildCard("*" + pattern, "x." + name)) __builtin_trap();
    if (plain && match != (pattern == name)) __builtin_trap();
    pos = end + 1;
  }
  return 0;
}
