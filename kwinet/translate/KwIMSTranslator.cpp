#include "kwinet/translate/KwIMSTranslator.h"

#include <cerrno>
#include <cstdio>

#include "kwinet/core/Exceptions.h"
#include "kwinet/translate/MSTranslatorAnswer.h"
#include "kwinet/translate/SpeechSsml.h"
#include "kwinet/translate/TranslatorJson.h"
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

bool TKwMSTranslator::Rest(bool Speech, const String& Method, const String& Path, const std::string& Body,
                           const String& ContentType, TServiceAnswer& Answer) {
  TServiceRequest request;
  if (!RestOrigin(DefaultHost, RestHost, request.Origin)) return false;
  if (Speech && (Host().empty() || Host() == DefaultHost)) {
    // The speech service lives on a host of the key's region.
    if (FRegion.empty()) {
      EndCall(false, u"Speech needs Region: the speech service's host is REGION.tts.speech.microsoft.com");
      return false;
    }
    if (!ParseServiceOrigin(u"https://" + FRegion + u".tts.speech.microsoft.com", request.Origin)) {
      EndCall(false, u"Region is not a region's name");
      return false;
    }
  }
  request.Method = Method;
  request.Path = Path;
  if (!FSubscriptionKey.empty()) request.Headers.emplace_back(u"Ocp-Apim-Subscription-Key", FSubscriptionKey);
  if (!Speech && !FRegion.empty()) request.Headers.emplace_back(u"Ocp-Apim-Subscription-Region", FRegion);
  if (!ContentType.empty()) request.Headers.emplace_back(u"Content-Type", ContentType);
  if (Speech) {
    request.Headers.emplace_back(u"X-Microsoft-OutputFormat", SpeechFormat);
    // The service wants a User-Agent; Agent is sent as one when set.
    if (Agent().empty()) request.Headers.emplace_back(u"User-Agent", u"kwinet");
  }
  request.Body = Body;
  return RestExchange(request, Answer, FSubscriptionKey);
}

bool TKwMSTranslator::RestVoices(std::vector<TSpeechVoice>& Voices) {
  TServiceAnswer answer;
  if (!Rest(true, u"GET", u"/cognitiveservices/voices/list", std::string(), String(), answer)) return false;
  std::optional<std::vector<TSpeechVoice>> voices = ReadSpeechVoices(answer.Body);
  if (!voices) {
    EndCall(false, u"The answer holds no voice list");
    return false;
  }
  Voices = std::move(*voices);
  return true;
}

void TKwMSTranslator::RestSpeak(const String& Language, const String& DestFileName, const String& AText) {
  // Made before any request; removed again unless the whole answer came.
  TPartFile file(DestFileName);
  BeginCall();
  String voice = FVoice, locale = Language;
  if (voice.empty()) {
    std::vector<TSpeechVoice> voices;
    if (!RestVoices(voices)) return;
    const TSpeechVoice* v = PickSpeechVoice(voices, Language);
    if (!v) {
      EndCall(false, u"The speech service has no voice for " + Language);
      return;
    }
    voice = v->ShortName;
    locale = v->Locale;
  }
  TServiceAnswer answer;
  if (!Rest(true, u"POST", u"/cognitiveservices/v1", BuildSpeechSsml(AText, locale, voice), u"application/ssml+xml",
            answer))
    return;
  try {
    file.WriteBuffer(answer.Body.data(), static_cast<std::int64_t>(answer.Body.size()));
    file.Commit();
  } catch (const Exception& e) {
    EndCall(false, e.Message());
    return;
  }
  EndCall(true);
}

String TKwMSTranslator::TranslateText(const String& AText, const String& SourceLng, const String& DestLng) {
  if (FApiKind == akRest) {
    BeginCall();
    String path = u"/translate?api-version=3.0&to=" + TranslatorQueryValue(DestLng);
    if (!SourceLng.empty()) path += u"&from=" + TranslatorQueryValue(SourceLng);
    TServiceAnswer answer;
    if (!Rest(false, u"POST", path, BuildMSTextBody(AText), u"application/json; charset=UTF-8", answer))
      return String();
    const std::optional<TMSTranslation> t = ReadMSTranslation(answer.Body);
    EndCall(t.has_value(), u"The answer holds no translation");
    return t ? t->Text : String();
  }
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
  if (FApiKind == akRest) {
    BeginCall();
    TServiceAnswer answer;
    if (!Rest(false, u"POST", u"/detect?api-version=3.0", BuildMSTextBody(AText), u"application/json; charset=UTF-8",
              answer))
      return String();
    const std::optional<String> code = ReadMSDetection(answer.Body);
    EndCall(code.has_value(), u"The answer holds no language code");
    return code.value_or(String());
  }
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
  if (FApiKind != akRest) return GetLanguages(u"GetLanguagesForTranslate", AList);
  if (!AList) return;
  AList->Clear();
  BeginCall();
  TServiceAnswer answer;
  if (!Rest(false, u"GET", u"/languages?api-version=3.0&scope=translation", std::string(), String(), answer)) return;
  const std::optional<std::vector<TTranslatorLanguage>> languages = ReadMSLanguages(answer.Body);
  if (languages)
    for (const TTranslatorLanguage& l : *languages) AList->Add(l.Code);
  EndCall(languages && !languages->empty(), u"The answer holds no language codes");
}

void TKwMSTranslator::GetLanguagesForSpeak(TStrings* AList) {
  if (FApiKind != akRest) return GetLanguages(u"GetLanguagesForSpeak", AList);
  if (!AList) return;
  AList->Clear();
  BeginCall();
  std::vector<TSpeechVoice> voices;
  if (!RestVoices(voices)) return;
  for (const String& locale : SpeechLocales(voices)) AList->Add(locale);
  EndCall(!voices.empty(), u"The speech service lists no voices");
}

void TKwMSTranslator::SpeakText(const String& Language, const String& DestFileName, const String& AText) {
  if (FApiKind == akRest) return RestSpeak(Language, DestFileName, AText);
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
