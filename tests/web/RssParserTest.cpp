// The RSS parser against feeds served by nginx: RSS 2.0, RSS 1.0 (RDF),
// feeds in UTF-8 and in declared single-byte encodings; its private local
// copy; and the copying of channels with their items.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "kwinet/utils/PrivateTemp.h"
#include "kwinet/web/KwIRSS.h"
#include "peers/NginxSuite.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

using test::WriteFileBytes;

const std::string kRss2 =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
    "  <channel>\n"
    "    <title>T</title>\n"
    "    <link>L</link>\n"
    "    <description>News &amp; notes</description>\n"
    "    <pubDate>Mon, 02 Dec 2024 10:00:00 GMT</pubDate>\n"
    "    <item>\n"
    "      <title>First</title>\n"
    "      <link>http://example.test/1</link>\n"
    "      <description>One</description>\n"
    "      <dc:creator>Ann</dc:creator>\n"
    "      <pubDate>not kept</pubDate>\n"
    "    </item>\n"
    "    <item>\n"
    "      <title>Second</title>\n"
    "      <link>http://example.test/2</link>\n"
    "      <description><![CDATA[lost]]></description>\n"
    "    </item>\n"
    "  </channel>\n"
    "</rss>\n";

const std::string kRdf =
    "<?xml version=\"1.0\"?>\n"
    "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns=\"http://purl.org/rss/1.0/\">\n"
    "  <channel rdf:about=\"http://example.test/\">\n"
    "    <title>R</title>\n"
    "    <link>http://example.test/</link>\n"
    "    <items>\n"
    "      <rdf:Seq><rdf:li resource=\"http://example.test/a\"/></rdf:Seq>\n"
    "    </items>\n"
    "  </channel>\n"
    "  <item rdf:about=\"http://example.test/a\">\n"
    "    <title>A</title>\n"
    "    <link>http://example.test/a</link>\n"
    "    <dc:date>2024-12-02</dc:date>\n"
    "  </item>\n"
    "  <item rdf:about=\"http://example.test/b\">\n"
    "    <title>B</title>\n"
    "  </item>\n"
    "</rdf:RDF>\n";

std::string Feed(const std::string& declaration, const std::string& channelTitle, const std::string& itemTitle) {
  return declaration + "<rss>\n<channel>\n<title>" + channelTitle + "</title>\n<item>\n<title>" + itemTitle +
         "</title>\n</item>\n</channel>\n</rss>\n";
}

std::vector<std::string> ItemTitles(const TKwIRSSChannel& channel) {
  std::vector<std::string> titles;
  for (int i = 0; i < channel.Items->Count(); ++i) titles.push_back(StringToUtf8(channel.Items->GetItem(i)->Title));
  return titles;
}

class RssParserTest : public test::TNginxSuite {
 protected:
  void Serve(const std::string& path, const std::string& bytes) { WriteFileBytes(server->Root() + path, bytes); }

  std::unique_ptr<TKwIRSSParser> Parser(const std::string& path) {
    auto p = std::make_unique<TKwIRSSParser>(nullptr);
    p->SetHost(u"127.0.0.1");
    p->SetPort(static_cast<std::uint16_t>(server->Port()));
    p->SetTimeout(10000);
    p->SetRemoteFileName(Utf8ToString(path));
    return p;
  }
};

