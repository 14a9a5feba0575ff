#include <gtest/gtest.h>

#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

using kwinet::test::ProcessResult;
using kwinet::test::RunProcess;
using kwinet::test::Tool;

namespace {

ProcessResult XmlTool(std::vector<std::string> args) {
  args.insert(args.begin(), "xml");
  return Tool(args);
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
       "    property a [k=\"1\"] = x < y\\r\\n\n"
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

TEST(XmlTool, ReadsPipesAndStandardInputAndShowsAttributeText) {
  kwinet::test::TempDir dir;
  const std::string doc = "<r a='1'  b=\"x y\">\n<i id=\"2\"\n  t=\"&amp;\"/><j>v</j></r>";
  const std::string tree =
      "property r [a='1'  b=\"x y\"] = \\n\n"
      "  property i [id=\"2\"\\n  t=\"&amp;\"]\n"
      "  property j = v\n";
  kwinet::test::WriteFileBytes(dir.File("doc.xml"), doc);
  std::string big;  // more than one pipe's worth
  for (int i = 0; i < 20000; ++i) big += "<e n=\"" + std::to_string(i) + "\">x</e>";
  struct Case {
    std::string file, input;
    int exitCode;
    std::string out;  // or, when it fails, a piece of its line on standard error
  } cases[] = {
      {dir.File("doc.xml"), "", 0, tree}, {"-", doc, 0, tree},
      {"/dev/stdin", doc, 0, tree},       {"-", "", 0, ""},
      {dir.Path(), "", 1, "cannot read"}, {dir.File("none.xml"), "", 1, "cannot open"},
  };
  for (const Case& c : cases) {
    ProcessResult r = Tool({"xml", c.file}, c.input);
    EXPECT_EQ(r.ExitCode, c.exitCode) << c.file << ": " << r.Err;
    if (c.exitCode == 0) {
      EXPECT_EQ(r.Out, c.out) << c.file;
    } else {
      EXPECT_EQ(r.Out, "");
      EXPECT_NE(r.Err.find(c.out), std::string::npos) << r.Err;
      EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
    }
  }
  ProcessResult piped = Tool({"xml", "--find", "e", "-"}, "<r>" + big + "</r>");
  EXPECT_EQ(piped.ExitCode, 0) << piped.Err;
  EXPECT_EQ(piped.Out, "property e [n=\"0\"] = x\n");
  ProcessResult last = Tool({"xml", "/dev/stdin"}, "<r>" + big + "</r>");
  EXPECT_TRUE(last.Out.ends_with("  property e [n=\"19999\"] = x\n")) << last.Out.size();
}

TEST(XmlTool, DeepNestingStopsIndentingAndShowsTheDepth) {
  constexpr int depth = 10000;
  std::string deep;
  for (int i = 0; i <= depth; ++i) deep += "<a>";
  const std::string wall(128, ' ');
  ProcessResult r = Tool({"xml", "-"}, deep);
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  // Linear: without the cap this document prints about 100 MB.
  EXPECT_LT(r.Out.size(), static_cast<std::size_t>(depth) * 160);
  for (const std::string& line : {std::string(126, ' ') + "property a\n", wall + "property a\n",
                                  wall + "65: property a\n", wall + "10000: property a\n"})
    EXPECT_NE(r.Out.find("\n" + line), std::string::npos) << line.substr(120);
  EXPECT_EQ(r.Out.find(wall + " "), std::string::npos);
}

}  // namespace

namespace {

TEST(XmlTool, PipeThatDoesNotEndIsCutAtItsBound) {
  // The shell's pipe: the tool cannot know its size, and it never ends.
  ProcessResult r = RunProcess({"/bin/sh", "-c", "cat /dev/zero 2>/dev/null | \"$0\" xml -", KWINET_TOOL_PATH});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(r.Out, "");
  EXPECT_NE(r.Err.find("standard input gives more than 256 MiB"), std::string::npos) << r.Err;
  EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
}

}  // namespace
