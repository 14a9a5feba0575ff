#include "kwinet/translate/SpeechSsml.h"

#include <nlohmann/json.hpp>
#include <set>

namespace kwinet {

namespace {

// Characters that XML 1.0 allows: #x9 | #xA | #xD | [#x20-#xD7FF] |
// [#xE000-#xFFFD] | [#x10000-#x10FFFF].
bool XmlCharacter(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

void AppendUtf8(std::string& out, char32_t c) {
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

// S escaped for element content or for an attribute value in quotes.
void AppendEscaped(std::string& out, const String& S, bool Attribute) {
  for (std::size_t i = 0; i < S.size(); ++i) {
    char32_t c = S[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < S.size() && S[i + 1] >= 0xDC00 && S[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (S[i + 1] - 0xDC00);
      ++i;
    }
    if (!XmlCharacter(c)) c = u' ';  // a lone surrogate falls here too
    switch (c) {
      case u'&':
        out += "&amp;";
        break;
      case u'<':
        out += "&lt;";
        break;
      case u'>':
        out += "&gt;";
        break;
      case u'"':
        out += "&quot;";
        break;
      case u'\'':
        out += "&apos;";
        break;
      case u'\r':
        out += "&#13;";
        break;
      case u'\t':
        out += Attribute ? "&#9;" : "\t";
        break;
      case u'\n':
        out += Attribute ? "&#10;" : "\n";
        break;
      default:
        AppendUtf8(out, c);
    }
  }
}

}  // namespace

std::string BuildSpeechSsml(const String& Text, const String& Locale, const String& Voice) {
  std::string out = "<speak version='1.0' xml:lang='";
  AppendEscaped(out, Locale, true);
  out += "'><voice name='";
  AppendEscaped(out, Voice, true);
  out += "'>";
  AppendEscaped(out, Text, false);
  out += "</voice></speak>";
  return out;
}

std::optional<std::vector<TSpeechVoice>> ReadSpeechVoices(std::string_view Answer) {
  using Json = nlohmann::json;
  const Json root = Json::parse(Answer.begin(), Answer.end(), nullptr, /*allow_exceptions=*/false);
  if (!root.is_array()) return std::nullopt;
  std::vector<TSpeechVoice> voices;
  for (const Json& v : root) {
    if (!v.is_object()) continue;
    const auto name = v.find("ShortName");
    const auto locale = v.find("Locale");
    if (name == v.end() || locale == v.end() || !name->is_string() || !locale->is_string()) continue;
    TSpeechVoice voice{Utf8ToString(name->get_ref<const std::string&>()),
                       Utf8ToString(locale->get_ref<const std::string&>())};
    if (!voice.ShortName.empty() && !voice.Locale.empty()) voices.push_back(std::move(voice));
  }
  return voices;
}

const TSpeechVoice* PickSpeechVoice(const std::vector<TSpeechVoice>& Voices, const String& Language) {
  if (Language.empty()) return nullptr;
  for (const TSpeechVoice& v : Voices)
    if (SameText(v.Locale, Language)) return &v;
  for (const TSpeechVoice& v : Voices)
    if (v.Locale.size() > Language.size() && v.Locale[Language.size()] == u'-' &&
        SameText(v.Locale.substr(0, Language.size()), Language))
      return &v;
  return nullptr;
}

std::vector<String> SpeechLocales(const std::vector<TSpeechVoice>& Voices) {
  std::vector<String> locales;
  std::set<String> seen;
  for (const TSpeechVoice& v : Voices)
    if (seen.insert(v.Locale).second) locales.push_back(v.Locale);
  return locales;
}

}  // namespace kwinet
