#include <gtest/gtest.h>

#include <chrono>

#include "kwinet/core/Exceptions.h"
#include "kwinet/utils/kwiutil.h"

using namespace kwinet;

namespace {
String B(std::string_view bytes) { return BytesToString(bytes); }
}  // namespace

TEST(Utf8Decode, SequencesAndMalformedInput) {
  struct Case {
    std::string_view in;
    String out;
  } cases[] = {
      {"", u""},
      {"plain", u"plain"},
      {"\xC3\xA9", u"\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"a\xC3", u""},                // a lead at the end
      {"\xF0\x9F\x98\x80", u""},     // no four-byte sequences: the final 80 is a lone lead
      {"\xC3\x28", u""},             // follower without 10 bits
      {"\xE2\x82", u""},             // three-byte lead cut short
      {"\x81\x81", u"\u0041"},       // 80-9F lead as a two-byte lead
      {"\xA1\x81\x81", u"\u1041"},   // A0-BF lead as a three-byte lead
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8Decode(B(c.in)), c.out) << c.in;
}

TEST(Encode64, PaddingAndLength) {
  struct Case {
    std::string_view in, out;
  } cases[] = {{"", ""}, {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"},
               {"\xFF\xFE\x01", "//4B"}, {"any carnal pleasure.", "YW55IGNhcm5hbCBwbGVhc3VyZS4="}};
  for (const auto& c : cases) EXPECT_EQ(Encode64(B(c.in)), B(c.out)) << c.in;
  String line = Encode64(String(57, u'x'));
  EXPECT_EQ(line.size(), 76u);
  EXPECT_EQ(line.find(u'\n'), String::npos);
  // Long input crosses the internal pieces without a seam.
  String big;
  for (int i = 0; i < 10000; ++i) big.push_back(static_cast<Char>(i * 7 & 0xFF));
  String enc = Encode64(big);
  std::string bytes = StringToBytes(big);
  std::string direct(Base64Length(bytes.size()), '\0');
  Encode64Bytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), direct.data());
  EXPECT_EQ(StringToBytes(enc), direct);
  EXPECT_THROW(Encode64(u"ok\u0100"), ERangeError);
}

TEST(HTTPEncode, CharactersAndCodes) {
  EXPECT_EQ(KwInetHTTPEncode(u"a b&c"), u"a+b%26c");
  EXPECT_EQ(KwInetHTTPEncode(u"~*@.!$'()-_"), u"%7E*@.!$'()-_");
  EXPECT_EQ(KwInetHTTPEncode(u"\n/\u00E9"), u"%0A%2F%E9");
  // Path segments and user info: nothing that a URL gives a meaning to stays.
  EXPECT_EQ(PercentEncode("a b/c?d#e@f:g&h%~-._Z9"), "a%20b%2Fc%3Fd%23e%40f%3Ag%26h%25~-._Z9");
  EXPECT_EQ(PercentEncode(std::string("\x00\xc3\xa9\r", 4)), "%00%C3%A9%0D");
  EXPECT_EQ(KwInetHTTPEncode(u"\u20AC"), u"%20");  // only the first two hex digits
  EXPECT_EQ(KwInetHTTPEncode(String(u"ab\0cd", 5)), u"ab");
}

TEST(HTTPDecode, EscapesPlaceholdersAndErrors) {
  EXPECT_EQ(KwInetHTTPDecode(u"a+b%26c"), u"a b&c");
  EXPECT_EQ(KwInetHTTPDecode(u"100%%"), u"100%");
  EXPECT_EQ(KwInetHTTPDecode(u"%d items in %s"), u"%d items in %s");
  EXPECT_EQ(KwInetHTTPDecode(u"%d0 %D0"), u"%d0 \u00D0");
  EXPECT_EQ(KwInetHTTPDecode(u"x%00y"), String(u"x\0y", 3));
  struct Bad {
    const char16_t* in;
    const char16_t* message;
  } bad[] = {
      {u"abc%1", u"Error decoding URL style (%XX) encoded string at position 4"},
      {u"%zz", u"Invalid URL encoded character (%zz) at position 1"},
      {u"ab%", u"Error decoding URL style (%XX) encoded string at position 3"},
      {u"a%4g", u"Invalid URL encoded character (%4g) at position 2"},
  };
  for (const auto& b : bad) {
    try {
      KwInetHTTPDecode(b.in);
      ADD_FAILURE() << "no exception for " << StringToUtf8(b.in);
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), b.message);
    }
  }
}

TEST(ReplaceHTMLChars, TableOfCases) {
  struct Case {
    const char16_t* in;
    const char16_t* out;
  } cases[] = {
      {u"a &lt; b &amp; c", u"a < b & c"},
      {u"x&nbsp;y", u"xy"},
      {u"&eacute; &lt;", u"&eacute; &lt;"},     // an unknown entity stops everything
      {u"&lt;&eacute;&gt;", u"<&eacute;&gt;"},
      {u"&amp;lt;", u"<"},                      // a produced "&" is examined again
      {u"&amp;amp;amp;", u"&"},
      {u"20&deg;C &para; &copy; &trade;", u"20\u00B0C \u00A6 c T"},
      {u"&brvbar;&plusmn;&quot;&apos;", u"|+\"'"},
      {u"tail &lt", u"tail <"},                 // no ";": the entity runs to the end
      {u"&LT;", u"&LT;"},                       // names are case-sensitive
      {u"& chips", u"& chips"},
  };
  for (const auto& c : cases) {
    String s = c.in;
    ReplaceHTMLChars(s);
    EXPECT_EQ(s, c.out) << StringToUtf8(c.in);
  }
}

TEST(ReplaceHTMLChars, AMegabyteOfEntitiesIsLinear) {
  // Every "&amp;lt;" becomes "<" in two passes; a walk that restarts from the
  // front or shifts the whole text per entity takes minutes on this input.
  String s;
  for (int i = 0; i < 200000; ++i) s += u"&amp;lt;";
  auto start = std::chrono::steady_clock::now();
  ReplaceHTMLChars(s);
  EXPECT_TRUE(s == String(200000, u'<')) << "size " << s.size();
  // A produced "&" that forms no entity with what follows stops the work.
  String t = u"&amp;" + String(1000000, u'x') + u"&lt;";
  ReplaceHTMLChars(t);
  EXPECT_EQ(t.size(), 1000005u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(GetColumnAndReverse, Cases) {
  EXPECT_EQ(GetColumn(u"a,b,,d", 0, u','), u"a");
  EXPECT_EQ(GetColumn(u"a,b,,d", 2, u','), u"");
  EXPECT_EQ(GetColumn(u"a,b,,d", 3, u','), u"d");
  EXPECT_EQ(GetColumn(u"a,b,,d", 4, u','), u"");
  EXPECT_EQ(GetColumn(u"\t", 0, u','), u"");
  EXPECT_EQ(GetColumn(u"x\ty", 1, u'\t'), u"y");
  EXPECT_EQ(Reverse(u"abc"), u"cba");
  EXPECT_EQ(Reverse(u""), u"");
}
