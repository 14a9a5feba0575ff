// TKwMSTranslator: a client of the Microsoft Translator's HTTP interface
// (the "Http.svc" endpoint of version 2, which answers with small XML
// documents): translate a text, detect its language, list the languages,
// and fetch spoken audio into a file. The application calls the methods;
// Execute does nothing.
//
// Every call is one GET of Host followed by the method's path and query,
// with every inserted value URL-encoded (UTF-8). A call that fails (no
// answer within Timeout, an answer over MaxResponseSize, an error status,
// an answer that is not the one asked for) ends with Status isFailed and
// ErrorText saying why; one that succeeds with isFinished.
#pragma once

#include "kwinet/core/StringList.h"
#include "kwinet/translate/KwICustomTranslator.h"

namespace kwinet {

class TKwMSTranslator : public TKwCustomTranslator {
 public:
  explicit TKwMSTranslator(TComponent* AOwner);

  // The translation of AText; the empty string when the call failed. An
  // empty SourceLng lets the service detect the language.
  String TranslateText(const String& AText, const String& SourceLng, const String& DestLng);
  // The language code of AText; the empty string when the call failed.
  String DetectLanguage(const String& AText);
  // Clear AList and fill it with the language codes; nothing at all (no
  // request) without a list.
  void GetLanguagesForTranslate(TStrings* AList);
  void GetLanguagesForSpeak(TStrings* AList);
  // Writes the spoken audio of AText in Language to DestFileName. The audio
  // goes to DestFileName + ".part" first and takes DestFileName's place
  // only when the whole answer has come, so a failed call leaves an
  // existing file as it was. A ".part" file that cannot be created raises
  // EFCreateError before any request is made.
  void SpeakText(const String& Language, const String& DestFileName, const String& AText);

  // The application key sent as the "appId" value of every request.
  const String& BingAppId() const { return FBingAppId; }
  void SetBingAppId(const String& value) { FBingAppId = value; }

  // Host is the base address of the service, with its path and no
  // trailing slash.
  static constexpr const Char* DefaultHost = u"https://api.microsofttranslator.com/v2/Http.svc";

 private:
  // One GET of Host + PathAndQuery; the answer's bytes, or false.
  bool Get(const String& PathAndQuery, std::string& Answer);
  void GetLanguages(const String& Method, TStrings* AList);

  String FBingAppId;
};

}  // namespace kwinet
