// The parser: the tree it builds from odd and ordinary documents, its events,
// the encodings of streams, and documents of great depth.
#include <gtest/gtest.h>

#include <memory>

#include "kwinet/xml/KwInetXML.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

using namespace std::string_view_literals;

// A one-line picture of a subtree: tag, kind mark (# comment, @ attribute),
// ="value" when assigned, [raw attributes] when any, {children}.
String Dump(const TKwXMLItem* n) {
  String s = n->Kind() == ikComment ? u"#" : n->Kind() == ikAttribute ? u"@" : u"";
  s += n->TagName();
  if (!n->Value().IsEmpty()) s += u"=\"" + n->Value().ToString() + u"\"";
  if (!n->Attributes().empty()) s += u"[" + n->Attributes() + u"]";
  if (n->Items()->Count() > 0) {
    s += u"{";
    for (int i = 0; i < n->Items()->Count(); ++i) s += (i ? u"," : u"") + Dump((*n->Items())[i]);
    s += u"}";
  }
  return s;
}

// Parses Xml with handlers that record the events, reject the tag named
// Reject and cancel after the tag named Cancel.
struct Parsed {
  String tree;
  String tags;       // names seen by OnTag
  String afterTags;  // names seen by OnAfterTag
};

void LoadBytes(TKwXMLEngine& engine, const std::string& bytes) {
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  stream.SetPosition(0);
  engine.LoadFromStream(0, &stream);
}

// From a string, or (fromBytes) from a stream of the same text as bytes.
Parsed Parse(const String& xml, const String& reject = u"", const String& cancel = u"", bool fromBytes = false) {
  TKwXMLEngine engine(nullptr);
  Parsed p;
  engine.SetOnTag(
      [&](TObject* sender, TKwXMLItem* parent, const String& name, const String&, const String&, bool& accept) {
        EXPECT_EQ(sender, &engine);
        EXPECT_NE(parent, nullptr);
        p.tags += name + u";";
        if (name == reject) accept = false;
      });
  engine.SetOnAfterTag([&](TObject*, TKwXMLItem*& node, bool& stop) {
    p.afterTags += node->TagName() + u";";
    if (node->TagName() == cancel) stop = true;
    node = nullptr;  // ignored
  });
  if (fromBytes)
    LoadBytes(engine, StringToBytes(xml));
  else
    engine.ParseXMLFromString(xml);
  p.tree = Dump(engine.RootItem());
  return p;
}

