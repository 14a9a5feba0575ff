#include "kwinet/xml/KwXMLText.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "kwinet/xml/XmlBlocks.h"

namespace kwinet {

using xml::AllocateBytes;
using xml::FreeBytes;

namespace {

constexpr std::size_t kInlineChars = sizeof(std::uintptr_t) - 1;

template <typename C>
bool FitsBytes(const C* p, std::size_t n) {
  if constexpr (sizeof(C) == 1) {
    return true;
  } else {
    for (std::size_t i = 0; i < n; ++i)
      if (p[i] > 0xFF) return false;
    return true;
  }
}

struct SmallHeader {
  std::uint32_t Size;
  std::uint32_t Capacity : 31;
  std::uint32_t Wide : 1;
};
struct LargeHeader {
  std::size_t Size, Capacity, Wide;
};
constexpr std::size_t kSmallCapacity = 0x7FFFFFFF;

std::size_t BlockBytes(std::size_t Capacity, bool Wide, bool Large) {
  return (Large ? sizeof(LargeHeader) : sizeof(SmallHeader)) + Capacity * (Wide ? sizeof(Char) : 1);
}

}  // namespace

TKwXMLText::Header TKwXMLText::Read() const {
  if (FBits & kLarge) {
    const auto* h = static_cast<const LargeHeader*>(Block());
    return {h->Size, h->Capacity, h->Wide != 0};
  }
  const auto* h = static_cast<const SmallHeader*>(Block());
  return {h->Size, h->Capacity, h->Wide != 0};
}

void TKwXMLText::SetSize(std::size_t Size) {
  if (FBits & kLarge)
    static_cast<LargeHeader*>(Block())->Size = Size;
  else
    static_cast<SmallHeader*>(Block())->Size = static_cast<std::uint32_t>(Size);
}

char* TKwXMLText::Data() const {
  return static_cast<char*>(Block()) + (FBits & kLarge ? sizeof(LargeHeader) : sizeof(SmallHeader));
}

void TKwXMLText::NewBlock(std::size_t Capacity, bool Wide) {
  const bool large = Capacity > kSmallCapacity;
  void* b = AllocateBytes(BlockBytes(Capacity, Wide, large));
  if (large)
    new (b) LargeHeader{0, Capacity, Wide};
  else
    new (b) SmallHeader{0, static_cast<std::uint32_t>(Capacity), Wide};
  FBits = reinterpret_cast<std::uintptr_t>(b) | (large ? kLarge : 0);
}

void TKwXMLText::Clear() {
  if (HasBlock()) {
    const Header h = Read();
    FreeBytes(Block(), BlockBytes(h.Capacity, h.Wide, FBits & kLarge));
  }
  FBits = 0;
}

std::size_t TKwXMLText::Size() const {
  if (FBits == 0) return 0;
  return Inline() ? (FBits & 0xFF) >> 1 : Read().Size;
}

Char TKwXMLText::At(std::size_t i) const {
  if (Inline()) return static_cast<Char>((FBits >> (8 * (i + 1))) & 0xFF);
  if (Read().Wide) return reinterpret_cast<const Char*>(Data())[i];
  return static_cast<unsigned char>(Data()[i]);
}

String TKwXMLText::Str() const {
  if (FBits == 0) return String();
  const std::size_t n = Size();
  if (HasBlock() && Read().Wide) return String(reinterpret_cast<const Char*>(Data()), n);
  String out(n, u'\0');
  if (Inline()) {
    for (std::size_t i = 0; i < n; ++i) out[i] = At(i);
  } else {
    const auto* p = reinterpret_cast<const unsigned char*>(Data());
    for (std::size_t i = 0; i < n; ++i) out[i] = p[i];
  }
  return out;
}

template <typename C>
void TKwXMLText::Put(const C* P, std::size_t N, bool Appending) {
  if constexpr (sizeof(C) == 1) {
    // The parser's case: bytes into an empty text.
    if (!Appending && FBits == 0 && N > 0) {
      if (N <= kInlineChars) {
        std::uintptr_t bits = (N << 1) | kInline;
        for (std::size_t i = 0; i < N; ++i)
          bits |= static_cast<std::uintptr_t>(static_cast<unsigned char>(P[i])) << (8 * (i + 1));
        FBits = bits;
      } else {
        NewBlock(N, false);
        std::memcpy(Data(), P, N);
        SetSize(N);
      }
      return;
    }
  }
  const std::size_t old = Appending ? Size() : 0;
  const Header current = HasBlock() ? Read() : Header{0, 0, false};
  const bool wide = (Appending && current.Wide) || !FitsBytes(P, N);
  const std::size_t size = old + N;
  if (size == 0) {
    Clear();
    return;
  }
  if (!wide && size <= kInlineChars) {
    std::uintptr_t bits = (size << 1) | kInline;
    for (std::size_t i = 0; i < old; ++i) bits |= static_cast<std::uintptr_t>(At(i)) << (8 * (i + 1));
    for (std::size_t i = 0; i < N; ++i)
      bits |= static_cast<std::uintptr_t>(static_cast<Char>(P[i]) & 0xFF) << (8 * (old + i + 1));
    Clear();
    FBits = bits;
    return;
  }
  if (!Appending || !HasBlock() || current.Wide != wide || current.Capacity < size) {
    // Appending doubles the room, so a value that grows piece by piece
    // stays linear; a plain assignment takes what it needs.
    TKwXMLText fresh;
    fresh.NewBlock(Appending ? std::max(size, 2 * old) : size, wide);
    char* d = fresh.Data();
    if (HasBlock() && current.Wide == wide) {
      if (old) std::memcpy(d, Data(), old * (wide ? sizeof(Char) : 1));
    } else {
      for (std::size_t i = 0; i < old; ++i) {
        if (wide)
          reinterpret_cast<Char*>(d)[i] = At(i);
        else
          d[i] = static_cast<char>(At(i));
      }
    }
    fresh.SetSize(old);
    Clear();
    FBits = std::exchange(fresh.FBits, 0);
  }
  char* d = Data();
  if (wide) {
    Char* w = reinterpret_cast<Char*>(d) + old;
    for (std::size_t i = 0; i < N; ++i) w[i] = static_cast<Char>(static_cast<std::make_unsigned_t<C>>(P[i]));
  } else if constexpr (sizeof(C) == 1) {
    if (N) std::memcpy(d + old, P, N);
  } else {
    for (std::size_t i = 0; i < N; ++i) d[old + i] = static_cast<char>(P[i]);
  }
  SetSize(size);
}

void TKwXMLText::Assign(std::u16string_view S) {
  Put(S.data(), S.size(), false);
}
void TKwXMLText::Assign(std::string_view Latin1) {
  Put(Latin1.data(), Latin1.size(), false);
}
void TKwXMLText::Append(std::u16string_view S) {
  Put(S.data(), S.size(), true);
}
void TKwXMLText::Append(std::string_view Latin1) {
  Put(Latin1.data(), Latin1.size(), true);
}

bool TKwXMLText::Equals(std::u16string_view S) const {
  const std::size_t n = Size();
  if (n != S.size()) return false;
  if (HasBlock() && Read().Wide) return S == std::u16string_view(reinterpret_cast<const Char*>(Data()), n);
  for (std::size_t i = 0; i < n; ++i)
    if (At(i) != S[i]) return false;
  return true;
}

bool TKwXMLText::EqualsIgnoringCase(std::u16string_view S) const {
  const std::size_t n = Size();
  if (n != S.size()) return false;
  auto fold = [](Char c) { return c >= u'A' && c <= u'Z' ? static_cast<Char>(c + 32) : c; };
  for (std::size_t i = 0; i < n; ++i)
    if (fold(At(i)) != fold(S[i])) return false;
  return true;
}

}  // namespace kwinet
