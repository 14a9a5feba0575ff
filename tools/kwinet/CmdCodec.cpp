// kwinet encode / decode: the text codecs.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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
        throw ToolError(
            1, "cannot read " + (file.empty() ? std::string("standard input") : file) + ": " + std::strerror(e));
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

// URL encoding works on the UTF-8 bytes of the text by default, as browsers
// and servers do. With --chars it works on characters, one %XX each, which
// only characters up to U+00FF fit: any other is refused, not cut short.
String EncodeUrl(const std::string& text, bool chars) {
  if (!chars) return KwInetHTTPEncode(BytesToString(text));
  const String s = Utf8ToString(text);
  std::size_t position = 0;  // in characters, as the user counts them
  for (std::size_t i = 0; i < s.size(); ++i) {
    ++position;
    if (s[i] <= 0xFF) continue;
    unsigned code = s[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
      code = 0x10000 + ((code - 0xD800) << 10) + (s[i + 1] - 0xDC00);
    char message[160];
    std::snprintf(message, sizeof message,
                  "character U+%.4X at position %zu does not fit in one %%XX; without --chars the UTF-8 bytes "
                  "are encoded",
                  code, position);
    throw ToolError(1, message);
  }
  return KwInetHTTPEncode(s);
}

// By default the decoded bytes are written as they are (UTF-8 text comes out
// as itself); with --chars each decoded code is a character, written as UTF-8.
void DecodeUrl(const std::string& text, bool chars) {
  if (chars) {
    Print(KwInetHTTPDecode(Utf8ToString(text)));
  } else {
    PrintBytes(StringToBytes(KwInetHTTPDecode(BytesToString(text))));
    PrintBytes("\n");
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
  static bool urlChars, urlUtf8;  // --utf8 is the default now: read and let be
  urlText.clear();
  urlChars = urlUtf8 = false;
  auto* url = encode->add_subcommand(
      "url",
      "URL (form) encoding of the UTF-8 bytes of TEXT, as browsers send it: a space becomes +, letters, digits\n"
      "and ! $ ' ( ) * - . @ _ stay, every other byte becomes %XX (a euro sign gives %E2%82%AC).\n"
      "Exit status: 0 when TEXT was encoded, 1 when --chars meets a character above U+00FF, 2 for a usage error.");
  url->add_option("TEXT", urlText, "The text to encode")->required();
  auto* urlCharsFlag = url->add_flag(
      "--chars", urlChars,
      "One %XX per character, of its code, not of its UTF-8 bytes (\xC3\xA9 gives %E9); a character above\n"
      "U+00FF is refused");
  url->add_flag("--utf8", urlUtf8, std::string("Encode the UTF-8 bytes (the default; kept for older scripts)"))
      ->excludes(urlCharsFlag);
  url->callback([] { Print(EncodeUrl(urlText, urlChars)); });

  auto* decode = app.add_subcommand("decode", "Decode text: URL (form) encoding or HTML entities");
  decode->require_subcommand(1);

  static std::string durlText;
  static bool durlChars, durlUtf8;  // --utf8 is the default now: read and let be
  durlText.clear();
  durlChars = durlUtf8 = false;
  auto* durl = decode->add_subcommand(
      "url",
      "Decode URL (form) encoded TEXT: + becomes a space and %XX the byte XX; the bytes are written as they\n"
      "are, so %E2%82%AC gives a euro sign.\n"
      "Exit status: 0 when TEXT was decoded, 1 when it holds a malformed %XX, 2 for a usage error.");
  durl->add_option("TEXT", durlText, "The text to decode")->required();
  auto* durlCharsFlag = durl->add_flag(
      "--chars", durlChars, "Take each %XX as the character of that code and write it as UTF-8 (%E9 gives \xC3\xA9)");
  durl->add_flag("--utf8", durlUtf8,
                 std::string("Write the decoded bytes as they are (the default; kept for older scripts)"))
      ->excludes(durlCharsFlag);
  durl->callback([] { DecodeUrl(durlText, durlChars); });

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
  show({"encode", "url", "--chars", "caf\xC3\xA9"});
  show({"decode", "url", "a+b%26c%25%7E"});
  show({"decode", "html", "&lt;b&gt; 20&deg;C &copy; &amp;lt;"});
  std::printf("$ printf 'kwinet' | kwinet encode base64\n%s\n", StringToUtf8(Encode64(u"kwinet")).c_str());
  return failures;
}

Register reg({"encode", 10, Setup, Demo});
Register regDecode({"decode", 11, [](CLI::App&) {}, nullptr});

}  // namespace
}  // namespace kwinet::tool
