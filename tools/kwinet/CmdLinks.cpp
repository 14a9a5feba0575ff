// kwinet links: the link extractor. A page on a server is fetched into the
// extractor's private copy and scanned there; a local file (or standard
// input) is scanned where it is, piece by piece.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

#include "DemoSupport.h"
#include "Gui.h"
#include "Target.h"
#include "Tool.h"
#include "kwinet/web/LinkScanner.h"
#include "kwinet/web/kwixtract.h"

namespace kwinet::tool {
namespace {

const std::map<std::string, TKwIExtract> kKinds = {
    {"mailto", ieMailTo}, {"http", ieHTTP}, {"https", itHTTPS},   {"ftp", itFTP},   {"file", itFile},
    {"telnet", itTelnet}, {"news", itNews}, {"gopher", itGopher}, {"wais", itWais},
};

// Links go out one a line, written as every value from a server is (a line
// break or other control character, C1 included, as \n, \r, \t or \xHH): a
// link in UTF-8, as pages mostly are, by its characters, any other by its
// bytes one character each. A backslash ends a link, so the escapes cannot
// be mistaken for link text.
class TLinkWriter {
 public:
  TLinkWriter() { FBuffer.reserve(kFlushAt + 4096); }
  ~TLinkWriter() { Flush(false); }

  void Write(std::string_view link) {
    String text = Utf8ToString(link);
    if (StringToUtf8(text) != link) text = BytesToString(link);
    FBuffer += OneLineValue(text);
    FBuffer.push_back('\n');
    if (FBuffer.size() >= kFlushAt) Flush(true);
  }

