#include <gtest/gtest.h>

#include "kwinet/core/Exceptions.h"
#include "kwinet/core/String.h"

using namespace kwinet;

TEST(String, Utf8RoundTripAndInvalidBytes) {
  const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  String s = Utf8ToString(utf8);
  EXPECT_EQ(s, u"a\u00E9\u20AC\U0001F600");
  EXPECT_EQ(StringToUtf8(s), utf8);
  // Invalid and overlong sequences become U+FFFD, one per bad byte; nothing
  // after them is lost.
  EXPECT_EQ(Utf8ToString("x\xC3" "y"), u"x\uFFFDy");
  EXPECT_EQ(Utf8ToString("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(StringToUtf8(u"\xD800z"), "\xEF\xBF\xBDz");
}

TEST(String, BytesRoundTripIncludingZero) {
  std::string bytes("\x00\x01\xFF\x80z", 5);
  String s = BytesToString(bytes);
  ASSERT_EQ(s.size(), 5u);
  EXPECT_EQ(s[2], 0xFF);
  EXPECT_EQ(StringToBytes(s), bytes);
}

TEST(String, IntegerConversionRules) {
  struct Case {
    const char16_t* text;
    bool ok;
    int value;
  } cases[] = {
      {u"0", true, 0},          {u"-12", true, -12},     {u"+7", true, 7},
      {u"$FF", true, 255},      {u"-$10", true, -16},    {u"2147483647", true, 2147483647},
      {u"2147483648", false, 0}, {u"-2147483648", true, -2147483647 - 1},
      {u"", false, 0},          {u" 1", false, 0},       {u"1 ", false, 0},
      {u"0x10", false, 0},      {u"1.0", false, 0},      {u"$", false, 0},
      {u"-", false, 0},         {u"12a", false, 0},
  };
  for (const auto& c : cases) {
    int v = -99;
    EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << StringToUtf8(c.text);
    if (c.ok) {
      EXPECT_EQ(v, c.value) << StringToUtf8(c.text);
    }
  }
  EXPECT_THROW(StrToInt(u"x"), EConvertError);
  try {
    StrToInt(u"abc");
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"'abc' is not a valid integer value");
  }
}

TEST(String, FloatConversionRules) {
  double v = 0;
  EXPECT_TRUE(TryStrToFloat(u"-1.5e3", v));
  EXPECT_DOUBLE_EQ(v, -1500);
  EXPECT_TRUE(TryStrToFloat(u".5", v));
  EXPECT_DOUBLE_EQ(v, 0.5);
  for (const char16_t* bad : {u"", u"1,5", u"e5", u"1e", u"1.5x", u" 1", u"nan", u"1e999"})
    EXPECT_FALSE(TryStrToFloat(bad, v)) << StringToUtf8(bad);
}

TEST(String, CaseTrimAndSearch) {
  EXPECT_TRUE(SameText(u"Content-Type", u"content-TYPE"));
  EXPECT_FALSE(SameText(u"\u00E9", u"\u00C9"));  // ASCII folding only
  EXPECT_LT(CompareText(u"abc", u"ABD"), 0);
  EXPECT_EQ(Trim(u"\t\r\n x y \x01"), u"x y");
  EXPECT_EQ(Pos(u"b", u"abcb"), 2u);
  EXPECT_EQ(Pos(u"b", u"abcb", 3), 4u);
  EXPECT_EQ(Pos(u"z", u"abc"), 0u);
}

TEST(String, FormatFollowsTheFrameworkAndRefusesMismatches) {
  EXPECT_EQ(Format(u"Downloaded %d of %d bytes (%d%%)", {10, 200, 5}), u"Downloaded 10 of 200 bytes (5%)");
  EXPECT_EQ(Format(u"%s at %d", {u"x", 3}), u"x at 3");
  EXPECT_EQ(Format(u"[%5d|%-4s|%.3d|%x]", {42, u"ab", 7, 255}), u"[   42|ab  |007|FF]");
  EXPECT_EQ(Format(u"%1:s %0:s", {u"a", u"b"}), u"b a");
  EXPECT_EQ(Format(u"%.2f", {2.345}), u"2.35");
  // Too few arguments or the wrong kind raise instead of reading past them.
  EXPECT_THROW(Format(u"%d %d", {1}), EConvertError);
  EXPECT_THROW(Format(u"%d", {u"x"}), EConvertError);
  EXPECT_THROW(Format(u"%s", {1}), EConvertError);
  EXPECT_THROW(Format(u"50%", {}), EConvertError);
}
