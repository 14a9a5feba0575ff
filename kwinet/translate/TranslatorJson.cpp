#include "kwinet/translate/TranslatorJson.h"

#include <nlohmann/json.hpp>

namespace kwinet {

namespace {

// Members keep the document's order (the language lists are read in it).
using Json = nlohmann::ordered_json;

// Parsing and freeing are iterative in this library: a deeply nested answer
// costs memory in proportion to its size, never stack.
Json Parse(std::string_view Answer) {
  return Json::parse(Answer.begin(), Answer.end(), nullptr, /*allow_exceptions=*/false);
}

std::string Dump(const Json& Value) {
  // The strings come from StringToUtf8 and are valid UTF-8; replace is
  // there so that no input can make dump throw.
  return Value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

const Json* Member(const Json& Object, const char* Name) {
  if (!Object.is_object()) return nullptr;
  const auto it = Object.find(Name);
  return it == Object.end() ? nullptr : &*it;
}

const Json* First(const Json* Array) {
  return Array && Array->is_array() && !Array->empty() ? &(*Array)[0] : nullptr;
}

std::optional<String> Text(const Json* Value) {
  if (!Value || !Value->is_string()) return std::nullopt;
  return Utf8ToString(Value->get_ref<const std::string&>());
}

String TextOr(const Json* Value) {
  return Text(Value).value_or(String());
}

std::optional<String> NonEmpty(std::optional<String> S) {
  if (S && S->empty()) return std::nullopt;
  return S;
}

// {"error":{"code":...,"message":...}}, the shape both services use.
std::optional<TTranslatorError> ReadErrorDocument(std::string_view Answer) {
  const Json root = Parse(Answer);
  const Json* error = Member(root, "error");
  std::optional<String> message = error ? Text(Member(*error, "message")) : std::nullopt;
  if (!message) return std::nullopt;
  TTranslatorError e;
  e.Message = *message;
  if (const Json* code = Member(*error, "code")) {
    if (code->is_string())
      e.Code = Utf8ToString(code->get_ref<const std::string&>());
    else if (code->is_number())
      e.Code = Utf8ToString(Dump(*code));
  }
  return e;
}

}  // namespace

std::string BuildMSTextBody(const String& Text) {
  Json body = Json::array();
  body.push_back(Json::object({{"Text", StringToUtf8(Text)}}));
  return Dump(body);
}

std::optional<TMSTranslation> ReadMSTranslation(std::string_view Answer) {
  const Json root = Parse(Answer);
  const Json* item = First(&root);
  if (!item || !item->is_object()) return std::nullopt;
  const Json* translation = First(Member(*item, "translations"));
  if (!translation) return std::nullopt;
  std::optional<String> text = Text(Member(*translation, "text"));
  if (!text) return std::nullopt;
  TMSTranslation t;
  t.Text = std::move(*text);
  t.To = TextOr(Member(*translation, "to"));
  if (const Json* detected = Member(*item, "detectedLanguage")) t.DetectedLanguage = TextOr(Member(*detected, "language"));
  return t;
}

std::optional<String> ReadMSDetection(std::string_view Answer) {
  const Json root = Parse(Answer);
  const Json* item = First(&root);
  return item ? NonEmpty(Text(Member(*item, "language"))) : std::nullopt;
}

std::optional<std::vector<TTranslatorLanguage>> ReadMSLanguages(std::string_view Answer) {
  const Json root = Parse(Answer);
  const Json* scope = Member(root, "translation");
  if (!scope || !scope->is_object()) return std::nullopt;
  std::vector<TTranslatorLanguage> list;
  for (const auto& [code, about] : scope->items()) {
    if (code.empty()) continue;
    list.push_back({Utf8ToString(code), TextOr(Member(about, "name"))});
  }
  return list;
}

std::optional<TTranslatorError> ReadMSError(std::string_view Answer) {
  return ReadErrorDocument(Answer);
}

std::string BuildGoogleTranslateBody(const String& Text, const String& Target, const String& Source) {
  Json body = Json::object();
  body["q"] = Json::array({StringToUtf8(Text)});
  body["target"] = StringToUtf8(Target);
  if (!Source.empty()) body["source"] = StringToUtf8(Source);
  body["format"] = "text";
  return Dump(body);
}

std::string BuildGoogleDetectBody(const String& Text) {
  Json body = Json::object();
  body["q"] = Json::array({StringToUtf8(Text)});
  return Dump(body);
}

std::optional<TGoogleTranslation> ReadGoogleTranslation(std::string_view Answer) {
  const Json root = Parse(Answer);
  const Json* data = Member(root, "data");
  const Json* translation = data ? First(Member(*data, "translations")) : nullptr;
  if (!translation) return std::nullopt;
  std::optional<String> text = Text(Member(*translation, "translatedText"));
  if (!text) return std::nullopt;
  return TGoogleTranslation{std::move(*text), TextOr(Member(*translation, "detectedSourceLanguage"))};
}

std::optional<String> ReadGoogleDetection(std::string_view Answer) {
  const Json root = Parse(Answer);
  const Json* data = Member(root, "data");
  const Json* detection = data ? First(First(Member(*data, "detections"))) : nullptr;
  return detection ? NonEmpty(Text(Member(*detection, "language"))) : std::nullopt;
}

std::optional<std::vector<TTranslatorLanguage>> ReadGoogleLanguages(std::string_view Answer) {
  const Json root = Parse(Answer);
  const Json* data = Member(root, "data");
  const Json* languages = data ? Member(*data, "languages") : nullptr;
  if (!languages || !languages->is_array()) return std::nullopt;
  std::vector<TTranslatorLanguage> list;
  for (const Json& l : *languages) {
    std::optional<String> code = NonEmpty(Text(Member(l, "language")));
    if (code) list.push_back({std::move(*code), TextOr(Member(l, "name"))});
  }
  return list;
}

std::optional<TTranslatorError> ReadGoogleError(std::string_view Answer) {
  return ReadErrorDocument(Answer);
}

}  // namespace kwinet
