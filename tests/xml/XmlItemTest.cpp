// The node tree: value decoding, attribute splitting, dates, searches and
// ownership.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "kwinet/xml/KwInetXML.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

TEST(XmlItem, TagValueDecodesEntitiesAndStripsQuotes) {
  struct Case {
    const char16_t* value;
    const char16_t* xmlValue;  // GetTagXMLValue
    const char16_t* tagValue;  // GetTagValue
  };
  const Case cases[] = {
      {u"a &lt; b", u"a &lt; b", u"a < b"},
      {u"&ltx", u"&ltx", u"<x"},  // no ";" needed, and a longer word matches too
      {u"x&nbsp;y", u"x&nbsp;y", u"xy"},
      {u"&#8364;", u"&#8364;", u"&#8364;"},  // unknown references stay
      {u"&amp;quot;", u"&amp;quot;", u"\""},
      {u"&amp;amp;amp;lt;", u"&amp;amp;amp;lt;", u"<"},  // decoded again and again
      {u"&&copy;opy;", u"&&copy;opy;", u"c"},            // a replacement can complete an earlier match
      {u"&nb&nbsp;sp;!", u"&nb&nbsp;sp;!", u"!"},
      {u"20&deg;C &#176; &plusmn;1 &para;&brvbar;", nullptr, u"20\u00B0C \u00B0 +1 \u00B6|"},
      {u"&copy;&trade;&apos;&#39;&#039;&#34;&#034;", nullptr, u"cT'''\"\""},
      {u"1&car;2&ret;3&#009;&#x9;&#010;&#xa;&#013;&#xd;", nullptr, u"1\n2\r3\t\t\n\n\r\r"},
      {u"\"abc\"\r\n", u"abc", u"abc"},
      {u"abc\"", u"abc\"", u"abc\""},
      {u"\"1.0\" ", u"1.0", u"1.0"},
      {u"\"", u"", u""},
      {u"\"&lt;\" ", u"&lt;", u"<"},
  };
  for (const Case& c : cases) {
    TKwXMLItem item(nullptr);
    item.SetValue(String(c.value));
    if (c.xmlValue) {
      EXPECT_EQ(item.GetTagXMLValue(), c.xmlValue) << StringToUtf8(c.value);
    }
    EXPECT_EQ(item.GetTagValue(), c.tagValue) << StringToUtf8(c.value);
  }
  TKwXMLItem empty(nullptr);
  EXPECT_EQ(empty.GetTagValue(), u"");
}

TEST(XmlItem, TextsOfEveryLengthAndRangeReadBackUnchanged) {
  // Nodes keep short texts in place and longer ones in blocks, one byte a
  // character when the text allows: every form must give the text back.
  const String kilo(1500, u'k');
  const String cases[] = {u"",
                          u"a",
                          String(u"a\0b", 3),
                          u"abcdefg",
                          u"abcdefgh",
                          u"\u00FF\u00E9",
                          u"\u0410",
                          u"ab\u0410cdefgh",
                          kilo,
                          kilo + u"\u20AC"};
  for (const String& text : cases) {
    TKwXMLItem item(nullptr);
    item.SetTagName(text);
    item.SetValue(text);
    EXPECT_EQ(item.TagName(), text) << text.size();
    EXPECT_EQ(item.Value().ToString(), text) << text.size();
    item.SetValue(String(u"x"));  // a block gives way to a short text
    EXPECT_EQ(item.Value().ToString(), u"x");
  }
}

TEST(XmlItem, EntityDecodingOfLongValues) {
  String value;
  for (int i = 0; i < 100000; ++i) value += u"&amp;lt;x";
  String expected;
  for (int i = 0; i < 100000; ++i) expected += u"<x";
  EXPECT_EQ(DecodeXMLEntities(value), expected);
}

