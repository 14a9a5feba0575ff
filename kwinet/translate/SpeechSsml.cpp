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

// S escaped for element content or for an attribute value in quotes, as
// UTF-8.
void AppendEscaped(std::string& out, const String& S, bool Attribute) {
  String escaped;
  escaped.reserve(S.size());
  for (std::size_t i = 0; i < S.size(); ++i) {
    const Char c = S[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < S.size() && S[i + 1] >= 0xDC00 && S[i + 1] <= 0xDFFF) {
      escaped += c;  // a pair is a character beyond U+FFFF, which XML allows
      escaped += S[++i];
      continue;
    }
    switch (c) {
      case u'&':
        escaped += u"&amp;";
        break;
      case u'<':
        escaped += u"&lt;";
        break;
      case u'>':
        escaped += u"&gt;";
        break;
      case u'"':
        escaped += u"&quot;";
        break;
      case u'\'':
        escaped += u"&apos;";
        break;
      case u'\r':
        escaped += u"&#13;";
        break;
      case u'\t':
        escaped += Attribute ? u"&#9;" : u"\t";
        break;
      case u'\n':
        escaped += Attribute ? u"&#10;" : u"\n";
        break;
      default:
        escaped += XmlCharacter(c) ? c : Char(u' ');  // a lone surrogate falls here too
    }
  }
  out += StringToUtf8(escaped);
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
