/// @file
/// TKwIGoogleTranslator: translates text through Google Translate's
/// single-translation endpoint, which answers with nested JSON arrays, and
/// carries a table of the service's language codes with their English names.
/// The application calls TranslateText or TranslateTextExt; Execute does
/// nothing.
///
/// A call that fails (no answer within Timeout, an answer over
/// MaxResponseSize, an error status, an answer without a translation) ends
/// with Status isFailed and ErrorText saying why; one that succeeds with
/// isFinished.
///
/// With ApiKind akRest the component speaks the keyed Cloud Translation v2
/// interface instead: POST /language/translate/v2 with a JSON body (format
/// "text", so the text comes back as it went), and DetectLanguage and
/// GetLanguages beside it, ApiKey in the X-goog-api-key header (never in the
/// URL). A Host that is empty or still DefaultHost means the production
/// host; any other Host (scheme://host[:port]) replaces it. A failure carries
/// the service's own message in ErrorText, never the key.
#pragma once

#include "kwinet/core/StringList.h"
#include "kwinet/translate/KwICustomTranslator.h"

namespace kwinet {

/// A language of the service: its code and English name.
struct TGoogleLanguage {
  /// The code ("af").
  String Code;
  /// The English name ("Afrikaans").
  String Name;
};

/// The languages, in the table's order ("af" Afrikaans first, "yi" Yiddish
/// last).
inline constexpr int GoogleLanguageCount = 64;
/// The table of languages.
extern const TGoogleLanguage GoogleLanguages[GoogleLanguageCount];

/// The Google Translate client.
class TKwIGoogleTranslator : public TKwCustomTranslator {
 public:
  /// Creates the client for DefaultHost over HTTPS.
  explicit TKwIGoogleTranslator(TComponent* AOwner);
  /// Ends a running job first (EndJob): the job may call this client.
  ~TKwIGoogleTranslator() override { EndJob(); }

  /// TranslateTextExt(AText, SourceLanguage, DestinationLanguage).
  String TranslateText(const String& AText);
  /// The translation of the whole of AText (the service answers one segment
  /// a sentence; all of them are joined); the empty string when the call
  /// failed. The text and the codes travel URL-encoded as UTF-8.
  String TranslateTextExt(const String& AText, const String& SourceLng, const String& DestLng);
  /// akRest only: the language code of AText; the empty string when the
  /// call failed (under akClassic it fails at once: that endpoint detects
  /// nothing on its own).
  String DetectLanguage(const String& AText);
  /// Clears each list given and fills it with the service's language codes
  /// and their English names (akRest: asked of the service; akClassic: the
  /// table below, no request).
  void GetLanguages(TStrings* lstCodes, TStrings* lstNames);
  /// The translation that an answer holds (see ReadGoogleAnswer); the empty
  /// string for an answer that is not JSON. A holds the answer's bytes, one
  /// a character; text with characters above 255 is taken as it stands.
  static String ParseJSONValue(const String& A);

  ///@{
  /// Look-ups in the table, ignoring the case of ASCII letters; the empty
  /// string when there is no such entry.
  static String GetLanguageCode(const String& AName);
  static String GetLanguageName(const String& ACode);
  ///@}
  /// Clears each list given and adds the codes and names in the table's
  /// order, so that equal indexes belong together.
  static void FillLanguageCodes(TStrings* lstCodes, TStrings* lstNames);

  ///@{
  /// The language code TranslateText translates from.
  const String& SourceLanguage() const { return FSourceLanguage; }
  void SetSourceLanguage(const String& value) { FSourceLanguage = value; }
  ///@}
  ///@{
  /// The language code TranslateText translates into.
  const String& DestinationLanguage() const { return FDestinationLanguage; }
  void SetDestinationLanguage(const String& value) { FDestinationLanguage = value; }
  ///@}

  ///@{
  /// Which interface the component speaks (akClassic: the one above).
  TKwApiKind ApiKind() const { return FApiKind; }
  void SetApiKind(TKwApiKind value) { FApiKind = value; }
  ///@}
  ///@{
  /// The key of the v2 interface (akRest); a secret, left out of stored
  /// forms unless the application asks for it.
  const String& ApiKey() const { return FApiKey; }
  void SetApiKey(const String& value) { FApiKey = value; }
  ///@}

  /// Host is the scheme and host of the API, without a path.
  static constexpr const Char* DefaultHost = u"https://translate.googleapis.com";
  /// The production host of the v2 interface.
  static constexpr const Char* RestHost = u"https://translation.googleapis.com";

 private:
  // One v2 request; the answer when its status is 2xx.
  bool Rest(const String& Method, const String& Path, const std::string& Body, TServiceAnswer& Answer);

  String FSourceLanguage;
  String FDestinationLanguage;
  TKwApiKind FApiKind = akClassic;
  String FApiKey;
};

}  // namespace kwinet
