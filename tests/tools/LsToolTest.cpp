// kwinet ls against pyftpdlib on loopback and local folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "kwinet/web/FtpListing.h"
#include "peers/FtpServer.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

namespace {

namespace fs = std::filesystem;
using kwinet::test::Lines;
using kwinet::test::ProcessResult;
using kwinet::test::Tool;
using kwinet::test::WriteFileBytes;

void MakeTree(const std::string& root) {
  fs::create_directories(root + "/pub/tools");
  for (const char* f : {"/readme.txt", "/pub/notes.txt", "/pub/tools/x.bin"}) WriteFileBytes(root + f, "x");
}

TEST(LsTool, ListsFtpAndLocalFoldersAndExitsByWhatItFound) {
  // LIST only: the server sorts it, so the output is exact.
  kwinet::test::TFtpOptions options;
  options.Mlsd = false;
  kwinet::test::TFtpServer ftp(options);
  KWINET_REQUIRE_PEER(ftp.Started(), ftp.Error());
  MakeTree(ftp.Root());
  kwinet::test::TempDir local;
  MakeTree(local.Path());
  const std::string url = "ftp://127.0.0.1:" + std::to_string(ftp.Port());
  const std::string closed = "ftp://127.0.0.1:" + std::to_string(kwinet::test::FreePort()) + "/";
  const std::string l = local.Path();
  struct Case {
    std::vector<std::string> args;
    std::string out;
    int code;
  } cases[] = {
      {{"ls", url}, "pub\nreadme.txt\n", 0},
      {{"ls", "-r", url + "/"}, "pub\nreadme.txt\n/pub/notes.txt\n/pub/tools\n/pub/tools/x.bin\n", 0},
      {{"ls", "-r", "--pattern", "*.txt", "--user", "ftpuser", "--password", "ftppass", url + "/pub/"},
       "/pub/notes.txt\n",
       0},
      {{"ls", "--pattern", "*.exe", url}, "", 3},
      {{"ls", "--user", "ftpuser", "--password", "wrong", url}, "", 1},
      {{"ls", "--timeout", "5000", closed}, "", 1},
      {{"ls", "-r", l + "/pub"},
       l + "/pub/.\n" + l + "/pub/..\n" + l + "/pub/notes.txt\n" + l + "/pub/tools\n" + l + "/pub/tools/.\n" + l +
           "/pub/tools/..\n" + l + "/pub/tools/x.bin\n",
       0},
      {{"ls", "--pattern", "*.exe", l}, "", 3},
      {{"ls", l + "/missing"}, "", 1},
      {{"ls", "http://127.0.0.1/"}, "", 2},
      {{"ls", "--timeout", "-1", url}, "", 2},
  };
  for (const Case& c : cases) {
    auto r = Tool(c.args);
    std::string what;
    for (const auto& a : c.args) what += a + " ";
    EXPECT_EQ(r.Out, c.out) << what;
    EXPECT_EQ(r.ExitCode, c.code) << what << r.Err;
    // A failure is one line on standard error.
    if (c.code != 0) {
      EXPECT_EQ(Lines(r.Err), 1) << what << r.Err;
    }
  }
}

TEST(LsTool, AFolderThatCannotBeEnteredIsNamedAndFailsTheListing) {
  kwinet::test::TFtpServer ftp;  // MLSD lists the link as a folder
  KWINET_REQUIRE_PEER(ftp.Started(), ftp.Error());
  MakeTree(ftp.Root());
  fs::create_directory_symlink("/", ftp.Root() + "/pub/away");
  auto r = Tool({"ls", "-r", "ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/pub"});
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  EXPECT_EQ(Lines(r.Err), 1) << r.Err;
  EXPECT_NE(r.Err.find("/pub/away"), std::string::npos) << r.Err;
  // The rest is listed all the same.
  EXPECT_NE(r.Out.find("/pub/tools/x.bin\n"), std::string::npos) << r.Out;
}

// A folder whose listing the server refuses is no empty folder: the listing
// fails, naming it.
TEST(LsTool, AListingTheServerRefusesFailsTheListing) {
  kwinet::test::TFtpOptions options;
  options.Permissions = "e";  // may change folders, may not list them
  kwinet::test::TFtpServer ftp(options);
  KWINET_REQUIRE_PEER(ftp.Started(), ftp.Error());
  MakeTree(ftp.Root());
  auto r = Tool(
      {"ls", "--user", "ftpuser", "--password", "ftppass", "ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/pub"});
  EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;
  EXPECT_EQ(Lines(r.Err), 1) << r.Err;
  EXPECT_NE(r.Err.find("Cannot list the folder /pub"), std::string::npos) << r.Err;
}

// An FTP tree deeper than the walk goes: the listing is printed, but the job
// did not do all it was asked.
TEST(LsTool, AWalkCutShortPrintsTheListingAndFailsWithOneLine) {
  kwinet::test::TFtpServer ftp;
  KWINET_REQUIRE_PEER(ftp.Started(), ftp.Error());
  std::string deepest = ftp.Root();
  for (int i = 0; i <= kwinet::kFtpWalkMaxDepth + 1; ++i) deepest += "/d";
  fs::create_directories(deepest);
  const ProcessResult r = Tool({"ls", "-r", "ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/"});
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  // Every folder down to the first one left out.
  EXPECT_EQ(Lines(r.Out), kwinet::kFtpWalkMaxDepth + 1) << r.Out;
  EXPECT_TRUE(kwinet::test::OneErrorLine(r)) << r.Err;
  EXPECT_NE(r.Err.find("cut short"), std::string::npos) << r.Err;
}

// A name with control characters in it reaches the terminal escaped, never
// as an escape sequence.
TEST(LsTool, ControlCharactersInNamesAreShownEscaped) {
  kwinet::test::TempDir dir;
  WriteFileBytes(dir.File("red\x1b[31mname\tx"), "x");
  const ProcessResult r = Tool({"ls", dir.Path()});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find(dir.Path() + "/red\\x1B[31mname\\tx\n"), std::string::npos) << r.Out;
  EXPECT_EQ(r.Out.find('\x1b'), std::string::npos);
}

}  // namespace
