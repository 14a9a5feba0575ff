#include <gtest/gtest.h>

#include "peers/TestSupport.h"

using kwinet::test::ProcessResult;
using kwinet::test::RunProcess;

namespace {

ProcessResult XmlTool(std::vector<std::string> args) {
  args.insert(args.begin(), {KWINET_TOOL_PATH, "xml"});
  return RunProcess(args);
}

TEST(XmlTool, PrintsTheTreeOrOneSubtree) {
  kwinet::test::TempDir dir;
  const std::string file = dir.File("doc.xml");
  kwinet::test::WriteFileBytes(
      file,
      "\xEF\xBB\xBF<?xml version=\"1.0\" ?>\n<r>\n <!-- c -->\n <a k=\"1\">x &amp;lt; y\r\n</a>"
      "<b><B2>\xC3\xA9\\</B2></b>\n</r>");
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string out;
  } cases[] = {
      {{file},
       0,
       "property ?xml = \\n\n"
       "  attribute version = 1.0\n"
       "  property r = \\n \n"
       "    comment Comment = Comment c --\n"
       "    property a = x < y\\r\\n\n"
       "    property b\n"
       "      property B2 = \xC3\xA9\\\\\n"},
      {{"--find", "b2", file}, 0, "property B2 = \xC3\xA9\\\\\n"},
      {{"--find", "b", file}, 0, "property b\n  property B2 = \xC3\xA9\\\\\n"},
      {{"--find", "none", file}, 3, ""},
      {{dir.File("missing.xml")}, 1, ""},
  };
  for (const Case& c : cases) {
    ProcessResult r = XmlTool(c.args);
    EXPECT_EQ(r.ExitCode, c.exitCode) << c.args[0] << ": " << r.Err;
    EXPECT_EQ(r.Out, c.out) << c.args[0];
    if (c.exitCode != 0) {
      EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
    }
  }
}

TEST(XmlTool, FindsInADeepDocument) {
  kwinet::test::TempDir dir;
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<a>";
  deep += "<z>1<y/></z>";
  kwinet::test::WriteFileBytes(dir.File("deep.xml"), deep);
  ProcessResult r = XmlTool({"--find", "z", dir.File("deep.xml")});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "property z = 1\n  property y\n");
}

}  // namespace