TEST(XmlEngine, TreesOfOddAndOrdinaryDocuments) {
  struct Case {
    std::u16string_view xml;
    const char16_t* tree;
    const char16_t* tags;
    const char16_t* afterTags;
    const char16_t* reject = u"";
    const char16_t* cancel = u"";
  };
  const Case cases[] = {
      {u"<a>text</a>", u"a=\"text\"", u"", u"a;"},
      {u"<a><b>x</b><c/></a>", u"a{b=\"x\",c}", u"b;c;", u"b;c;a;"},
      {u"junk <a>\n  <b>y</b>z\n</a>", u"a=\"\n  \"{b=\"y\"}", u"b;", u"b;a;"},  // mixed content is lost
      {u"<a>1</a><b>2</b>", u"b=\"12\"", u"", u"a;b;"},                          // the root is reused
      {u"<a><!-- note --><b>1</b></a>", u"a{#Comment=\"Comment note --\",b=\"1\"}", u"Comment;b;", u"b;a;"},
      {u"<a><!-- x", u"a{#Comment=\"Comment\"}", u"Comment;", u""},
      {u"<!-- c --> <a>1</a>", u"a=\"Comment c --1\"", u"", u"a;"},
      {u"<a/>", u"a", u"", u""},  // a final "/>" closes nothing
      {u"<a k=\"1/2\" j='3'>v</a>", u"a=\"v\"[ k=\"1/2\" j='3']", u"", u"a;"},
      {u"<a x=\"1\"><b/></a>", u"a[ x=\"1\"]{b}", u"b;", u"b;a;"},
      // Attribute texts longer than one scanning step: quotes count across
      // steps, a "/" inside them does not end the text, ">" always does.
      {u"<a x=\"0123456789abcdef\" k=\"1/2\" j=\"z\">v</a>", u"a=\"v\"[ x=\"0123456789abcdef\" k=\"1/2\" j=\"z\"]", u"",
       u"a;"},
      {u"<a x=\"0123456789\" y=\"abcdefghij/klm\"/>", u"a[ x=\"0123456789\" y=\"abcdefghij/klm\"]", u"", u""},
      {u"<a x=\"0123456789abcdefghij>v</a>", u"a=\"v\"[ x=\"0123456789abcdefghij]", u"", u"a;"},
      {u"<?xml version=\"1.0\"?>\n<r><i>1</i></r>", u"?xml=\"\n\"{@version=\"\"1.0\"?\",r{i=\"1\"}}", u"r;i;", u"i;r;"},
      {u"<!DOCTYPE r><r>1</r><s/>", u"!DOCTYPE[ r]{r=\"1\",s}", u"r;s;", u"r;"},
      {u"<a><![CDATA[x]]></a>", u"a{![[CDATA[x]]]}", u"!;", u"!;"},  // "</a>" closes "!"
      {u"<a><b.c>1</b.c></a>", u"a{b=\"1\"[.c]}", u"b;", u"b;a;"},
      {u"<a><b>1</x>2<c/></y>3</a>", u"a{b=\"1\",c}", u"b;c;", u"b;c;a;"},  // end-tag names are not read
      {u"<a></a></>x</>", u"a", u"", u"a;"},                                // stray "/>" after the root
      {u"<a>x\0<b/></a>"sv, u"a=\"x\"", u"", u""},                          // NUL ends the text
      {u"<a><b><c/></b><d/></a>", u"a{d}", u"b;d;", u"d;a;", u"b"},
      {u"<a><b/><d/></a>", u"a{d}", u"b;d;", u"d;a;", u"b"},
      {u"<a><!-- n --><d/></a>", u"a{d}", u"Comment;d;", u"d;a;", u"Comment"},
      // A rejected start tag without ">" is skipped from its name, not from
      // an earlier tag (which looped for ever).
      {u"<a><z>x></y<b/<c>", u"a{z=\"x>\"}", u"z;b;", u"z;", u"b"},
      {u"<a><b/><c/></a>", u"a{b}", u"b;", u"b;", u"", u"b"},
      // Texts longer than one scanning step, with a "/" that no ">" follows.
      {u"<a>0123456789abcdefghij/klmnopqrstuvwxyz<b>0123456789abcdefghijklmnopqrst/></a>",
       u"a=\"0123456789abcdefghij/klmnopqrstuvwxyz\"{b=\"0123456789abcdefghijklmnopqrst\"}", u"b;", u"b;a;"},
      {u"", u"", u"", u""},
      {u"<", u"", u"", u""},
  };
  for (const Case& c : cases) {
    const String xml(c.xml);
    for (bool fromBytes : {false, true}) {
      Parsed p = Parse(xml, c.reject, c.cancel, fromBytes);
      EXPECT_EQ(StringToUtf8(p.tree), StringToUtf8(c.tree)) << StringToUtf8(xml) << fromBytes;
      EXPECT_EQ(StringToUtf8(p.tags), StringToUtf8(c.tags)) << StringToUtf8(xml) << fromBytes;
      EXPECT_EQ(StringToUtf8(p.afterTags), StringToUtf8(c.afterTags)) << StringToUtf8(xml) << fromBytes;
    }
  }
}

TEST(XmlEngine, ReusedRootGathersItsValueInEveryForm) {
  // The root's value grows piece by piece: from a short text to a long
  // one, and from bytes to wider characters.
  String xml = u"<a>abc</a><a>defg</a><a>h</a>", expected = u"abcdefgh";
  for (int i = 0; i < 300; ++i) {
    xml += u"<a>0123456789</a>";
    expected += u"0123456789";
  }
  for (bool fromBytes : {false, true})
    EXPECT_EQ(Parse(xml, u"", u"", fromBytes).tree, u"a=\"" + expected + u"\"") << fromBytes;
  EXPECT_EQ(Parse(xml + u"<a>\u0410</a><a>z</a>").tree, u"a=\"" + expected + u"\u0410z\"");
}

