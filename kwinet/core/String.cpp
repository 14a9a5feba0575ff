#include "kwinet/core/String.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "kwinet/core/Exceptions.h"

namespace kwinet {

// --- UTF-8 and bytes -------------------------------------------------------

String Utf8ToString(std::string_view in) {
  String out;
  out.reserve(in.size());
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const std::size_t n = in.size();
  std::size_t i = 0;
  while (i < n) {
    unsigned c = p[i];
    if (c < 0x80) {
      out.push_back(static_cast<Char>(c));
      ++i;
      continue;
    }
    int len = 0;
    std::uint32_t cp = 0;
    std::uint32_t min = 0;
    if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, min = 0x10000;
    }
    bool ok = len > 0 && i + len <= n;
    for (int k = 1; ok && k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<Char>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<Char>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<Char>(cp));
    }
    i += len;
  }
  return out;
}

std::string StringToUtf8(const String& s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

String BytesToString(const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  return String(p, p + size);
}

String BytesToString(std::string_view bytes) { return BytesToString(bytes.data(), bytes.size()); }

std::string StringToBytes(const String& s) {
  std::string out(s.size(), '\0');
  for (std::size_t i = 0; i < s.size(); ++i) out[i] = static_cast<char>(s[i] & 0xFF);
  return out;
}

String Str(std::string_view ascii) { return String(ascii.begin(), ascii.end()); }

// --- numbers ---------------------------------------------------------------

namespace {

// Parses the framework's integer text into a magnitude and sign.
bool ParseInteger(const String& s, bool& negative, std::uint64_t& magnitude) {
  std::size_t i = 0;
  negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  bool hex = false;
  if (i < s.size() && s[i] == u'$') hex = true, ++i;
  if (i >= s.size()) return false;
  const std::uint64_t base = hex ? 16 : 10;
  std::uint64_t v = 0;
  for (; i < s.size(); ++i) {
    Char c = s[i];
    unsigned d;
    if (c >= u'0' && c <= u'9') d = c - u'0';
    else if (hex && c >= u'a' && c <= u'f') d = c - u'a' + 10;
    else if (hex && c >= u'A' && c <= u'F') d = c - u'A' + 10;
    else return false;
    if (v > (std::numeric_limits<std::uint64_t>::max() - d) / base) return false;
    v = v * base + d;
  }
  magnitude = v;
  return true;
}

}  // namespace

bool TryStrToInt64(const String& s, std::int64_t& value) {
  bool neg;
  std::uint64_t mag;
  if (!ParseInteger(s, neg, mag)) return false;
  const std::uint64_t limit = neg ? std::uint64_t(1) << 63 : (std::uint64_t(1) << 63) - 1;
  if (mag > limit) return false;
  value = neg ? static_cast<std::int64_t>(0 - mag) : static_cast<std::int64_t>(mag);
  return true;
}

bool TryStrToInt(const String& s, int& value) {
  std::int64_t v;
  if (!TryStrToInt64(s, v) || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
    return false;
  value = static_cast<int>(v);
  return true;
}

int StrToInt(const String& s) {
  int v;
  if (!TryStrToInt(s, v)) throw EConvertError(u"'%s' is not a valid integer value", {s});
  return v;
}

std::int64_t StrToInt64(const String& s) {
  std::int64_t v;
  if (!TryStrToInt64(s, v)) throw EConvertError(u"'%s' is not a valid integer value", {s});
  return v;
}

int StrToIntDef(const String& s, int def) {
  int v;
  return TryStrToInt(s, v) ? v : def;
}

String IntToStr(std::int64_t value) { return Str(std::to_string(value)); }

String IntToHex(std::uint64_t value, int digits) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), hex[value & 15]);
    value >>= 4;
  } while (value != 0);
  while (static_cast<int>(out.size()) < digits) out.insert(out.begin(), '0');
  return Str(out);
}

