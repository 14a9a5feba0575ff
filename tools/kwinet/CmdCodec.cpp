// kwinet encode / decode: the text codecs.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "Tool.h"
#include "kwinet/utils/kwiutil.h"

namespace kwinet::tool {
namespace {

// Streams a file (or standard input) through the Base64 encoder in pieces
// of a multiple of three bytes, so memory stays small whatever the size.
void EncodeBase64Stream(const std::string& file) {
  int fd = 0;
  if (!file.empty() && file != "-") {
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw ToolError(1, "cannot open " + file + ": " + std::strerror(errno));
  }
  constexpr std::size_t kChunk = 3 * 1024 * 1024;
  // Not cleared: a short input touches only the pages it fills.
  auto in = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
  auto out = std::make_unique_for_overwrite<char[]>(Base64Length(kChunk));
  std::size_t filled = 0;
  bool eof = false;
  while (!eof) {
    while (filled < kChunk) {
      ssize_t n = ::read(fd, in.get() + filled, kChunk - filled);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        int e = errno;
        if (fd != 0) ::close(fd);
        throw ToolError(1, "cannot read " + (file.empty() ? std::string("standard input") : file) + ": " +
                               std::strerror(e));
      }
      if (n == 0) {
        eof = true;
        break;
      }
      filled += static_cast<std::size_t>(n);
    }
    Encode64Bytes(in.get(), filled, out.get());
    const std::size_t len = Base64Length(filled);
    for (std::size_t done = 0; done < len;) {
      ssize_t w = ::write(1, out.get() + done, len - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        if (fd != 0) ::close(fd);
        throw ToolError(1, std::string("cannot write standard output: ") + std::strerror(errno));
      }
      done += static_cast<std::size_t>(w);
    }
    filled = 0;
  }
  if (fd != 0) ::close(fd);
  if (::write(1, "\n", 1) != 1) throw ToolError(1, "cannot write standard output");
}

// Command-line text is UTF-8; the codecs work on characters. With --utf8 the
// text is taken as its UTF-8 bytes, one character per byte, the way a web
// form sends it.
String Input(const std::string& text, bool utf8) { return utf8 ? BytesToString(text) : Utf8ToString(text); }

void Output(const String& text, bool utf8) {
  if (utf8) {
    PrintBytes(StringToBytes(text));
    PrintBytes("\n");
  } else {
    Print(text);
  }
}

void Setup(CLI::App& app) {
  auto* encode = app.add_subcommand("encode", "Encode text: Base64 or URL (form) encoding");
  encode->require_subcommand(1);

  auto* b64 = encode->add_subcommand("base64", "Base64 of a file or of standard input, on one line");
  // The demo runs the tool several times in one process: start afresh.
  static std::string b64File;
  b64File.clear();
  b64->add_option("FILE", b64File, "The file to encode (standard input when absent or -)");
  b64->callback([] { EncodeBase64Stream(b64File); });

  static std::string urlText;
  static bool urlUtf8;
  urlText.clear();
  urlUtf8 = false;
  auto* url = encode->add_subcommand("url", "URL (form) encoding of TEXT: a space becomes +, others %XX");
  url->add_option("TEXT", urlText, "The text to encode")->required();
  url->add_flag("--utf8", urlUtf8, "Encode the UTF-8 bytes of TEXT (as browsers do) rather than its characters");
  url->callback([] { Print(KwInetHTTPEncode(Input(urlText, urlUtf8))); });

  auto* decode = app.add_subcommand("decode", "Decode text: URL (form) encoding or HTML entities");
  decode->require_subcommand(1);

  static std::string durlText;
  static bool durlUtf8;
  durlText.clear();
  durlUtf8 = false;
  auto* durl = decode->add_subcommand("url", "Decode URL (form) encoded TEXT");
  durl->add_option("TEXT", durlText, "The text to decode")->required();
  durl->add_flag("--utf8", durlUtf8, "Take the decoded bytes as UTF-8");
  durl->callback([] { Output(KwInetHTTPDecode(Utf8ToString(durlText)), durlUtf8); });

  static std::string htmlText;
  htmlText.clear();
  auto* html = decode->add_subcommand("html", "Replace the common HTML entities of TEXT (&lt; &amp; &deg; ...)");
  html->add_option("TEXT", htmlText, "The text to decode")->required();
  html->callback([] {
    String s = Utf8ToString(htmlText);
    ReplaceHTMLChars(s);
    Print(s);
  });
}

int Demo() {
  int failures = 0;
  auto show = [&](std::vector<std::string> args) {
    std::string line = "$ kwinet";
    for (const auto& a : args) line += (a.find(' ') != std::string::npos || a.empty()) ? " '" + a + "'" : " " + a;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (Run(args) != 0) ++failures;
    std::fflush(stdout);
  };
  show({"encode", "url", "price: 5 € & up"});
  show({"encode", "url", "--utf8", "price: 5 € & up"});
  show({"decode", "url", "a+b%26c%25%7E"});
  show({"decode", "html", "&lt;b&gt; 20&deg;C &copy; &amp;lt;"});
  std::printf("$ printf 'kwinet' | kwinet encode base64\n%s\n",
              StringToUtf8(Encode64(u"kwinet")).c_str());
  return failures;
}

Register reg({"encode", 10, Setup, Demo});
Register regDecode({"decode", 11, [](CLI::App&) {}, nullptr});

}  // namespace
}  // namespace kwinet::tool
