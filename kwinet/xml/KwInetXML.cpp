#include "kwinet/xml/KwInetXML.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kwinet/core/Slab.h"
#include "kwinet/utils/CodePage.h"
#include "kwinet/utils/kwiutil.h"
#include "kwinet/xml/XmlScan.h"

namespace kwinet {

namespace {

using xml::FindAny;
using xml::FindNonAscii;
using xml::IsBlank;
using xml::IsNameChar;
using xml::ScanAttributes;
using xml::Unit;

String Widen(const Char* b, const Char* e) {
  return String(b, e);
}
String Widen(const char* b, const char* e) {
  String out(static_cast<std::size_t>(e - b), u'\0');
  for (std::size_t i = 0; b != e; ++b, ++i) out[i] = static_cast<unsigned char>(*b);
  return out;
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

// --- TKwXMLItem ------------------------------------------------------------------

TKwXMLItem::TKwXMLItem(TComponent* AOwner)
    : TComponent(AOwner), FItems(this), FParentItem(dynamic_cast<TKwXMLItem*>(AOwner)) {}

TKwXMLItem::TKwXMLItem(TKwXMLItem* Parent, ChildTag)
    : TComponent(Parent), FLevel(Parent->FLevel + 1), FItems(this), FParentItem(Parent) {}

// Notification, which keeps the node's list in step with its components, is
// defined with the lists.

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
    pos = ScanAttributes(s, pos, n);
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
    // Only a position inside the bytes is an address: an empty stream has no
    // storage at all, and a position past the end points nowhere.
    if (count > 0)
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
