// The JSON of today's translation interfaces, as pure functions over text
// and bytes: the request bodies (made by the JSON library, so that no text
// can end a string or add a member) and readers of the answers and of the
// services' error documents.
//
// Microsoft Translator, version 3:
//   request  [{"Text":"Hello"}]
//   translate [{"detectedLanguage":{"language":"en","score":1.0},"translations":[{"text":"Hallo","to":"de"}]}]
//   detect    [{"language":"fr","score":0.98,"isTranslationSupported":true,...}]
//   languages {"translation":{"de":{"name":"German",...},"zh-Hans":{...}}}
//   error     {"error":{"code":401000,"message":"..."}}
// Google Cloud Translation, v2:
//   request  {"q":["Hello"],"target":"de","source":"en","format":"text"}
//   translate {"data":{"translations":[{"translatedText":"Hallo","detectedSourceLanguage":"en"}]}}
//   languages {"data":{"languages":[{"language":"de","name":"German"},...]}}
//   detect    {"data":{"detections":[[{"language":"en","confidence":1,"isReliable":false}]]}}
//   error     {"error":{"code":400,"message":"...","status":"INVALID_ARGUMENT"}}
//
// A reader gives nullopt for bytes that are not JSON (UTF-8) or not of its
// answer's shape; members it does not know are passed over.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kwinet/core/String.h"

namespace kwinet {

// A service's error document.
struct TTranslatorError {
  // The service's code as it stands in the document (401000, 400): a number
  // or a string, written as text.
  String Code;
  String Message;
};

struct TTranslatorLanguage {
  String Code;
  String Name;  // empty when the answer names none
};

// --- Microsoft Translator, version 3 ---------------------------------------

// [{"Text":Text}] as UTF-8. A lone surrogate becomes U+FFFD.
std::string BuildMSTextBody(const String& Text);

struct TMSTranslation {
  String Text;
  String To;
  // The language the service found, when none was given.
  String DetectedLanguage;
};
// The first translation of the first text.
std::optional<TMSTranslation> ReadMSTranslation(std::string_view Answer);
// The language of the first text (never empty).
std::optional<String> ReadMSDetection(std::string_view Answer);
// The codes of the "translation" scope, in the answer's order.
std::optional<std::vector<TTranslatorLanguage>> ReadMSLanguages(std::string_view Answer);
// {"error":{"code":...,"message":...}}; nullopt without a message.
std::optional<TTranslatorError> ReadMSError(std::string_view Answer);

// --- Google Cloud Translation, v2 --------------------------------------------

// {"q":[Text],"target":Target,"source":Source,"format":"text"} as UTF-8;
// without "source" when Source is empty.
std::string BuildGoogleTranslateBody(const String& Text, const String& Target, const String& Source);
// {"q":[Text]}.
std::string BuildGoogleDetectBody(const String& Text);

struct TGoogleTranslation {
  String Text;
  String DetectedSourceLanguage;
};
// The first translation.
std::optional<TGoogleTranslation> ReadGoogleTranslation(std::string_view Answer);
// The language of the first detection of the first text (never empty).
std::optional<String> ReadGoogleDetection(std::string_view Answer);
// The languages in the answer's order (entries without a code passed over).
std::optional<std::vector<TTranslatorLanguage>> ReadGoogleLanguages(std::string_view Answer);
// {"error":{"code":...,"message":...}}; nullopt without a message.
std::optional<TTranslatorError> ReadGoogleError(std::string_view Answer);

}  // namespace kwinet
