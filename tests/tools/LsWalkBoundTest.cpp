// kwinet ls -r on an FTP tree deeper than the walk goes: the listing is
// printed, but the job did not do all it was asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "kwinet/web/FtpListing.h"
#include "peers/FtpServer.h"
#include "peers/ServerProcess.h"

namespace {

TEST(LsTool, AWalkCutShortPrintsTheListingAndFailsWithOneLine) {
  kwinet::test::TFtpServer ftp;
  KWINET_REQUIRE_PEER(ftp.Started(), ftp.Error());
  std::string deepest = ftp.Root();
  for (int i = 0; i <= kwinet::kFtpWalkMaxDepth + 1; ++i) deepest += "/d";
  std::filesystem::create_directories(deepest);
  const std::string url = "ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/";
  const auto r = kwinet::test::RunProcess({KWINET_TOOL_PATH, "ls", "-r", url});
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  // Every folder down to the first one left out.
  EXPECT_EQ(std::count(r.Out.begin(), r.Out.end(), '\n'), kwinet::kFtpWalkMaxDepth + 1) << r.Out;
  EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
  EXPECT_NE(r.Err.find("cut short"), std::string::npos) << r.Err;
}

}  // namespace
