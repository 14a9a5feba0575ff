#include "kwinet/translate/KwIMSTranslator.h"

#include <cerrno>
#include <cstdio>

#include "kwinet/core/Exceptions.h"
#include "kwinet/translate/MSTranslatorAnswer.h"
#include "kwinet/utils/PartFile.h"

namespace kwinet {

TKwMSTranslator::TKwMSTranslator(TComponent* AOwner)
    : TKwCustomTranslator(AOwner), FBingAppId(u"5D0E2B97F1A4C3688E7B20D94F15A6C3E0B7D218") {
  SetHost(DefaultHost);
}

bool TKwMSTranslator::Get(const String& PathAndQuery, std::string& Answer) {
  TMemoryStream stream;
  if (!FetchAnswer(Host() + PathAndQuery, stream)) return false;
  Answer = stream.ReadAll();
  return true;
}

String TKwMSTranslator::TranslateText(const String& AText, const String& SourceLng, const String& DestLng) {
  BeginCall();
  std::string answer;
  if (!Get(u"/Translate?appId=" + TranslatorQueryValue(FBingAppId) + u"&text=" + TranslatorQueryValue(AText) +
               u"&from=" + TranslatorQueryValue(SourceLng) + u"&to=" + TranslatorQueryValue(DestLng),
           answer))
    return String();
  const std::optional<String> text = ReadMSTranslatorText(answer);
  EndCall(text.has_value(), u"The answer holds no translation");
  return text.value_or(String());
}

String TKwMSTranslator::DetectLanguage(const String& AText) {
  BeginCall();
  std::string answer;
  if (!Get(u"/Detect?appId=" + TranslatorQueryValue(FBingAppId) + u"&text=" + TranslatorQueryValue(AText), answer))
    return String();
  const std::optional<String> code = ReadMSTranslatorText(answer);
  const bool ok = code.has_value() && !code->empty();
  EndCall(ok, u"The answer holds no language code");
  return ok ? *code : String();
}

void TKwMSTranslator::GetLanguages(const String& Method, TStrings* AList) {
  if (!AList) return;
  AList->Clear();
  BeginCall();
  std::string answer;
  if (!Get(u"/" + Method + u"?appId=" + TranslatorQueryValue(FBingAppId), answer)) return;
  const std::vector<String> codes = ReadMSTranslatorList(answer);
  for (const String& code : codes) AList->Add(code);
  EndCall(!codes.empty(), u"The answer holds no language codes");
}

void TKwMSTranslator::GetLanguagesForTranslate(TStrings* AList) {
  GetLanguages(u"GetLanguagesForTranslate", AList);
}

void TKwMSTranslator::GetLanguagesForSpeak(TStrings* AList) {
  GetLanguages(u"GetLanguagesForSpeak", AList);
}

void TKwMSTranslator::SpeakText(const String& Language, const String& DestFileName, const String& AText) {
  // Made before any request; removed again unless the whole answer came.
  TPartFile file(DestFileName);
  BeginCall();
  if (!FetchAnswer(Host() + u"/Speak?appId=" + TranslatorQueryValue(FBingAppId) + u"&text=" +
                       TranslatorQueryValue(AText) + u"&language=" + TranslatorQueryValue(Language),
                   file))
    return;
  try {
    file.Commit();
  } catch (const EFCreateError& e) {
    EndCall(false, e.Message());
    return;
  }
  EndCall(true);
}

}  // namespace kwinet
