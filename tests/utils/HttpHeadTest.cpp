// The HTTP head reader and the CONNECT answer reader over bytes: where a head
// ends whatever the split of the input, what it holds, and its bounds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kwinet/utils/HttpHead.h"

using namespace kwinet;

namespace {

using Lines = std::vector<std::string>;

// Feeds Input in the given pieces; returns the bytes taken in all.
std::size_t FeedPieces(THttpHeadReader& reader, std::string_view input, const std::vector<std::size_t>& cuts) {
  std::size_t taken = 0, from = 0;
  for (std::size_t cut : cuts) {
    const std::size_t n = reader.Feed(input.substr(from, cut - from));
    EXPECT_LE(n, cut - from);
    taken += n;
    from = cut;
  }
  return taken + reader.Feed(input.substr(from));
}

}  // namespace

TEST(HttpStatusLine, GoodLinesAreTakenApartAndOthersRefused) {
  struct Case {
    std::string_view line;
    std::string_view version;
    int code;
    std::string_view reason;
  } cases[] = {
      {"HTTP/1.1 404 Not Found", "HTTP/1.1", 404, "Not Found"},
      {"HTTP/1.0 200 OK", "HTTP/1.0", 200, "OK"},
      {"HTTP/2 200 ", "HTTP/2", 200, ""},  // libcurl's form for HTTP/2
      {"HTTP/1.1 204", "HTTP/1.1", 204, ""},
      {"HTTP/1.1 500 Bad\tthing  here", "HTTP/1.1", 500, "Bad\tthing  here"},
      {"HTTP/1.1 200 Tr\xE8s bien", "HTTP/1.1", 200, "Tr\xE8s bien"},
      {"HTTP/1.1 999 x", "HTTP/1.1", 999, "x"},
  };
  for (const auto& c : cases) {
    THttpStatusLine status;
    ASSERT_TRUE(ParseHttpStatusLine(c.line, status)) << c.line;
    EXPECT_EQ(status.Version, c.version) << c.line;
    EXPECT_EQ(status.Code, c.code) << c.line;
    EXPECT_EQ(status.Reason, c.reason) << c.line;
  }
  const std::string_view bad[] = {
      "",
      "HTTP/1.1",
      "HTTP/1.1 ",
      "HTTP/1.1 20",
      "HTTP/1.1 2000 OK",
      "HTTP/1.1 20x OK",
      "HTTP/1.1 099 OK",
      "HTTP/1.1  200 OK",
      "http/1.1 200 OK",
      "HTTP/11 200 OK",
      "HTTP/1. 200 OK",
      "HTTP/ 200 OK",
      " HTTP/1.1 200 OK",
      "ICY 200 OK",
      "HTTP/1.1 200 OK\r",
      std::string_view("HTTP/1.1 200 O\0K", 16),
      "HTTP/1.1 200 OK\x7F",
  };
  for (std::string_view line : bad) {
    THttpStatusLine status{"untouched", 1, "untouched"};
    EXPECT_FALSE(ParseHttpStatusLine(line, status)) << line;
    EXPECT_EQ(status.Version, "untouched") << line;
  }
}

