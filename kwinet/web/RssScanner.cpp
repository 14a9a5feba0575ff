#include "kwinet/web/RssScanner.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>

#include "kwinet/utils/CodePage.h"

namespace kwinet {

namespace {

using View = std::u16string_view;

constexpr std::size_t npos = View::npos;

bool IsTrimmed(Char c) {
  return c <= 32;
}

View TrimView(View s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsTrimmed(s[b])) ++b;
  while (e > b && IsTrimmed(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// --- decoding -----------------------------------------------------------------

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool IsBlankByte(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The encoding that an XML declaration at the start of the bytes names, or
// empty. Only the declaration itself is looked at, up to its "?>".
std::string_view DeclaredEncoding(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size() && IsBlankByte(bytes[i])) ++i;
  if (!StartsWith(bytes.substr(i), "<?xml")) return {};
  const std::size_t end = bytes.find("?>", i);
  const std::string_view decl = bytes.substr(i, end == npos ? std::min<std::size_t>(bytes.size() - i, 1024) : end - i);
  std::size_t at = decl.find("encoding");
  if (at == npos) return {};
  at += 8;
  while (at < decl.size() && IsBlankByte(decl[at])) ++at;
  if (at >= decl.size() || decl[at] != '=') return {};
  ++at;
  while (at < decl.size() && IsBlankByte(decl[at])) ++at;
  if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\'')) return {};
  const std::size_t close = decl.find(decl[at], at + 1);
  if (close == npos) return {};
  return decl.substr(at + 1, close - at - 1);
}

// Decodes through iconv; empty when the system does not know the set.
bool DecodeCharset(std::string_view charset, std::string_view bytes, String& out) {
  std::unique_ptr<TCodePageDecoder> decoder = TCodePageDecoder::ForCharset(charset);
  if (!decoder) return false;
  out = decoder->Decode(bytes.data(), bytes.size());
  return true;
}

// UTF-16 or UTF-32 of the given byte order. A unit that makes no character
// (a lone surrogate, a value past U+10FFFF, a cut unit at the end) becomes
// U+FFFD and reading goes on with the next unit, so one bad unit costs one
// character, never the rest of the feed.
String DecodeWide(std::string_view bytes, std::size_t unit, bool bigEndian) {
  String out;
  out.reserve(bytes.size() / unit + 1);
  const auto at = [&](std::size_t i) {
    char32_t v = 0;
    for (std::size_t k = 0; k < unit; ++k) {
      const auto b = static_cast<unsigned char>(bytes[i + (bigEndian ? k : unit - 1 - k)]);
      v = (v << 8) | b;
    }
    return v;
  };
  const std::size_t n = bytes.size() / unit * unit;
  for (std::size_t i = 0; i < n; i += unit) {
    const char32_t c = at(i);
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    if (unit == 2 && high && i + unit < n && at(i + unit) >= 0xDC00 && at(i + unit) <= 0xDFFF) {
      out.push_back(static_cast<Char>(c));
      out.push_back(static_cast<Char>(at(i + unit)));
      i += unit;
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      out.push_back(u'\uFFFD');
    } else if (c > 0xFFFF) {
      out.push_back(static_cast<Char>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<Char>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<Char>(c));
    }
  }
  if (n < bytes.size()) out.push_back(u'\uFFFD');
  return out;
}

// --- scanning -----------------------------------------------------------------

// The element path ("rss/channel/item/") and whether it holds the names
// that make a channel or an item path. The path only grows at its end and
// shrinks back to a prefix, so each pattern's first occurrence is kept by its
// end: found again only across the joint of an append, dropped by a cut
// before that end. Nothing is searched twice, whatever the depth.
class TElementPath {
 public:
  // Channel path: "/channel/"; item path: "/channel/item/" or "rdf:RDF/item/".
  bool InChannel() const { return FFirstEnd[0] != npos; }
  bool InItem() const { return FFirstEnd[1] != npos || FFirstEnd[2] != npos; }
  // Inside the channel's logo or search box, whose title, link and
  // description are theirs, not the channel's.
  bool InChannelPart() const { return FFirstEnd[3] != npos || FFirstEnd[4] != npos || FFirstEnd[5] != npos; }

