#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "kwinet/storage/FormText.h"

using namespace kwinet;

namespace {

TFormValue Int(std::int64_t v) {
  TFormValue value;
  value.Kind = TFormValue::fvInteger;
  value.Integer = v;
  return value;
}
TFormValue Flt(double v) {
  TFormValue value;
  value.Kind = TFormValue::fvFloat;
  value.Float = v;
  return value;
}
TFormValue Txt(String v) {
  TFormValue value;
  value.Kind = TFormValue::fvString;
  value.Text = std::move(v);
  return value;
}
TFormValue Ident(String v) {
  TFormValue value;
  value.Kind = TFormValue::fvIdent;
  value.Text = std::move(v);
  return value;
}
TFormValue Set(std::vector<String> names) {
  TFormValue value;
  value.Kind = TFormValue::fvSet;
  value.Names = std::move(names);
  return value;
}
TFormValue List(std::vector<TFormValue> items) {
  TFormValue value;
  value.Kind = TFormValue::fvList;
  value.Items = std::move(items);
  return value;
}
TFormProperty Prop(String name, TFormValue value) {
  TFormProperty property;
  property.Name = std::move(name);
  property.Value = std::move(value);
  return property;
}
TFormValue Coll(std::vector<std::vector<TFormProperty>> items) {
  TFormValue value;
  value.Kind = TFormValue::fvCollection;
  for (auto& properties : items) value.Collection.push_back(TFormItem{std::move(properties), {}});
  return value;
}
TFormValue Bin(std::string bytes) {
  TFormValue value;
  value.Kind = TFormValue::fvBinary;
  value.Bytes = std::move(bytes);
  return value;
}
TFormObject Obj(String name, String className, std::vector<TFormProperty> properties = {},
                std::vector<TFormObject> children = {}) {
  return TFormObject{std::move(name), std::move(className), std::move(properties), std::move(children), {}};
}

// The value of "X = <text>" in a one-property form.
TFormValue ValueOf(const std::string& text) {
  TFormObject root = ReadFormText("object A: T\n  X = " + text + "\nend\n");
  if (root.Properties.size() != 1) throw std::runtime_error("not one property");
  return root.Properties[0].Value;
}

std::string ErrorOf(const std::string& text) {
  try {
    ReadFormText(text);
  } catch (const EFormError& e) {
    return e.what();
  }
  return "(read without error)";
}

std::string WriteErrorOf(const TFormObject& root) {
  try {
    WriteFormText(root);
  } catch (const EFormError& e) {
    return e.what();
  }
  return "(written without error)";
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  out.reserve(s.size() * static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

}  // namespace

TEST(FormText, HandWrittenFormWithEveryValueKind) {
  // CR LF line ends, a byte-order mark, keywords in any case, UTF-8 in
  // quotes and a name in another script.
  const std::string text =
      "\xEF\xBB\xBF"
      "object Form1: TForm\r\n"
      "  Caption = 'Jobs'\r\n"
      "  Left = -12\r\n"
      "  Color = $FF\r\n"
      "  Ratio = 1.5\r\n"
      "  When = -2.5E-3\r\n"
      "  Active = True\r\n"
      "  Image = Form1.Image1\r\n"
      "  Note = 'it''s'#13#10'caf\xC3\xA9'#$1F600 +\r\n"
      "    ' more'\r\n"
      "  Options = [soOne, soTwo]\r\n"
      "  Empty = []\r\n"
      "  OBJECT KwWhoIs1: TKwWhoIs\r\n"
      "    Proxy.Port = 8080\r\n"
      "    ServerList.Strings = (\r\n"
      "      'com=whois.example'\r\n"
      "      'net=whois.example')\r\n"
      "    Mixed = (1 'two' three [four] () <>)\r\n"
      "    Recipients = <\r\n"
      "      item\r\n"
      "        Name = 'Jo'#233\r\n"
      "        Kind = ( 1 2 )\r\n"
      "      end\r\n"
      "      item\r\n"
      "      end>\r\n"
      "    Picture.Data = {\r\n"
      "      0A0b\r\n"
      "      0C}\r\n"
      "  END\r\n"
      "  inherited TAnonymous\r\n"
      "  end\r\n"
      "  inline Na\xC3\xAFve: TFrame\r\n"
      "  end\r\n"
      "end\r\n";
  const TFormObject expected = Obj(
      u"Form1", u"TForm",
      {Prop(u"Caption", Txt(u"Jobs")), Prop(u"Left", Int(-12)), Prop(u"Color", Int(255)), Prop(u"Ratio", Flt(1.5)),
       Prop(u"When", Flt(-2.5e-3)), Prop(u"Active", Ident(u"True")), Prop(u"Image", Ident(u"Form1.Image1")),
       Prop(u"Note", Txt(u"it's\r\ncaf\u00E9\U0001F600 more")), Prop(u"Options", Set({u"soOne", u"soTwo"})),
       Prop(u"Empty", Set({}))},
      {Obj(u"KwWhoIs1", u"TKwWhoIs",
           {Prop(u"Proxy.Port", Int(8080)),
            Prop(u"ServerList.Strings", List({Txt(u"com=whois.example"), Txt(u"net=whois.example")})),
            Prop(u"Mixed", List({Int(1), Txt(u"two"), Ident(u"three"), Set({u"four"}), List({}), Coll({})})),
            Prop(u"Recipients", Coll({{Prop(u"Name", Txt(u"Jo\u00E9")), Prop(u"Kind", List({Int(1), Int(2)}))}, {}})),
            Prop(u"Picture.Data", Bin("\x0A\x0B\x0C"))}),
       Obj(u"", u"TAnonymous"), Obj(u"Na\u00EFve", u"TFrame")});
  const TFormObject root = ReadFormText(text);
  EXPECT_EQ(root, expected);

  // Positions: line and column of each thing's first character.
  EXPECT_EQ(root.Pos.Line, 1);
  EXPECT_EQ(root.Pos.Column, 1);
  const TFormProperty& note = root.Properties[7];
  EXPECT_EQ(note.Pos.Line, 9);
  EXPECT_EQ(note.Pos.Column, 3);
  EXPECT_EQ(note.Value.Pos.Column, 10);
  const TFormObject& whois = root.Children[0];
  EXPECT_EQ(whois.Pos.Line, 13);
  EXPECT_EQ(whois.Properties[3].Value.Collection[1].Pos.Line, 24);
  EXPECT_EQ(whois.Properties[3].Value.Collection[1].Pos.Column, 7);
}

TEST(FormText, ValuesAsWritten) {
  struct Case {
    const char* text;
    TFormValue expected;
  } cases[] = {
      {"0", Int(0)},
      {"-9223372036854775808", Int(std::numeric_limits<std::int64_t>::min())},
      {"9223372036854775807", Int(std::numeric_limits<std::int64_t>::max())},
      {"$7fffffffffffffff", Int(std::numeric_limits<std::int64_t>::max())},
      {"$FFFFFFFFFFFFFFFF", Int(-1)},  // 64 bits as written
      {"-$10", Int(-16)},
      {"-$8000000000000000", Int(std::numeric_limits<std::int64_t>::min())},
      {"007", Int(7)},
      {"1E10", Flt(1e10)},
      {"1.5e+2", Flt(150)},
      {"-0.0", Flt(-0.0)},
      {"4.9406564584124654E-324", Flt(4.9406564584124654E-324)},
      {"''", Txt(u"")},
      {"''''", Txt(u"'")},
      {"#0", Txt(String(1, u'\0'))},
      {"#$41#$e9", Txt(u"A\u00E9")},
      {"#1114111", Txt(u"\U0010FFFF")},
      {"#55357#56832", Txt(u"\U0001F600")},  // a pair given as two codes
      {"'\xF0\x9F\x98\x80'", Txt(u"\U0001F600")},
      {"'a\tb'", Txt(u"a\tb")},
      {"'bad \xC3('", Txt(u"bad \uFFFD(")},
      {"'a' + #10 +\n\n  'b'", Txt(u"a\nb")},
      {"nil", Ident(u"nil")},
      {"[ a ,b ]", Set({u"a", u"b"})},
      {"((()))", List({List({List({})})})},
      {"{}", Bin("")},
      {"{ f F\n 0 0 }", Bin(std::string("\xFF\x00", 2))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ValueOf(c.text), c.expected);
  }
}

TEST(FormText, BadInputNamesLineAndColumn) {
  struct Case {
    std::string text;
    const char* error;
  } cases[] = {
      {"", "line 1, column 1: expected 'object' at the start of the form"},
      {"  \n item A: T\nend", "line 2, column 2: expected 'object' at the start of the form"},
      {"object : T\nend", "line 1, column 8: expected the object's name or class name after 'object'"},
      {"object A.B: T\nend", "line 1, column 8: expected the object's name or class name after 'object'"},
      {"object A: 12\nend", "line 1, column 11: expected the class name after ':'"},
      {"object Form1: TForm\n  Caption = 'x'\n  Left\nend", "line 4, column 1: expected '=' after the property name"},
      {"object Form1: TForm\n  object B: TB\n    Left = 1\n", "line 4, column 1: end of text inside object B"},
      {"object Form1: TForm\n  object TB\n", "line 3, column 1: end of text inside object TB"},
      {"object A: T\n  X = 'abc\n  Y = 1\nend", "line 2, column 7: string not closed before the end of the line"},
      {"object A: T\n  X = 'ab'#13'c\r\nend", "line 2, column 14: string not closed before the end of the line"},
      {"object A: T\n  X = 'abc", "line 2, column 7: string not closed before the end of the line"},
      {"object A: T\n  X = 'ab' +\nend", "line 3, column 1: expected a string after '+'"},
      {"object A: T\n  X = 'ab' + 12\nend", "line 2, column 14: expected a string after '+'"},
      {"object A: T\n  X = #\nend", "line 2, column 7: expected a character code after '#'"},
      {"object A: T\n  X = #1114112\nend", "line 2, column 7: character code above $10FFFF"},
      {"object A: T\n  X = #99999999999999999999\nend", "line 2, column 7: character code above $10FFFF"},
      {"object A: T\n  X = #12ab\nend", "line 2, column 7: bad character code"},
      {"object A: T\n  X = 12a\nend", "line 2, column 7: bad number"},
      {"object A: T\n  X = 1.\nend", "line 2, column 7: bad number"},
      {"object A: T\n  X = 1.2.3\nend", "line 2, column 7: bad number"},
      {"object A: T\n  X = 1E\nend", "line 2, column 7: bad number"},
      {"object A: T\n  X = -\nend", "line 2, column 7: bad number"},
      {"object A: T\n  X = $\nend", "line 2, column 7: bad number"},
      {"object A: T\n  X = $1G\nend", "line 2, column 7: bad number"},
      {"object A: T\n  X = 9223372036854775808\nend", "line 2, column 7: number out of range"},
      {"object A: T\n  X = -$8000000000000001\nend", "line 2, column 7: number out of range"},
      {"object A: T\n  X = $10000000000000000\nend", "line 2, column 7: number out of range"},
      {"object A: T\n  X = 1E999\nend", "line 2, column 7: number out of range"},
      {"object A: T\n  X =", "line 2, column 6: expected a value"},
      {"object A: T\n  X = )\nend", "line 2, column 7: expected a value"},
      {"object A: T\n  X = [a b]\nend", "line 2, column 10: expected ',' or ']' in a set"},
      {"object A: T\n  X = [a, 1]\nend", "line 2, column 11: expected a name in a set"},
      {"object A: T\n  X = [a,", "line 2, column 10: end of text inside a set"},
      {"object A: T\n  X = ('a'\n", "line 3, column 1: end of text inside a list"},
      {"object A: T\n  X = <\n    end>\nend", "line 3, column 5: expected 'item' or '>' in a collection"},
      {"object A: T\n  X = <item\n    Y = 1\n", "line 4, column 1: end of text inside a collection item"},
      {"object A: T\n  X = <item\n    object B: T end end>\nend",
       "line 3, column 5: expected a property or 'end' in a collection item"},
      {"object A: T\n  X = <item end", "line 2, column 16: end of text inside a collection"},
      {"object A: T\n  X = {0A0\n  }\nend", "line 2, column 7: odd number of hexadecimal digits in binary data"},
      {"object A: T\n  X = {0A\n  0X}\nend", "line 3, column 4: expected a hexadecimal digit or '}' in binary data"},
      {"object A: T\n  X = {0A", "line 2, column 10: end of text inside binary data"},
      {"object A: T\n  = 1\nend", "line 2, column 3: expected a property, an object or 'end'"},
      {"object A: T\n  X = 1\nend\nend", "line 4, column 1: text after the 'end' of the root object"},
      {"object A: T\nend\nobject B: T\nend", "line 3, column 1: text after the 'end' of the root object"},
      // Columns count characters, not bytes.
      {"object A: T\n  X = 'caf\xC3\xA9\xE2\x82\xAC' ?\nend", "line 2, column 15: unexpected character '?'"},
      {"object A: T\n  X = \x7F\nend", "line 2, column 7: unexpected character #127"},
      {"object A: T\r  X = 1 ;\rend", "line 2, column 9: unexpected character ';'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ErrorOf(c.text), c.error);
  }
}

TEST(FormText, NestingIsBoundedWithoutDeepRecursion) {
  // kMaxFormDepth levels read; one more is refused where it starts, and a
  // hundred thousand levels are refused as quickly.
  auto objects = [](int n) { return Repeat("object A: T\n", n) + Repeat("end\n", n); };
  auto lists = [](int n) { return "object A: T\n  X = " + Repeat("(", n) + Repeat(")", n) + "\nend\n"; };
  auto items = [](int n) { return "object A: T\n" + Repeat("X = <item\n", n) + Repeat("end>\n", n) + "end\n"; };
  EXPECT_NO_THROW(ReadFormText(objects(kMaxFormDepth)));
  EXPECT_EQ(ErrorOf(objects(kMaxFormDepth + 1)), "line 257, column 1: objects nested deeper than 256");
  EXPECT_EQ(ErrorOf(objects(100000)), "line 257, column 1: objects nested deeper than 256");
  EXPECT_NO_THROW(ReadFormText(lists(kMaxFormDepth - 1)));
  EXPECT_EQ(ErrorOf(lists(100000)), "line 2, column 262: lists nested deeper than 256");
  EXPECT_NO_THROW(ReadFormText(items(kMaxFormDepth - 1)));
  EXPECT_EQ(ErrorOf(items(100000)), "line 257, column 6: collection items nested deeper than 256");
  // Sets do not nest, binary data has no structure: both long, flat.
  EXPECT_EQ(ValueOf("[" + Repeat("a,", 99999) + "a]").Names.size(), 100000u);
}

TEST(FormText, LongStringsReadInOnePass) {
  // A hundred thousand parts joined side by side and with "+" over lines.
  const TFormValue joined = ValueOf(Repeat("'ab'#10", 100000));
  EXPECT_EQ(joined.Text.size(), 300000u);
  const TFormValue continued = ValueOf("'x'" + Repeat(" +\n    'ab'", 100000));
  EXPECT_EQ(continued.Text.size(), 200001u);
  EXPECT_EQ(continued.Text.substr(0, 5), u"xabab");
}

TEST(FormText, WritesAsDesignersDo) {
  const TFormObject root =
      Obj(u"Form1", u"TForm", {Prop(u"Caption", Txt(u"Jobs"))},
          {Obj(u"KwWhoIs1", u"TKwWhoIs",
               {Prop(u"Domain", Txt(u"it's caf\u00E9\r\n\U0001F600")), Prop(u"Proxy.Port", Int(-8080)),
                Prop(u"Ratio", Flt(100)), Prop(u"Tiny", Flt(1e-7)), Prop(u"Active", Ident(u"True")),
                Prop(u"ServerList.Strings", List({Txt(u"com=whois.example"), Txt(u"net")})),
                Prop(u"Nested", List({List({Int(1)}), List({})})),
                Prop(u"Recipients", Coll({{Prop(u"Name", Txt(u"Jo")), Prop(u"Kinds", Set({u"a", u"b"}))}, {}})),
                Prop(u"Options", Set({})), Prop(u"NoItems", Coll({})),
                Prop(u"Picture.Data", Bin(std::string(33, '\xAB') + "\x01")), Prop(u"NoData", Bin(""))}),
           Obj(u"", u"TAnonymous")});
  const std::string expected =
      "object Form1: TForm\n"
      "  Caption = 'Jobs'\n"
      "  object KwWhoIs1: TKwWhoIs\n"
      "    Domain = 'it''s caf'#233#13#10#128512\n"
      "    Proxy.Port = -8080\n"
      "    Ratio = 100.0\n"
      "    Tiny = 1E-07\n"
      "    Active = True\n"
      "    ServerList.Strings = (\n"
      "      'com=whois.example'\n"
      "      'net')\n"
      "    Nested = (\n"
      "      (\n"
      "        1)\n"
      "      ())\n"
      "    Recipients = <\n"
      "      item\n"
      "        Name = 'Jo'\n"
      "        Kinds = [a, b]\n"
      "      end\n"
      "      item\n"
      "      end>\n"
      "    Options = []\n"
      "    NoItems = <>\n"
      "    Picture.Data = {\n"
      "      ABABABABABABABABABABABABABABABABABABABABABABABABABABABABABABABAB\n"
      "      AB01}\n"
      "    NoData = {}\n"
      "  end\n"
      "  object TAnonymous\n"
      "  end\n"
      "end\n";
  EXPECT_EQ(WriteFormText(root), expected);
  EXPECT_EQ(ReadFormText(expected), root);
}

TEST(FormText, RichTreeRoundTrips) {
  std::string allBytes;
  for (int b = 0; b < 256; ++b) allBytes.push_back(static_cast<char>(b));
  String allChars;
  for (Char c = 0; c < 0x300; ++c) allChars.push_back(c);
  allChars += {0xD800, u'x', 0xDC00, 0xFFFF, 0xDBFF, 0xDFFF, u'\'', u'\''};  // lone surrogates too
  std::vector<TFormValue> floats;
  for (double d : {0.0, -0.0, 0.1, 1.0 / 3, -1e300, 5e-324, 2.2250738585072014e-308, 1e21, 123456789.0,
                   std::numeric_limits<double>::max(), 9007199254740993.0}) {
    floats.push_back(Flt(d));
  }
  TFormObject root =
      Obj(u"Form1", u"TForm",
          {Prop(u"S", Txt(allChars)),
           Prop(u"Ints", List({Int(std::numeric_limits<std::int64_t>::min()), Int(0),
                               Int(std::numeric_limits<std::int64_t>::max())})),
           Prop(u"Floats", List(floats)), Prop(u"B", Bin(allBytes + allBytes)), Prop(u"Ref", Ident(u"Form1.Im_2.x")),
           Prop(u"\u00C9t\u00E9.Caf\u00E9", Ident(u"\u03B1\U0001D11E")), Prop(u"Item", Int(1))},
          {Obj(u"A", u"Unit.TA",
               {Prop(u"C", Coll({{Prop(u"D", Coll({{Prop(u"E", List({Txt(u""), Set({u"x"}), Coll({})}))}}))}}))},
               {Obj(u"", u"TB", {}, {Obj(u"C", u"TC")})})});
  // A deep but legal tree: objects and lists down to the bound.
  TFormObject* deepest = &root;
  for (int i = 1; i < kMaxFormDepth - 1; ++i) {
    deepest->Children.push_back(Obj(u"D" + IntToStr(i), u"TD"));
    deepest = &deepest->Children.back();
  }
  deepest->Properties.push_back(Prop(u"L", List({})));
  const std::string text = WriteFormText(root);
  const TFormObject again = ReadFormText(text);
  EXPECT_EQ(again, root);
  EXPECT_EQ(WriteFormText(again), text);
}

TEST(FormText, WriterRefusesWhatCannotBeReadBack) {
  auto withProperty = [](TFormProperty property) { return Obj(u"Form1", u"TForm", {std::move(property)}); };
  struct Case {
    TFormObject root;
    const char* error;
  } cases[] = {
      {withProperty(Prop(u"X", Flt(std::nan("")))),
       "cannot write object Form1: an infinite or not-a-number floating-point value cannot be stored"},
      {withProperty(Prop(u"X", List({Flt(-HUGE_VAL)}))),
       "cannot write object Form1: an infinite or not-a-number floating-point value cannot be stored"},
      {withProperty(Prop(u"End", Int(1))), "cannot write object Form1: 'End' cannot be a property name"},
      {withProperty(Prop(u"My Name", Int(1))), "cannot write object Form1: 'My Name' is not a valid property name"},
      {withProperty(Prop(u"X.", Int(1))), "cannot write object Form1: 'X.' is not a valid property name"},
      {withProperty(Prop(u"X", Ident(u""))), "cannot write object Form1: '' is not a valid identifier"},
      {withProperty(Prop(u"X", Ident(u"1st"))), "cannot write object Form1: '1st' is not a valid identifier"},
      {withProperty(Prop(u"X", Set({u"a.b"}))), "cannot write object Form1: 'a.b' is not a valid set element"},
      {Obj(u"A.B", u"T"), "cannot write object A.B: 'A.B' is not a valid object name"},
      {Obj(u"A", u""), "cannot write object A: '' is not a valid class name"},
      {Obj(u"A", u"T", {}, {Obj(u"B", String(u"T") + Char(0xD800))}),
       "cannot write object B: 'T\xEF\xBF\xBD' is not a valid class name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(WriteErrorOf(c.root), c.error);
  }
  TFormObject deep = Obj(u"A", u"T");
  TFormObject* last = &deep;
  for (int i = 0; i < kMaxFormDepth; ++i) {
    last->Children.push_back(Obj(u"A", u"T"));
    last = &last->Children.back();
  }
  EXPECT_EQ(WriteErrorOf(deep), "cannot write object A: objects nested deeper than 256");
}
