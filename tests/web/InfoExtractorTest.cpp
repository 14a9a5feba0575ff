// The link extractor against nginx: the links of each kind in pages of our
// own, pages that the server holds back, and the private local copy.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "kwinet/core/Exceptions.h"
#include "kwinet/utils/PrivateTemp.h"
#include "kwinet/web/kwixtract.h"
#include "peers/NginxSuite.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

using test::WriteFileBytes;
namespace fs = std::filesystem;

std::vector<std::string> Lines(const TStringList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(StringToBytes(list[i]));
  return out;
}

class InfoExtractorTest : public test::TNginxSuite {
 protected:
  std::unique_ptr<TKwInfoExtractor> Extractor(const std::string& path, TKwIExtract kind = ieHTTP) {
    auto x = std::make_unique<TKwInfoExtractor>(nullptr);
    x->SetHost(u"127.0.0.1");
    x->SetPort(static_cast<std::uint16_t>(server->Port()));
    x->SetLoginPrompt(false);
    x->SetTimeout(5000);
    x->SetExtract(kind);
    x->SetRemoteFileName(Utf8ToString(path));
    return x;
  }

  test::TempDir dir;
  // The local copies go to a folder of this test, where they can be seen.
  test::TEnvScope tmp{"TMPDIR", dir.Path()};
};

TEST_F(InfoExtractorTest, FindsEachKindOfLinkInAPage) {
  WriteFileBytes(server->Root() + "/kinds.html",
                 "<p><a href=\"mailto:ann@example.org\">Ann</a> <a href='http://example.org/a#top'>a</a>\n"
                 "<a href=\"https://example.org/s\">s</a> ftp://ftp.example.org/pub/f.tgz file:///etc/hosts \n"
                 "telnet:host.example.org news:comp.lang.c gopher://g.example.org wais:db HTTP://LOUD\n"
                 "http://example.org/a#again</p>");
  struct Case {
    TKwIExtract kind;
    std::vector<std::string> links;
  } cases[] = {
      {ieMailTo, {"mailto:ann@example.org"}},
      // The apostrophe does not end a link; the fragment does, and the
      // duplicate stays.
      {ieHTTP, {"http://example.org/a", "http://example.org/a"}},
      {itHTTPS, {"https://example.org/s"}},
      {itFTP, {"ftp://ftp.example.org/pub/f.tgz"}},
      {itFile, {"file:///etc/hosts"}},
      {itTelnet, {"telnet:host.example.org"}},
      {itNews, {"news:comp.lang.c"}},
      {itGopher, {"gopher://g.example.org"}},
      {itWais, {"wais:db"}},
  };
  for (const Case& c : cases) {
    auto x = Extractor("/kinds.html", c.kind);
    EXPECT_TRUE(x->Execute());
    EXPECT_EQ(x->Status(), isFinished);
    EXPECT_EQ(Lines(*x->ExtractedInfo()), c.links) << KwIExtractPrefix(c.kind);
  }
}

TEST_F(InfoExtractorTest, ReadsALargePageWholeAcrossItsPieces) {
  // A link begins just before each 64 KiB boundary, cut inside its prefix
  // or after it; each runs over a line break. The last one is closed only by
  // the end of the page.
  std::string page;
  std::vector<std::string> expected;
  for (std::size_t m = 1; m <= 9; ++m) {
    const std::size_t start = m * 65536 - 1 - m;
    page.append(start - page.size() - 1, '.');
    const std::string link = "http://example.org/" + std::to_string(m) + "\n/more";
    page += " " + link + "\"";
    expected.push_back(link);
  }
  page += "<http://example.org/last";
  expected.push_back("http://example.org/last");
  WriteFileBytes(server->Root() + "/large.html", page);
  auto x = Extractor("/large.html");
  EXPECT_TRUE(x->Execute());
  EXPECT_EQ(Lines(*x->ExtractedInfo()), expected);
}

TEST_F(InfoExtractorTest, PagesHeldBackLeaveTheLinksOfTheLastScan) {
  WriteFileBytes(server->Root() + "/open.html", "http://example.org/open");
  WriteFileBytes(server->Root() + "/private/held.html", "http://example.org/held");
  auto x = Extractor("/open.html");
  ASSERT_TRUE(x->Execute());
  const std::vector<std::string> first = {"http://example.org/open"};
  ASSERT_EQ(Lines(*x->ExtractedInfo()), first);

  // Not found: the job succeeds, but there is no copy to scan.
  x->SetRemoteFileName(u"/missing.html");
  EXPECT_TRUE(x->Execute());
  EXPECT_EQ(x->Status(), isNotFound);
  EXPECT_EQ(Lines(*x->ExtractedInfo()), first);

  // Authorization refused: a failed job.
  x->SetRemoteFileName(u"/private/held.html");
  EXPECT_FALSE(x->Execute());
  EXPECT_EQ(x->Status(), isFailed);
  EXPECT_EQ(Lines(*x->ExtractedInfo()), first);

  // No server at all.
  x->SetRemoteFileName(u"/open.html");
  x->SetPort(1);
  x->Execute();
  EXPECT_NE(x->Status(), isFinished);
  EXPECT_EQ(Lines(*x->ExtractedInfo()), first);

  // Given the credentials, the page comes.
  x->SetPort(static_cast<std::uint16_t>(server->Port()));
  x->SetRemoteFileName(u"/private/held.html");
  x->SetUser(u"kwuser");
  x->SetPassword(u"kwpass");
  EXPECT_TRUE(x->Execute());
  EXPECT_EQ(Lines(*x->ExtractedInfo()), std::vector<std::string>{"http://example.org/held"});
}

