// Internal to the XML engine; no public header includes it.
//
// The parser's byte scanners and character classes, over UTF-16 units or
// over bytes that stand for the characters 0 to 255. Long texts make these
// the parser's inner loops, so they look at sixteen bytes at a time where
// they can; everything here is inline for that reason.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <array>
#include <cstddef>
#include <string_view>

#include "kwinet/core/String.h"

namespace kwinet::xml {

inline bool IsBlank(Char c) {
  return c == u'\t' || c == u'\n' || c == u'\r' || c == u' ';
}

// Name characters: "!", "-", digits, ":", "?", ASCII letters and "_". Not ".",
// not non-ASCII letters: the services' names never need them.
inline constexpr auto kNameChars = [] {
  std::array<bool, 128> t{};
  for (char c : std::string_view("!-:?_")) t[static_cast<unsigned char>(c)] = true;
  for (int c = '0'; c <= '9'; ++c) t[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) t[c] = true;
  return t;
}();

inline bool IsNameChar(Char c) {
  return c < 128 && kNameChars[c];
}

// A character of the text being parsed: UTF-16 units, or bytes that stand
// for the characters 0 to 255.
inline Char Unit(Char c) {
  return c;
}
inline Char Unit(char c) {
  return static_cast<unsigned char>(c);
}

// The first position from pos (before n) that holds a, b or NUL; n when
// there is none.
template <typename C>
std::size_t FindAny(const C* s, std::size_t pos, std::size_t n, char a, char b) {
#if defined(__SSE2__)
  constexpr std::size_t kLanes = 16 / sizeof(C);
  const __m128i va = sizeof(C) == 1 ? _mm_set1_epi8(a) : _mm_set1_epi16(a);
  const __m128i vb = sizeof(C) == 1 ? _mm_set1_epi8(b) : _mm_set1_epi16(b);
  const __m128i zero = _mm_setzero_si128();
  while (pos + kLanes <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + pos));
    __m128i hit;
    if constexpr (sizeof(C) == 1)
      hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)), _mm_cmpeq_epi8(v, zero));
    else
      hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb)), _mm_cmpeq_epi16(v, zero));
    if (const int mask = _mm_movemask_epi8(hit)) return pos + static_cast<std::size_t>(__builtin_ctz(mask)) / sizeof(C);
    pos += kLanes;
  }
#endif
  while (pos < n) {
    const Char c = Unit(s[pos]);
    if (c == static_cast<Char>(a) || c == static_cast<Char>(b) || c == 0) break;
    ++pos;
  }
  return pos;
}

// The first byte from p (before p + n) that is not ASCII; p + n when none.
// Bytes that are all ASCII need no UTF-8 decoding.
inline const char* FindNonAscii(const char* p, std::size_t n) {
  const char* e = p + n;
#if defined(__SSE2__)
  for (; e - p >= 16; p += 16)
    if (const int mask = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))))
      return p + __builtin_ctz(mask);
#endif
  while (p != e && static_cast<unsigned char>(*p) < 0x80) ++p;
  return p;
}

// The end of a start tag's attribute text from pos (before n): the first
// ">" or NUL, or "/" outside double quotes; n when there is none.
template <typename C>
std::size_t ScanAttributes(const C* s, std::size_t pos, std::size_t n) {
  bool inQuotes = false;
#if defined(__SSE2__)
  if constexpr (sizeof(C) == 1) {
    // Sixteen bytes at a time while they hold nothing that can end the
    // text: only their quotes count.
    const __m128i gt = _mm_set1_epi8('>'), slash = _mm_set1_epi8('/'), quote = _mm_set1_epi8('"');
    const __m128i zero = _mm_setzero_si128();
    while (pos + 16 <= n) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + pos));
      const __m128i stop =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, gt), _mm_cmpeq_epi8(v, slash)), _mm_cmpeq_epi8(v, zero));
      if (_mm_movemask_epi8(stop)) break;
      inQuotes ^= (__builtin_popcount(_mm_movemask_epi8(_mm_cmpeq_epi8(v, quote))) & 1) != 0;
      pos += 16;
    }
  }
#endif
  while (pos < n) {
    const Char c = Unit(s[pos]);
    if (c == 0 || c == u'>' || (c == u'/' && !inQuotes)) break;
    if (c == u'"') inQuotes = !inQuotes;
    ++pos;
  }
  return pos;
}

}  // namespace kwinet::xml
