// The parser's byte scanners read sixteen bytes at a time where they can: on
// generated texts they must answer exactly as a plain character-by-character
// reading does, whatever falls on either side of a block's edge.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "kwinet/xml/XmlScan.h"

namespace kwinet::xml {
namespace {

// Texts of 0 to 69 characters, mostly plain letters with now and then a
// quote, a byte above 127 or a character that ends a scan, so that many
// reach past one or two blocks before they stop.
template <typename C>
std::basic_string<C> Generated(std::uint32_t& seed) {
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  std::basic_string<C> s(next() % 70, C('a'));
  for (C& c : s) {
    const std::uint32_t r = next() % 100;
    if (r < 4)
      c = C('"');
    else if (r < 6)
      c = C(0xE9);
    else if (r == 6)
      c = C('/');
    else if (r == 7)
      c = C('>');
    else if (r == 8)
      c = C('<');
    else if (r == 9)
      c = C(0);
    else if (r == 10 && sizeof(C) == 2)
      c = C(0x3C00 | '/');  // not "/": only its low byte is
  }
  return s;
}

template <typename C>
std::size_t PlainFindAny(const std::basic_string<C>& s, std::size_t pos, char a, char b) {
  while (pos < s.size() && s[pos] != C(a) && s[pos] != C(b) && s[pos] != 0) ++pos;
  return pos;
}

template <typename C>
std::size_t PlainScanAttributes(const std::basic_string<C>& s, std::size_t pos) {
  bool inQuotes = false;
  for (; pos < s.size(); ++pos) {
    const C c = s[pos];
    if (c == 0 || c == C('>') || (c == C('/') && !inQuotes)) break;
    if (c == C('"')) inQuotes = !inQuotes;
  }
  return pos;
}

template <typename C>
void CheckScanners(std::uint32_t seed) {
  for (int round = 0; round < 3000; ++round) {
    const std::basic_string<C> s = Generated<C>(seed);
    for (std::size_t pos = 0; pos <= s.size() && pos < 4; ++pos) {
      SCOPED_TRACE(testing::Message() << "round " << round << ", from " << pos << ", width " << sizeof(C));
      EXPECT_EQ(FindAny(s.data(), pos, s.size(), '<', '/'), PlainFindAny(s, pos, '<', '/'));
      EXPECT_EQ(FindAny(s.data(), pos, s.size(), '<', '<'), PlainFindAny(s, pos, '<', '<'));
      EXPECT_EQ(ScanAttributes(s.data(), pos, s.size()), PlainScanAttributes(s, pos));
      if constexpr (sizeof(C) == 1) {
        std::size_t plain = pos;
        while (plain < s.size() && static_cast<unsigned char>(s[plain]) < 0x80) ++plain;
        EXPECT_EQ(FindNonAscii(s.data() + pos, s.size() - pos) - s.data(), static_cast<std::ptrdiff_t>(plain));
      }
    }
    if (testing::Test::HasFailure()) return;
  }
}

TEST(XmlScan, BlockScannersAgreeWithAPlainReading) {
  CheckScanners<char>(1);
  CheckScanners<char16_t>(2);
}

}  // namespace
}  // namespace kwinet::xml
