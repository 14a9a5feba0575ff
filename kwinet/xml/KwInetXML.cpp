#include "kwinet/xml/KwInetXML.h"

#include <iconv.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "kwinet/utils/kwiutil.h"

namespace kwinet {

namespace {

using View = std::u16string_view;

bool IsBlank(Char c) {
  return c == u'\t' || c == u'\n' || c == u'\r' || c == u' ';
}

// Name characters: "!", "-", digits, ":", "?", ASCII letters and "_". Not ".",
// not non-ASCII letters: the services' names never need them.
constexpr auto kNameChars = [] {
  std::array<bool, 128> t{};
  for (char c : std::string_view("!-:?_")) t[static_cast<unsigned char>(c)] = true;
  for (int c = '0'; c <= '9'; ++c) t[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) t[c] = true;
  return t;
}();

bool IsNameChar(Char c) {
  return c < 128 && kNameChars[c];
}

// --- entities ------------------------------------------------------------------

struct EntityRow {
  View Text;
  Char Replacement;  // 0: the entity is removed
};

// Applied row by row, in this order: "&amp" before "&lt", so "&amp;lt;"
// ends as "<".
constexpr EntityRow kEntities[] = {
    {u"&brvbar", u'|'}, {u"&deg", u'\u00B0'}, {u"&#176", u'\u00B0'}, {u"&plusmn", u'+'}, {u"&para", u'\u00B6'},
    {u"&amp", u'&'},    {u"&lt", u'<'},       {u"&gt", u'>'},        {u"&copy", u'c'},   {u"&quot", u'"'},
    {u"&apos", u'\''},  {u"&trade", u'T'},    {u"&nbsp", 0},         {u"&car", u'\n'},   {u"&ret", u'\r'},
    {u"&#009", u'\t'},  {u"&#x9", u'\t'},     {u"&#010", u'\n'},     {u"&#xa", u'\n'},   {u"&#013", u'\r'},
    {u"&#xd", u'\r'},   {u"&#034", u'"'},     {u"&#34", u'"'},       {u"&#039", u'\''},  {u"&#39", u'\''},
};

// Replaces every occurrence of one entity the way a search from the start
// after each replacement would, in one pass: all occurrences have the same
// length, so the leftmost one is also the one that ends first, and a new one
// can only end at or after the replacement. The text before the position is
// kept in Out, which never holds an occurrence.
String ApplyEntity(const String& In, const EntityRow& Row) {
  String out;
  out.reserve(In.size());
  const std::size_t len = Row.Text.size();
  const Char last = Row.Text.back();
  std::size_t i = 0;
  Char pending = 0;  // a replacement still to be pushed
  for (;;) {
    Char c;
    if (pending != 0) {
      c = pending;
      pending = 0;
    } else if (i < In.size()) {
      c = In[i++];
    } else {
      break;
    }
    out.push_back(c);
    if (c != last || out.size() < len || View(out).substr(out.size() - len) != Row.Text) continue;
    out.resize(out.size() - len);
    if (i < In.size() && In[i] == u';') ++i;
    pending = Row.Replacement;
  }
  return out;
}

// --- code pages ------------------------------------------------------------------

// Re-decodes text that was read one byte per character as a named code page.
class TCodePageDecoder {
 public:
  explicit TCodePageDecoder(const String& Declared) {
    int page = 0;
    if (!TryStrToInt(Declared.substr(8), page)) return;  // not a number: the ANSI page, which is identity
    std::string name;
    if (page == 65001)
      name = "UTF-8";
    else if (page >= 28591 && page <= 28605)
      name = "ISO-8859-" + std::to_string(page - 28590);
    else
      name = "CP" + std::to_string(page);
    if (page == 28591) return;  // the ANSI page itself
    FHandle = iconv_open(std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE", name.c_str());
  }
  ~TCodePageDecoder() {
    if (FHandle != reinterpret_cast<iconv_t>(-1)) iconv_close(FHandle);
  }
  TCodePageDecoder(const TCodePageDecoder&) = delete;
  TCodePageDecoder& operator=(const TCodePageDecoder&) = delete;

  bool Valid() const { return FHandle != reinterpret_cast<iconv_t>(-1); }

  String Decode(const char* Bytes, std::size_t Count) {
    String out(Count * 2 + 2, u'\0');
    char* in = const_cast<char*>(Bytes);
    std::size_t inLeft = Count;
    char* dst = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size() * sizeof(Char);
    iconv(FHandle, nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0) {
      if (iconv(FHandle, &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG || outLeft < sizeof(Char)) break;  // cannot happen: two units a byte at most
      // A byte the code page does not define keeps its place as U+FFFD.
      const Char bad = u'\uFFFD';
      std::memcpy(dst, &bad, sizeof bad);
      dst += sizeof bad;
      outLeft -= sizeof bad;
      ++in;
      --inLeft;
    }
    iconv(FHandle, nullptr, nullptr, &dst, &outLeft);  // a character a combining page still holds
    out.resize((dst - reinterpret_cast<char*>(out.data())) / sizeof(Char));
    return out;
  }

 private:
  iconv_t FHandle = reinterpret_cast<iconv_t>(-1);
};

// A character of the text being parsed: UTF-16 units, or bytes that stand
// for the characters 0 to 255.
inline Char Unit(Char c) {
  return c;
}
inline Char Unit(char c) {
  return static_cast<unsigned char>(c);
}

String Widen(const Char* b, const Char* e) {
  return String(b, e);
}
String Widen(const char* b, const char* e) {
  String out(static_cast<std::size_t>(e - b), u'\0');
  for (std::size_t i = 0; b != e; ++b, ++i) out[i] = static_cast<unsigned char>(*b);
  return out;
}

// The first position from pos (before n) that holds a, b or NUL; n when
// there is none. Long texts make this the parser's inner loop, so it looks
// at sixteen bytes at a time where it can.
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

// A run of the text being parsed, kept where it lies until it is stored in
// a node, or its decoded form once an encoding has been applied.
template <typename C>
struct TPiece {
  TPiece() = default;
  TPiece(const C* Start, std::size_t Count) : P(Start), N(Count) {}

  const C* P = nullptr;
  std::size_t N = 0;
  std::optional<String> Decoded;

  bool Empty() const { return Decoded ? Decoded->empty() : N == 0; }
  String Str() const { return Decoded ? *Decoded : Widen(P, P + N); }
  void SetDecoded(String Text) { Decoded = std::move(Text); }
  void StoreIn(TKwXMLText& Text, bool Appending) const {
    if (Decoded) {
      Appending ? Text.Append(std::u16string_view(*Decoded)) : Text.Assign(std::u16string_view(*Decoded));
    } else if constexpr (sizeof(C) == 1) {
      Appending ? Text.Append(std::string_view(P, N)) : Text.Assign(std::string_view(P, N));
    } else {
      Appending ? Text.Append(std::u16string_view(P, N)) : Text.Assign(std::u16string_view(P, N));
    }
  }

  // Bytes that hold UTF-8 are decoded. ASCII decodes to itself: most texts
  // need neither a copy nor a decoder. Text with a character above 255 was
  // never a string of bytes (it came decoded already): decoding it again
  // could only destroy it.
  void DecodeUtf8() {
    if constexpr (sizeof(C) == 1) {
      if (FindNonAscii(P, N) == P + N) return;
    } else {
      const C* wide = std::find_if(P, P + N, [](C c) { return c >= 0x80; });
      if (wide == P + N || !std::all_of(wide, P + N, [](C c) { return c <= 0xFF; })) return;
    }
    SetDecoded(Utf8Decode(Widen(P, P + N)));
  }
  // Text that is not bytes is left alone rather than turned into question
  // marks. An unknown code page changes nothing.
  void DecodeCodePage(TCodePageDecoder& Decoder) {
    if (!Decoder.Valid() || N == 0) return;
    if constexpr (sizeof(C) == 1) {
      SetDecoded(Decoder.Decode(P, N));
    } else {
      if (!std::all_of(P, P + N, [](C c) { return c <= 0xFF; })) return;
      std::string bytes(N, '\0');
      for (std::size_t i = 0; i < N; ++i) bytes[i] = static_cast<char>(P[i]);
      SetDecoded(Decoder.Decode(bytes.data(), N));
    }
  }
};

// Pre-order walk of a subtree without recursion. Children of a node at depth
// d (the start node is at 0) are visited only when Expand(d) says so.
template <typename Match, typename Expand>
TKwXMLItem* FindPreOrder(TKwXMLItem* Start, Match match, Expand expand) {
  if (!Start) return nullptr;
  if (match(Start)) return Start;
  struct Frame {
    const TKwXMLItems* List;
    int Next;
    int Depth;  // depth of the nodes in List
  };
  std::vector<Frame> stack;
  if (expand(0) && Start->Items()->Count() > 0) stack.push_back({Start->Items(), 0, 1});
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.Next >= top.List->Count()) {
      stack.pop_back();
      continue;
    }
    TKwXMLItem* node = (*top.List)[top.Next++];
    const int depth = top.Depth;
    if (!node) continue;
    if (match(node)) return node;
    if (node->Items()->Count() > 0 && expand(depth)) stack.push_back({node->Items(), 0, depth + 1});
  }
  return nullptr;
}

}  // namespace

// --- TKwXMLItems -----------------------------------------------------------------

namespace {

// Small blocks from the slabs, larger ones from malloc (so that lists can
// grow with realloc).
void* AllocateBytes(std::size_t Size) {
  if (Size <= SlabLargest) return SlabAllocate(Size);
  void* p = std::malloc(Size);
  if (!p) throw std::bad_alloc();
  return p;
}

void FreeBytes(void* P, std::size_t Size) noexcept {
  if (Size <= SlabLargest)
    SlabFree(P, Size);
  else
    std::free(P);
}

}  // namespace

namespace {

// The node whose list is being added to by AddItem: its components gain a
// node that the list is to hold.
thread_local const TKwXMLItem* tAddingTo = nullptr;

}  // namespace

TKwXMLItems::~TKwXMLItems() {
  Clear();
  Release();
}

void TKwXMLItems::Release() {
  if (Own* own = Storage()) FreeBytes(own, sizeof(Own) + own->Capacity * sizeof(TKwXMLItem*));
  FBits = 0;
}

int TKwXMLItems::Count() const {
  if (const TKwXMLItem* node = Mirrored()) return node->ComponentCount();
  const Own* own = Storage();
  return own ? static_cast<int>(own->Count) : 0;
}

TKwXMLItem* TKwXMLItems::At(int Index) const {
  if (const TKwXMLItem* node = Mirrored()) return static_cast<TKwXMLItem*>(node->ComponentAt(Index));
  return Storage()->Items()[Index];
}

void TKwXMLItems::Detach(bool WithoutLast) {
  TKwXMLItem* node = Mirrored();
  if (!node) return;
  const int count = node->ComponentCount() - (WithoutLast ? 1 : 0);
  FBits = 0;
  for (int i = 0; i < count; ++i) PushBack(static_cast<TKwXMLItem*>(node->ComponentAt(i)));
}

void TKwXMLItems::PushBack(TKwXMLItem* Item) {
  Own* own = Storage();
  if (!own || own->Count == own->Capacity) {
    const std::uint32_t oldCapacity = own ? own->Capacity : 0;
    if (oldCapacity > std::numeric_limits<std::int32_t>::max() / 2) throw std::bad_alloc();  // Count() is an int
    const std::uint32_t capacity = oldCapacity ? oldCapacity * 2 : 4;
    const std::size_t bytes = sizeof(Own) + capacity * sizeof(TKwXMLItem*);
    const std::size_t oldBytes = sizeof(Own) + oldCapacity * sizeof(TKwXMLItem*);
    Own* grown;
    if (own && oldBytes > SlabLargest) {
      // A long list grows by remapping, not by copying.
      grown = static_cast<Own*>(std::realloc(own, bytes));
      if (!grown) throw std::bad_alloc();
    } else {
      grown = static_cast<Own*>(AllocateBytes(bytes));
      grown->Count = 0;
      if (own) {
        grown->Count = own->Count;
        std::memcpy(grown->Items(), own->Items(), own->Count * sizeof(TKwXMLItem*));
        FreeBytes(own, oldBytes);
      }
    }
    grown->Capacity = capacity;
    own = grown;
    FBits = reinterpret_cast<std::uintptr_t>(own);
  }
  own->Items()[own->Count++] = Item;
}

TKwXMLItem* TKwXMLItems::AddItem(TKwXMLItem* ParentItem) {
  if (Mirrored() && Mirrored() != ParentItem) Detach(false);  // a node of another parent
  if (Mirrored()) {
    // The node arrives in the parent's components, which this list reads.
    struct Adding {
      explicit Adding(const TKwXMLItem* Node) { tAddingTo = Node; }
      ~Adding() { tAddingTo = nullptr; }
    } adding(ParentItem);
    return new TKwXMLItem(ParentItem, TKwXMLItem::ChildTag{});
  }
  std::unique_ptr<TKwXMLItem> node(ParentItem ? new TKwXMLItem(ParentItem, TKwXMLItem::ChildTag{})
                                              : new TKwXMLItem(nullptr));
  PushBack(node.get());
  return node.release();
}

void TKwXMLItems::Clear() {
  // Walk down to the last leaf, free it, and go on from its parent's list:
  // no recursion, and each node leaves its list from the back.
  std::vector<TKwXMLItems*> path{this};
  while (!path.empty()) {
    TKwXMLItems* list = path.back();
    const int count = list->Count();
    if (count == 0) {
      path.pop_back();
      continue;
    }
    TKwXMLItem* last = list->At(count - 1);
    if (last->FItems.Count() > 0) {
      path.push_back(&last->FItems);
      continue;
    }
    // A node leaves its parent's list (or the components that list reads)
    // on destruction; one added to a foreign list must be taken out here.
    if (!last->FParentItem || &last->FParentItem->FItems != list) --list->Storage()->Count;
    delete last;
  }
}

TKwXMLItem* TKwXMLItems::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(u"List index out of bounds (%d)", {Index});
  return At(Index);
}