bool TryStrToFloat(const String& s, double& value) {
  std::string a;
  a.reserve(s.size());
  for (Char c : s) {
    if (c > 127) return false;
    a.push_back(static_cast<char>(c));
  }
  std::size_t i = 0;
  bool neg = false;
  if (i < a.size() && (a[i] == '+' || a[i] == '-')) neg = a[i++] == '-';
  // Validate the shape first: digits, an optional fraction, an optional exponent.
  std::size_t j = i, digits = 0;
  while (j < a.size() && a[j] >= '0' && a[j] <= '9') ++j, ++digits;
  if (j < a.size() && a[j] == '.') {
    ++j;
    while (j < a.size() && a[j] >= '0' && a[j] <= '9') ++j, ++digits;
  }
  if (digits == 0) return false;
  if (j < a.size() && (a[j] == 'e' || a[j] == 'E')) {
    ++j;
    if (j < a.size() && (a[j] == '+' || a[j] == '-')) ++j;
    std::size_t e = j;
    while (j < a.size() && a[j] >= '0' && a[j] <= '9') ++j;
    if (j == e) return false;
  }
  if (j != a.size()) return false;
  std::string body = a.substr(i);
  if (!body.empty() && body[0] == '.') body.insert(body.begin(), '0');
  double v = 0;
  auto r = std::from_chars(body.data(), body.data() + body.size(), v);
  if (r.ec == std::errc::result_out_of_range) return false;
  if (r.ec != std::errc() || r.ptr != body.data() + body.size()) return false;
  value = neg ? -v : v;
  return true;
}

double StrToFloat(const String& s) {
  double v;
  if (!TryStrToFloat(s, v)) throw EConvertError(u"'%s' is not a valid floating point value", {s});
  return v;
}

String FloatToStr(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  return Str(buf);
}

// --- case, comparison, trimming ---------------------------------------------

namespace {
inline Char UpChar(Char c) { return (c >= u'a' && c <= u'z') ? Char(c - 32) : c; }
inline Char LowChar(Char c) { return (c >= u'A' && c <= u'Z') ? Char(c + 32) : c; }
}  // namespace

String UpperCase(const String& s) {
  String r(s);
  for (auto& c : r) c = UpChar(c);
  return r;
}

String LowerCase(const String& s) {
  String r(s);
  for (auto& c : r) c = LowChar(c);
  return r;
}

int CompareText(const String& a, const String& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    int d = int(UpChar(a[i])) - int(UpChar(b[i]));
    if (d != 0) return d;
  }
  return int(a.size()) - int(b.size());
}

bool SameText(const String& a, const String& b) { return a.size() == b.size() && CompareText(a, b) == 0; }

bool StartsText(const String& prefix, const String& s) {
  return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

bool EndsText(const String& suffix, const String& s) {
  return s.size() >= suffix.size() && SameText(s.substr(s.size() - suffix.size()), suffix);
}

String TrimLeft(const String& s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] <= u' ') ++i;
  return s.substr(i);
}

String TrimRight(const String& s) {
  std::size_t n = s.size();
  while (n > 0 && s[n - 1] <= u' ') --n;
  return s.substr(0, n);
}

String Trim(const String& s) { return TrimLeft(TrimRight(s)); }

std::size_t Pos(const String& sub, const String& s, std::size_t offset) {
  if (offset == 0 || sub.empty()) return 0;
  auto p = s.find(sub, offset - 1);
  return p == String::npos ? 0 : p + 1;
}

String StringReplaceAll(const String& s, const String& from, const String& to) {
  if (from.empty()) return s;
  String out;
  out.reserve(s.size());
  std::size_t i = 0;
  for (;;) {
    auto p = s.find(from, i);
    if (p == String::npos) break;
    out.append(s, i, p - i);
    out += to;
    i = p + from.size();
  }
  out.append(s, i, String::npos);
  return out;
}

// --- formatting ---------------------------------------------------------------

namespace {

[[noreturn]] void FormatError(const String& fmt) {
  throw EConvertError(u"Format '" + fmt + u"' invalid or incompatible with argument");
}

String Pad(String body, int width, bool left) {
  if (width > 0 && static_cast<int>(body.size()) < width) {
    String fill(width - body.size(), u' ');
    body = left ? body + fill : fill + body;
  }
  return body;
}

String GroupThousands(const std::string& num) {
  // num: optional '-', digits, optional '.' and fraction.
  std::size_t start = num[0] == '-' ? 1 : 0;
  std::size_t dot = num.find('.');
  std::size_t intEnd = dot == std::string::npos ? num.size() : dot;
  std::string out = num.substr(0, start);
  for (std::size_t i = start; i < intEnd; ++i) {
    out.push_back(num[i]);
    std::size_t left = intEnd - i - 1;
    if (left > 0 && left % 3 == 0) out.push_back(',');
  }
  out += num.substr(intEnd);
  return Str(out);
}

}  // namespace