TEST(XmlEngine, OnTagSeesTheParentAndTheRawParts) {
  TKwXMLEngine engine(nullptr);
  std::vector<std::vector<String>> seen;
  engine.SetOnTag(
      [&](TObject*, TKwXMLItem* parent, const String& name, const String& value, const String& attrs, bool&) {
        seen.push_back({parent->TagName(), name, value, attrs});
      });
  engine.ParseXMLFromString(u"<a><b k=\"v\">t<c/></b></a>");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], (std::vector<String>{u"a", u"b", u"t", u" k=\"v\""}));
  EXPECT_EQ(seen[1], (std::vector<String>{u"b", u"c", u"", u""}));
  // Only the count of characters given is read.
  TKwXMLEngine part(nullptr);
  part.ParseXMLFromString(u"<a>12345</a>", 5);
  EXPECT_EQ(Dump(part.RootItem()), u"a=\"12\"");
}

TEST(XmlEngine, DeclaredEncodingRedecodesTextsAfterTheDeclaration) {
  struct Case {
    std::string bytes;
    const char16_t* value;  // of <r>
  };
  const Case cases[] = {
      // Cyrillic А, б in code page 1251; the declaration itself is not converted.
      {"<?xml version=\"1.0\" encoding=\"windows-1251\" ?><r a=\"\xC0\">\xC0\xE1</r>", u"\u0410\u0431"},
      {"<?xml version=\"1.0\" encoding=\"WINDOWS-1252\" ?><r>\x80</r>", u"\u20AC"},
      {"<?xml version=\"1.0\" encoding=\"windows-x\" ?><r>\xC0</r>", u"\u00C0"},      // the ANSI page
      {"<?xml version=\"1.0\" encoding=\"windows-99999\" ?><r>\xC0</r>", u"\u00C0"},  // unknown: unchanged
      {"<?xml version=\"1.0\" encoding=\"UTF-8\" ?><r>\xC3\xA9</r>", u"\u00E9"},
      {"<?xml version=\"1.0\" encoding=\"utf-8\"?><r>\xC3\xA9</r>", u"\u00C3\u00A9"},  // value read as utf-8"?
      {"<r>\xC3\xA9</r>", u"\u00C3\u00A9"},
  };
  for (const Case& c : cases) {
    TKwXMLEngine engine(nullptr);
    engine.ParseXMLFromString(BytesToString(c.bytes));
    TKwXMLItem* r = engine.GetItemByTag(nullptr, u"r");
    ASSERT_NE(r, nullptr) << c.bytes;
    EXPECT_EQ(r->Value().ToString(), c.value) << c.bytes;
    TKwXMLEngine loaded(nullptr);
    LoadBytes(loaded, c.bytes);
    EXPECT_EQ(Dump(loaded.RootItem()), Dump(engine.RootItem())) << c.bytes;
  }
  TKwXMLEngine engine(nullptr);
  engine.ParseXMLFromString(BytesToString(cases[0].bytes));
  TKwXMLItem* root = engine.RootItem();
  EXPECT_EQ(root->TagName(), u"?xml");
  EXPECT_EQ(engine.GetItemByTag(nullptr, u"ENCODING")->GetTagValue(), u"windows-1251");
  EXPECT_EQ(root->Items()->Count(), 3);
  EXPECT_EQ(engine.GetItemByTag(nullptr, u"r")->Attributes(), u" a=\"\u0410\"");
  // A text that already holds characters beyond bytes is left as it is.
  TKwXMLEngine wide(nullptr);
  wide.ParseXMLFromString(u"<?xml version=\"1.0\" encoding=\"windows-1251\" ?><r>\u20AC\u00C0</r>");
  EXPECT_EQ(wide.GetItemByTag(nullptr, u"r")->Value().ToString(), u"\u20AC\u00C0");
}