int TKwXMLItems::IndexOf(const TKwXMLItem* Item) const {
  const int count = Count();
  for (int i = 0; i < count; ++i)
    if (At(i) == Item) return i;
  return -1;
}

void TKwXMLItems::RemoveFromBack(const TKwXMLItem* Item) {
  Own* own = Storage();
  if (!own) return;  // a node leaves the components that the list reads by itself
  TKwXMLItem** items = own->Items();
  for (std::uint32_t i = own->Count; i-- > 0;)
    if (items[i] == Item) {
      std::memmove(items + i, items + i + 1, (own->Count - i - 1) * sizeof(TKwXMLItem*));
      --own->Count;
      return;
    }
}

// --- TKwXMLText ------------------------------------------------------------------

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

// --- TKwXMLItem ------------------------------------------------------------------

TKwXMLItem::TKwXMLItem(TComponent* AOwner)
    : TComponent(AOwner), FItems(this), FParentItem(dynamic_cast<TKwXMLItem*>(AOwner)) {}

TKwXMLItem::TKwXMLItem(TKwXMLItem* Parent, ChildTag)
    : TComponent(Parent), FLevel(Parent->FLevel + 1), FItems(this), FParentItem(Parent) {}

void TKwXMLItem::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (!FItems.Mirrored()) return;
  if (Operation == opInsert) {
    // Arrived some other way than through this node's own list.
    if (tAddingTo != this) FItems.Detach(true);
  } else if (AComponent->Owner() == this && !AComponent->Destroying()) {
    // Given to another owner, it stays in the list.
    FItems.Detach(false);
  }
}