TEST(LooseStatusCode, ThreeDigitsAfterTheFirstSpaceOfAnyReply) {
  struct Case {
    std::string_view bytes;
    int code;
  } cases[] = {
      {"HTTP/1.0 404 Not Found\r\n", 404},
      {"x 4011", 401},       // what follows the three digits does not matter
      {"garbage 407", 407},  // nor what comes before the space
      {"x 40", 0},           // the reply ends two characters after the space
      {"x 4O4", 0},
      {"x +40", 0},
      {"no-space-at-all", 0},
      {"a b 404", 0},  // only the first space counts
      {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(LooseStatusCode(c.bytes), c.code) << c.bytes;
}

TEST(HttpHeadReader, EverySplitGivesTheSameHeadAndLeavesTheBodyExactly) {
  const Lines lines = {
      "HTTP/1.1 301 Moved Permanently", "Location: /new", "Set-Cookie: a=1", "set-cookie: b=2", "X-Long: one", "  two"};
  struct Sample {
    std::string head, body;
  } samples[] = {
      {"HTTP/1.1 301 Moved Permanently\r\nLocation: /new\r\nSet-Cookie: a=1\r\nset-cookie: b=2\r\nX-Long: one\r\n  "
       "two\r\n\r\n",
       "BODY\r\n\r\nmore"},
      {"HTTP/1.1 301 Moved Permanently\nLocation: /new\nSet-Cookie: a=1\nset-cookie: b=2\nX-Long: one\n  two\n\n",
       "\n\nbody after LF"},
      {"HTTP/1.1 301 Moved Permanently\r\nLocation: /new\nSet-Cookie: a=1\r\nset-cookie: b=2\nX-Long: one\n  "
       "two\r\n\n",
       std::string("\0\r\n\xFF", 4)},
  };
  for (const auto& s : samples) {
    const std::string input = s.head + s.body;
    auto check = [&](THttpHeadReader& reader, std::size_t taken, const std::string& how) {
      ASSERT_TRUE(reader.Done()) << how;
      EXPECT_EQ(taken, s.head.size()) << how;
      EXPECT_EQ(reader.Size(), s.head.size()) << how;
      EXPECT_EQ(input.substr(taken), s.body) << how;
      EXPECT_EQ(reader.Lines(), lines) << how;
      EXPECT_TRUE(reader.HasStatus()) << how;
      EXPECT_EQ(reader.Status().Code, 301) << how;
      ASSERT_EQ(reader.Fields().size(), 4u) << how;
      EXPECT_EQ(reader.Fields()[3].Value, "one two") << how;
      EXPECT_EQ(reader.Feed(s.body), 0u) << how;
    };
    for (std::size_t cut = 0; cut <= input.size(); ++cut) {
      THttpHeadReader reader;
      check(reader, FeedPieces(reader, input, {cut}), "cut at " + std::to_string(cut));
    }
    THttpHeadReader oneByOne;
    std::size_t taken = 0;
    for (char c : input) taken += oneByOne.Feed(std::string_view(&c, 1));
    check(oneByOne, taken, "byte by byte");
  }
}

TEST(HttpHeadReader, FieldLookup) {
  THttpHeadReader reader;
  const std::string head =
      "HTTP/1.0 200 OK\r\n"
      "  continues nothing\r\n"
      "Content-Type:  text/html ; charset=x \t\r\n"
      "no colon here\r\n"
      "  ignored: after a line that is no field\r\n"
      "Name : spaced\r\n"
      ": no name\r\n"
      "X-Empty:\r\n"
      "Dup: first\r\n"
      "dup: second\r\n"
      "Folded: a\r\n"
      "\t b \r\n"
      "  \r\n"
      "   c\r\n"
      "\r\n";
  ASSERT_EQ(reader.Feed(head), head.size());
  ASSERT_TRUE(reader.Done());
  EXPECT_EQ(reader.Lines().size(), 14u);  // every line kept as received
  EXPECT_EQ(reader.Lines()[2], "Content-Type:  text/html ; charset=x \t");
  struct Case {
    std::string_view name;
    const char* value;  // nullptr: no such field
  } cases[] = {
      {"content-type", "text/html ; charset=x"},
      {"CONTENT-TYPE", "text/html ; charset=x"},
      {"Name", "spaced"},
      {"x-empty", ""},
      {"dup", "first"},
      {"folded", "a b c"},
      {"no colon here", nullptr},
      {"", nullptr},
      {"Content-Length", nullptr},
      {"HTTP/1.0 200 OK", nullptr},
      {"  ignored", nullptr},
  };
  for (const auto& c : cases) {
    const std::string* value = reader.Field(c.name);
    if (!c.value) {
      EXPECT_EQ(value, nullptr) << c.name;
      continue;
    }
    ASSERT_NE(value, nullptr) << c.name;
    EXPECT_EQ(*value, c.value) << c.name;
  }
}

TEST(HttpHeadReader, UnusualFirstLines) {
  // Not HTTP: still read up to the empty line, but without a status.
  THttpHeadReader other;
  const std::string ssh = "SSH-2.0-OpenSSH_9.2\r\nA: b\r\n\r\n";
  EXPECT_EQ(other.Feed(ssh + "rest"), ssh.size());
  EXPECT_TRUE(other.Done());
  EXPECT_FALSE(other.HasStatus());
  EXPECT_EQ(other.Lines(), (Lines{"SSH-2.0-OpenSSH_9.2", "A: b"}));
  // An empty first line ends an empty head.
  THttpHeadReader empty;
  EXPECT_EQ(empty.Feed("\r\nbody"), 2u);
  EXPECT_TRUE(empty.Done());
  EXPECT_TRUE(empty.Lines().empty());
  // A lone CR is no line end; only the one before LF is dropped.
  THttpHeadReader cr;
  EXPECT_EQ(cr.Feed("HTTP/1.0 200 OK\r\nA: b\rc\r\r\n\r\nrest"), 28u);
  EXPECT_EQ(cr.Lines(), (Lines{"HTTP/1.0 200 OK", "A: b\rc\r"}));
  // Without its empty line the head is not done and takes everything.
  THttpHeadReader open;
  EXPECT_EQ(open.Feed("HTTP/1.0 200 OK\r\nA: b"), 21u);
  EXPECT_EQ(open.State(), hsReading);
  EXPECT_EQ(open.Lines(), (Lines{"HTTP/1.0 200 OK"}));
}

TEST(HttpHeadReader, SizeBound) {
  const std::string head = "HTTP/1.1 200 OK\r\nA: 1\r\nB: 2\r\n\r\n";
  // Exactly at the bound is fine; one byte less fails in the last line.
  THttpHeadReader exact(head.size());
  EXPECT_EQ(exact.Feed(head + "body"), head.size());
  EXPECT_TRUE(exact.Done());
  THttpHeadReader tight(head.size() - 1);
  EXPECT_EQ(tight.Feed(head), head.size() - 2);
  EXPECT_TRUE(tight.Failed());
  EXPECT_NE(tight.Error().find(u"longer than 30 bytes"), String::npos);
  EXPECT_EQ(tight.Feed("\r\n"), 0u);
  EXPECT_EQ(tight.FeedLine("\r\n"), hsFailed);

  // A stream that never ends its line fails at the default bound, never
  // past it, whatever the pieces.
  THttpHeadReader endless;
  const std::string piece(1000, 'a');
  std::size_t taken = 0;
  for (int i = 0; i < 100 && !endless.Failed(); ++i) taken += endless.Feed(piece);
  EXPECT_TRUE(endless.Failed());
  EXPECT_LE(taken, THttpHeadReader::kDefaultMaxSize);
  EXPECT_EQ(taken, endless.Size());

  // 0: no bound, for a head already held in memory.
  THttpHeadReader unbounded(0);
  std::string big = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 20000; ++i) big += "X-Field: " + std::to_string(i) + "\r\n";
  big += "\r\n";
  EXPECT_EQ(unbounded.Feed(big), big.size());
  EXPECT_TRUE(unbounded.Done());
  EXPECT_EQ(unbounded.Fields().size(), 20000u);
}

TEST(HttpHeadReader, LineByLineAsLibcurlHandsThemAndResetForTheNextHead) {
  THttpHeadReader reader(100);
  EXPECT_EQ(reader.FeedLine("HTTP/1.1 100 Continue\r\n"), hsReading);
  EXPECT_EQ(reader.FeedLine("\r\n"), hsDone);
  EXPECT_EQ(reader.Status().Code, 100);
  // Done: more lines change nothing until Reset.
  EXPECT_EQ(reader.FeedLine("HTTP/1.1 200 OK\r\n"), hsDone);
  EXPECT_EQ(reader.Lines(), (Lines{"HTTP/1.1 100 Continue"}));
  reader.Reset();
  EXPECT_EQ(reader.Size(), 0u);
  // Lines may come without their ends; an empty one ends the head.
  for (std::string_view line : {"HTTP/2 200 ", "content-type: text/plain", "Location: /x\n"})
    EXPECT_EQ(reader.FeedLine(line), hsReading) << line;
  EXPECT_EQ(reader.FeedLine(""), hsDone);
  EXPECT_EQ(reader.Status().Version, "HTTP/2");
  EXPECT_EQ(*reader.Field("Content-Type"), "text/plain");
  EXPECT_EQ(*reader.Field("location"), "/x");
  // Reset keeps the bound.
  reader.Reset();
  EXPECT_EQ(reader.FeedLine(std::string(101, 'x')), hsFailed);
}

TEST(ConnectAnswer, VerdictsAndNothingTakenPastTheHead) {
  struct Case {
    std::string head, after;
    TConnectVerdict verdict;
  } cases[] = {
      {"HTTP/1.0 200 Connection established\r\n\r\n", "SSH-2.0-server\r\n", cvOpen},
      {"HTTP/1.1 200 OK\nProxy-Agent: x\n\n", "\x16\x03\x01", cvOpen},
      {"HTTP/1.1 204 No Content\r\n\r\n", "", cvOpen},
      {"HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n", "", cvProxyAuth},
      {"HTTP/1.0 403 Forbidden\r\n\r\n", "denied", cvRefused},
      {"HTTP/1.1 101 Switching\r\n\r\n", "", cvRefused},
      {"HTTP/1.0 302 Found\r\nLocation: /\r\n\r\n", "", cvRefused},
      // Not HTTP: settled at the first line, without waiting for an empty one.
      {"SSH-2.0-OpenSSH_9.2\r\n", "more\r\n\r\n", cvMalformed},
      {"HTTP/1.0 2OO OK\n", "\n", cvMalformed},
      {"\r\n", "HTTP/1.0 200 OK\r\n\r\n", cvMalformed},
      // Not complete yet.
      {"HTTP/1.0 200 OK\r\nVia: x\r\n", "", cvPending},
      {"", "", cvPending},
  };
  for (const auto& c : cases) {
    const std::string input = c.head + c.after;
    TConnectAnswerReader whole;
    EXPECT_EQ(whole.Feed(input), c.head.size()) << input;
    EXPECT_EQ(whole.Verdict(), c.verdict) << input;
    // A byte at a time, as the socket reads it: stops at the same byte.
    TConnectAnswerReader bytes;
    std::size_t read = 0;
    for (; read < input.size() && !bytes.Done(); ++read) ASSERT_EQ(bytes.Feed(input.substr(read, 1)), 1u) << input;
    EXPECT_EQ(read, c.head.size()) << input;
    EXPECT_EQ(bytes.Verdict(), c.verdict) << input;
    if (bytes.Done()) {
      EXPECT_EQ(bytes.Feed(c.after), 0u) << input;
    }
  }
  TConnectAnswerReader auth;
  auth.Feed("HTTP/1.0 407 Proxy Authentication Required\r\n");
  EXPECT_EQ(auth.StatusLine(), "HTTP/1.0 407 Proxy Authentication Required");
}

TEST(ConnectAnswer, HeadPastTheBoundIsMalformed) {
  TConnectAnswerReader reader(64);
  const std::string answer = "HTTP/1.0 200 OK\r\nX-Pad: " + std::string(60, 'p') + "\r\n\r\n";
  std::size_t read = 0;
  while (read < answer.size() && reader.Feed(answer.substr(read, 1)) == 1) ++read;
  EXPECT_EQ(reader.Verdict(), cvMalformed);
  EXPECT_LE(read, 64u);
  EXPECT_TRUE(reader.Head().Failed());
}
