/// @file
/// TKwMSTranslator: a client of the Microsoft Translator's HTTP interface
/// (the "Http.svc" endpoint of version 2, which answers with small XML
/// documents): translate a text, detect its language, list the languages,
/// and fetch spoken audio into a file. The application calls the methods;
/// Execute does nothing.
///
/// Every call is one GET of Host followed by the method's path and query,
/// with every inserted value URL-encoded (UTF-8). A call that fails (no
/// answer within Timeout, an answer over MaxResponseSize, an error status,
/// an answer that is not the one asked for) ends with Status isFailed and
/// ErrorText saying why; one that succeeds with isFinished.
///
/// With ApiKind akRest the same methods speak version 3 of the service:
/// POST /translate and /detect (a JSON body) and GET /languages, all with
/// api-version=3.0, SubscriptionKey and Region in their headers; SpeakText
/// and GetLanguagesForSpeak go to the speech service of Region
/// (REGION.tts.speech.microsoft.com), whose voice list gives the locales
/// and, unless Voice names one, the first voice of the language asked for.
/// A Host that is empty or still DefaultHost means the production hosts;
/// any other Host (scheme://host[:port]) stands for all of them. A failure
/// carries the service's own message in ErrorText, never the key.
#pragma once

#include <string>
#include <vector>

#include "kwinet/core/StringList.h"
#include "kwinet/translate/KwICustomTranslator.h"

namespace kwinet {

struct TSpeechVoice;

/// The Microsoft Translator client.
class TKwMSTranslator : public TKwCustomTranslator {
 public:
  /// Creates the client for DefaultHost with a built-in application key.
  explicit TKwMSTranslator(TComponent* AOwner);
  /// Ends a running job first (EndJob): the job may call this client.
  ~TKwMSTranslator() override { EndJob(); }

  /// The translation of AText; the empty string when the call failed. An
  /// empty SourceLng lets the service detect the language.
  String TranslateText(const String& AText, const String& SourceLng, const String& DestLng);
  /// The language code of AText; the empty string when the call failed.
  String DetectLanguage(const String& AText);
  ///@{
  /// Clear AList and fill it with the language codes; nothing at all (no
  /// request) without a list.
  void GetLanguagesForTranslate(TStrings* AList);
  void GetLanguagesForSpeak(TStrings* AList);
  ///@}
  /// Writes the spoken audio of AText in Language to DestFileName. The audio
  /// goes to DestFileName + ".part" first and takes DestFileName's place
  /// only when the whole answer has come, so a failed call leaves an
  /// existing file as it was. A ".part" file that cannot be created raises
  /// EFCreateError before any request is made.
  void SpeakText(const String& Language, const String& DestFileName, const String& AText);

  ///@{
  /// The application key sent as the "appId" value of every request.
  const String& BingAppId() const { return FBingAppId; }
  void SetBingAppId(const String& value) { FBingAppId = value; }
  ///@}

  ///@{
  /// Which interface the methods speak (akClassic: the one above).
  TKwApiKind ApiKind() const { return FApiKind; }
  void SetApiKind(TKwApiKind value) { FApiKind = value; }
  ///@}
  ///@{
  /// The key of the service of today (akRest); a secret, left out of
  /// stored forms unless the application asks for it.
  const String& SubscriptionKey() const { return FSubscriptionKey; }
  void SetSubscriptionKey(const String& value) { FSubscriptionKey = value; }
  ///@}
  ///@{
  /// The key's region ("westeurope"): sent with every translator request
  /// when set (regional and multi-service keys need it), and the speech
  /// service's host.
  const String& Region() const { return FRegion; }
  void SetRegion(const String& value) { FRegion = value; }
  ///@}
  ///@{
  /// The speech voice's short name ("en-US-JennyNeural"); empty: the first
  /// voice of the language asked for.
  const String& Voice() const { return FVoice; }
  void SetVoice(const String& value) { FVoice = value; }
  ///@}

  /// Host is the base address of the service, with its path and no
  /// trailing slash.
  static constexpr const Char* DefaultHost = u"https://api.microsofttranslator.com/v2/Http.svc";
  /// The production host of version 3.
  static constexpr const Char* RestHost = u"https://api.cognitive.microsofttranslator.com";
  /// The speech service's audio format.
  static constexpr const Char* SpeechFormat = u"riff-24khz-16bit-mono-pcm";

 private:
  // Version 3: one request to the translator (Speech false) or to the
  // speech service; the answer when its status is 2xx.
  bool Rest(bool Speech, const String& Method, const String& Path, const std::string& Body,
            const String& ContentType, TServiceAnswer& Answer);
  bool RestVoices(std::vector<TSpeechVoice>& Voices);
  void RestSpeak(const String& Language, const String& DestFileName, const String& AText);

  // One GET of Host + PathAndQuery; the answer's bytes, or false.
  bool Get(const String& PathAndQuery, std::string& Answer);
  void GetLanguages(const String& Method, TStrings* AList);

  String FBingAppId;
  TKwApiKind FApiKind = akClassic;
  String FSubscriptionKey;
  String FRegion;
  String FVoice;
};

}  // namespace kwinet
