// kwinet xml: the node tree that the XML engine builds from a file.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

#include "Tool.h"
#include "kwinet/xml/KwInetXML.h"
#include "support/TempDir.h"

namespace kwinet::tool {
namespace {

const char* KindName(TKwXMLItemKind kind) {
  switch (kind) {
    case ikProperty:
      return "property";
    case ikAttribute:
      return "attribute";
    case ikComment:
      return "comment";
    case ikCDATA:
      return "cdata";
  }
  return "?";
}

// Keeps one node a line: line breaks, tabs, other control characters and
// the backslash are written as escapes.
String OneLine(const String& s) {
  String out;
  out.reserve(s.size());
  for (Char c : s) {
    switch (c) {
      case u'\\':
        out += u"\\\\";
        break;
      case u'\n':
        out += u"\\n";
        break;
      case u'\r':
        out += u"\\r";
        break;
      case u'\t':
        out += u"\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F)
          out += Format(u"\\x%.2x", {static_cast<int>(c)});
        else
          out.push_back(c);
    }
  }
  return out;
}

// Prints the subtree, two blanks of indent per level below Start, without
// recursion: a document may be nested very deeply.
void PrintTree(TKwXMLItem* Start) {
  std::vector<std::pair<TKwXMLItem*, std::size_t>> stack{{Start, 0}};
  while (!stack.empty()) {
    auto [node, depth] = stack.back();
    stack.pop_back();
    String line(depth * 2, u' ');
    line += Str(KindName(node->Kind())) + u" " + OneLine(node->TagName());
    const String value = node->GetTagValue();
    if (!value.empty()) line += u" = " + OneLine(value);
    Print(line);
    const TKwXMLItems* items = node->Items();
    for (int i = items->Count() - 1; i >= 0; --i)
      if (TKwXMLItem* child = (*items)[i]) stack.push_back({child, depth + 1});
  }
}

void Setup(CLI::App& app) {
  static std::string file;
  static std::string find;
  file.clear();  // the demo runs the command more than once in one process
  find.clear();
  auto* cmd = app.add_subcommand(
      "xml",
      "Print the node tree of an XML file, one node a line: kind, tag name and \" = \" with the decoded value.\n"
      "Control characters in names and values are shown as \\n, \\r, \\t or \\xNN. Exit status 3 when --find "
      "finds nothing.");
  cmd->add_option("--find", find, "Print only the subtree of the first node with this tag name (case ignored)");
  cmd->add_option("FILE", file, "The XML file")->required();
  cmd->callback([] {
    TKwXMLEngine engine(nullptr);
    engine.LoadFromFile(Utf8ToString(file));
    TKwXMLItem* start = engine.RootItem();
    if (!find.empty()) {
      start = engine.GetItemByTag(nullptr, Utf8ToString(find));
      if (!start) throw ToolError(3, "no node named " + find + " in " + file);
    }
    if (start && (!start->TagName().empty() || start->Items()->Count() > 0 || !start->Value().IsEmpty()))
      PrintTree(start);
  });
}

int Demo() {
  support::TempDir dir("kwinet-xml");
  const std::string file = dir.File("shipment.xml");
  const char* doc =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
      "<TrackResponse>\n"
      "  <!-- a trimmed carrier answer -->\n"
      "  <Shipment id=\"1Z999\">\n"
      "    <Status>In transit &amp; on time</Status>\n"
      "    <Location city=\"Z\xC3\xBCrich\">Z\xC3\xBCrich &deg;12</Location>\n"
      "    <Date>2013-05-07T14:03:09</Date>\n"
      "  </Shipment>\n"
      "</TrackResponse>\n";
  int failures = 0;
  if (FILE* f = std::fopen(file.c_str(), "wb")) {
    std::fputs(doc, f);
    std::fclose(f);
    std::printf("$ cat shipment.xml\n%s", doc);
    for (std::vector<std::string> args :
         {std::vector<std::string>{"xml", file}, std::vector<std::string>{"xml", "--find", "location", file}}) {
      std::printf("$ kwinet xml%s shipment.xml\n", args.size() > 2 ? " --find location" : "");
      std::fflush(stdout);
      if (Run(args) != 0) ++failures;
      std::fflush(stdout);
    }
  } else {
    std::perror("kwinet: cannot write the demo document");
    ++failures;
  }
  return failures;
}

Register reg({"xml", 50, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