TKwXMLItem::~TKwXMLItem() {
  FItems.Clear();
  // Nodes made directly with this node as owner (not through AddItem) go
  // now, while this node's list still exists for them to leave.
  DestroyComponents();
  if (FParentItem) FParentItem->FItems.RemoveFromBack(this);
}

void* TKwXMLItem::operator new(std::size_t Size) {
  return Size <= SlabLargest ? SlabAllocate(Size) : ::operator new(Size);
}

void TKwXMLItem::operator delete(void* P, std::size_t Size) noexcept {
  if (!P) return;
  if (Size <= SlabLargest)
    SlabFree(P, Size);
  else
    ::operator delete(P);
}

TVariant TKwXMLItem::Value() const {
  if (FValueNull) return TVariant::Null();
  return FValueAssigned ? TVariant(FValue.Str()) : TVariant();
}

void TKwXMLItem::SetValue(const TVariant& value) {
  FValue.Assign(value.ToString());
  FValueAssigned = value.HasString();
  FValueNull = value.IsNull();
}

TKwXMLItem* TKwXMLItem::GetChild(const String& XMLTag, bool ExpandAllLevels) {
  return FindPreOrder(
      this, [&](TKwXMLItem* n) { return n->FTagName.Equals(XMLTag); },
      [&](int depth) { return ExpandAllLevels || depth < 2; });
}

