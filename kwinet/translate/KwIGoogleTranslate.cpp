#include "kwinet/translate/KwIGoogleTranslate.h"

#include <algorithm>

#include "kwinet/translate/GoogleAnswer.h"
#include "kwinet/translate/TranslatorJson.h"

namespace kwinet {

const TGoogleLanguage GoogleLanguages[GoogleLanguageCount] = {
    {u"af", u"Afrikaans"},
    {u"ga", u"Irish"},
    {u"sq", u"Albanian"},
    {u"it", u"Italian"},
    {u"ar", u"Arabic"},
    {u"ja", u"Japanese"},
    {u"az", u"Azerbaijani"},
    {u"kn", u"Kannada"},
    {u"eu", u"Basque"},
    {u"ko", u"Korean"},
    {u"bn", u"Bengali"},
    {u"la", u"Latin"},
    {u"be", u"Belarusian"},
    {u"lv", u"Latvian"},
    {u"bg", u"Bulgarian"},
    {u"lt", u"Lithuanian"},
    {u"ca", u"Catalan"},
    {u"mk", u"Macedonian"},
    {u"zh-CN", u"Chinese Simplified"},
    {u"ms", u"Malay"},
    {u"zh-TW", u"Chinese Traditional"},
    {u"mt", u"Maltese"},
    {u"hr", u"Croatian"},
    {u"no", u"Norwegian"},
    {u"cs", u"Czech"},
    {u"fa", u"Persian"},
    {u"da", u"Danish"},
    {u"pl", u"Polish"},
    {u"nl", u"Dutch"},
    {u"pt", u"Portuguese"},
    {u"en", u"English"},
    {u"ro", u"Romanian"},
    {u"eo", u"Esperanto"},
    {u"ru", u"Russian"},
    {u"et", u"Estonian"},
    {u"sr", u"Serbian"},
    {u"tl", u"Filipino"},
    {u"sk", u"Slovak"},
    {u"fi", u"Finnish"},
    {u"sl", u"Slovenian"},
    {u"fr", u"French"},
    {u"es", u"Spanish"},
    {u"gl", u"Galician"},
    {u"sw", u"Swahili"},
    {u"ka", u"Georgian"},
    {u"sv", u"Swedish"},
    {u"de", u"German"},
    {u"ta", u"Tamil"},
    {u"el", u"Greek"},
    {u"te", u"Telugu"},
    {u"gu", u"Gujarati"},
    {u"th", u"Thai"},
    {u"ht", u"Haitian Creole"},
    {u"tr", u"Turkish"},
    {u"iw", u"Hebrew"},
    {u"uk", u"Ukrainian"},
    {u"hi", u"Hindi"},
    {u"ur", u"Urdu"},
    {u"hu", u"Hungarian"},
    {u"vi", u"Vietnamese"},
    {u"is", u"Icelandic"},
    {u"cy", u"Welsh"},
    {u"id", u"Indonesian"},
    {u"yi", u"Yiddish"},
};

TKwIGoogleTranslator::TKwIGoogleTranslator(TComponent* AOwner) : TKwCustomTranslator(AOwner) {
  SetHost(DefaultHost);
}

String TKwIGoogleTranslator::TranslateText(const String& AText) {
  return TranslateTextExt(AText, FSourceLanguage, FDestinationLanguage);
}

bool TKwIGoogleTranslator::Rest(const String& Method, const String& Path, const std::string& Body,
                                TServiceAnswer& Answer) {
  TServiceRequest request;
  if (!RestOrigin(DefaultHost, RestHost, request.Origin)) return false;
  request.Method = Method;
  request.Path = Path;
  if (!FApiKey.empty()) request.Headers.emplace_back(u"X-goog-api-key", FApiKey);
  if (!Body.empty()) request.Headers.emplace_back(u"Content-Type", u"application/json; charset=utf-8");
  request.Body = Body;
  return RestExchange(request, Answer, FApiKey);
}

String TKwIGoogleTranslator::DetectLanguage(const String& AText) {
  BeginCall();
  if (FApiKind != akRest) {
    EndCall(false, u"DetectLanguage needs ApiKind akRest");
    return String();
  }
  TServiceAnswer answer;
  if (!Rest(u"POST", u"/language/translate/v2/detect", BuildGoogleDetectBody(AText), answer)) return String();
  const std::optional<String> code = ReadGoogleDetection(answer.Body);
  EndCall(code.has_value(), u"The answer holds no language code");
  return code.value_or(String());
}

void TKwIGoogleTranslator::GetLanguages(TStrings* lstCodes, TStrings* lstNames) {
  if (FApiKind != akRest) return FillLanguageCodes(lstCodes, lstNames);
  if (lstCodes) lstCodes->Clear();
  if (lstNames) lstNames->Clear();
  BeginCall();
  TServiceAnswer answer;
  if (!Rest(u"GET", u"/language/translate/v2/languages?target=en", std::string(), answer)) return;
  const std::optional<std::vector<TTranslatorLanguage>> languages = ReadGoogleLanguages(answer.Body);
  if (languages)
    for (const TTranslatorLanguage& l : *languages) {
      if (lstCodes) lstCodes->Add(l.Code);
      if (lstNames) lstNames->Add(l.Name);
    }
  EndCall(languages && !languages->empty(), u"The answer holds no language codes");
}

String TKwIGoogleTranslator::TranslateTextExt(const String& AText, const String& SourceLng, const String& DestLng) {
  if (FApiKind == akRest) {
    BeginCall();
    TServiceAnswer answer;
    if (!Rest(u"POST", u"/language/translate/v2", BuildGoogleTranslateBody(AText, DestLng, SourceLng), answer))
      return String();
    const std::optional<TGoogleTranslation> t = ReadGoogleTranslation(answer.Body);
    EndCall(t.has_value(), u"The answer holds no translation");
    return t ? t->Text : String();
  }
  BeginCall();
  TMemoryStream stream;
  if (!FetchAnswer(Host() + u"/translate_a/single?client=gtx&sl=" + TranslatorQueryValue(SourceLng) + u"&tl=" +
                       TranslatorQueryValue(DestLng) + u"&dt=t&q=" + TranslatorQueryValue(AText),
                   stream))
    return String();
  const std::optional<String> text = ReadGoogleAnswer(stream.ReadAll());
  EndCall(text.has_value(), u"The answer holds no translation");
  return text.value_or(String());
}

String TKwIGoogleTranslator::ParseJSONValue(const String& A) {
  const bool bytes = std::all_of(A.begin(), A.end(), [](Char c) { return c < 256; });
  return ReadGoogleAnswer(bytes ? StringToBytes(A) : StringToUtf8(A)).value_or(String());
}

String TKwIGoogleTranslator::GetLanguageCode(const String& AName) {
  for (const TGoogleLanguage& l : GoogleLanguages)
    if (SameText(l.Name, AName)) return l.Code;
  return String();
}

String TKwIGoogleTranslator::GetLanguageName(const String& ACode) {
  for (const TGoogleLanguage& l : GoogleLanguages)
    if (SameText(l.Code, ACode)) return l.Name;
  return String();
}

void TKwIGoogleTranslator::FillLanguageCodes(TStrings* lstCodes, TStrings* lstNames) {
  if (lstCodes) lstCodes->Clear();
  if (lstNames) lstNames->Clear();
  for (const TGoogleLanguage& l : GoogleLanguages) {
    if (lstCodes) lstCodes->Add(l.Code);
    if (lstNames) lstNames->Add(l.Name);
  }
}

}  // namespace kwinet
