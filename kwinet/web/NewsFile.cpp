#include "kwinet/web/NewsFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace kwinet {

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
  return s;
}

}  // namespace

std::vector<TNewsSection> ReadNewsFile(std::string_view bytes) {
  std::vector<TNewsSection> sections;
  // The links of each section so far, in lower case: a repeat is found at once.
  std::vector<std::unordered_set<String>> links;
  std::unordered_map<String, std::size_t> byName;  // lower-case name -> index
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t current = kNone;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = TrimBlanks(bytes.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      name = TrimBlanks(name.substr(0, name.find(']')));
      String text = Utf8ToString(name);
      auto [it, added] = byName.try_emplace(LowerCase(text), sections.size());
      if (added) {
        links.emplace_back();
        sections.push_back({std::move(text), {}});
      }
      current = it->second;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (current == kNone || eq == std::string_view::npos) continue;
    const std::string_view link = TrimBlanks(line.substr(0, eq));
    std::string_view caption = TrimBlanks(line.substr(eq + 1));
    if (link.empty()) continue;
    if (caption.size() >= 2 && caption.front() == '"' && caption.back() == '"')
      caption = caption.substr(1, caption.size() - 2);
    String linkText = Utf8ToString(link);
    if (!links[current].insert(LowerCase(linkText)).second) continue;
    sections[current].Items.push_back({std::move(linkText), Utf8ToString(caption)});
  }
  return sections;
}

std::vector<TNewsSection> LoadNewsFile(const String& FileName) {
  const int fd = ::open(StringToUtf8(FileName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return ReadNewsFile(bytes);
}

}  // namespace kwinet
