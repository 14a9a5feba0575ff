// kwinet xml: the node tree that the XML engine builds from a file.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

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
// the backslash are written as escapes, as for every value the tool shows.
String OneLine(const String& s) {
  return Utf8ToString(OneLineValue(s));
}

// Past this depth a line shows its depth as a number in place of more
// blanks, so a deeply nested document prints in linear space.
constexpr std::size_t kIndentLevels = 64;

String Indent(std::size_t depth) {
  if (depth <= kIndentLevels) return String(depth * 2, u' ');
  return String(kIndentLevels * 2, u' ') + Str(std::to_string(depth)) + u": ";
}

String Trimmed(const String& s) {
  std::size_t begin = 0, end = s.size();
  while (begin < end && (s[begin] == u' ' || s[begin] == u'\t' || s[begin] == u'\r' || s[begin] == u'\n')) ++begin;
  while (end > begin && (s[end - 1] == u' ' || s[end - 1] == u'\t' || s[end - 1] == u'\r' || s[end - 1] == u'\n'))
    --end;
  return s.substr(begin, end - begin);
}

// Prints the subtree, two blanks of indent per level below Start, without
// recursion: a document may be nested very deeply.
void PrintTree(TKwXMLItem* Start) {
  std::vector<std::pair<TKwXMLItem*, std::size_t>> stack{{Start, 0}};
  while (!stack.empty()) {
    auto [node, depth] = stack.back();
    stack.pop_back();
    String line = Indent(depth);
    line += Str(KindName(node->Kind())) + u" " + OneLine(node->TagName());
    // The attribute text as it stands in the start tag (the declaration's
    // attributes are split into nodes of their own and so show below it).
    const String attributes = Trimmed(node->Attributes());
    if (!attributes.empty()) line += u" [" + OneLine(attributes) + u"]";
    const String value = node->GetTagValue();
    if (!value.empty()) line += u" = " + OneLine(value);
    Print(line);
    const TKwXMLItems* items = node->Items();
    for (int i = items->Count() - 1; i >= 0; --i)
      if (TKwXMLItem* child = (*items)[i]) stack.push_back({child, depth + 1});
  }
}

// What the tool takes from a pipe, a device or standard input at most.
constexpr std::int64_t kMaxUnsizedInput = std::int64_t(256) << 20;

// Reads the whole of a file, a pipe or standard input ("-"): the document is
// read to its end rather than to the size that the file claims, which a pipe
// or a file of /proc gives as 0.
void ReadAll(const std::string& file, TMemoryStream& into) {
  const bool standardInput = file == "-";
  const std::string name = standardInput ? std::string("standard input") : file;
  int fd = 0;
  if (!standardInput) {
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw ToolError(1, "cannot open " + name + ": " + std::strerror(errno));
  }
  struct Closer {
    int fd;
    ~Closer() {
      if (fd != 0) ::close(fd);
    }
  } closer{fd};
  struct stat st {};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (regular && st.st_size > 0) {
    into.SetSize(st.st_size);
    into.SetSize(0);  // keeps the room: the bytes below go in without copies
  }
  char buffer[64 * 1024];
  std::int64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ToolError(1, "cannot read " + name + ": " + std::strerror(errno));
    if (n == 0) break;
    total += n;
    // A pipe or a device may never end (/dev/zero): what it gives is held
    // in memory, so it is bounded.
    if (!regular && total > kMaxUnsizedInput)
      throw ToolError(1, name + " gives more than 256 MiB; give the document as a regular file");
    into.Write(buffer, n);
  }
  into.SetPosition(0);
}

void Setup(CLI::App& app) {
  static std::string file;
  static std::string find;
  file.clear();  // the demo runs the command more than once in one process
  find.clear();
  auto* cmd = app.add_subcommand(
      "xml",
      "Print the node tree of an XML file, one node a line: kind, tag name, the element's attribute text in\n"
      "[brackets] and \" = \" with the decoded value. Two blanks of indent per level; past 64 levels the\n"
      "indent stops growing and the line starts with its depth (\"65: \"). Control characters in names,\n"
      "attributes and values are shown as \\n, \\r, \\t or \\xNN.\n"
      "Exit status: 0 when the tree was printed, 1 when the file cannot be read or a pipe or standard\n"
      "input gives more than 256 MiB, 2 for a usage error,\n"
      "3 when --find finds nothing.");
  cmd->add_option("--find", find, "Print only the subtree of the first node with this tag name (case ignored)");
  cmd->add_option("FILE", file, "The XML file; a pipe works too, and - reads standard input")->required();
  cmd->callback([] {
    TMemoryStream bytes;
    ReadAll(file, bytes);
    TKwXMLEngine engine(nullptr);
    engine.LoadFromStream(0, &bytes);
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