String TKwXMLItem::GetTagXMLValue() const {
  String s = FValue.Str();
  if (s.empty() || s.front() != u'"') return s;
  while (!s.empty() && (IsBlank(s.back()) || s.back() == u'"')) s.pop_back();
  if (!s.empty()) s.erase(0, 1);
  return s;
}

String TKwXMLItem::GetTagValue() const {
  return DecodeXMLEntities(GetTagXMLValue());
}

void TKwXMLItem::ProcessAttributes() {
  if (FAttributes.Empty()) return;
  const String text = FAttributes.Str();
  String name, value;
  bool inName = true, inQuotes = false;
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Char c = text[i];
    if (c == u'"') inQuotes = !inQuotes;
    if (!inQuotes && c == u'=')
      inName = false;
    else
      (inName ? name : value).push_back(c);
    if (!inQuotes && (IsBlank(c) || i == n - 1)) {
      if (!name.empty() && !value.empty()) {
        TKwXMLItem* attr = FItems.AddItem(this);
        attr->FKind = ikAttribute;
        attr->FTagName.Assign(name);
        attr->FValue.Assign(value);
        attr->FValueAssigned = true;
      }
      name.clear();
      value.clear();
      inName = true;
    }
  }
  FAttributes.Clear();
}

// --- unit functions ----------------------------------------------------------------