  void Push(View Name) {
    const std::size_t old = FPath.size();
    FPath.append(Name);
    FPath.push_back(u'/');
    for (std::size_t k = 0; k < kPatterns.size(); ++k) {
      if (FFirstEnd[k] != npos) continue;
      const std::size_t m = kPatterns[k].size();
      const std::size_t pos = View(FPath).find(kPatterns[k], old >= m - 1 ? old - (m - 1) : 0);
      if (pos != npos) FFirstEnd[k] = pos + m;
    }
  }

  // Removes the last element, whatever its name: the path goes back to the
  // "/" before its final one, or becomes "/" when there is none; a path of
  // one or two characters stays.
  void Pop() {
    const std::size_t n = FPath.size();
    if (n <= 2) return;
    const std::size_t slash = View(FPath).rfind(u'/', n - 2);
    if (slash != npos) {
      FPath.resize(slash + 1);
      for (std::size_t& end : FFirstEnd)
        if (end != npos && end > FPath.size()) end = npos;
    } else {
      FPath.assign(u"/");
      FFirstEnd.fill(npos);
    }
  }

 private:
  static constexpr std::array<View, 6> kPatterns = {u"/channel/",       u"/channel/item/",      u"rdf:RDF/item/",
                                                    u"/channel/image/", u"/channel/textinput/", u"/channel/textInput/"};
  std::u16string FPath;
  std::array<std::size_t, 6> FFirstEnd = {npos, npos, npos, npos, npos, npos};
};

struct TFieldName {
  View Name;
  std::uint8_t Field;
};

constexpr TFieldName kChannelFields[] = {
    {u"title", rcTitle},
    {u"link", rcLink},
    {u"description", rcDescription},
    {u"language", rcLanguage},
    {u"copyright", rcCopyright},
    {u"managingEditor", rcManagingEditor},
    {u"webMaster", rcWebMaster},
    {u"rating", rcRating},
    {u"pubDate", rcPubDate},
    {u"lastBuildDate", rcLastBuildDate},
    {u"category", rcCategory},
    {u"generator", rcGenerator},
    {u"docs", rcDocs},
    {u"ttl", rcTtl},
};

constexpr TFieldName kItemFields[] = {
    {u"title", riTitle},        {u"link", riLink},    {u"description", riDescription},
    {u"dc:creator", riCreator}, {u"dc:date", riDate},
};

template <std::size_t N>
bool FindField(const TFieldName (&table)[N], View name, std::uint8_t& field) {
  for (const TFieldName& f : table)
    if (f.Name == name) {
      field = f.Field;
      return true;
    }
  return false;
}

class TScanner {
 public:
  explicit TScanner(TRssScanHandler& Handler) : FHandler(Handler) {}

  void Tag(View g) {
    g = TrimView(g);
    std::size_t b = 0;
    while (b < g.size() && (g[b] == u'\t' || g[b] == u' ' || g[b] == u'<')) ++b;
    std::size_t e = b;
    while (e < g.size() && g[e] != 0 && g[e] != u'\n' && g[e] != u'\r' && g[e] != u' ' && g[e] != u'>') ++e;
    const View name = g.substr(b, e - b);
    // Declarations, comments written "<!-- ... -->" and CDATA sections leave
    // no trace.
    if (name == u"?xml" || name == u"!--" || name.find(u"![CDATA[") != npos) return;
    FLastTag.assign(name);
    FBeforeInChannel = FPath.InChannel() && !FPath.InChannelPart();
    FBeforeInItem = FPath.InItem();
    if (g.find(u"</") == npos && g.find(u"/>") == npos)
      FPath.Push(name);
    else if (g.find(u"/>") == npos)
      FPath.Pop();  // an end tag, whatever its name
    // A channel or an item begins at its tag, whether text follows it or
    // another tag at once (a feed without line breaks).
    if (name == u"channel") {
      FHandler.NewChannel();
      FHaveChannel = true;
      FHaveItem = false;
    } else if (name == u"item" && FHaveChannel) {
      FHandler.NewItem();
      FHaveItem = true;
    }
  }