TEST(XmlItem, ProcessAttributesSplitsRawText) {
  struct Case {
    const char16_t* raw;
    std::vector<std::pair<String, String>> nodes;  // name and stored value
  };
  const Case cases[] = {
      {u" version=\"1.0\" encoding=\"utf-8\"", {{u"version", u"\"1.0\" "}, {u"encoding", u"\"utf-8\""}}},
      {u" a = \"1\"", {}},
      {u" a='x y'", {{u"a", u"'x "}}},  // single quotes mean nothing
      {u" a=\"x y\"\tb=c", {{u"a", u"\"x y\"\t"}, {u"b", u"c"}}},
      {u" a=\"x=y\" ?", {{u"a", u"\"x=y\" "}}},
      {u" a=\"open", {}},  // the quote never closes
      {u" encoding=\"utf-8\"?", {{u"encoding", u"\"utf-8\"?"}}},
  };
  for (const Case& c : cases) {
    // Attributes are only set by the parser; reach them through it.
    TKwXMLEngine engine(nullptr);
    engine.ParseXMLFromString(u"<x" + String(c.raw) + u">");
    TKwXMLItem* root = engine.RootItem();
    ASSERT_EQ(root->Attributes(), c.raw);
    root->Items()->AddItem(root)->SetTagName(u"child");
    root->ProcessAttributes();
    EXPECT_EQ(root->Attributes(), u"");
    ASSERT_EQ(root->Items()->Count(), static_cast<int>(c.nodes.size()) + 1) << StringToUtf8(c.raw);
    EXPECT_EQ((*root->Items())[0]->TagName(), u"child");  // attributes come after existing children
    for (std::size_t i = 0; i < c.nodes.size(); ++i) {
      TKwXMLItem* a = (*root->Items())[static_cast<int>(i) + 1];
      EXPECT_EQ(a->Kind(), ikAttribute);
      EXPECT_EQ(a->TagName(), c.nodes[i].first);
      EXPECT_EQ(a->Value().ToString(), c.nodes[i].second);
      EXPECT_EQ(a->Level(), 1);
      EXPECT_EQ(a->ParentItem(), root);
    }
  }
  TKwXMLEngine engine(nullptr);
  engine.ParseXMLFromString(u"<x a=\"1.0\" b=\"&lt;\">");
  engine.RootItem()->ProcessAttributes();
  EXPECT_EQ(engine.GetItemByTag(nullptr, u"a")->GetTagValue(), u"1.0");
  EXPECT_EQ(engine.GetItemByTag(nullptr, u"b")->GetTagValue(), u"<");
}

TEST(XmlItem, DatesFromFixedPositions) {
  EXPECT_EQ(XMLStringToDateTime(u"2013-05-07T14:03:09-05:00"), EncodeDate(2013, 5, 7) + EncodeTime(14, 3, 9, 0));
  EXPECT_EQ(XMLStringToDateTime(u"2013-05-07 14:03:09.250"), EncodeDate(2013, 5, 7) + EncodeTime(14, 3, 9, 0));
  EXPECT_EQ(XMLStringToDateTime(u"1999x12x31x23x59x59"), EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 59, 0));
  for (const char16_t* bad : {u"", u"20130507", u"2013-02-30T00:00:00", u"2013-05-07T24:00:00", u"2013-05-07T14:03",
                              u"2013-05-07T14:03: 9", u"abcd-05-07T14:03:09"})
    EXPECT_EQ(XMLStringToDateTime(bad), 0) << StringToUtf8(bad);
}

TEST(XmlItem, GetChildSearchesTwoLevelsUnlessAskedForAll) {
  TKwXMLItem root(nullptr);
  root.SetTagName(u"root");
  TKwXMLItem* a = root.Items()->AddItem(&root);
  a->SetTagName(u"a");
  TKwXMLItem* b = a->Items()->AddItem(a);
  b->SetTagName(u"b");
  TKwXMLItem* c = b->Items()->AddItem(b);
  c->SetTagName(u"Code");
  TKwXMLItem* b2 = root.Items()->AddItem(&root);
  b2->SetTagName(u"b");

  EXPECT_EQ(root.GetChild(u"root", false), &root);
  EXPECT_EQ(root.GetChild(u"b", false), b);  // pre-order: the nested one first
  EXPECT_EQ(root.GetChild(u"Code", false), nullptr);
  EXPECT_EQ(root.GetChild(u"Code", true), c);
  EXPECT_EQ(a->GetChild(u"Code", false), c);  // two levels below a
  EXPECT_EQ(root.GetChild(u"code", true), nullptr);
  EXPECT_TRUE(SameStrings(false, u"Code", u"code"));
  EXPECT_FALSE(SameStrings(true, u"Code", u"code"));
  EXPECT_EQ(c->Level(), 3);
  EXPECT_EQ(c->ParentItem(), b);
}