bool SameStrings(bool CaseSensitive, const String& S1, const String& S2) {
  return CaseSensitive ? S1 == S2 : SameText(S1, S2);
}

TDateTime XMLStringToDateTime(const String& S) {
  if (S.empty()) return 0;
  auto part = [&](std::size_t pos, std::size_t len, int& value) {
    return pos < S.size() && TryStrToInt(S.substr(pos, len), value);
  };
  int year, month, day, hour, minute, second;
  if (!part(0, 4, year) || !part(5, 2, month) || !part(8, 2, day) || !part(11, 2, hour) || !part(14, 2, minute) ||
      !part(17, 2, second))
    return 0;
  TDateTime date, time;
  if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, 0, time)) return 0;
  return date + time;
}

String DecodeXMLEntities(const String& S) {
  if (S.find(u'&') == String::npos) return S;
  String s = S;
  for (const EntityRow& row : kEntities)
    if (s.find(row.Text) != String::npos) s = ApplyEntity(s, row);
  return s;
}

// --- TKwXMLEngine -------------------------------------------------------------------

TKwXMLEngine::TKwXMLEngine(TComponent* AOwner) : TComponent(AOwner) {
  FRootItem = new TKwXMLItem(this);
}

TKwXMLEngine::~TKwXMLEngine() {
  delete FRootItem;
}

void TKwXMLEngine::SetRootItem(TKwXMLItem* value) {
  FRootItem = value;
  // A root freed elsewhere must not be freed again here.
  if (value) FreeNotification(value);
}

void TKwXMLEngine::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FRootItem) FRootItem = nullptr;
}

void TKwXMLEngine::ParseXMLFromString(const String& AXMLText, std::int64_t ALength) {
  const std::size_t n = ALength <= 0 ? 0 : std::min(AXMLText.size(), static_cast<std::size_t>(ALength));
  Parse(AXMLText.data(), n);
}

