// kwinet rss against nginx on loopback and local files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "peers/NginxSuite.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

namespace {

using kwinet::test::Lines;
using kwinet::test::ProcessResult;
using kwinet::test::Tool;
using kwinet::test::WriteFileBytes;

class RssTool : public kwinet::test::TNginxSuite {};

TEST_F(RssTool, PrintsOneFieldALine) {
  // A windows-1251 feed whose description holds line breaks, a tab, a
  // backslash and a terminal escape sequence; an item with no field.
  WriteFileBytes(server->Root() + "/feed.xml",
                 "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<rss>\n<channel>\n<title>\xCD\xEE\xE2\xEE\xF1\xF2"
                 "\xE8</title>\n<ttl>60</ttl>\n<item>\n<title>A</title>\n<description>line 1\nline 2\tend \\ "
                 "\x1B[31mred</description>\n<dc:creator>Ann</dc:creator>\n</item>\n<item>\n</item>\n</channel>\n"
                 "<channel>\n<title>Second</title>\n</channel>\n</rss>\n");
  const std::string expected =
      "channel 1\n"
      "channel.title: \xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8\n"
      "channel.ttl: 60\n"
      "item 1.1\n"
      "item.title: A\n"
      "item.description: line 1\\nline 2\\tend \\\\ \\x1B[31mred\n"
      "item.creator: Ann\n"
      "item 1.2\n"
      "channel 2\n"
      "channel.title: Second\n";
  for (const std::string& where : {server->Url("/feed.xml"), server->Root() + "/feed.xml"}) {
    auto r = Tool({"rss", "--timeout", "10000", where});
    EXPECT_EQ(r.ExitCode, 0) << where << r.Err;
    EXPECT_EQ(r.Out, expected) << where;
    EXPECT_EQ(r.Err, "") << where;
  }
}

TEST_F(RssTool, FailsWithOneLineAndItsCode) {
  WriteFileBytes(server->Root() + "/page.html", "<html><body><p>no feed</p></body></html>\n");
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string says;
  } cases[] = {
      {{"rss", server->Url("/missing.xml")}, 3, "404"},
      {{"rss", server->Root() + "/missing.xml"}, 3, "missing.xml"},
      {{"rss", server->Url("/page.html")}, 4, "no channel"},
      {{"rss", "gopher://127.0.0.1/x"}, 2, "gopher"},
      {{"rss", "--timeout", "-1", server->Url("/page.html")}, 2, "--timeout"},
      {{"rss"}, 2, "URL"},
  };
  for (const Case& c : cases) {
    auto r = Tool(c.args);
    const std::string& last = c.args.back();
    EXPECT_EQ(r.ExitCode, c.code) << last << r.Err;
    EXPECT_EQ(r.Out, "") << last;
    EXPECT_EQ(Lines(r.Err), 1) << last << r.Err;
    EXPECT_NE(r.Err.find(c.says), std::string::npos) << last << r.Err;
  }
}

}  // namespace
