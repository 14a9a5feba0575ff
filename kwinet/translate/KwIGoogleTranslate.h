// TKwIGoogleTranslator: translates text through Google Translate's
// single-translation endpoint, which answers with nested JSON arrays, and
// carries a table of the service's language codes with their English names.
// The application calls TranslateText or TranslateTextExt; Execute does
// nothing.
//
// A call that fails (no answer within Timeout, an answer over
// MaxResponseSize, an error status, an answer without a translation) ends
// with Status isFailed and ErrorText saying why; one that succeeds with
// isFinished.
#pragma once

#include "kwinet/core/StringList.h"
#include "kwinet/translate/KwICustomTranslator.h"

namespace kwinet {

struct TGoogleLanguage {
  String Code;
  String Name;
};

// The languages, in the table's order ("af" Afrikaans first, "yi" Yiddish
// last).
inline constexpr int GoogleLanguageCount = 64;
extern const TGoogleLanguage GoogleLanguages[GoogleLanguageCount];

class TKwIGoogleTranslator : public TKwCustomTranslator {
 public:
  explicit TKwIGoogleTranslator(TComponent* AOwner);

  // TranslateTextExt(AText, SourceLanguage, DestinationLanguage).
  String TranslateText(const String& AText);
  // The translation of the whole of AText (the service answers one segment
  // a sentence; all of them are joined); the empty string when the call
  // failed. The text and the codes travel URL-encoded as UTF-8.
  String TranslateTextExt(const String& AText, const String& SourceLng, const String& DestLng);
  // The translation that an answer holds (see ReadGoogleAnswer); the empty
  // string for an answer that is not JSON. A holds the answer's bytes, one
  // a character; text with characters above 255 is taken as it stands.
  static String ParseJSONValue(const String& A);

  // Look-ups in the table, ignoring the case of ASCII letters; the empty
  // string when there is no such entry.
  static String GetLanguageCode(const String& AName);
  static String GetLanguageName(const String& ACode);
  // Clears each list given and adds the codes and names in the table's
  // order, so that equal indexes belong together.
  static void FillLanguageCodes(TStrings* lstCodes, TStrings* lstNames);

  const String& SourceLanguage() const { return FSourceLanguage; }
  void SetSourceLanguage(const String& value) { FSourceLanguage = value; }
  const String& DestinationLanguage() const { return FDestinationLanguage; }
  void SetDestinationLanguage(const String& value) { FDestinationLanguage = value; }

  // Host is the scheme and host of the API, without a path.
  static constexpr const Char* DefaultHost = u"https://translate.googleapis.com";

 private:
  String FSourceLanguage;
  String FDestinationLanguage;
};

}  // namespace kwinet