String Format(const String& fmt, std::initializer_list<FormatArg> argList) {
  const FormatArg* args = argList.begin();
  const std::size_t count = argList.size();
  std::size_t next = 0;
  String out;
  out.reserve(fmt.size() + 16);
  std::size_t i = 0;
  auto readNumber = [&](int& v) -> bool {
    if (i < fmt.size() && fmt[i] == u'*') {
      ++i;
      if (next >= count || !std::holds_alternative<std::int64_t>(args[next].value)) FormatError(fmt);
      v = static_cast<int>(std::get<std::int64_t>(args[next++].value));
      return true;
    }
    bool any = false;
    v = 0;
    while (i < fmt.size() && fmt[i] >= u'0' && fmt[i] <= u'9') {
      v = v * 10 + (fmt[i++] - u'0');
      if (v > 100000) FormatError(fmt);
      any = true;
    }
    return any;
  };
  while (i < fmt.size()) {
    Char c = fmt[i++];
    if (c != u'%') {
      out.push_back(c);
      continue;
    }
    if (i >= fmt.size()) FormatError(fmt);
    if (fmt[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    // [index:][-][width][.prec]type
    int num = 0;
    std::size_t save = i;
    if (readNumber(num) && i < fmt.size() && fmt[i] == u':') {
      next = static_cast<std::size_t>(num);
      ++i;
    } else {
      i = save;
    }
    bool left = false;
    if (i < fmt.size() && fmt[i] == u'-') left = true, ++i;
    int width = 0, prec = -1;
    readNumber(width);
    if (i < fmt.size() && fmt[i] == u'.') {
      ++i;
      if (!readNumber(prec)) prec = 0;
    }
    if (i >= fmt.size() || next >= count) FormatError(fmt);
    Char type = UpChar(fmt[i]);
    Char rawType = fmt[i++];
    const auto& arg = args[next++].value;
    String body;
    char buf[512];
    switch (type) {
      case u'D':
      case u'U': {
        if (!std::holds_alternative<std::int64_t>(arg)) FormatError(fmt);
        std::int64_t v = std::get<std::int64_t>(arg);
        std::string digits;
        bool neg = false;
        if (type == u'U') digits = std::to_string(static_cast<std::uint32_t>(v));
        else {
          neg = v < 0;
          digits = std::to_string(v);
          if (neg) digits.erase(0, 1);
        }
        if (prec > 0 && static_cast<int>(digits.size()) < prec) digits.insert(0, prec - digits.size(), '0');
        body = Str((neg ? "-" : "") + digits);
        break;
      }
      case u'X': {
        if (!std::holds_alternative<std::int64_t>(arg)) FormatError(fmt);
        body = IntToHex(static_cast<std::uint64_t>(std::get<std::int64_t>(arg)), prec > 0 ? prec : 0);
        (void)rawType;
        break;
      }
      case u'S': {
        if (!std::holds_alternative<String>(arg)) FormatError(fmt);
        body = std::get<String>(arg);
        if (prec >= 0 && static_cast<std::size_t>(prec) < body.size()) body.resize(prec);
        break;
      }
      case u'F':
      case u'E':
      case u'G':
      case u'N':
      case u'M': {
        double v;
        if (std::holds_alternative<double>(arg)) v = std::get<double>(arg);
        else if (std::holds_alternative<std::int64_t>(arg)) v = static_cast<double>(std::get<std::int64_t>(arg));
        else FormatError(fmt);
        if (prec > 60) prec = 60;
        if (type == u'E') std::snprintf(buf, sizeof buf, "%.*E", prec < 0 ? 15 : prec, v);
        else if (type == u'G') std::snprintf(buf, sizeof buf, "%.*G", prec < 0 ? 15 : prec, v);
        else std::snprintf(buf, sizeof buf, "%.*f", prec < 0 ? 2 : prec, v);
        body = type == u'N' ? GroupThousands(buf) : Str(buf);
        break;
      }
      case u'P': {
        if (!std::holds_alternative<std::int64_t>(arg)) FormatError(fmt);
        body = IntToHex(static_cast<std::uint64_t>(std::get<std::int64_t>(arg)), 16);
        break;
      }
      default:
        FormatError(fmt);
    }
    out += Pad(std::move(body), width, left);
  }
  return out;
}

}  // namespace kwinet
