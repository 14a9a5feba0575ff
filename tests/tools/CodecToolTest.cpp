#include <gtest/gtest.h>

#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

using kwinet::test::RunProcess;
using kwinet::test::Tool;

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
      {{"encode", "url", "a b&c~"}, "a+b%26c%7E\n"},         {{"encode", "url", "--utf8", "\xC3\xA9"}, "%C3%A9\n"},
      {{"encode", "url", "--chars", "\xC3\xA9"}, "%E9\n"},   {{"decode", "url", "a+b%26c%%"}, "a b&c%\n"},
      {{"decode", "url", "--utf8", "%C3%A9"}, "\xC3\xA9\n"}, {{"decode", "html", "&lt;b&gt; &amp;amp;"}, "<b> &\n"},
  };
  for (const auto& c : cases) {
    auto r = Tool(c.args);
    EXPECT_EQ(r.ExitCode, 0) << c.args.back() << ": " << r.Err;
    EXPECT_EQ(r.Out, c.out) << c.args.back();
  }
}

// URL encoding is of UTF-8 bytes unless --chars asks for one %XX per
// character; nothing is dropped or cut short on the way.
TEST(CodecTool, UrlCodecsWorkOnUtf8BytesUnlessAskedForCharacters) {
  const std::string euro = "\xE2\x82\xAC", smile = "\xF0\x9F\x98\x80";
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string out;  // or, when it fails, its line on standard error
  } cases[] = {
      {{"encode", "url", "5 " + euro}, 0, "5+%E2%82%AC\n"},
      {{"encode", "url", smile + "-_.~"}, 0, "%F0%9F%98%80-_.%7E\n"},
      {{"encode", "url", "\xE9\xFF"}, 0, "%E9%FF\n"},  // not UTF-8: its bytes all the same
      {{"encode", "url", "--chars", "\xC3\xBF!/"}, 0, "%FF!%2F\n"},
      {{"encode", "url", "--chars", "a" + euro},
       1,
       "kwinet: character U+20AC at position 2 does not fit in one %XX; without --chars the UTF-8 bytes are "
       "encoded\n"},
      {{"encode", "url", "--chars", "ab" + smile}, 1, "kwinet: character U+1F600 at position 3"},
      {{"encode", "url", "--chars", "--utf8", "a"}, 2, "kwinet: --chars excludes --utf8"},
      {{"decode", "url", "5+%E2%82%AC"}, 0, "5 " + euro + "\n"},
      {{"decode", "url", euro + "+%e2%82%ac"}, 0, euro + " " + euro + "\n"},
      {{"decode", "url", "%E9%00x"}, 0, std::string("\xE9\0x\n", 4)},
      {{"decode", "url", "--chars", "%E9" + euro}, 0, "\xC3\xA9" + euro + "\n"},
      {{"decode", "url", "--chars", "%E2%82%AC"}, 0, "\xC3\xA2\xC2\x82\xC2\xAC\n"},
      {{"decode", "url", "%E2%82%A"}, 1, "kwinet: Error decoding URL style (%XX) encoded string at position 7\n"},
  };
  for (const auto& c : cases) {
    auto r = Tool(c.args);
    EXPECT_EQ(r.ExitCode, c.exitCode) << c.args.back() << ": " << r.Err;
    if (c.exitCode == 0) {
      EXPECT_EQ(r.Out, c.out) << c.args.back();
    } else {
      EXPECT_EQ(r.Out, "");
      EXPECT_TRUE(r.Err.starts_with(c.out)) << r.Err;
      EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
    }
  }
}

TEST(CodecTool, FailuresGiveOneLineAndNonZeroStatus) {
  for (std::vector<std::string> args :
       {std::vector<std::string>{"decode", "url", "abc%1"}, {"encode", "url"}, {"nonsense"}, {}}) {
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
  for (std::vector<std::string> args : {std::vector<std::string>{"--help"},
                                        {"encode", "--help"},
                                        {"encode", "base64", "--help"},
                                        {"decode", "html", "--help"},
                                        {"demo", "--help"}}) {
    auto r = Tool(args);
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("Usage:"), std::string::npos) << args.front();
  }
}
