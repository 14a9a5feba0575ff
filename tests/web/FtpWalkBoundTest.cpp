// The FTP folder walk ends on any tree a server shows: a link back up the
// tree is listed but not entered, and a tree too deep is cut short with a
// reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "kwinet/web/FtpListing.h"
#include "kwinet/web/KwInet.h"
#include "kwinet/web/kwidir.h"
#include "peers/FtpServer.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Sorted(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(StringToUtf8(list[i]));
  std::sort(out.begin(), out.end());
  return out;
}

// How often the server's log shows Command received.
int Count(const std::string& log, const std::string& command) {
  int n = 0;
  for (std::size_t at = log.find("<- " + command); at != std::string::npos; at = log.find("<- " + command, at + 1)) ++n;
  return n;
}

void Aim(TKwRemoteFiles& lister, const test::TFtpServer& ftp) {
  lister.SetService(isFTP);
  lister.SetHost(u"127.0.0.1");
  lister.SetPort(static_cast<std::uint16_t>(ftp.Port()));
  lister.SetUser(u"ftpuser");
  lister.SetPassword(u"ftppass");
  lister.SetTimeout(10000);
  lister.SetSubFolders(true);
}

TEST(FtpWalkBoundTest, EntersEachFolderOnceAndNoneBeyondItsBounds) {
  using V = TFtpWalkBound;
  TFtpWalkBound bound(2, 4);  // two levels below the start, four folders
  struct Step {
    const char* identity;
    int depth;
    V::TVerdict verdict;
    V::TVerdict cut;  // after the step
  } steps[] = {
      {"", 0, V::wvEnter, V::wvEnter},       // the start, identity unknown
      {"a", 1, V::wvEnter, V::wvEnter},      //
      {"a", 2, V::wvSeen, V::wvEnter},       // a link to a: not entered, nothing cut
      {"b", 3, V::wvTooDeep, V::wvTooDeep},  //
      {"b", 2, V::wvEnter, V::wvTooDeep},    // kept out for its depth only: entered nearer the top
      {"", 1, V::wvEnter, V::wvTooDeep},     // no identity: never taken for another folder
      {"", 1, V::wvTooMany, V::wvTooDeep},   // the fifth folder; the first cut is the one told
      {"b", 1, V::wvSeen, V::wvTooDeep},     // seen wins over the count
  };
  for (const Step& s : steps) {
    const std::string where = std::string(s.identity) + " at " + std::to_string(s.depth);
    EXPECT_EQ(bound.Enter(s.identity, s.depth), s.verdict) << where;
    EXPECT_EQ(bound.Cut(), s.cut) << where;
  }
}

TEST(FtpWalkBoundTest, MlsdCarriesTheFolderIdentity) {
  TInetFindData d;
  ASSERT_TRUE(InetParseListingLine("type=dir;perm=el;Unique=803g1a2b; up", true, d));
  EXPECT_EQ(d.Identity, "803g1a2b");
  EXPECT_TRUE(d.Attributes & FILE_ATTRIBUTE_DIRECTORY);
  ASSERT_TRUE(InetParseListingLine("type=dir;perm=el; up", true, d));
  EXPECT_EQ(d.Identity, "");
}

// With MLSD the server shows a link to a folder as a folder (the same
// identity as its target); with LIST as a link. Either way the walk ends,
// lists every name once and enters every real folder once.
class FtpWalkLinkTest : public ::testing::TestWithParam<bool> {};

TEST_P(FtpWalkLinkTest, ALinkToAFolderOfTheWalkIsListedButNotEntered) {
  test::TFtpOptions options;
  options.Mlsd = GetParam();
  test::TFtpServer ftp(options);
  KWINET_REQUIRE_PEER(ftp.Started(), ftp.Error());
  const std::string root = ftp.Root();
  fs::create_directories(root + "/top/a/b");
  fs::create_directories(root + "/top/c");
  test::WriteFileBytes(root + "/top/a/f.txt", "x");
  fs::create_directory_symlink("..", root + "/top/a/up");         // its parent
  fs::create_directory_symlink("..", root + "/top/a/b/back");     // its parent's parent
  fs::create_directory_symlink("../c", root + "/top/a/sibling");  // a folder beside it

  TKwRemoteFiles lister(nullptr);
  Aim(lister, ftp);
  ASSERT_TRUE(lister.Execute());
  EXPECT_EQ(lister.Status(), isFinished);
  EXPECT_EQ(lister.ErrorText(), u"");
  const std::vector<std::string> want = {"/top/a",         "/top/a/b",  "/top/a/b/back", "/top/a/f.txt",
                                         "/top/a/sibling", "/top/a/up", "/top/c",        "top"};
  EXPECT_EQ(Sorted(*lister.FileList()), want);
  // root, top, a, b and c: each listed once.
  EXPECT_EQ(Count(ftp.Log(), GetParam() ? "MLSD" : "LIST"), 5) << ftp.Log();
}

INSTANTIATE_TEST_SUITE_P(MlsdAndList, FtpWalkLinkTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Mlsd" : "List"; });

// Folders nested one level deeper than the walk goes: the deepest one is
// listed, not entered, and the job says the walk was cut short.
TEST(FtpWalkDepthTest, AFolderPastTheDepthBoundIsListedNotEnteredAndTheReasonGiven) {
  test::TFtpServer ftp;
  KWINET_REQUIRE_PEER(ftp.Started(), ftp.Error());
  std::string deepest = ftp.Root();
  for (int i = 0; i <= kFtpWalkMaxDepth + 1; ++i) deepest += "/d";
  fs::create_directories(deepest);

  TKwRemoteFiles lister(nullptr);
  Aim(lister, ftp);
  ASSERT_TRUE(lister.Execute());
  EXPECT_EQ(lister.Status(), isFinished);
  std::vector<std::string> want = {"d"};
  for (std::string path = "/d/d"; want.size() <= static_cast<std::size_t>(kFtpWalkMaxDepth); path += "/d")
    want.push_back(path);
  const std::string deepestListed = want.back();
  std::sort(want.begin(), want.end());
  EXPECT_EQ(Sorted(*lister.FileList()), want);
  EXPECT_EQ(Count(ftp.Log(), "MLSD"), kFtpWalkMaxDepth + 1);
  const std::string why = StringToUtf8(lister.ErrorText());
  EXPECT_NE(why.find("cut short"), std::string::npos) << why;
  EXPECT_NE(why.find(std::to_string(kFtpWalkMaxDepth) + " levels"), std::string::npos) << why;
  EXPECT_NE(why.find(deepestListed), std::string::npos) << why;
}

}  // namespace
}  // namespace kwinet
