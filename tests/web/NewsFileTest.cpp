// The news file reader: what a server may put in the file, and what the
// dialog makes of it.
#include <gtest/gtest.h>

#include "kwinet/web/NewsFile.h"

namespace kwinet {
namespace {

// The sections as one line each: "Name: link=caption | link=caption".
std::vector<std::string> Render(std::string_view bytes) {
  std::vector<std::string> out;
  for (const TNewsSection& s : ReadNewsFile(bytes)) {
    std::string line = StringToUtf8(s.Name) + ":";
    for (std::size_t i = 0; i < s.Items.size(); ++i)
      line += (i ? " | " : " ") + StringToUtf8(s.Items[i].Link) + "=" + StringToUtf8(s.Items[i].Caption);
    out.push_back(line);
  }
  return out;
}

TEST(NewsFile, ReadsSectionsAndItemsInFileOrder) {
  struct Case {
    const char* name;
    std::string_view bytes;
    std::vector<std::string> sections;
  } cases[] = {
      {"plain",
       "[News]\nhttp://a/1=One\nhttp://a/2=Two\n[Tips]\nmailto:x@y=Write\n",
       {"News: http://a/1=One | http://a/2=Two", "Tips: mailto:x@y=Write"}},
      {"file order, not sorted", "[Zeta]\n[Alpha]\nb=B\na=A\n", {"Zeta:", "Alpha: b=B | a=A"}},
      {"empty section kept", "[Empty]\n[Full]\nx=X", {"Empty:", "Full: x=X"}},
      {"CR LF, CR, BOM, blanks",
       "\xEF\xBB\xBF[ News ]\r\n  http://a = One  \rhttp://b=\tTwo\r\n",
       {"News: http://a=One | http://b=Two"}},
      // The link ends at the first "=": the rest is the caption.
      {"first = splits", "[S]\nhttp://a/?q=1=Caption\n", {"S: http://a/?q=1=Caption"}},
      {"quoted caption", "[S]\na=\"Quoted = text\"\nb=\"\n", {"S: a=Quoted = text | b=\""}},
      {"skipped lines",
       "a=before any section\n[S]\n; comment=x\n# comment=y\nno equals sign\n=no link\n\nok=OK\n",
       {"S: ok=OK"}},
      // As in a profile file: names and links compare without case, the
      // first wins.
      {"repeats",
       "[News]\nhttp://a=First\n[Other]\n[NEWS]\nHTTP://A=Second\nhttp://b=B\n",
       {"News: http://a=First | http://b=B", "Other:"}},
      {"header without ]", "[Open\nx=X\n", {"Open: x=X"}},
      {"empty caption kept", "[S]\nx=\n", {"S: x="}},
      {"nothing", "", {}},
      {"UTF-8 caption", "[Neuigkeiten]\nhttp://a=Gr\xC3\xBC\xC3\x9F\x65\n", {"Neuigkeiten: http://a=Grüße"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Render(c.bytes), c.sections) << c.name;
}

TEST(NewsFile, StaysLinearOnLongAndRepetitiveInput) {
  // Many sections and many repeats of one link: each line costs the same.
  std::string text;
  for (int i = 0; i < 20000; ++i)
    text += "[S" + std::to_string(i % 100) + "]\nhttp://same=x\nhttp://" + std::to_string(i) + "=y\n";
  const auto sections = ReadNewsFile(text);
  ASSERT_EQ(sections.size(), 100u);
  EXPECT_EQ(sections[0].Items.size(), 201u);
  EXPECT_EQ(sections[0].Items[0].Link, u"http://same");
  EXPECT_TRUE(LoadNewsFile(u"/nonexistent/folder/x.sin").empty());
}

}  // namespace
}  // namespace kwinet
