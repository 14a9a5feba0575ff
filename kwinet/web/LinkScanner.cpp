#include "kwinet/web/LinkScanner.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kwinet {

namespace {

constexpr std::array<bool, 256> MakeStopTable() {
  std::array<bool, 256> t{};
  for (unsigned char c : {'\0', ' ', '"', '#', '%', '<', '>', '[', '\\', ']', '^', '`', '{', '|', '}', '~'})
    t[c] = true;
  return t;
}
constexpr std::array<bool, 256> kStop = MakeStopTable();

// The first character from From on that ends a link, or N.
std::size_t FindStop(const char* Data, std::size_t From, std::size_t N) {
  const auto* p = reinterpret_cast<const unsigned char*>(Data);
  std::size_t i = From;
  while (i + 4 <= N) {
    if (kStop[p[i]]) return i;
    if (kStop[p[i + 1]]) return i + 1;
    if (kStop[p[i + 2]]) return i + 2;
    if (kStop[p[i + 3]]) return i + 3;
    i += 4;
  }
  while (i < N && !kStop[p[i]]) ++i;
  return i;
}

// The first place from From on that holds a NUL, or the prefix's first
// character with its last one where it belongs (or past the end, where a
// cut-short prefix may begin); N when there is none. Testing two characters
// of the prefix at once skips the many places where only the first matches
// (an "h" in an HTML page).
std::size_t NextCandidate(const char* Data, std::size_t From, std::size_t N, char First, char Last,
                          std::size_t LastOffset) {
  std::size_t i = From;
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(First);
  const __m128i last = _mm_set1_epi8(Last);
  const __m128i zero = _mm_setzero_si128();
  while (i + 16 + LastOffset <= N) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Data + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Data + i + LastOffset));
    const __m128i hit =
        _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last)), _mm_cmpeq_epi8(a, zero));
    if (const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit)); mask != 0)
      return i + static_cast<std::size_t>(__builtin_ctz(mask));
    i += 16;
  }
#endif
  for (; i < N; ++i) {
    const char c = Data[i];
    if (c == 0) return i;
    if (c == First && (i + LastOffset >= N || Data[i + LastOffset] == Last)) return i;
  }
  return N;
}

}  // namespace

bool EndsLink(unsigned char C) {
  return kStop[C];
}

TLinkScanner::TLinkScanner(std::string_view Prefix, TOnLink OnLink, std::size_t MaxLength)
    : FPrefix(Prefix), FOnLink(std::move(OnLink)), FMaxLength(std::max(MaxLength, Prefix.size())) {
  if (FPrefix.empty()) throw std::invalid_argument("empty link prefix");
  for (char c : FPrefix)
    if (EndsLink(static_cast<unsigned char>(c))) throw std::invalid_argument("link prefix holds a stop character");
}

bool TLinkScanner::Feed(std::string_view Piece) {
  if (FEnded) return false;
  std::size_t from = 0;
  if (!FInLink && !FCarry.empty()) from = ResolveCarry(Piece);
  if (from != std::string_view::npos && FInLink) from = ContinueLink(Piece);
  if (from == std::string_view::npos) return true;
  if (!FEnded) ScanPiece(Piece, from);
  return !FEnded;
}

void TLinkScanner::Finish() {
  if (FEnded) return;
  FEnded = true;
  if (FInLink) FOnLink(FCarry);
  FInLink = false;
  FCarry.clear();
  FCarry.shrink_to_fit();
}

std::size_t TLinkScanner::ContinueLink(std::string_view Piece) {
  // The link may take Room more bytes; the byte after those decides
  // whether a stop character ends it there or the bound cuts it.
  const std::size_t room = FMaxLength - FCarry.size();
  const std::size_t end = std::min(Piece.size(), room + 1);
  const std::size_t stop = FindStop(Piece.data(), 0, end);
  if (stop == end && end == room + 1) {
    FCarry.append(Piece.substr(0, room));
    FOnLink(FCarry);
    FCarry.clear();
    FInLink = false;
    return room;
  }
  FCarry.append(Piece.substr(0, stop));
  if (stop == Piece.size()) return std::string_view::npos;
  FOnLink(FCarry);
  FCarry.clear();
  FInLink = false;
  if (Piece[stop] == 0) FEnded = true;
  return stop + 1;
}

std::size_t TLinkScanner::ResolveCarry(std::string_view Piece) {
  const std::size_t k = FPrefix.size();
  const std::size_t held = FCarry.size();
  // The carried bytes hold no whole prefix, so a prefix that begins in them
  // ends within the first k - 1 bytes of this piece.
  std::string window = FCarry;
  window.append(Piece.substr(0, k - 1));
  for (std::size_t p = 0; p < held; ++p) {
    const std::size_t avail = window.size() - p;
    if (avail >= k) {
      if (window.compare(p, k, FPrefix) == 0) {
        FCarry.erase(0, p);
        FInLink = true;
        return 0;
      }
    } else if (window.compare(p, avail, FPrefix, 0, avail) == 0) {
      // Still cut short: this piece was too small to tell.
      FCarry = window.substr(p);
      return std::string_view::npos;
    }
  }
  FCarry.clear();
  return 0;
}

void TLinkScanner::ScanPiece(std::string_view Piece, std::size_t From) {
  const char* data = Piece.data();
  const std::size_t n = Piece.size();
  const std::size_t k = FPrefix.size();
  const char first = FPrefix.front();
  const char last = FPrefix.back();
  while (From < n) {
    const std::size_t p = NextCandidate(data, From, n, first, last, k - 1);
    if (p == n) return;
    if (data[p] == 0) {
      FEnded = true;
      return;
    }
    if (p + k <= n) {
      if (std::memcmp(data + p, FPrefix.data(), k) == 0) {
        // A stop character up to right after the longest link ends it.
        const bool bounded = n - p > FMaxLength;
        const std::size_t end = bounded ? p + FMaxLength + 1 : n;
        const std::size_t stop = FindStop(data, p + k, end);
        if (stop == end && bounded) {
          // No stop within the bound: the link ends there.
          FOnLink(std::string_view(data + p, FMaxLength));
          From = p + FMaxLength;
          continue;
        }
        if (stop == n) {
          FCarry.assign(data + p, n - p);
          FInLink = true;
          return;
        }
        FOnLink(std::string_view(data + p, stop - p));
        if (data[stop] == 0) {
          FEnded = true;
          return;
        }
        From = stop + 1;
        continue;
      }
    } else if (std::memcmp(data + p, FPrefix.data(), n - p) == 0) {
      FCarry.assign(data + p, n - p);
      return;
    }
    From = p + 1;
  }
}

void ScanLinks(TStream& Source, TLinkScanner& Scanner, std::size_t BlockSize) {
  std::vector<char> block(BlockSize == 0 ? 1 : BlockSize);
  for (;;) {
    const std::int64_t n = Source.Read(block.data(), static_cast<std::int64_t>(block.size()));
    if (n <= 0) break;
    if (!Scanner.Feed(std::string_view(block.data(), static_cast<std::size_t>(n)))) return;
  }
  Scanner.Finish();
}

}  // namespace kwinet