TEST_F(InfoExtractorTest, AnUnchangedPageIsScannedAgainFromTheLocalCopy) {
  WriteFileBytes(server->Root() + "/same.html", "<a href=\"mailto:bob@example.org\">");
  auto x = Extractor("/same.html", ieMailTo);
  ASSERT_TRUE(x->Execute());
  ASSERT_EQ(x->Status(), isFinished);
  x->ExtractedInfo()->Clear();
  x->ExtractedInfo()->Add(u"stale");
  EXPECT_TRUE(x->Execute());
  EXPECT_EQ(x->Status(), isSkipped);
  EXPECT_EQ(Lines(*x->ExtractedInfo()), std::vector<std::string>{"mailto:bob@example.org"});
  EXPECT_EQ(server->CountRequests("/same.html", 2), 2);
}

TEST_F(InfoExtractorTest, EndsTheTextAtTheFirstNul) {
  // A UTF-16 page: a NUL after the first character.
  const std::string utf8 = "<a href=\"http://example.org/\">x</a>";
  std::string utf16;
  for (char c : utf8) utf16 += std::string{c, '\0'};
  WriteFileBytes(server->Root() + "/utf16.html", "\xff\xfe" + utf16);
  auto x = Extractor("/utf16.html");
  EXPECT_TRUE(x->Execute());
  EXPECT_EQ(x->ExtractedInfo()->Count(), 0);
}

TEST_F(InfoExtractorTest, KeepsItsLocalCopyPrivateAndDeletesIt) {
  WriteFileBytes(server->Root() + "/a.html", "http://example.org/a");
  WriteFileBytes(server->Root() + "/b.htm", "http://example.org/b");
  auto x = Extractor("/a.html");
  auto y = Extractor("/a.html");
  const String folder = PrivateTempFolder();
  const std::string xa = StringToUtf8(x->LocalFileName());
  EXPECT_EQ(x->LocalFileName().substr(0, folder.size() + 1), folder + u"/");
  EXPECT_EQ(fs::path(xa).extension(), ".html");
  // Two components never share a copy.
  EXPECT_NE(x->LocalFileName(), y->LocalFileName());
  ASSERT_TRUE(x->Execute());
  ASSERT_TRUE(y->Execute());
  EXPECT_TRUE(fs::exists(xa));
  EXPECT_EQ(fs::status(StringToUtf8(folder)).permissions() & fs::perms::all, fs::perms::owner_all);

  // A new remote name deletes the old copy and takes the new extension.
  x->SetRemoteFileName(u"/b.htm");
  EXPECT_FALSE(fs::exists(xa));
  EXPECT_EQ(fs::path(StringToUtf8(x->LocalFileName())).extension(), ".htm");
  ASSERT_TRUE(x->Execute());
  EXPECT_EQ(Lines(*x->ExtractedInfo()), std::vector<std::string>{"http://example.org/b"});

  // A remote name cannot lead the copy out of the folder.
  x->SetRemoteFileName(u"/x.png/../../y");
  EXPECT_EQ(fs::path(StringToUtf8(x->LocalFileName())).parent_path(), StringToUtf8(folder));
  EXPECT_EQ(fs::path(StringToUtf8(x->LocalFileName())).extension(), "");

  // Destruction deletes the copy.
  const std::string ya = StringToUtf8(y->LocalFileName());
  ASSERT_TRUE(fs::exists(ya));
  y.reset();
  EXPECT_FALSE(fs::exists(ya));
}

TEST_F(InfoExtractorTest, ALocalCopyThatCannotBeReadRaises) {
  WriteFileBytes(server->Root() + "/c.html", "http://example.org/c");
  auto x = Extractor("/c.html");
  ASSERT_TRUE(x->Execute());
  // The copy replaced by a link: it is not followed.
  const std::string local = StringToUtf8(x->LocalFileName());
  fs::remove(local);
  fs::create_symlink(server->Root() + "/c.html", local);
  EXPECT_THROW(x->Execute(), EFOpenError);
  fs::remove(local);
}

}  // namespace
}  // namespace kwinet