TEST(XmlEngine, GetItemByTagIgnoresCaseAndTakesTheFirstInPreOrder) {
  TKwXMLEngine engine(nullptr);
  engine.ParseXMLFromString(u"<r><a><Shipment>1</Shipment></a><SHIPMENT>2</SHIPMENT></r>");
  EXPECT_EQ(engine.GetItemByTag(nullptr, u"shipment")->Value().ToString(), u"1");
  TKwXMLItem* second = (*engine.RootItem()->Items())[1];
  EXPECT_EQ(engine.GetItemByTag(second, u"Shipment"), second);
  EXPECT_EQ(engine.GetItemByTag(nullptr, u"a/Shipment"), nullptr);
  EXPECT_EQ(engine.GetItemByTag(nullptr, u"missing"), nullptr);
}

std::string Utf16(const String& s, bool bigEndian) {
  std::string out;
  for (Char c : s) {
    char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

TEST(XmlEngine, StreamsAreDecodedByTheirByteOrderMark) {
  const String doc = u"<r a=\"\u0416\">\u20AC \u00E9</r>";
  TKwXMLEngine direct(nullptr);
  direct.ParseXMLFromString(doc);
  const std::string plain = StringToUtf8(Dump(direct.RootItem()));
  EXPECT_EQ(plain, "r=\"€ é\"[ a=\"Ж\"]");
  const std::string declared = "?xml{@version=\"\"1.0\" \",@encoding=\"\"utf-8\" \"," + plain + "}";
  const std::string utf8 = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>" + StringToUtf8(doc);

  struct Case {
    std::string bytes;
    std::string tree;
    bool utf8Processed;
  };
  const Case cases[] = {
      {"\xFF\xFE" + Utf16(doc, false), plain, true},
      {"\xFE\xFF" + Utf16(doc, true), plain, true},
      {"\xEF\xBB\xBF" + utf8, declared, true},  // no second decoding by the declaration
      {utf8, declared, false},                  // bytes, decoded by the declaration
      {utf8 + "\x1B", declared, false},         // a final escape is dropped
      {StringToUtf8(doc), "r=\"\xC3\xA2\xC2\x82\xC2\xAC \xC3\x83\xC2\xA9\"[ a=\"\xC3\x90\xC2\x96\"]", false},
  };
  for (const Case& c : cases) {
    TKwXMLEngine engine(nullptr);
    LoadBytes(engine, c.bytes);
    EXPECT_EQ(engine.UTF8Processed, c.utf8Processed);
    EXPECT_EQ(StringToUtf8(Dump(engine.RootItem())), c.tree);
  }
  // A part of a stream: up to AStreamSize, from the position; no UTF-16 mark
  // is looked for, but the framework still knows one.
  TMemoryStream part;
  const char raw[] = "XX<a>1</a><b/>\xFF\xFE<\0c\0/\0>\0";
  const std::string bytes(raw, sizeof raw - 1);
  part.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  TKwXMLEngine engine(nullptr);
  part.SetPosition(2);
  engine.LoadFromStream(10, &part);
  EXPECT_EQ(StringToUtf8(Dump(engine.RootItem())), "a=\"1\"");
  EXPECT_EQ(part.Position(), 10);
  part.SetPosition(14);
  engine.LoadFromStream(static_cast<std::int64_t>(bytes.size()), &part);
  EXPECT_EQ(StringToUtf8(Dump(engine.RootItem())), "c=\"1\"");
  EXPECT_FALSE(engine.UTF8Processed);
}

TEST(XmlEngine, ReloadKeepsTheRootValueAndFreesItsChildren) {
  TKwXMLEngine engine(nullptr);
  LoadBytes(engine, "<a x=\"1\">1<b/><c/></a>");
  TKwXMLItem* root = engine.RootItem();
  LoadBytes(engine, "<d>2<e/></d>");
  EXPECT_EQ(engine.RootItem(), root);
  EXPECT_EQ(StringToUtf8(Dump(root)), "d=\"12\"[ x=\"1\"]{e}");
  LoadBytes(engine, "\xFF\xFE");  // only a mark: nothing parsed
  EXPECT_EQ(StringToUtf8(Dump(root)), "d=\"12\"[ x=\"1\"]");

  test::TempDir dir;
  test::WriteFileBytes(dir.File("doc.xml"), "\xEF\xBB\xBF<f>\xC3\xA9</f>");
  engine.LoadFromFile(Utf8ToString(dir.File("doc.xml")));
  EXPECT_EQ(StringToUtf8(Dump(root)), "f=\"12\u00E9\"[ x=\"1\"]");
  EXPECT_THROW(engine.LoadFromFile(Utf8ToString(dir.File("missing.xml"))), EFOpenError);
}

TEST(XmlEngine, MemoryStreamReadFromPastItsEndGivesAnEmptyTree) {
  // An empty memory stream has no storage at all: its position past the end
  // must not be turned into an address.
  struct Case {
    std::string bytes;
    std::int64_t position, streamSize;
  };
  const Case cases[] = {{"", 1, 0}, {"", 3, 2}, {"", 0, 0}, {"<a/>", 9, 0}, {"<a/>", 4, 4}, {"<a/>", 6, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes + " @" + std::to_string(c.position) + " size " + std::to_string(c.streamSize));
    TKwXMLEngine engine(nullptr);
    engine.ParseXMLFromString(u"<r>v<old/></r>");
    TMemoryStream stream;
    stream.WriteBuffer(c.bytes.data(), static_cast<std::int64_t>(c.bytes.size()));
    stream.SetPosition(c.position);
    engine.LoadFromStream(c.streamSize, &stream);
    EXPECT_EQ(StringToUtf8(Dump(engine.RootItem())), "r=\"v\"");
    EXPECT_EQ(stream.Position(), c.position);
    EXPECT_FALSE(engine.UTF8Processed);
  }
}

TEST(XmlEngine, RootItemCanBeReplacedOrFreed) {
  TKwXMLEngine engine(nullptr);
  engine.ParseXMLFromString(u"<a><b/></a>");
  TKwXMLItem* b = engine.GetItemByTag(nullptr, u"b");
  engine.SetRootItem(b);
  engine.ParseXMLFromString(u"<c><d/></c>");  // fills b; closing c leaves b's subtree
  EXPECT_EQ(StringToUtf8(Dump(b)), "c{d}");
  delete b;  // the engine forgets it
  EXPECT_EQ(engine.RootItem(), nullptr);
  engine.ParseXMLFromString(u"<x/>");
  LoadBytes(engine, "<x/>");
  EXPECT_EQ(engine.GetItemByTag(nullptr, u"x"), nullptr);
}

TEST(XmlEngine, MillionLevelsDeepParseSearchAndFree) {
  constexpr int kDepth = 1000000;
  String xml;
  xml.reserve(kDepth * 7 + 8);
  for (int i = 0; i < kDepth; ++i) xml += u"<a>";
  xml += u"<z/>";
  for (int i = 0; i < kDepth; ++i) xml += u"</a>";
  auto engine = std::make_unique<TKwXMLEngine>(nullptr);
  int closed = 0;
  engine->SetOnAfterTag([&](TObject*, TKwXMLItem*&, bool&) { ++closed; });
  engine->ParseXMLFromString(xml);
  EXPECT_EQ(closed, kDepth + 1);
  TKwXMLItem* z = engine->GetItemByTag(nullptr, u"Z");
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(z->Level(), kDepth);
  EXPECT_EQ(engine->RootItem()->GetChild(u"z", true), z);
  EXPECT_EQ(engine->RootItem()->GetChild(u"z", false), nullptr);
  EXPECT_EQ(engine->GetItemByTag(nullptr, u"missing"), nullptr);
  engine.reset();
}

}  // namespace
}  // namespace kwinet