  // Raises when standard output cannot take the links.
  void Flush(bool check) {
    if (!FBuffer.empty()) std::fwrite(FBuffer.data(), 1, FBuffer.size(), stdout);
    FBuffer.clear();
    if (check && (std::fflush(stdout) != 0 || std::ferror(stdout)))
      throw ToolError(1, std::string("cannot write standard output: ") + std::strerror(errno));
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 20;
  std::string FBuffer;
};

struct TLinksArgs {
  std::string Source, Kind = "http", CA;
  std::int64_t Timeout = 30000;
  std::int64_t MaxTime = kFetchMaxTime;
};

int ScanRemote(const TTarget& t, const TLinksArgs& a, TKwIExtract kind, std::uint32_t timeout) {
  TKwInfoExtractor x(nullptr);
  SetTarget(x, t);
  x.SetTimeout(timeout);
  x.SetMaxTime(Milliseconds("--max-time", a.MaxTime));
  if (!a.CA.empty()) x.SetCACertFile(Utf8ToString(a.CA));
  x.SetExtract(kind);
  // The dialog and the logon prompt only where a person can see and answer.
  UseDialogs(x);
  x.SetRemoteFileName(t.RemoteFileName);
  x.Execute();
  const TKwIStatus status = x.Status();
  if (status == isFailed || status == isNotFound) {
    const String& reason = x.ErrorText();
    throw ToolError(status == isFailed ? 1 : 3, reason.empty()
                                                    ? (status == isFailed ? "cannot read " : "not found: ") + a.Source
                                                    : StringToUtf8(reason));
  }
  if (!FileExists(x.LocalFileName())) throw ToolError(1, "no page came from " + a.Source);
  TLinkWriter out;
  const TStringList& links = *x.ExtractedInfo();
  for (int i = 0; i < links.Count(); ++i) out.Write(StringToBytes(links[i]));
  out.Flush(true);
  return 0;
}

int ScanLocal(const std::string& path, TKwIExtract kind) {
  int fd = 0;
  if (path != "-") {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      const int e = errno;
      throw ToolError(e == ENOENT ? 3 : 1, "cannot open " + path + ": " + std::strerror(e));
    }
  }
  struct TCloser {
    int fd;
    ~TCloser() {
      if (fd > 0) ::close(fd);
    }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) throw ToolError(1, path + " is a directory");
  TLinkWriter out;
  TLinkScanner scanner(KwIExtractPrefix(kind), [&out](std::string_view link) { out.Write(link); });
  std::string block(256 * 1024, '\0');
  for (;;) {
    const ssize_t n = ::read(fd, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ToolError(1, "cannot read " + path + ": " + std::strerror(errno));
    if (n == 0 || !scanner.Feed(std::string_view(block.data(), static_cast<std::size_t>(n)))) break;
  }
  scanner.Finish();
  out.Flush(true);
  return 0;
}

int RunLinks(const TLinksArgs& a) {
  const auto kind = kKinds.find(a.Kind);
  if (kind == kKinds.end())
    throw ToolError(2,
                    "unknown --kind \"" + a.Kind + "\" (mailto, http, https, ftp, file, telnet, news, gopher, wais)");
  const std::uint32_t timeout = Milliseconds("--timeout", a.Timeout);
  Milliseconds("--max-time", a.MaxTime);
  if (a.Source == "-") return ScanLocal(a.Source, kind->second);
  const TTarget t = ParseTarget(a.Source);
  if (t.Service != isNetwork) return ScanRemote(t, a, kind->second, timeout);
  const std::string localPath = StringToUtf8(t.RemoteFileName);
  if (localPath.empty()) throw ToolError(2, "no file named");
  return ScanLocal(localPath, kind->second);
}

void Setup(CLI::App& app) {
  static TLinksArgs args;
  args = TLinksArgs();
  auto* links = app.add_subcommand(
      "links",
      "Print the links of one kind in a page (http://, https://, ftp://, ftps:// URL, a file path, or - for input)");
  links->add_option("--kind", args.Kind,
                    "The links to print: mailto, http (the default), https, ftp, file, telnet, news, gopher or wais");
  links->add_option("--timeout", args.Timeout, "Milliseconds to wait for a connection or data (0: no bound)");
  links->add_option("--max-time", args.MaxTime, MaxTimeHelp(kFetchMaxTime));
  links->add_option("--ca", args.CA, "CA certificates (PEM) to check an HTTPS or FTPS server against");
  links->add_option("SOURCE", args.Source, "The page: a URL, a file path, or - for standard input")->required();
  links->footer(
      "A link begins with the kind's prefix, written exactly so (\"http://\", \"mailto:\"...), and runs to the "
      "first space, quotation mark or one of #%<>[\\]^`{|}~; line breaks do not end it, and a link "
      "longer than 64 KiB ends there. The page ends at its first NUL byte. Links are printed one a line in the order "
      "found, duplicates kept; a control character "
      "inside a link is written as \\n, \\r, \\t or \\xHH.\n"
      "Exit status: 0 the page was read and its links printed (a page without links prints nothing and is no "
      "failure), 3 the page was not found (the server answered 404 or 410, no such FTP or local file, the "
      "server could not be reached or its certificate was refused), 1 any other failure (an error answer, a "
      "refused authorization, a broken or timed-out exchange, one that took longer than --max-time or dripped "
      "slower than 1024 bytes a second for a minute, a page larger than 16 MiB, a file that cannot be read), 2 bad "
      "arguments. The reason of 3 and 1 is printed on "
      "standard error.");
  links->callback([] { ExitCode() = RunLinks(args); });
  OffersGui(links);
}

// --- demo -------------------------------------------------------------------

int Demo() {
  support::TNginx nginx;
  if (!nginx.Started()) {
    std::printf("%s\n", nginx.Error().c_str());
    return 1;
  }
  std::ofstream(nginx.Root() + "/contacts.html")
      << "<html><body>\n"
         "<p>Write to <a href=\"mailto:sales@example.org\">sales</a> or "
         "<a href=\"mailto:support@example.org?subject=Help\">support</a>.</p>\n"
         "<p>See <a href=\"http://www.example.org/products#new\">our products</a>, "
         "<a href='http://www.example.org/faq'>the FAQ</a> and "
         "<a href=\"ftp://ftp.example.org/pub/\">the downloads</a>.</p>\n"
         "</body></html>\n";
  const std::string page = nginx.Url("/contacts.html");
  int failures = 0;
  failures += !Show({"links", page});
  failures += !Show({"links", "--kind", "mailto", page});
  failures += !Show({"links", "--kind", "ftp", nginx.Root() + "/contacts.html"});
  failures += !Show({"links", nginx.Url("/gone.html")}, 3);
  return failures;
}

Register reg({"links", 44, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
