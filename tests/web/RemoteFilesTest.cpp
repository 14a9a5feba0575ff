// The remote directory lister: an FTP server's folder tree (pyftpdlib, with
// MLSD and with LIST only) and the local file system.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "kwinet/core/Application.h"
#include "kwinet/ui/ScriptedBackend.h"
#include "kwinet/web/FolderWalk.h"
#include "kwinet/web/FtpListing.h"
#include "kwinet/web/kwidir.h"
#include "peers/FtpServer.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

namespace fs = std::filesystem;

// The lister with the connection and the listing reachable, so a test can
// look at the server's current folder after a listing.
class TTestLister : public TKwRemoteFiles {
 public:
  using TKwRemoteFiles::ConnectToInet;
  using TKwRemoteFiles::DisconnectFromInet;
  using TKwRemoteFiles::ReadDirFromInet;
  using TKwRemoteFiles::TKwRemoteFiles;
  String CurrentFolder() const {
    String dir;
    FtpGetCurrentDirectory(hURL, dir);
    return dir;
  }
};

std::vector<std::string> Lines(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(StringToUtf8(list[i]));
  return out;
}

// a.txt, pub/{readme, tools/{x.bin}}, src/{main.c, tests/{t.c}} under root.
void MakeTree(const std::string& root) {
  fs::create_directories(root + "/pub/tools");
  fs::create_directories(root + "/src/tests");
  for (const char* f : {"/a.txt", "/pub/readme", "/pub/tools/x.bin", "/src/main.c", "/src/tests/t.c"})
    test::WriteFileBytes(root + f, "x");
}

// Got must be the blocks in this order, each block's entries in any order
// (the server lists a folder in the order it likes).
void ExpectBlocks(const std::vector<std::string>& got, const std::vector<std::vector<std::string>>& blocks) {
  std::size_t at = 0;
  for (const auto& block : blocks) {
    ASSERT_LE(at + block.size(), got.size()) << "listing ends early";
    std::vector<std::string> part(got.begin() + static_cast<long>(at),
                                  got.begin() + static_cast<long>(at + block.size()));
    std::vector<std::string> want = block;
    std::sort(part.begin(), part.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(part, want) << "block at " << at;
    at += block.size();
  }
  EXPECT_EQ(at, got.size());
}

bool ListsBefore(const std::vector<std::string>& got, const std::string& a, const std::string& b) {
  return std::find(got.begin(), got.end(), a) < std::find(got.begin(), got.end(), b);
}

TEST(WildCardTest, MatchesLikeTheFileSearch) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      // "*.*" is every name, one without a dot and the two dot folders too.
      {"*.*", "readme", true},  {"*.*", ".", true},      {"*.*", "..", true},           {"*", ".hidden", true},
      {"*.txt", "a.txt", true}, {"*.txt", ".txt", true}, {"*.txt", "a.txt.bak", false}, {"*.txt", "a.TXT", false},
      {"a?c", "abc", true},     {"?", "ab", false},      {"a*b*c", "aXbYc", true},      {"a*b*c", "aXbY", false},
      {"**a", "a", true},       {"*s*", "src", true},    {"*s*", "pub", false},         {"[a-c]x", "bx", true},
      {"[!a-c]x", "bx", false}, {"[]]", "]", true},      {"[ab", "[ab", true},  // not closed: a plain "["
      {"\\*", "*", true},       {"\\*", "a", false},     {"*.[ch]", "main.c", true},    {"*.[ch]", "main.o", false},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchesWildCard(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
  // Many stars against a long name that fails at its end: a matcher that
  // tries every way of placing the stars would never finish.
  EXPECT_FALSE(MatchesWildCard("*a*a*a*a*a*a*a*a*a*a*b", std::string(100000, 'a')));
  EXPECT_TRUE(MatchesWildCard("*a*a*a*a*a*a*a*a*a*a*b", std::string(100000, 'a') + "b"));
}

class RemoteFilesFtpTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    test::TFtpOptions options;
    options.Mlsd = GetParam();
    ftp = std::make_unique<test::TFtpServer>(options);
    KWINET_REQUIRE_PEER(ftp->Started(), ftp->Error());
    MakeTree(ftp->Root());
  }
  void Setup(TTestLister& lister) const {
    lister.SetService(isFTP);
    lister.SetHost(u"127.0.0.1");
    lister.SetPort(static_cast<std::uint16_t>(ftp->Port()));
    lister.SetUser(u"ftpuser");
    lister.SetPassword(u"ftppass");
    lister.SetTimeout(10000);
  }
  std::unique_ptr<test::TFtpServer> ftp;
};

