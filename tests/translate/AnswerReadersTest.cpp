// The translators' answer readers and the Google language table: pure
// functions over bytes, no network.
#include <gtest/gtest.h>

#include "kwinet/core/StringList.h"
#include "kwinet/translate/GoogleAnswer.h"
#include "kwinet/translate/KwIGoogleTranslate.h"
#include "kwinet/translate/MSTranslatorAnswer.h"

namespace kwinet {
namespace {

TEST(GoogleAnswerTest, JoinsAllSegmentsAndFallsBackToTheFirstValue) {
  struct Row {
    const char* answer;
    std::optional<String> text;
  } rows[] = {
      {R"([[["Hallo Welt","Hello world",null,null,10]],null,"en"])", u"Hallo Welt"},
      // One segment a sentence: every one of them, in order.
      {R"([[["A. ","A. "],["B. ","B. "],["C.","C."]],null,"en"])", u"A. B. C."},
      // A segment without text in between is passed over.
      {R"([[["A. ","A. "],[null,null,"a"],["B.","B."]]])", u"A. B."},
      // UTF-8 and escapes, beyond the three-byte sequences.
      {"[[[\"Gr\xC3\xBC\xC3\x9F"
       "e \\\"\\u00e9\\\" \xF0\x9F\x98\x80\",\"x\"]]]",
       u"Grüße \"é\" \U0001F600"},
      {R"("x")", u"x"},
      {R"([[[42]]])", u"42"},
      {R"([[[true]]])", u"true"},
      {R"([[[null]]])", u"null"},
      {R"([])", std::nullopt},
      {R"([[]])", std::nullopt},
      {R"({"error":"quota"})", std::nullopt},
      {"<html>Error 403</html>", std::nullopt},
      {R"([[["cut short)", std::nullopt},
      {"", std::nullopt},
      {"[\"\xC3\"]", std::nullopt},  // not UTF-8: not JSON
  };
  for (const Row& r : rows) EXPECT_EQ(ReadGoogleAnswer(r.answer), r.text) << r.answer;
  // The component's entry point takes the answer one byte a character.
  EXPECT_EQ(TKwIGoogleTranslator::ParseJSONValue(u"[[[\"Gr\u00C3\u00BC\u00C3\u009F"
                                                 "e\",\"x\"]]]"),
            u"Grüße");
  EXPECT_EQ(TKwIGoogleTranslator::ParseJSONValue(u"not json"), u"");
}

TEST(GoogleAnswerTest, DeepNestingCostsNoStack) {
  const std::string deep = std::string(1000000, '[') + "\"x\"" + std::string(1000000, ']');
  EXPECT_EQ(ReadGoogleAnswer(deep), u"x");
  EXPECT_EQ(ReadGoogleAnswer(std::string(1000000, '[')), std::nullopt);
}

TEST(GoogleLanguageTest, LooksUpBothWaysIgnoringCase) {
  EXPECT_EQ(TKwIGoogleTranslator::GetLanguageCode(u"GERMAN"), u"de");
  EXPECT_EQ(TKwIGoogleTranslator::GetLanguageName(u"ZH-cn"), u"Chinese Simplified");
  EXPECT_EQ(TKwIGoogleTranslator::GetLanguageName(u"yi"), u"Yiddish");
  EXPECT_EQ(TKwIGoogleTranslator::GetLanguageName(u"iw"), u"Hebrew");
  EXPECT_EQ(TKwIGoogleTranslator::GetLanguageCode(u"Klingon"), u"");
  TStringList codes, names;
  codes.Add(u"old");
  TKwIGoogleTranslator::FillLanguageCodes(&codes, &names);
  ASSERT_EQ(codes.Count(), 64);
  ASSERT_EQ(names.Count(), 64);
  EXPECT_EQ(codes[0], u"af");
  EXPECT_EQ(names[0], u"Afrikaans");
  EXPECT_EQ(codes[63], u"yi");
  EXPECT_EQ(names[63], u"Yiddish");
  for (int i = 0; i < 64; ++i) EXPECT_EQ(TKwIGoogleTranslator::GetLanguageName(codes[i]), names[i]);
  TKwIGoogleTranslator::FillLanguageCodes(nullptr, &names);  // either list may be absent
  EXPECT_EQ(names.Count(), 64);
}

TEST(MSTranslatorAnswerTest, ReadsTheDocumentElementsText) {
  const char* ns = R"( xmlns="http://schemas.microsoft.com/2003/10/Serialization/")";
  struct Row {
    std::string answer;
    std::optional<String> text;
  } rows[] = {
      {std::string("<string") + ns + ">Hallo Welt</string>", u"Hallo Welt"},
      {"<string>Gr\xC3\xBC\xC3\x9F"
       "e \xF0\x9F\x98\x80</string>",
       u"Grüße \U0001F600"},
      {"\xEF\xBB\xBF<string>de</string>", u"de"},
      {"<string>fish &amp; chips &lt;3&gt;</string>", u"fish & chips <3>"},
      // A quote at the start stays: it is part of the translation.
      {"<string>\"Ja\", sagte er</string>", u"\"Ja\", sagte er"},
      // A declaration (which the engine never closes) and a "utf-8" one
      // that must not decode the text a second time.
      {"<?xml version=\"1.0\" encoding=\"utf-8\" ?><string>Gr\xC3\xBC\xC3\x9F"
       "e</string>",
       u"Grüße"},
      {"<string/>", u""},
      {"", std::nullopt},
      {"no markup", std::nullopt},
      {"\xFF\xFE garbage", std::nullopt},
  };
  for (const Row& r : rows) EXPECT_EQ(ReadMSTranslatorText(r.answer), r.text) << r.answer;
}

TEST(MSTranslatorAnswerTest, ReadsTheChildrenOfAnArrayInOrder) {
  const std::string list =
      "<ArrayOfstring xmlns=\"http://schemas.microsoft.com/2003/10/Serialization/Arrays\" "
      "xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\"><string>ar</string><string>zh-CHS</string>"
      "<!-- note --><string></string><string>de</string></ArrayOfstring>";
  EXPECT_EQ(ReadMSTranslatorList(list), (std::vector<String>{u"ar", u"zh-CHS", u"de"}));
  EXPECT_EQ(ReadMSTranslatorList("<?xml version=\"1.0\"?><ArrayOfstring><string>en</string></ArrayOfstring>"),
            (std::vector<String>{u"en"}));
  EXPECT_TRUE(ReadMSTranslatorList("").empty());
  EXPECT_TRUE(ReadMSTranslatorList("<ArrayOfstring/>").empty());
}

}  // namespace
}  // namespace kwinet
