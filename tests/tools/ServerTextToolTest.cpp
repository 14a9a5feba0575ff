// What a server says (a reason phrase, a translation, language codes,
// links) reaches the terminal escaped, on the output as on the error line:
// an escape sequence, a bell or a C1 control never gets there raw.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "kwinet/core/String.h"
#include "peers/FakeServer.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"

namespace {

using kwinet::test::FakeConnection;
using kwinet::test::FakeServer;
using kwinet::test::Tool;

// The hostile words: clear the screen, set the title, ring, a C1 CSI (as
// UTF-8 and as a raw byte) and a backslash.
const std::string kReason =
    "\x1B[2J\x1B]0;owned\aBoom \xC2\x9B"
    "1m \x9B"
    "2m a\\b";

// True when Text is UTF-8 with no control character: C0 but line ends,
// DEL or C1 (a raw byte 0x80-0x9F is no UTF-8).
bool Clean(const std::string& text) {
  const kwinet::String s = kwinet::Utf8ToString(text);
  if (kwinet::StringToUtf8(s) != text) return false;
  for (char16_t c : s)
    if ((c < 0x20 && c != u'\n') || (c >= 0x7F && c <= 0x9F)) return false;
  return true;
}

TEST(ServerText, ReachesTheTerminalEscaped) {
  // Answers by path; any other path is an error with the hostile reason.
  const std::map<std::string, std::string> bodies = {
      {"/links.html",
       "<a href=\"http://example.org/a\x1B\xC2\x9B"
       "b\a\\c\">x</a>"},
      {"/translate_a/single", R"([[["Hallo \u001b[2J\u0007\u009b \\ Welt","x"]]])"},
      {"/v2/Http.svc/GetLanguagesForTranslate",
       "<ArrayOfstring><string>d\x1B]0;x\ae</string><string>en</string></ArrayOfstring>"},
  };
  FakeServer server([&](FakeConnection& c) {
    if (!c.ReadUntil("\r\n\r\n")) return;
    const std::string& head = c.Data();
    const std::size_t sp = head.find(' ');
    std::string path = head.substr(sp + 1, head.find(' ', sp + 1) - sp - 1);
    path = path.substr(0, path.find('?'));
    const auto it = bodies.find(path);
    if (it != bodies.end())
      c.Send("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(it->second.size()) + "\r\n\r\n" + it->second);
    else
      c.Send("HTTP/1.0 500 " + kReason + "\r\nContent-Length: 0\r\n\r\n");
  });
  const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
  kwinet::test::TempDir dir;
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string out;  // exact
    std::string err;  // within the error line
  } cases[] = {
      {{"image", base + "/boom.png"}, 1, "", "Boom"},
      {{"links", base + "/boom.html"}, 1, "", "Boom"},
      {{"rss", base + "/boom.xml"}, 1, "", "Boom"},
      {{"news", base + "/boom.ini"}, 1, "", "Boom"},
      {{"update", base + "/boom.txt", dir.File("copy.txt")}, 1, "isFailed\n", "Boom"},
      {{"translate", "--service", "microsoft", "--host", base, "--to", "de", "x"}, 1, "", "Boom"},
      {{"languages", "--service", "microsoft", "--speak", "--host", base}, 1, "", "Boom"},
      {{"links", base + "/links.html"}, 0, "http://example.org/a\\x1B\\x9Bb\\x07\n", ""},
      {{"translate", "--host", base, "--to", "de", "x"}, 0, "Hallo \\x1B[2J\\x07\\x9B \\\\ Welt\n", ""},
      {{"languages", "--service", "microsoft", "--host", base}, 0, "d\\x1B]0;x\\x07e\nen\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    auto r = Tool(c.args);
    EXPECT_EQ(r.ExitCode, c.code) << r.Err;
    EXPECT_EQ(r.Out, c.out);
    EXPECT_TRUE(Clean(r.Out)) << r.Out;
    EXPECT_TRUE(Clean(r.Err)) << r.Err;
    EXPECT_NE(r.Err.find(c.err), std::string::npos) << r.Err;
    if (!c.err.empty()) {
      EXPECT_NE(r.Err.find("\\x1B[2J"), std::string::npos) << r.Err;
    }
  }
}

}  // namespace