TEST_P(RemoteFilesFtpTest, ListsEachFolderWholeThenItsSubfoldersInTheOrderFound) {
  TTestLister lister(nullptr);
  Setup(lister);
  lister.SetSubFolders(true);
  ASSERT_TRUE(lister.Execute());
  EXPECT_EQ(lister.Status(), isFinished);
  const auto got = Lines(*lister.FileList());
  // The login folder is the root: its entries are bare names.
  const std::vector<std::string> root = {"a.txt", "pub", "src"};
  const std::vector<std::vector<std::string>> pub = {{"/pub/readme", "/pub/tools"}, {"/pub/tools/x.bin"}};
  const std::vector<std::vector<std::string>> src = {{"/src/main.c", "/src/tests"}, {"/src/tests/t.c"}};
  std::vector<std::vector<std::string>> want = {root};
  const bool pubFirst = ListsBefore(got, "pub", "src");
  for (const auto* tree : {pubFirst ? &pub : &src, pubFirst ? &src : &pub})
    want.insert(want.end(), tree->begin(), tree->end());
  ExpectBlocks(got, want);
}

TEST_P(RemoteFilesFtpTest, AFolderOtherThanTheCurrentGivesPathsAndTheCurrentFolderComesBack) {
  TTestLister lister(nullptr);
  Setup(lister);
  lister.ConnectToInet(false);
  ASSERT_EQ(lister.CurrentFolder(), u"/");
  TStringList list;
  ASSERT_TRUE(lister.ReadDirFromInet(u"/pub", u"*.*", list, true));
  ExpectBlocks(Lines(list), {{"/pub/readme", "/pub/tools"}, {"/pub/tools/x.bin"}});
  EXPECT_EQ(lister.CurrentFolder(), u"/");

  // A folder relative to the current one is searched where it is, not under
  // itself once it has become the current folder.
  list.Clear();
  ASSERT_TRUE(lister.ReadDirFromInet(u"pub/tools", u"*.*", list, true));
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"pub/tools/x.bin"}));
  EXPECT_EQ(lister.CurrentFolder(), u"/");

  // A pattern picks the subfolders visited too: pub does not match.
  list.Clear();
  ASSERT_TRUE(lister.ReadDirFromInet(String(), u"*s*", list, true));
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"src", "/src/tests"}));

  // Nothing found: nothing added, but entries already there count.
  EXPECT_TRUE(lister.ReadDirFromInet(u"/pub", u"*.none", list, true));
  EXPECT_EQ(list.Count(), 2);
  list.Clear();
  EXPECT_FALSE(lister.ReadDirFromInet(u"/pub", u"*.none", list, true));
  EXPECT_EQ(lister.CurrentFolder(), u"/");
  lister.DisconnectFromInet();
}

TEST_P(RemoteFilesFtpTest, AFolderThatCannotBeEnteredShowsOneBoxAndTheListingGoesOn) {
  if (!GetParam()) GTEST_SKIP() << "LIST shows the link as a link, not as a folder";
  // The server lists the link as a folder, but it leads out of the served
  // tree, so the server refuses to enter it.
  fs::create_directory_symlink("/", ftp->Root() + "/pub/away");
  TBackendScope<TScriptedBackend> ui;
  TTestLister lister(nullptr);
  Setup(lister);
  lister.SetDirectory(u"/pub");
  lister.SetSubFolders(true);
  ASSERT_TRUE(lister.Execute());
  ASSERT_EQ(ui->Messages.size(), 1u);
  EXPECT_NE(ui->Messages[0].Text.find(u"/pub/away"), String::npos) << StringToUtf8(ui->Messages[0].Text);
  // The refused folder is listed and adds no block of its own.
  ExpectBlocks(Lines(*lister.FileList()), {{"/pub/away", "/pub/readme", "/pub/tools"}, {"/pub/tools/x.bin"}});
}