TEST(XmlItem, FreeingNodesKeepsListsRight) {
  auto root = std::make_unique<TKwXMLItem>(nullptr);
  root->SetTagName(u"r");
  root->SetValue(String(u"v"));
  std::vector<TKwXMLItem*> kids;
  for (int i = 0; i < 5; ++i) kids.push_back(root->Items()->AddItem(root.get()));
  kids[1]->Items()->AddItem(kids[1])->Items()->AddItem(nullptr);

  delete kids[2];
  ASSERT_EQ(root->Items()->Count(), 4);
  EXPECT_EQ(root->Items()->IndexOf(kids[3]), 2);
  EXPECT_EQ(root->ComponentCount(), 4);

  // A node made directly with a node as owner is not in its list, but goes
  // with it; so does any other component given to a node.
  new TKwXMLItem(kids[0]);
  EXPECT_EQ(kids[0]->Items()->Count(), 0);
  kids[3]->Items()->AddItem(kids[3]);
  new TComponent(kids[3]);
  kids[3]->Items()->AddItem(kids[3]);
  EXPECT_EQ(kids[3]->Items()->Count(), 2);
  EXPECT_EQ(kids[3]->ComponentCount(), 3);
  // A node given to another owner stays in its parent's list.
  TKwXMLItem* moved = kids[4]->Items()->AddItem(kids[4]);
  kids[1]->InsertComponent(moved);
  EXPECT_EQ(kids[4]->Items()->IndexOf(moved), 0);
  EXPECT_EQ(kids[4]->ComponentCount(), 0);
  EXPECT_EQ(moved->Owner(), kids[1]);
  delete kids[4];
  EXPECT_EQ(kids[1]->ComponentCount(), 1);
  EXPECT_EQ(root->Items()->Count(), 3);

  root->Items()->Clear();
  EXPECT_EQ(root->Items()->Count(), 0);
  EXPECT_EQ(root->ComponentCount(), 0);
  EXPECT_EQ(root->TagName(), u"r");
  EXPECT_EQ(root->Value().ToString(), u"v");
  EXPECT_THROW(root->Items()->Items(0), EListError);

  // A list that holds nodes of another parent frees them too.
  TKwXMLItems foreign;
  TKwXMLItem* stray = foreign.AddItem(root.get());
  stray->Items()->AddItem(stray);
  EXPECT_EQ(root->Items()->Count(), 0);
  foreign.Clear();
  EXPECT_EQ(foreign.Count(), 0);
  EXPECT_EQ(root->ComponentCount(), 0);
}

TEST(XmlItem, FreedTreesGiveTheirMemoryBack) {
  // Nodes share larger blocks; a block must go once its last node has gone,
  // also when the nodes were made on another thread.
  auto inUse = test::HeapInUse;
  auto grow = [](TKwXMLItem* root, int count) {
    for (int i = 0; i < count; ++i) root->Items()->AddItem(root)->SetTagName(u"a-longer-tag-name");
  };
  const long long before = inUse();
  std::unique_ptr<TKwXMLItem> other;
  std::thread([&] {
    other = std::make_unique<TKwXMLItem>(nullptr);
    grow(other.get(), 100000);
  }).join();
  auto root = std::make_unique<TKwXMLItem>(nullptr);
  grow(root.get(), 50000);
  // Made among the tree's nodes, it outlives them: it keeps at most the
  // group of slabs its own block came from (a megabyte), which is also the
  // one the thread goes on filling.
  auto* survivor = new TKwXMLItem(nullptr);
  survivor->Items()->AddItem(survivor);
  grow(root.get(), 50000);
  const long long built = inUse();
  root.reset();
  other.reset();
  EXPECT_GT(built - before, 10 * 1024 * 1024);
  EXPECT_EQ(survivor->Items()->Count(), 1);
  const long long kGroup = 1024 * 1024, kSlack = 256 * 1024;
  EXPECT_LT(inUse() - before, kGroup + kSlack);
  delete survivor;
  EXPECT_LT(inUse() - before, kGroup + kSlack);
}

TEST(XmlItem, PathNames) {
  struct Case {
    const char16_t* path;
    const char16_t* first;
    const char16_t* afterFirst;
    const char16_t* last;
    const char16_t* afterLast;
  };
  const Case cases[] = {
      {u"a/b/c", u"a", u"b/c", u"c", u"a/b"},
      {u"abc", u"abc", u"", u"abc", u""},
      {u"/x/", u"", u"x/", u"", u"/x"},
      {u"", u"", u"", u"", u""},
  };
  for (const Case& c : cases) {
    String p1 = c.path, p2 = c.path;
    EXPECT_EQ(TKwXMLEngine::GetFirstTagName(p1), c.first);
    EXPECT_EQ(p1, c.afterFirst);
    EXPECT_EQ(TKwXMLEngine::GetLastTagName(p2), c.last);
    EXPECT_EQ(p2, c.afterLast);
  }
}

}  // namespace
}  // namespace kwinet