template <typename C>
void TKwXMLEngine::Parse(const C* s, std::size_t n) {
  using CharView = std::basic_string_view<C>;
  // Past the count reads as NUL, which ends every scan.
  auto ch = [&](std::size_t i) -> Char { return i < n ? Unit(s[i]) : Char(0); };
  std::size_t pos = 0;

  // Text runs to "<" or to a "/" that a ">" follows.
  auto readText = [&]() -> TPiece<C> {
    while (ch(pos) == u'>') ++pos;
    const std::size_t start = pos;
    for (;;) {
      pos = FindAny(s, pos, n, '<', '/');
      if (pos >= n || s[pos] != '/' || ch(pos + 1) == u'>') break;
      ++pos;
    }
    TPiece<C> text{s + start, pos - start};
    if (ch(pos) == u'<') ++pos;
    return text;
  };
  auto readAttributes = [&]() -> TPiece<C> {
    const std::size_t start = pos;
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
    return TPiece<C>{s + start, pos - start};
  };
  auto skipToNextTag = [&]() {
    pos = FindAny(s, pos, n, '<', '<');
    if (ch(pos) == u'<') ++pos;
  };

  String declared;  // the declared encoding of this text
  bool declaredUtf8 = false;
  std::unique_ptr<TCodePageDecoder> codePage;
  TKwXMLItem* current = nullptr;
  // Leaving the root ends the way up: the parse stays in the root's subtree
  // even when RootItem was set to an inner node.
  auto parentOf = [&](TKwXMLItem* node) { return node == FRootItem ? nullptr : node->FParentItem; };

  readText();
  while (pos + 1 < n && s[pos] != 0) {
    const std::size_t before = pos;
    const std::size_t nameStart = pos;
    while (pos < n && IsNameChar(Unit(s[pos]))) ++pos;
    TPiece<C> name{s + nameStart, pos - nameStart}, text, attributes;
    const bool comment = name.N >= 3 && s[nameStart] == '!' && s[nameStart + 1] == '-' && s[nameStart + 2] == '-';
    if (comment) {
      name.SetDecoded(u"Comment");
      text.SetDecoded(u"Comment");
      const C closing[] = {'-', '-', '>'};
      std::size_t close = CharView(s, n).find(CharView(closing, 3), pos);
      // A NUL ends the search like every other scan.
      const std::size_t nul = CharView(s, close == CharView::npos ? n : close).find(C(0), pos);
      if (nul != CharView::npos) close = CharView::npos;
      if (close == CharView::npos) {
        pos = nul != CharView::npos ? nul : n;
      } else {
        *text.Decoded += Widen(s + pos, s + close + 2);
        pos = close + 3;
      }
      while (pos < n && IsBlank(Unit(s[pos]))) ++pos;
      if (ch(pos) == u'<') ++pos;
    } else {
      attributes = readAttributes();
      text = readText();
      if (!declared.empty()) {
        if (!UTF8Processed && declaredUtf8) {
          attributes.DecodeUtf8();
          text.DecodeUtf8();
        } else if (codePage) {
          attributes.DecodeCodePage(*codePage);
          text.DecodeCodePage(*codePage);
        }
      }
    }

    bool accept = true;
    if (!name.Empty()) {
      if (!current) {
        current = FRootItem;
      } else {
        if (FOnTag) FOnTag(this, current, name.Str(), text.Str(), attributes.Str(), accept);
        if (accept) current = current->FItems.AddItem(current);
      }
    }

    if (accept && current) {
      TKwXMLItem* node = current;
      if (!text.Empty()) {
        // Appended in place: a value growing piece by piece stays linear.
        text.StoreIn(node->FValue, node->FValueAssigned);
        node->FValueAssigned = true;
        node->FValueNull = false;
      }
      name.StoreIn(node->FTagName, false);
      if (comment) {
        node->FKind = ikComment;
        current = parentOf(node);
      } else {
        node->FKind = ikProperty;
        if (!attributes.Empty()) {
          attributes.StoreIn(node->FAttributes, false);
          if (node->FTagName.EqualsIgnoringCase(u"?xml")) {
            node->ProcessAttributes();
            if (TKwXMLItem* enc = GetItemByTag(node, u"encoding")) {
              declared = enc->GetTagValue();
              declaredUtf8 = SameText(declared, u"utf-8");
              codePage.reset();
              if (declared.size() >= 8 && SameText(declared.substr(0, 8), u"windows-"))
                codePage = std::make_unique<TCodePageDecoder>(declared);
            }
          }
        }
      }
    } else if (!accept && !comment) {
      // Skip the rejected element with its content. A rejected comment has
      // no content: it alone is dropped.
      // The way back to the end of the start tag stops at the element's
      // name: a start tag without ">" would otherwise send the parse back to
      // an earlier tag, and round again for ever.
      if (!(ch(pos) == u'/' && ch(pos + 1) == u'>')) {
        std::size_t p = std::min(pos, n);
        while (p > nameStart && s[p - 1] != '>') --p;
        pos = p > nameStart ? p - 1 : nameStart;
      }
      int depth = 1;
      while (depth > 0 && pos < n && s[pos] != 0) {
        const Char c = Unit(s[pos]);
        if (c == u'/' && ch(pos + 1) == u'>') {
          --depth;
          pos += 2;
        } else if (c == u'<' && ch(pos + 1) == u'/') {
          --depth;
          pos += 2;
          pos = FindAny(s, pos, n, '<', '<');
        } else {
          if (c == u'<') ++depth;
          ++pos;
        }
      }
      if (ch(pos) == u'<') ++pos;
    }

    while (pos + 1 < n && s[pos] == '/' && current) {
      if (s[pos + 1] == '>' && pos + 2 == n) {
        ++pos;
        break;
      }
      TKwXMLItem* closed = current;
      current = parentOf(closed);
      if (FOnAfterTag) {
        bool cancel = false;
        TKwXMLItem* node = closed;
        FOnAfterTag(this, node, cancel);
        if (cancel) return;
      }
      skipToNextTag();
    }
    // A "/>" with no open node would otherwise be read again for ever.
    if (pos == before) ++pos;
  }
}

