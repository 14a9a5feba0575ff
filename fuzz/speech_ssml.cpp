// The speech service's side on arbitrary bytes: the voice list reader gives
// voices or nothing, never a crash; the SSML builder, given the bytes as
// text, locale and voice, makes a document of the one fixed shape whose
// three values read back exactly (a character that XML cannot hold read
// back as a blank).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "kwinet/translate/SpeechSsml.h"

namespace {

// What a reader gets for S: the UTF-8 of S with every character that XML
// 1.0 cannot hold as a blank.
std::string Expected(const kwinet::String& S) {
  kwinet::String out;
  for (std::size_t i = 0; i < S.size(); ++i) {
    const char16_t c = S[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < S.size() && S[i + 1] >= 0xDC00 && S[i + 1] <= 0xDFFF) {
      out.push_back(c);
      out.push_back(S[++i]);
    } else if ((c < 0x20 && c != 0x9 && c != 0xA && c != 0xD) || (c >= 0xD800 && c <= 0xDFFF) || c >= 0xFFFE) {
      out.push_back(u' ');
    } else {
      out.push_back(c);
    }
  }
  return kwinet::StringToUtf8(out);
}

// Resolves the references that the builder writes; false for anything a
// reader would not take back as it was: markup, a stray "&", "]]>", a raw
// line end in an attribute.
bool Unescape(std::string_view raw, bool attribute, std::string& out) {
  if (raw.find("]]>") != std::string_view::npos) return false;
  static const std::pair<std::string_view, char> refs[] = {{"&amp;", '&'},  {"&lt;", '<'},   {"&gt;", '>'},
                                                           {"&quot;", '"'}, {"&apos;", '\''}, {"&#9;", '\t'},
                                                           {"&#10;", '\n'}, {"&#13;", '\r'}};
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '<' || c == '\r' || (attribute && (c == '\t' || c == '\n' || c == '\'' || c == '"'))) return false;
    if (c != '&') {
      out.push_back(c);
      continue;
    }
    bool found = false;
    for (const auto& [ref, ch] : refs)
      if (raw.substr(i, ref.size()) == ref) {
        out.push_back(ch);
        i += ref.size() - 1;
        found = true;
        break;
      }
    if (!found) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto voices = kwinet::ReadSpeechVoices(bytes)) {
    for (const auto& v : *voices)
      if (v.ShortName.empty() || v.Locale.empty()) __builtin_trap();
    const auto* picked = kwinet::PickSpeechVoice(*voices, u"en");
    if (picked && (picked->Locale.size() < 2 || (picked->Locale[0] | 0x20) != u'e')) __builtin_trap();
  }

  // Locale, voice and text: the bytes cut at the first two 0x00 bytes.
  const std::size_t a = bytes.find('\0');
  const std::size_t b = a == std::string_view::npos ? a : bytes.find('\0', a + 1);
  const std::string_view locale = bytes.substr(0, a);
  const std::string_view voice = a == std::string_view::npos ? std::string_view() : bytes.substr(a + 1, b - a - 1);
  const std::string_view text = b == std::string_view::npos ? std::string_view() : bytes.substr(b + 1);
  const kwinet::String l = kwinet::Utf8ToString(locale), v = kwinet::Utf8ToString(voice),
                       t = kwinet::Utf8ToString(text);
  const std::string ssml = kwinet::BuildSpeechSsml(t, l, v);

  std::string_view s = ssml;
  const std::string_view head = "<speak version='1.0' xml:lang='", mid = "'><voice name='", open = "'>",
                         tail = "</voice></speak>";
  if (s.substr(0, head.size()) != head) __builtin_trap();
  s.remove_prefix(head.size());
  const std::size_t endLocale = s.find('\'');
  std::string gotLocale, gotVoice, gotText;
  if (endLocale == std::string_view::npos || !Unescape(s.substr(0, endLocale), true, gotLocale)) __builtin_trap();
  s.remove_prefix(endLocale);
  if (s.substr(0, mid.size()) != mid) __builtin_trap();
  s.remove_prefix(mid.size());
  const std::size_t endVoice = s.find('\'');
  if (endVoice == std::string_view::npos || !Unescape(s.substr(0, endVoice), true, gotVoice)) __builtin_trap();
  s.remove_prefix(endVoice);
  if (s.substr(0, open.size()) != open) __builtin_trap();
  s.remove_prefix(open.size());
  if (s.size() < tail.size() || s.substr(s.size() - tail.size()) != tail) __builtin_trap();
  if (!Unescape(s.substr(0, s.size() - tail.size()), false, gotText)) __builtin_trap();
  if (gotLocale != Expected(l) || gotVoice != Expected(v) || gotText != Expected(t)) __builtin_trap();
  return 0;
}
