// The feed scanner's rules on small feeds: what becomes a channel, an item
// and a field, and what is lost as the format's rules say; and the decoding
// of a feed's bytes by its mark or declaration.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "kwinet/web/RssScanner.h"

namespace kwinet {
namespace {

const char* const kChannelNames[] = {"title",    "link",           "description", "language", "copyright",
                                     "rating",   "managingEditor", "webMaster",   "pubDate",  "lastBuildDate",
                                     "category", "generator",      "docs",        "ttl"};
const char* const kItemNames[] = {"title", "link", "description", "creator", "date"};

// What the scanner reports, as one line: "C" a channel, "I" an item,
// "c.name=value" and "i.name=value" the fields, separated by "|".
class TTrace : public TRssScanHandler {
 public:
  void NewChannel() override { Add("C"); }
  void NewItem() override { Add("I"); }
  void ChannelField(TRssChannelField Field, String&& Value) override {
    Add(std::string("c.") + kChannelNames[Field] + "=" + StringToUtf8(Value));
  }
  void ItemField(TRssItemField Field, String&& Value) override {
    Add(std::string("i.") + kItemNames[Field] + "=" + StringToUtf8(Value));
  }
  std::string Text;

 private:
  void Add(const std::string& s) { Text += (Text.empty() ? "" : "|") + s; }
};

// A literal with the zero bytes it holds.
template <std::size_t N>
std::string Bytes(const char (&s)[N]) {
  return std::string(s, N - 1);
}

std::string Scan(const std::string& feed) {
  TTrace trace;
  ScanRss(Utf8ToString(feed), trace);
  return trace.Text;
}

TEST(RssScanner, FollowsThePathRules) {
  struct Case {
    const char* what;
    std::string feed;
    std::string trace;
  } cases[] = {
      {"RSS 2.0, pretty-printed",
       "<?xml version=\"1.0\"?>\n<rss version=\"2.0\">\n <channel>\n  <title>T</title>\n  <link>L</link>\n"
       "  <item>\n   <title>A</title>\n   <link>http://a/</link>\n   <description>da</description>\n  </item>\n"
       "  <item>\n   <title>B</title>\n   <link>http://b/</link>\n   <description>db</description>\n  </item>\n"
       " </channel>\n</rss>\n",
       "C|c.title=T|c.link=L|I|i.title=A|i.link=http://a/|i.description=da|I|i.title=B|i.link=http://b/|"
       "i.description=db"},
      {"RSS 1.0: items beside the channel belong to it",
       "<rdf:RDF xmlns:rdf=\"x\">\n<channel rdf:about=\"u\">\n<title>T</title>\n<items><rdf:Seq><rdf:li "
       "resource=\"a\"/></rdf:Seq></items>\n</channel>\n<item "
       "rdf:about=\"a\">\n<title>A</title>\n<dc:date>D</dc:date>\n"
       "</item>\n<item>\n<title>B</title>\n</item>\n</rdf:RDF>",
       "C|c.title=T|I|i.title=A|i.date=D|I|i.title=B"},
      {"dc fields of an item; pubDate only for the channel",
       "<rss> <channel> <pubDate>P</pubDate> <item> <dc:creator>Ann</dc:creator> <dc:date>2024</dc:date> "
       "<pubDate>ignored</pubDate> <author>a@b</author> </item> </channel> </rss>",
       "C|c.pubDate=P|I|i.creator=Ann|i.date=2024"},
      {"every channel field by its exact name",
       "<rss> <channel> <language>en</language><copyright>c</copyright><rating>r</rating>"
       "<managingEditor>m</managingEditor><webMaster>w</webMaster><lastBuildDate>l</lastBuildDate>"
       "<category>k</category><generator>g</generator><docs>d</docs><ttl>60</ttl><Title>x</Title></channel></rss>",
       "C|c.language=en|c.copyright=c|c.rating=r|c.managingEditor=m|c.webMaster=w|c.lastBuildDate=l|c.category=k|"
       "c.generator=g|c.docs=d|c.ttl=60"},
      {"CDATA is lost", "<rss> <channel> <title><![CDATA[Hello]]></title> </channel></rss>", "C"},
      {"a comment with a blank is skipped",
       "<rss> <channel> <!-- note --> <item> <title>A</title> </item> </channel> </rss>", "C|I|i.title=A"},
      {"a comment without a blank is a start tag: what follows is no item's",
       "<rss> <channel> <!--note--> <item> <title>A</title> </item> </channel> </rss>", "C|I|c.title=A"},
      {"blanks trimmed at both ends only", "<rss> <channel> <title>  A  B </title> </channel></rss>", "C|c.title=A  B"},
      {"a minified feed: channel and items begin at their tags",
       "<rss version=\"2.0\"><channel><title>A</title><item><title>I1</title></item><item><title>I2</title>"
       "</item></channel></rss>",
       "C|c.title=A|I|i.title=I1|I|i.title=I2"},
      {"a line break after <channel> alone keeps the item",
       "<rss><channel>\n<title>T</title><item><title>A</title></item></channel></rss>", "C|c.title=T|I|i.title=A"},
      {"the fields of the channel's image and text input are not the channel's",
       "<rss><channel><title>T</title><image><title>Logo</title><link>http://logo/</link><url>u</url></image>"
       "<textInput><title>Search</title><description>d</description></textInput><textinput><link>s</link>"
       "</textinput><link>L</link><description>D</description></channel></rss>",
       "C|c.title=T|c.link=L|c.description=D"},
      {"an RSS 1.0 image beside the channel is no channel field",
       "<rdf:RDF><channel><title>T</title></channel><image><title>Logo</title></image><item><title>A</title>"
       "</item></rdf:RDF>",
       "C|c.title=T|I|i.title=A"},
      {"entities stay as written", "<rss> <channel> <title>A &amp; B &#233;</title> </channel></rss>",
       "C|c.title=A &amp; B &#233;"},
      {"only the first text after a tag counts",
       "<rss> <channel> <description>a <b>bold</b> tail</description> </channel></rss>", "C|c.description=a"},
      {"\">\" inside a quoted attribute does not end the tag",
       "<rss> <channel> <link rel='a>b' href=\"c>d\">L</link> </channel></rss>", "C|c.link=L"},
      {"an unclosed quote in a tag runs to the end", "<rss> <channel> <title a=\">T</title> <link>L</link>", "C"},
      {"an empty-element tag leaves the path",
       "<rss> <channel> <atom:link href=\"x\"/> <item> <br/> <title>A</title> </item> </channel></rss>",
       "C|I|i.title=A"},
      {"fields before any channel are lost", "<rss> <title>T</title> <item> <title>A</title> </item> </rss>", ""},
      {"text after the last tag is not read", "<rss> <channel> <title>T", "C"},
      {"an end tag past the root keeps the path short", "</x></y></z><rss> <channel> <title>T</title> </channel></rss>",
       "C|c.title=T"},
      {"a zero counts as \"<\" and as \">\"", Bytes("<rss> <channel> <title>T\0<link\0L</link>"),
       "C|c.title=T|c.link=L"},
      {"a second channel takes the items after it",
       "<rss> <channel> <title>A</title> <item> </item> </channel> <channel> <title>B</title> <item> <title>b1"
       "</title> </item> </channel> </rss>",
       "C|c.title=A|I|C|c.title=B|I|i.title=b1"},
  };
  for (const Case& c : cases) EXPECT_EQ(Scan(c.feed), c.trace) << c.what;
}

// Deep nesting, long names and many tags: one pass, no recursion, no copy of
// the path per tag.
TEST(RssScanner, StaysLinearOnDeepNesting) {
  std::string feed = "<rss> <channel> ";
  for (int i = 0; i < 200000; ++i) feed += "<aaaaaaaa>";
  feed += " <title>deep</title>";
  for (int i = 0; i < 200000; ++i) feed += "</aaaaaaaa>";
  feed += " <title>T</title> </channel></rss>";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Scan(feed), "C|c.title=deep|c.title=T");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(RssScanner, DecodesByMarkOrDeclaration) {
  const std::string title =
      "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8 caf\xC3\xA9";  // "Новости café" in UTF-8
  struct Case {
    const char* what;
    std::string bytes;
    std::string text;  // UTF-8
  } cases[] = {
      {"no declaration: UTF-8", "<t>" + title + "</t>", "<t>" + title + "</t>"},
      {"UTF-8 mark dropped", "\xEF\xBB\xBF<t>" + title + "</t>", "<t>" + title + "</t>"},
      {"UTF-16LE mark", Bytes("\xFF\xFE<\0t\0>\0\x1D\x04\xE9\0"), "<t>\xD0\x9D\xC3\xA9"},
      {"UTF-16BE mark", Bytes("\xFE\xFF\0<\0t\0>\x04\x1D\0\xE9"), "<t>\xD0\x9D\xC3\xA9"},
      {"UTF-16LE: a lone surrogate is one U+FFFD, a pair one character",
       Bytes("\xFF\xFE"
             "a\0\x00\xDC"
             "b\0\x3D\xD8\x00\xDE\x3D\xD8"
             "c\0\xE9"),
       "a\xEF\xBF\xBD"
       "b\xF0\x9F\x98\x80\xEF\xBF\xBD"
       "c\xEF\xBF\xBD"},
      {"UTF-16BE: a high surrogate before a plain unit", Bytes("\xFE\xFF\xD8\x00\0a\0b"),
       "\xEF\xBF\xBD"
       "ab"},
      {"UTF-32LE: a bad unit is one U+FFFD, the next reads on",
       Bytes("\xFF\xFE\0\0a\0\0\0\0\0\x11\0\x00\xD8\0\0\x00\xF6\x01\0b\0\0\0"),
       "a\xEF\xBF\xBD\xEF\xBF\xBD\xF0\x9F\x98\x80"
       "b"},
      {"UTF-32BE", Bytes("\0\0\xFE\xFF\0\0\0a\0\x01\xF6\x00\xFF\xFF\xFF\xFF\0\0\0b"),
       "a\xF0\x9F\x98\x80\xEF\xBF\xBD"
       "b"},
      {"declared windows-1251", "<?xml version=\"1.0\" encoding=\"windows-1251\"?><t>\xCD\xEE\xE2\xEE\xF1\xF2\xE8</t>",
       "<?xml version=\"1.0\" "
       "encoding=\"windows-1251\"?><t>\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8</t>"},
      {"declared ISO-8859-1, single quotes", "<?xml version='1.0' encoding = 'ISO-8859-1'?><t>caf\xE9</t>",
       "<?xml version='1.0' encoding = 'ISO-8859-1'?><t>caf\xC3\xA9</t>"},
      {"declared KOI8-R", "<?xml version=\"1.0\" encoding=\"KOI8-R\"?>\xEE",
       "<?xml version=\"1.0\" encoding=\"KOI8-R\"?>\xD0\x9D"},
      {"declared UTF-8", "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + title,
       "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + title},
      {"an unknown set: UTF-8", "<?xml encoding=\"x-none\"?>" + title, "<?xml encoding=\"x-none\"?>" + title},
      {"a name that is no set name: UTF-8", "<?xml encoding=\"UTF-8//IGNORE\"?>\xC3\xA9",
       "<?xml encoding=\"UTF-8//IGNORE\"?>\xC3\xA9"},
      {"UTF-16 declared in single bytes: UTF-8", "<?xml encoding=\"UTF-16\"?>\xC3\xA9",
       "<?xml encoding=\"UTF-16\"?>\xC3\xA9"},
      {"a declaration later in the file is not one", "<rss><?xml encoding=\"windows-1251\"?>\xC3\xA9",
       "<rss><?xml encoding=\"windows-1251\"?>\xC3\xA9"},
      {"invalid UTF-8 keeps its place",
       "a\xFF"
       "b",
       "a\xEF\xBF\xBD"
       "b"},
  };
  for (const Case& c : cases) EXPECT_EQ(StringToUtf8(DecodeRssText(c.bytes)), c.text) << c.what;
}

}  // namespace
}  // namespace kwinet