void TKwXMLEngine::LoadFromStream(std::int64_t AStreamSize, TStream* AStream) {
  if (FRootItem) FRootItem->FItems.Clear();
  if (!AStream) return;
  const std::int64_t position = AStream->Position();
  const std::int64_t available = std::max<std::int64_t>(0, AStream->Size() - position);
  std::int64_t count = (AStreamSize == 0 ? AStream->Size() : AStreamSize) - position;
  count = std::clamp<std::int64_t>(count, 0, available);
  UTF8Processed = false;

  // A memory stream is read in place: a large document is not copied.
  std::string storage;
  std::string_view data;
  if (auto* memory = dynamic_cast<TMemoryStream*>(AStream)) {
    data =
        std::string_view(reinterpret_cast<const char*>(memory->Memory()) + position, static_cast<std::size_t>(count));
    AStream->Seek(count, soCurrent);
  } else {
    storage.resize(static_cast<std::size_t>(count));
    if (count > 0) AStream->ReadBuffer(storage.data(), count);
    data = storage;
  }

  // Only a load of the whole rest looks for a UTF-16 mark.
  std::uint16_t mark = 0;
  if (AStreamSize == 0 && data.size() >= 2)
    mark = static_cast<std::uint16_t>(static_cast<unsigned char>(data[0]) | (static_cast<unsigned char>(data[1]) << 8));
  String text;
  auto utf16 = [&](std::string_view bytes, bool bigEndian) {
    String out(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < out.size(); ++i) {
      const auto a = static_cast<unsigned char>(bytes[2 * i]), b = static_cast<unsigned char>(bytes[2 * i + 1]);
      out[i] = static_cast<Char>(bigEndian ? (a << 8) | b : (b << 8) | a);
    }
    return out;
  };
  if (mark == 0xFEFF || mark == 0xFFFE) {
    text = utf16(data.substr(2), mark == 0xFFFE);
    UTF8Processed = !text.empty();
  } else if (data.starts_with("\xEF\xBB\xBF")) {
    text = Utf8ToString(data.substr(3));
    UTF8Processed = true;
  } else if (data.starts_with("\xFF\xFE") || data.starts_with("\xFE\xFF")) {
    // A part of a stream (AStreamSize given) that starts with a mark.
    text = utf16(data.substr(2), data[0] == '\xFE');
  } else {
    // Bytes of the ANSI code page are the characters 0 to 255 themselves:
    // they are parsed as they are, with no wide copy of the document.
    if (data.ends_with('\x1B')) data.remove_suffix(1);
    if (!data.empty()) Parse(data.data(), data.size());
    return;
  }
  if (!text.empty() && text.back() == u'\x1B') text.pop_back();
  if (!text.empty()) ParseXMLFromString(text, static_cast<std::int64_t>(text.size()));
}

void TKwXMLEngine::LoadFromFile(const String& AFileName) {
  TFileStream stream(AFileName, fmOpenRead | fmShareDenyWrite);
  stream.SetPosition(0);
  LoadFromStream(0, &stream);
}

TKwXMLItem* TKwXMLEngine::GetItemByTag(TKwXMLItem* ARoot, const String& XMLTag) {
  return FindPreOrder(
      ARoot ? ARoot : FRootItem, [&](TKwXMLItem* n) { return n->FTagName.EqualsIgnoringCase(XMLTag); },
      [](int) { return true; });
}

String TKwXMLEngine::GetFirstTagName(String& AXMLPath) {
  const auto slash = AXMLPath.find(u'/');
  String result;
  if (slash == String::npos) {
    result = std::move(AXMLPath);
    AXMLPath.clear();
  } else {
    result = AXMLPath.substr(0, slash);
    AXMLPath.erase(0, slash + 1);
  }
  return result;
}

String TKwXMLEngine::GetLastTagName(String& AXMLPath) {
  const auto slash = AXMLPath.rfind(u'/');
  String result;
  if (slash == String::npos) {
    result = std::move(AXMLPath);
    AXMLPath.clear();
  } else {
    result = AXMLPath.substr(slash + 1);
    AXMLPath.erase(slash);
  }
  return result;
}

}  // namespace kwinet
