// The link scanner on arbitrary pages cut into arbitrary pieces: it must
// find the same links as in one piece, each one the prefix followed by no
// character that ends a link, and never read outside a piece.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "kwinet/web/LinkScanner.h"
#include "kwinet/web/kwixtract.h"

namespace {

std::vector<std::string> Scan(std::string_view prefix, std::string_view text, std::size_t piece) {
  std::vector<std::string> links;
  kwinet::TLinkScanner scanner(prefix, [&](std::string_view link) { links.emplace_back(link); });
  for (std::size_t at = 0; at < text.size(); at += piece) {
    // Each piece in a buffer of its own, so that a read past it is caught.
    const std::string_view part = text.substr(at, piece);
    std::vector<char> copy(part.begin(), part.end());
    if (!scanner.Feed(std::string_view(copy.data(), copy.size()))) break;
  }
  scanner.Finish();
  return links;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first byte picks the kind of link, the second the piece size.
  const auto kind = static_cast<kwinet::TKwIExtract>(data[0] % 9);
  const std::size_t piece = data[1] % 32 + 1;
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::string_view prefix = kwinet::KwIExtractPrefix(kind);

  const std::vector<std::string> whole = Scan(prefix, text, text.size() + 1);
  if (Scan(prefix, text, piece) != whole) __builtin_trap();
  std::size_t total = 0;
  for (const std::string& link : whole) {
    if (link.compare(0, prefix.size(), prefix) != 0) __builtin_trap();
    for (char c : link)
      if (kwinet::EndsLink(static_cast<unsigned char>(c))) __builtin_trap();
    total += link.size() + 1;
  }
  // Links never overlap: each is followed by the character that ended it.
  if (total > text.size() + 1) __builtin_trap();
  return 0;
}