INSTANTIATE_TEST_SUITE_P(MlsdOrList, RemoteFilesFtpTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Mlsd" : "List"; });

TEST(RemoteFilesLocalTest, ListsDepthFirstWithDotsAndEntersNoFolderTwice) {
  test::TempDir dir;
  const std::string d = dir.Path();
  MakeTree(d);
  // Links back up the tree: listed as entries, never entered.
  fs::create_directory_symlink(d, d + "/src/loop");
  fs::create_directory_symlink("..", d + "/pub/tools/up");
  TKwRemoteFiles lister(nullptr);
  lister.SetService(isNetwork);
  lister.SetDirectory(Utf8ToString(d));
  lister.SetSubFolders(true);
  ASSERT_TRUE(lister.Execute());
  std::vector<std::string> want;
  for (const char* e :
       {"/.",           "/..",           "/a.txt",        "/pub",          "/pub/.",        "/pub/..",
        "/pub/readme",  "/pub/tools",    "/pub/tools/.",  "/pub/tools/..", "/pub/tools/up", "/pub/tools/x.bin",
        "/src",         "/src/.",        "/src/..",       "/src/loop",     "/src/main.c",   "/src/tests",
        "/src/tests/.", "/src/tests/..", "/src/tests/t.c"})
    want.push_back(d + e);
  EXPECT_EQ(Lines(*lister.FileList()), want);

  // A pattern picks the subfolders entered too; dots match no other pattern.
  lister.SetWildCard(u"*s*");
  ASSERT_TRUE(lister.Execute());
  EXPECT_EQ(Lines(*lister.FileList()), (std::vector<std::string>{d + "/src", d + "/src/tests"}));

  // The current folder, without subfolders: bare names.
  const fs::path was = fs::current_path();
  fs::current_path(d + "/pub");
  lister.SetDirectory(String());
  lister.SetWildCard(u"*.*");
  lister.SetSubFolders(false);
  const bool ok = lister.Execute();
  fs::current_path(was);
  ASSERT_TRUE(ok);
  EXPECT_EQ(Lines(*lister.FileList()), (std::vector<std::string>{".", "..", "readme", "tools"}));
}

// A walk whose entries would add up to more than MaxResponseSize bytes (a
// line break counted after each) ends there, keeps what it found and says
// why.
TEST(RemoteFilesLocalTest, AWalkEndsAtTheSizeBound) {
  test::TempDir dir;
  const std::string d = dir.Path();
  MakeTree(d);
  TKwRemoteFiles lister(nullptr);
  lister.SetService(isNetwork);
  lister.SetDirectory(Utf8ToString(d));
  lister.SetSubFolders(true);
  lister.SetMaxResponseSize(static_cast<std::int64_t>((d + "/.\n" + d + "/..\n").size()));
  ASSERT_TRUE(lister.Execute());
  EXPECT_EQ(lister.Status(), isFinished);
  EXPECT_EQ(Lines(*lister.FileList()), (std::vector<std::string>{d + "/.", d + "/.."}));
  EXPECT_NE(StringToUtf8(lister.ErrorText()).find("Listing cut short"), std::string::npos)
      << StringToUtf8(lister.ErrorText());
}

// A walk ends after its last entry allowed, keeps the entries before it and
// says why (a walk of the file system as one over FTP: one budget).
TEST(RemoteFilesLocalTest, AWalkEndsAtTheEntryBound) {
  test::TempDir dir;
  const std::string d = dir.Path();
  MakeTree(d);
  TStringList list;
  TWalkBudget budget(0, 4);
  ListLocalTree(Utf8ToString(d), u"*.*", list, true, budget);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{d + "/.", d + "/..", d + "/a.txt", d + "/pub"}));
  EXPECT_EQ(budget.Cut(), u"Listing cut short: no more than 4 entries are listed in one listing");
}

TEST(RemoteFilesStatusTest, NothingFoundIsNotFoundAndNoServerIsFailed) {
  test::TempDir dir;
  struct Row {
    TKwIService service;
    std::string directory;
    TKwIStatus status;
  } rows[] = {
      {isNetwork, dir.Path(), isNotFound},           // only "." and "..", which "*.txt" does not match
      {isNetwork, dir.File("missing"), isNotFound},  // no such folder
      {isHTTP, "/", isNotFound},                     // nothing is listed over HTTP
      {isFTP, "/", isFailed},                        // no server on the port
  };
  for (const Row& r : rows) {
    TKwRemoteFiles lister(nullptr);
    lister.SetService(r.service);
    lister.SetHost(u"127.0.0.1");
    lister.SetPort(static_cast<std::uint16_t>(test::FreePort()));
    lister.SetTimeout(5000);
    lister.SetDirectory(Utf8ToString(r.directory));
    lister.SetWildCard(u"*.txt");
    lister.Execute();
    EXPECT_EQ(lister.Status(), r.status) << int(r.service) << " " << r.directory;
    EXPECT_EQ(lister.FileList()->Count(), 0);
    EXPECT_FALSE(lister.ErrorText().empty());
  }
}

}  // namespace
}  // namespace kwinet
