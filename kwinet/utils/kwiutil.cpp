#include "kwinet/utils/kwiutil.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "kwinet/core/Exceptions.h"

namespace kwinet {

// --- UTF-8 ----------------------------------------------------------------------

String Utf8Decode(const UTF8String& S) {
  String out;
  out.reserve(S.size());
  const std::size_t n = S.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned lead = S[i];
    if ((lead & 0x80) == 0) {
      out.push_back(static_cast<Char>(lead));
      ++i;
      continue;
    }
    if (i + 1 >= n) return String();
    unsigned value;
    if (lead & 0x20) {
      // Three-byte lead (0xA0-0xBF and 0xE0-0xFF alike).
      const unsigned mid = S[i + 1];
      if ((mid & 0xC0) != 0x80 || i + 2 >= n) return String();
      const unsigned last = S[i + 2];
      if ((last & 0xC0) != 0x80) return String();
      value = (((lead & 0x3F) << 12) | ((mid & 0x3F) << 6) | (last & 0x3F)) & 0xFFFF;
      i += 3;
    } else {
      const unsigned last = S[i + 1];
      if ((last & 0xC0) != 0x80) return String();
      value = ((lead & 0x3F) << 6) | (last & 0x3F);
      i += 2;
    }
    out.push_back(static_cast<Char>(value));
  }
  return out;
}

// --- Base64 ---------------------------------------------------------------------

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit value: one table look-up serves
// half of a three-byte group.
struct PairTable {
  std::array<char, 4096 * 2> pairs{};
  constexpr PairTable() {
    for (int v = 0; v < 4096; ++v) {
      pairs[2 * v] = kAlphabet[v >> 6];
      pairs[2 * v + 1] = kAlphabet[v & 63];
    }
  }
};
constexpr PairTable kPairs;

}  // namespace

std::size_t Base64Length(std::size_t size) { return (size + 2) / 3 * 4; }

void Encode64Bytes(const unsigned char* in, std::size_t size, char* out) {
  const char* pairs = kPairs.pairs.data();
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const unsigned group = (unsigned(in[i]) << 16) | (unsigned(in[i + 1]) << 8) | in[i + 2];
    std::memcpy(out, pairs + 2 * (group >> 12), 2);
    std::memcpy(out + 2, pairs + 2 * (group & 0xFFF), 2);
    out += 4;
  }
  const std::size_t rest = size - i;
  if (rest == 1) {
    const unsigned b1 = in[i];
    out[0] = kAlphabet[b1 >> 2];
    out[1] = kAlphabet[(b1 & 3) << 4];
    out[2] = '=';
    out[3] = '=';
  } else if (rest == 2) {
    const unsigned b1 = in[i], b2 = in[i + 1];
    out[0] = kAlphabet[b1 >> 2];
    out[1] = kAlphabet[((b1 & 3) << 4) | (b2 >> 4)];
    out[2] = kAlphabet[(b2 & 15) << 2];
    out[3] = '=';
  }
}

String Encode64(const String& S) {
  // Bytes are taken through a small buffer so that a long input needs no
  // second full copy.
  String out(Base64Length(S.size()), u'\0');
  unsigned char bytes[3 * 1024];
  char chars[4 * 1024];
  std::size_t done = 0, o = 0;
  while (done < S.size()) {
    const std::size_t n = std::min(S.size() - done, sizeof bytes);
    for (std::size_t k = 0; k < n; ++k) {
      const Char c = S[done + k];
      if (c > 255) throw ERangeError(u"Range check error");
      bytes[k] = static_cast<unsigned char>(c);
    }
    Encode64Bytes(bytes, n, chars);
    const std::size_t m = Base64Length(n);
    for (std::size_t k = 0; k < m; ++k) out[o + k] = static_cast<unsigned char>(chars[k]);
    o += m;
    done += n;
  }
  return out;
}

// --- URL encoding -----------------------------------------------------------------

namespace {

bool Unreserved(Char c) {
  if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) return true;
  switch (c) {
    case u'!': case u'$': case u'\'': case u'(': case u')':
    case u'*': case u'-': case u'.': case u'@': case u'_':
      return true;
    default:
      return false;
  }
}

int HexValue(Char c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The input up to its end or its first character with code 0.
std::size_t EffectiveLength(const String& S) {
  auto p = S.find(u'\0');
  return p == String::npos ? S.size() : p;
}

}  // namespace

