// The request builders and answer readers of today's translation
// interfaces: pure functions, no network. Every builder's text is read back
// the way the services read it and must come back byte for byte.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "kwinet/translate/SpeechSsml.h"
#include "kwinet/translate/TranslatorJson.h"
#include "support/TranslatorService.h"

namespace kwinet {
namespace {

using Json = nlohmann::json;
using namespace std::string_literals;

// What a text must survive: markup, quotes, the end of a CDATA section, a
// backslash, JSON's own escapes, letters beyond ASCII and beyond the BMP.
const String kAwkward = u"Tom & Jerry <b>\"quoted\" 'single'</b> ]]> C:\\path\\n \u00c4rger \u00df \u65e5\u672c "
                        u"\U0001F600 tab\there\nline";

TEST(TranslatorJson, BodiesCarryTheTextByteForByte) {
  const String texts[] = {kAwkward, u"", u"\u0001\u001f\u007f", u"x\"},{\"Text\":\"y"};
  for (const String& text : texts) {
    SCOPED_TRACE(StringToUtf8(text));
    const std::string utf8 = StringToUtf8(text);

    const Json ms = Json::parse(BuildMSTextBody(text));
    EXPECT_EQ(ms, Json::array({{{"Text", utf8}}}));
    // The service's answer carries the text back.
    const Json answer = Json::array({{{"translations", Json::array({{{"text", utf8}, {"to", "de"}}})}}});
    const auto t = ReadMSTranslation(answer.dump());
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Text, text);

    const Json google = Json::parse(BuildGoogleTranslateBody(text, u"de", u"en"));
    EXPECT_EQ(google, Json({{"q", {utf8}}, {"target", "de"}, {"source", "en"}, {"format", "text"}}));
    const Json gAnswer = {{"data", {{"translations", {{{"translatedText", utf8}}}}}}};
    const auto g = ReadGoogleTranslation(gAnswer.dump());
    ASSERT_TRUE(g);
    EXPECT_EQ(g->Text, text);
    EXPECT_EQ(Json::parse(BuildGoogleDetectBody(text)), Json({{"q", {utf8}}}));
  }
  // No source: the member is left out, so the service detects it.
  EXPECT_FALSE(Json::parse(BuildGoogleTranslateBody(u"x", u"de", u"")).contains("source"));
  // A lone surrogate cannot be UTF-8: it travels as U+FFFD.
  EXPECT_EQ(Json::parse(BuildMSTextBody(String(1, Char(0xD800))))[0]["Text"], "\xEF\xBF\xBD");
}

TEST(TranslatorJson, SsmlHoldsTextLocaleAndVoiceExactly) {
  struct Row {
    String text, locale, voice;
    std::string expectText;  // what a reader of the document gets
  } rows[] = {
      {kAwkward, u"en-US", u"en-US-JennyNeural", StringToUtf8(kAwkward)},
      {u"a\r\nb\rc", u"de-DE", u"de-DE-KatjaNeural", "a\r\nb\rc"},
      // What XML cannot hold at all becomes a blank.
      {u"a\u0000b\u0008c\uFFFEd\uFFFF"s + Char(0xDC00) + u"e", u"en", u"v", "a b c d  e"},
      // The attributes are escaped as well: nothing can end them.
      {u"x", u"en' evil='1", u"v\"<>&\t\n", "x"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.expectText);
    const std::string ssml = BuildSpeechSsml(r.text, r.locale, r.voice);
    EXPECT_EQ(ssml.rfind("<speak version='1.0' xml:lang='", 0), 0u) << ssml;
    std::string locale, voice, text;
    ASSERT_TRUE(support::ReadSpeechSsmlDocument(ssml, locale, voice, text)) << ssml;
    EXPECT_EQ(text, r.expectText);
    EXPECT_EQ(locale, StringToUtf8(r.locale));
    EXPECT_EQ(voice, StringToUtf8(r.voice));
  }
}

TEST(TranslatorJson, MicrosoftReaders) {
  const auto t = ReadMSTranslation(
      R"([{"detectedLanguage":{"language":"en","score":1.0},"translations":[{"text":"Hallo","to":"de"},)"
      R"({"text":"Salut","to":"fr"}]}])");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->Text, u"Hallo");
  EXPECT_EQ(t->To, u"de");
  EXPECT_EQ(t->DetectedLanguage, u"en");
  for (const char* bad : {"", "[]", "[{}]", R"([{"translations":[]}])", R"([{"translations":[{"text":1}]}])",
                          R"({"error":{"code":400036,"message":"The target language is not valid."}})",
                          "<string>Hallo</string>", "[{\"translations\":[{\"text\":\"\xC3\"}]}]"})
    EXPECT_FALSE(ReadMSTranslation(bad)) << bad;

  EXPECT_EQ(ReadMSDetection(R"([{"language":"fr","score":0.98,"isTranslationSupported":true}])"), u"fr");
  for (const char* bad : {"[]", R"([{"language":""}])", R"([{"language":7}])", R"({"language":"fr"})"})
    EXPECT_FALSE(ReadMSDetection(bad)) << bad;

