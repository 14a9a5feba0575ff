#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kwinet/core/StringList.h"
#include "kwinet/core/Streams.h"
#include "peers/TestSupport.h"

using namespace kwinet;
using kwinet::test::TempDir;

TEST(StringList, TextSplitsAtEveryLineEnd) {
  TStringList l;
  struct Case {
    const char16_t* text;
    std::vector<String> lines;
  } cases[] = {
      {u"a\r\nb\nc\rd", {u"a", u"b", u"c", u"d"}},
      {u"a\r\n", {u"a"}},          // a final line end adds no empty line
      {u"a\r\n\r\n", {u"a", u""}},
      {u"", {}},
      {u"\n", {u""}},
      {u"x\r\r\ny", {u"x", u"", u"y"}},
  };
  for (const auto& c : cases) {
    l.SetText(c.text);
    std::vector<String> got;
    for (int i = 0; i < l.Count(); ++i) got.push_back(l[i]);
    EXPECT_EQ(got, c.lines) << StringToUtf8(c.text);
  }
  l.SetText(u"a\nb");
  EXPECT_EQ(l.Text(), u"a\r\nb\r\n");
}

TEST(StringList, NamesValuesAndSearch) {
  TStringList l;
  l.Add(u"Host=example.com");
  l.Add(u"port=80");
  l.Add(u"plain line");
  EXPECT_EQ(l.Values(u"PORT"), u"80");
  EXPECT_EQ(l.Names(0), u"Host");
  EXPECT_EQ(l.Names(2), u"");
  EXPECT_EQ(l.IndexOf(u"PLAIN LINE"), 2);
  l.SetValues(u"port", u"8080");
  EXPECT_EQ(l[1], u"port=8080");
  l.SetValues(u"port", u"");
  EXPECT_EQ(l.Count(), 2);
  l.SetValues(u"User", u"bob");
  EXPECT_EQ(l[2], u"User=bob");
  EXPECT_THROW(l.Delete(5), EListError);

  TStringList sorted;
  sorted.SetSorted(true);
  for (const char16_t* s : {u"pear", u"Apple", u"fig", u"apple"}) sorted.Add(s);
  EXPECT_EQ(sorted.Count(), 3);  // duplicates ignored, case-insensitively
  EXPECT_EQ(sorted[0], u"Apple");
  EXPECT_EQ(sorted.IndexOf(u"FIG"), 1);

  TStringList copy;
  copy.Assign(&l);
  EXPECT_TRUE(copy.Equals(l));
  copy.SetCommaText(u"a,\"b c\",\"d\"\"e\"");
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy[1], u"b c");
  EXPECT_EQ(copy[2], u"d\"e");
  EXPECT_EQ(copy.CommaText(), u"a,\"b c\",\"d\"\"e\"");
}

TEST(StringList, FilesInAStatedEncoding) {
  TempDir dir;
  String file = Utf8ToString(dir.File("list.txt"));
  TStringList l;
  l.Add(u"caf\u00E9");
  l.Add(u"\u20AC");
  l.SaveToFile(file, teUTF8);
  EXPECT_EQ(kwinet::test::ReadFileBytes(dir.File("list.txt")), "caf\xC3\xA9\r\n\xE2\x82\xAC\r\n");
  TStringList back;
  back.LoadFromFile(file, teUTF8);
  EXPECT_TRUE(back.Equals(l));
  l.SaveToFile(file, teANSI);
  back.LoadFromFile(file, teANSI);
  EXPECT_EQ(back[0], u"caf\u00E9");
  EXPECT_EQ(back[1], u"?");  // not representable in ISO-8859-1
  // A byte-order mark overrides the stated encoding.
  kwinet::test::WriteFileBytes(dir.File("bom.txt"), std::string("\xFF\xFEh\0i\0", 6));
  back.LoadFromFile(Utf8ToString(dir.File("bom.txt")), teANSI);
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(back[0], u"hi");
}

TEST(FileStream, ModesAndErrorsNameTheFile) {
  TempDir dir;
  String name = Utf8ToString(dir.File("data.bin"));
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer("hello world", 11);
    EXPECT_EQ(f.Size(), 11);
    f.Seek(6, soBeginning);
    char buf[5];
    f.ReadBuffer(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_THROW(f.ReadBuffer(buf, 1), EReadError);
  }
  try {
    TFileStream missing(name + u".none", fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), u"Cannot open file \"" + name + u".none\". No such file or directory");
  }
  EXPECT_THROW(TFileStream(Utf8ToString(dir.File("no/such/dir/x")), fmCreate), EFCreateError);

  // Deny-write: a second handle may read but not write.
  TFileStream reader(name, fmOpenRead | fmShareDenyWrite);
  EXPECT_NO_THROW(TFileStream(name, fmOpenRead | fmShareDenyWrite));
  EXPECT_THROW(TFileStream(name, fmOpenWrite | fmShareDenyNone), EFOpenError);
  EXPECT_THROW(TFileStream(name, fmCreate), EFCreateError);
  // The refused create did not truncate the file.
  EXPECT_EQ(reader.Size(), 11);
}

TEST(FileStream, NoFollowRefusesALink) {
  TempDir dir;
  kwinet::test::WriteFileBytes(dir.File("target"), "keep");
  ASSERT_EQ(::symlink(dir.File("target").c_str(), dir.File("link").c_str()), 0);
  EXPECT_THROW(TFileStream(Utf8ToString(dir.File("link")), fmCreate | fmNoFollow), EFCreateError);
  EXPECT_EQ(kwinet::test::ReadFileBytes(dir.File("target")), "keep");
}

TEST(MemoryAndStringStreams, ReadWriteSeekAndEncodings) {
  TMemoryStream m;
  m.WriteBuffer("abc", 3);
  m.Seek(5, soBeginning);
  m.WriteBuffer("z", 1);  // writing past the end fills the gap with zeros
  EXPECT_EQ(m.Size(), 6);
  m.SetPosition(0);
  EXPECT_EQ(m.ReadAll(), std::string("abc\0\0z", 6));

  TStringStream u(u"\u00E9", teUTF8);
  EXPECT_EQ(u.Size(), 2);
  TStringStream w(u"\u00E9", teUnicode);
  EXPECT_EQ(w.Size(), 2);
  EXPECT_EQ(w.DataString(), u"\u00E9");
  TStringStream a(u"", teANSI);
  a.WriteString(u"x\u00FF");
  EXPECT_EQ(a.DataString(), u"x\u00FF");
  a.SetPosition(1);
  EXPECT_EQ(a.ReadString(10), u"\u00FF");
}

TEST(Paths, ExtensionNameAndFolder) {
  EXPECT_EQ(ExtractFileExt(u"/a.b/file.tar.gz"), u".gz");
  EXPECT_EQ(ExtractFileExt(u"/a.b/file"), u"");
  EXPECT_EQ(ExtractFileName(u"/a/b.txt"), u"b.txt");
  EXPECT_EQ(ExtractFilePath(u"/a/b.txt"), u"/a/");
  EXPECT_EQ(ChangeFileExt(u"/a.d/run", u".sh"), u"/a.d/run.sh");
  EXPECT_EQ(ChangeFileExt(u"x.exe", u".BAT"), u"x.BAT");
}
