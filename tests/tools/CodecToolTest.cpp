#include <gtest/gtest.h>

#include "peers/TestSupport.h"

using kwinet::test::ProcessResult;
using kwinet::test::RunProcess;

namespace {
ProcessResult Tool(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), KWINET_TOOL_PATH);
  return RunProcess(args, input);
}
}  // namespace

TEST(CodecTool, Base64OfAFileAndOfStandardInput) {
  kwinet::test::TempDir dir;
  std::string data;
  for (int i = 0; i < 5000000; ++i) data.push_back(static_cast<char>(i * 31 % 251));
  kwinet::test::WriteFileBytes(dir.File("in.bin"), data);
  auto fromFile = Tool({"encode", "base64", dir.File("in.bin")});
  ASSERT_EQ(fromFile.ExitCode, 0) << fromFile.Err;
  // The reference: coreutils' base64 on one line.
  auto reference = RunProcess({"/usr/bin/base64", "-w0", dir.File("in.bin")});
  ASSERT_EQ(reference.ExitCode, 0);
  EXPECT_TRUE(fromFile.Out == reference.Out + "\n") << "outputs differ";
  auto fromStdin = Tool({"encode", "base64"}, "ab");
  EXPECT_EQ(fromStdin.Out, "YWI=\n");
  auto missing = Tool({"encode", "base64", dir.File("none")});
  EXPECT_NE(missing.ExitCode, 0);
  EXPECT_NE(missing.Err.find("cannot open"), std::string::npos);
}

TEST(CodecTool, UrlAndHtmlCommands) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"encode", "url", "a b&c~"}, "a+b%26c%7E\n"},
      {{"encode", "url", "--utf8", "\xC3\xA9"}, "%C3%A9\n"},
      {{"encode", "url", "\xC3\xA9"}, "%E9\n"},
      {{"decode", "url", "a+b%26c%%"}, "a b&c%\n"},
      {{"decode", "url", "--utf8", "%C3%A9"}, "\xC3\xA9\n"},
      {{"decode", "html", "&lt;b&gt; &amp;amp;"}, "<b> &\n"},
  };
  for (const auto& c : cases) {
    auto r = Tool(c.args);
    EXPECT_EQ(r.ExitCode, 0) << c.args.back() << ": " << r.Err;
    EXPECT_EQ(r.Out, c.out) << c.args.back();
  }
}

TEST(CodecTool, FailuresGiveOneLineAndNonZeroStatus) {
  for (std::vector<std::string> args : {std::vector<std::string>{"decode", "url", "abc%1"},
                                        {"encode", "url"}, {"nonsense"}, {}}) {
    auto r = Tool(args);
    EXPECT_NE(r.ExitCode, 0);
    EXPECT_TRUE(r.Out.empty());
    ASSERT_FALSE(r.Err.empty());
    EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
  }
  auto bad = Tool({"decode", "url", "abc%1"});
  EXPECT_EQ(bad.Err, "kwinet: Error decoding URL style (%XX) encoded string at position 4\n");
}

TEST(CodecTool, EveryLevelHasHelp) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--help"}, {"encode", "--help"},
                                        {"encode", "base64", "--help"}, {"decode", "html", "--help"},
                                        {"demo", "--help"}}) {
    auto r = Tool(args);
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("Usage:"), std::string::npos) << args.front();
  }
}