  const auto languages = ReadMSLanguages(
      R"({"translation":{"zh-Hans":{"name":"Chinese Simplified"},"de":{"name":"German","dir":"ltr"},"af":{}}})");
  ASSERT_TRUE(languages);
  ASSERT_EQ(languages->size(), 3u);
  // The answer's order, a code with a dash, a language without a name.
  EXPECT_EQ((*languages)[0].Code, u"zh-Hans");
  EXPECT_EQ((*languages)[1].Name, u"German");
  EXPECT_EQ((*languages)[2].Name, u"");
  EXPECT_FALSE(ReadMSLanguages(R"({"dictionary":{}})"));
  EXPECT_FALSE(ReadMSLanguages(R"({"translation":[]})"));
}

TEST(TranslatorJson, GoogleReaders) {
  const auto t = ReadGoogleTranslation(R"({"data":{"translations":[{"translatedText":"Hallo","detectedSourceLanguage":"en"}]}})");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->Text, u"Hallo");
  EXPECT_EQ(t->DetectedSourceLanguage, u"en");
  for (const char* bad : {"{}", R"({"data":{}})", R"({"data":{"translations":[]}})",
                          R"({"data":{"translations":[{"text":"x"}]}})", R"([[["Hallo","Hello"]]])"})
    EXPECT_FALSE(ReadGoogleTranslation(bad)) << bad;

  EXPECT_EQ(ReadGoogleDetection(R"({"data":{"detections":[[{"language":"en","confidence":1,"isReliable":false}]]}})"),
            u"en");
  for (const char* bad : {R"({"data":{"detections":[]}})", R"({"data":{"detections":[[]]}})",
                          R"({"data":{"detections":[{"language":"en"}]}})"})
    EXPECT_FALSE(ReadGoogleDetection(bad)) << bad;

  const auto languages =
      ReadGoogleLanguages(R"({"data":{"languages":[{"language":"de","name":"German"},{"name":"x"},{"language":"zh-CN"}]}})");
  ASSERT_TRUE(languages);
  ASSERT_EQ(languages->size(), 2u);
  EXPECT_EQ((*languages)[0].Name, u"German");
  EXPECT_EQ((*languages)[1].Code, u"zh-CN");
  EXPECT_FALSE(ReadGoogleLanguages(R"({"data":{"languages":{}}})"));
}

TEST(TranslatorJson, ErrorDocumentsOfBothServices) {
  struct Row {
    const char* doc;
    std::optional<std::pair<String, String>> error;
  } rows[] = {
      {R"({"error":{"code":401000,"message":"The request is not authorized because credentials are missing or invalid."}})",
       std::pair<String, String>{u"401000", u"The request is not authorized because credentials are missing or invalid."}},
      {R"({"error":{"code":400,"message":"API key not valid. Please pass a valid API key.","status":"INVALID_ARGUMENT"}})",
       std::pair<String, String>{u"400", u"API key not valid. Please pass a valid API key."}},
      {R"({"error":{"code":"401","message":"Access denied"}})", std::pair<String, String>{u"401", u"Access denied"}},
      {R"({"error":{"message":"no code"}})", std::pair<String, String>{u"", u"no code"}},
      {R"({"error":{"code":400036}})", std::nullopt},
      {R"({"error":"quota"})", std::nullopt},
      {"<html>502 Bad Gateway</html>", std::nullopt},
  };
  for (const Row& r : rows) {
    for (auto* reader : {&ReadMSError, &ReadGoogleError}) {
      const auto e = reader(r.doc);
      ASSERT_EQ(e.has_value(), r.error.has_value()) << r.doc;
      if (!e) continue;
      EXPECT_EQ(e->Code, r.error->first) << r.doc;
      EXPECT_EQ(e->Message, r.error->second) << r.doc;
    }
  }
}

TEST(TranslatorJson, VoicesAndTheChoiceOfOne) {
  const auto voices = ReadSpeechVoices(
      R"([{"ShortName":"de-DE-KatjaNeural","Locale":"de-DE","Gender":"Female"},{"ShortName":"x"},)"
      R"({"ShortName":"en-US-JennyNeural","Locale":"en-US"},{"ShortName":"en-GB-SoniaNeural","Locale":"en-GB"},)"
      R"({"ShortName":"en-US-GuyNeural","Locale":"en-US"},7])");
  ASSERT_TRUE(voices);
  ASSERT_EQ(voices->size(), 4u);
  struct Row {
    const char16_t* language;
    const char16_t* voice;
  } rows[] = {{u"en-US", u"en-US-JennyNeural"}, {u"EN-gb", u"en-GB-SoniaNeural"}, {u"en", u"en-US-JennyNeural"},
              {u"de", u"de-DE-KatjaNeural"},    {u"e", nullptr},                    {u"fr", nullptr},
              {u"", nullptr}};
  for (const Row& r : rows) {
    const TSpeechVoice* v = PickSpeechVoice(*voices, r.language);
    EXPECT_EQ(v ? v->ShortName : String(u"(none)"), r.voice ? String(r.voice) : String(u"(none)")) << StringToUtf8(r.language);
  }
  EXPECT_EQ(SpeechLocales(*voices), (std::vector<String>{u"de-DE", u"en-US", u"en-GB"}));
  EXPECT_FALSE(ReadSpeechVoices(R"({"voices":[]})"));
  EXPECT_FALSE(ReadSpeechVoices("not json"));
}

}  // namespace
}  // namespace kwinet