String KwInetHTTPEncode(const String& S) {
  const std::size_t n = EffectiveLength(S);
  String out;
  out.reserve(n * 3);
  for (std::size_t i = 0; i < n; ++i) {
    const Char c = S[i];
    if (Unreserved(c)) out.push_back(c);
    else if (c == u' ') out.push_back(u'+');
    else out += (u"%" + IntToHex(c, 2)).substr(0, 3);
  }
  return out;
}

String KwInetHTTPDecode(const String& S) {
  const std::size_t n = EffectiveLength(S);
  String out;
  out.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const Char c = S[i];
    if (c == u'+') {
      out.push_back(u' ');
      ++i;
    } else if (c != u'%') {
      out.push_back(c);
      ++i;
    } else if (i + 1 < n && S[i + 1] == u'%') {
      out.push_back(u'%');
      i += 2;
    } else if (i + 1 < n && (S[i + 1] == u'd' || S[i + 1] == u's')) {
      out.push_back(u'%');
      ++i;
    } else if (i + 2 < n) {
      const int hi = HexValue(S[i + 1]), lo = HexValue(S[i + 2]);
      if (hi < 0 || lo < 0)
        throw Exception(u"Invalid URL encoded character (%s) at position %d", {S.substr(i, 3), i + 1});
      out.push_back(static_cast<Char>(hi * 16 + lo));
      i += 3;
    } else {
      throw Exception(u"Error decoding URL style (%%XX) encoded string at position %d", {i + 1});
    }
  }
  return out;
}

// --- HTML entities -----------------------------------------------------------------

namespace {

struct Entity {
  const char16_t* name;  // without the closing semicolon
  const char16_t* replacement;
};

constexpr Entity kEntities[] = {
    {u"&brvbar", u"|"}, {u"&deg", u"\u00B0"}, {u"&plusmn", u"+"}, {u"&para", u"\u00A6"},
    {u"&amp", u"&"},    {u"&lt", u"<"},       {u"&gt", u">"},     {u"&copy", u"c"},
    {u"&quot", u"\""},  {u"&apos", u"'"},     {u"&trade", u"T"},  {u"&nbsp", u""},
};
constexpr std::size_t kLongestEntity = 7;  // "&brvbar", "&plusmn"

const char16_t* LookUpEntity(const Char* text, std::size_t len) {
  if (len > kLongestEntity) return nullptr;
  const std::u16string_view e(text, len);
  for (const Entity& entity : kEntities)
    if (e == entity.name) return entity.replacement;
  return nullptr;
}

}  // namespace

void ReplaceHTMLChars(String& S) {
  // Each pass of the replacement works on the first "&" of the text, so the
  // text before it is final. One walk from left to right gives the same
  // result in linear time; a replacement that is itself "&" stays pending in
  // front of the rest, as it would be examined again.
  String out;
  out.reserve(S.size());
  const std::size_t n = S.size();
  std::size_t i = 0;
  bool ampPending = false;  // an "&" from a replacement stands before S[i]
  for (;;) {
    if (!ampPending) {
      const std::size_t amp = S.find(u'&', i);
      if (amp == String::npos) {
        out.append(S, i, String::npos);
        break;
      }
      out.append(S, i, amp - i);
      i = amp + 1;
    }
    // The entity runs from the "&" up to the next ";" or the end.
    const std::size_t semi = S.find(u';', i);
    const std::size_t end = semi == String::npos ? n : semi;
    String name = u"&" + S.substr(i, std::min(end - i, kLongestEntity));
    const char16_t* replacement = end - i < kLongestEntity ? LookUpEntity(name.data(), name.size()) : nullptr;
    if (!replacement) {
      out.push_back(u'&');
      out.append(S, i, String::npos);
      break;
    }
    i = semi == String::npos ? n : semi + 1;
    ampPending = replacement[0] == u'&';
    if (!ampPending) out += replacement;
  }
  S = std::move(out);
}

// --- columns and reversal ---------------------------------------------------------

String GetColumn(const String& S, int Index, Char Delimiter) {
  if (S == u"\t") return String();
  String out;
  int column = 0;
  for (Char c : S) {
    if (c == Delimiter) {
      if (++column > Index) break;
    } else if (column == Index) {
      out.push_back(c);
    }
  }
  return out;
}

String Reverse(const String& S) { return String(S.rbegin(), S.rend()); }

}  // namespace kwinet