TEST_F(RssParserTest, ReadsRss2AndRdfFeeds) {
  Serve("/news.xml", kRss2);
  Serve("/news.rdf", kRdf);
  auto p = Parser("/news.xml");
  ASSERT_TRUE(p->Execute()) << StringToUtf8(p->ErrorText());
  EXPECT_EQ(p->Status(), isFinished);
  ASSERT_EQ(p->Channels()->Count(), 1);
  const TKwIRSSChannel& c = *p->Channels()->GetItem(0);
  EXPECT_EQ(c.Title, u"T");
  EXPECT_EQ(c.Link, u"L");
  EXPECT_EQ(c.Description, u"News &amp; notes");
  EXPECT_EQ(c.PubDate, u"Mon, 02 Dec 2024 10:00:00 GMT");
  ASSERT_EQ(c.Items->Count(), 2);
  const TKwIRSSItem& first = *c.Items->GetItem(0);
  EXPECT_EQ(first.Title, u"First");
  EXPECT_EQ(first.Link, u"http://example.test/1");
  EXPECT_EQ(first.Description, u"One");
  EXPECT_EQ(first.Creator, u"Ann");
  EXPECT_EQ(first.Date, u"");
  EXPECT_EQ(c.Items->GetItem(1)->Title, u"Second");
  EXPECT_EQ(c.Items->GetItem(1)->Description, u"");
  EXPECT_EQ(c.Items->GetItem(2), nullptr);
  EXPECT_EQ(p->Channels()->GetItem(-1), nullptr);

  // The same component for another feed: the old channels go.
  p->SetRemoteFileName(u"/news.rdf");
  ASSERT_TRUE(p->Execute());
  ASSERT_EQ(p->Channels()->Count(), 1);
  const TKwIRSSChannel& r = *p->Channels()->GetItem(0);
  EXPECT_EQ(r.Title, u"R");
  EXPECT_EQ(ItemTitles(r), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(r.Items->GetItem(0)->Date, u"2024-12-02");
}

TEST_F(RssParserTest, DecodesTheFeedsEncoding) {
  // "Новости" and "Café crème — ☕ 😀" in UTF-8.
  const std::string news = "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8";
  const std::string cafe = "Caf\xC3\xA9 cr\xC3\xA8me \xE2\x80\x94 \xE2\x98\x95 \xF0\x9F\x98\x80";
  struct Case {
    const char* path;
    std::string bytes;
    std::string channelTitle, itemTitle;  // UTF-8
  } cases[] = {
      {"/utf8.xml", Feed("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", news, cafe), news, cafe},
      {"/plain.xml", Feed("", news, cafe), news, cafe},
      {"/bom.xml", "\xEF\xBB\xBF" + Feed("", news, cafe), news, cafe},
      {"/cp1251.xml",
       Feed("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n", "\xCD\xEE\xE2\xEE\xF1\xF2\xE8", "\xB9 1"), news,
       "\xE2\x84\x96 1"},
      {"/latin1.xml", Feed("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n", "Caf\xE9", "cr\xE8me"), "Caf\xC3\xA9",
       "cr\xC3\xA8me"},
  };
  for (const Case& c : cases) {
    Serve(c.path, c.bytes);
    auto p = Parser(c.path);
    ASSERT_TRUE(p->Execute()) << c.path << " " << StringToUtf8(p->ErrorText());
    ASSERT_EQ(p->Channels()->Count(), 1) << c.path;
    const TKwIRSSChannel& channel = *p->Channels()->GetItem(0);
    EXPECT_EQ(StringToUtf8(channel.Title), c.channelTitle) << c.path;
    EXPECT_EQ(ItemTitles(channel), std::vector<std::string>{c.itemTitle}) << c.path;
  }
}

// The local copy lives in the private folder under a name of this component
// (with the remote extension) only while Execute runs; a failed download
// keeps the last channels.
TEST_F(RssParserTest, KeepsItsCopyPrivateAndBrief) {
  Serve("/feed.rss", kRss2);
  auto p = Parser("/feed.rss");
  auto other = Parser("/feed.rss");
  std::vector<std::string> seen;
  p->OnAfterExecute = [&](TObject*) {
    seen.push_back(StringToUtf8(p->LocalFileName()));
    EXPECT_TRUE(std::filesystem::exists(seen.back())) << seen.back();
  };
  ASSERT_TRUE(p->Execute());
  p->OnAfterExecute = nullptr;
  ASSERT_TRUE(other->Execute());
  ASSERT_EQ(seen.size(), 1u);
  const std::filesystem::path local = seen[0];
  EXPECT_EQ(local.parent_path(), std::filesystem::path(StringToUtf8(PrivateTempFolder())));
  EXPECT_EQ(local.extension(), ".rss");
  EXPECT_NE(p->LocalFileName(), other->LocalFileName());
  EXPECT_FALSE(std::filesystem::exists(local));
  ASSERT_EQ(p->Channels()->Count(), 1);

  p->SetRemoteFileName(u"/gone.xml");
  EXPECT_TRUE(p->Execute());
  EXPECT_EQ(p->Status(), isNotFound);
  ASSERT_EQ(p->Channels()->Count(), 1);
  EXPECT_EQ(p->Channels()->GetItem(0)->Title, u"T");
  EXPECT_EQ(std::filesystem::path(StringToUtf8(p->LocalFileName())).extension(), ".xml");

  // A feed that is a local file.
  const std::string file = server->Root() + "/feed.rss";
  TKwIRSSParser local2(nullptr);
  local2.SetService(isNetwork);
  local2.SetRemoteFileName(Utf8ToString(file));
  ASSERT_TRUE(local2.Execute());
  EXPECT_EQ(local2.Channels()->Count(), 1);
  EXPECT_TRUE(std::filesystem::exists(file));
}

TEST(RssModel, AssignCopiesChannelsWithTheirItems) {
  TKwIRSSChannels channels;
  ParseRSSBytes(kRss2, channels);
  ASSERT_EQ(channels.Count(), 1);
  TKwIRSSChannel* source = channels.GetItem(0);
  TKwIRSSChannel copy;
  copy.Items->Add(new TKwIRSSItem());  // replaced, not kept
  copy.Assign(source);
  EXPECT_EQ(copy.Title, source->Title);
  EXPECT_EQ(copy.PubDate, source->PubDate);
  ASSERT_EQ(copy.Items->Count(), source->Items->Count());
  for (int i = 0; i < copy.Items->Count(); ++i) {
    const TKwIRSSItem* a = copy.Items->GetItem(i);
    const TKwIRSSItem* b = source->Items->GetItem(i);
    EXPECT_NE(a, b);
    EXPECT_EQ(std::vector<String>({a->Title, a->Link, a->Description, a->Creator, a->Date}),
              std::vector<String>({b->Title, b->Link, b->Description, b->Creator, b->Date}));
  }
  // Another kind of source changes nothing; neither does an index outside.
  copy.Assign(copy.Items);
  copy.Items->AssignItems(source);
  copy.Items->DeleteItem(5);
  EXPECT_EQ(copy.Items->Count(), 2);
  copy.Items->DeleteItem(0);
  EXPECT_EQ(ItemTitles(copy), std::vector<std::string>{"Second"});
  EXPECT_EQ(copy.Title, u"T");
}

}  // namespace
}  // namespace kwinet