  // Only the first text after a tag counts; it is trimmed.
  void Text(View text) {
    if (FHaveChannel) {
      std::uint8_t field = 0;
      if (FBeforeInChannel && !FBeforeInItem) {
        if (FindField(kChannelFields, FLastTag, field))
          FHandler.ChannelField(static_cast<TRssChannelField>(field), String(TrimView(text)));
      } else if (FBeforeInItem && FHaveItem) {
        if (FindField(kItemFields, FLastTag, field))
          FHandler.ItemField(static_cast<TRssItemField>(field), String(TrimView(text)));
      }
    }
    FLastTag.clear();
    FBeforeInChannel = false;
    FBeforeInItem = false;
  }

 private:
  TRssScanHandler& FHandler;
  TElementPath FPath;
  String FLastTag;
  bool FBeforeInChannel = false;  // the path before the last tag
  bool FBeforeInItem = false;
  bool FHaveChannel = false;
  bool FHaveItem = false;  // the last channel has an item
};

}  // namespace

String DecodeRssText(std::string_view Bytes) {
  String out;
  if (StartsWith(Bytes, "\xEF\xBB\xBF")) return Utf8ToString(Bytes.substr(3));
  // UTF-32 first: its little-endian mark starts with that of UTF-16.
  if (StartsWith(Bytes, std::string_view("\xFF\xFE\0\0", 4))) return DecodeWide(Bytes.substr(4), 4, false);
  if (StartsWith(Bytes, std::string_view("\0\0\xFE\xFF", 4))) return DecodeWide(Bytes.substr(4), 4, true);
  if (StartsWith(Bytes, "\xFF\xFE")) return DecodeWide(Bytes.substr(2), 2, false);
  if (StartsWith(Bytes, "\xFE\xFF")) return DecodeWide(Bytes.substr(2), 2, true);
  const std::string declared = LowerAscii(DeclaredEncoding(Bytes));
  if (declared == "iso-8859-1" || declared == "iso8859-1" || declared == "iso_8859-1" || declared == "latin1" ||
      declared == "l1")
    return BytesToString(Bytes);
  // A declaration that could be read byte by byte is in no wide encoding,
  // whatever it says.
  const bool wide = StartsWith(declared, "utf-16") || StartsWith(declared, "utf-32") || StartsWith(declared, "ucs-2") ||
                    StartsWith(declared, "ucs-4") || StartsWith(declared, "utf16") || StartsWith(declared, "utf32");
  if (!declared.empty() && declared != "utf-8" && declared != "utf8" && !wide && DecodeCharset(declared, Bytes, out))
    return out;
  return Utf8ToString(Bytes);
}

void ScanRss(std::u16string_view Text, TRssScanHandler& Handler) {
  TScanner scanner(Handler);
  const std::size_t n = Text.size();
  std::size_t i = 0;
  // A zero counts as "<" when looking for a tag and as ">" when looking for
  // its end; a quote inside a tag hides ">" up to the same quote again.
  while (i < n) {
    std::size_t lt = i;
    while (lt < n && Text[lt] != u'<' && Text[lt] != 0) ++lt;
    if (lt == n) return;
    if (lt > i) scanner.Text(Text.substr(i, lt - i));
    std::size_t gt = lt + 1;
    while (gt < n && Text[gt] != u'>' && Text[gt] != 0) {
      const Char c = Text[gt];
      if (c == u'"' || c == u'\'') {
        const std::size_t close = Text.find(c, gt + 1);
        if (close == npos) return;
        gt = close;
      }
      ++gt;
    }
    if (gt >= n) return;
    scanner.Tag(Text.substr(lt, gt - lt + 1));
    i = gt + 1;
  }
}

}  // namespace kwinet
