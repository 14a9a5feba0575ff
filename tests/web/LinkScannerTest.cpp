// The link scanner: the rules of a link, the same links whatever the pieces
// the text comes in, and memory bounded by the piece.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kwinet/web/LinkScanner.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

using Links = std::vector<std::string>;

// The text given in pieces of at most Piece bytes (0: in one piece).
Links Scan(std::string_view text, std::string_view prefix, std::size_t piece = 0, std::size_t max = kMaxLinkLength) {
  Links links;
  TLinkScanner scanner(
      prefix, [&](std::string_view link) { links.emplace_back(link); }, max);
  if (piece == 0) piece = std::max<std::size_t>(text.size(), 1);
  for (std::size_t at = 0; at < text.size(); at += piece)
    if (!scanner.Feed(text.substr(at, piece))) break;
  scanner.Finish();
  return links;
}

// The rule written as plainly as it reads: at each place of the text, up to
// its first NUL, a whole prefix starts a link that runs to the first stop
// character; scanning goes on after that character. A link longer than Max
// ends after Max bytes, and scanning goes on right there.
Links Reference(std::string_view text, std::string_view prefix, std::size_t max = kMaxLinkLength) {
  text = text.substr(0, std::min(text.find('\0'), text.size()));
  const std::string stops(" \"#%<>[\\]^`{|}~");
  Links links;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.substr(i, prefix.size()) == prefix) {
      std::size_t end = text.find_first_of(stops, i);
      if (end == std::string_view::npos) end = text.size();
      if (end - i > max) {
        links.emplace_back(text.substr(i, max));
        i += max;
        continue;
      }
      links.emplace_back(text.substr(i, end - i));
      i = end + 1;
    } else {
      ++i;
    }
  }
  return links;
}

TEST(LinkScanner, FollowsTheRulesOfALink) {
  using namespace std::string_literals;
  struct Case {
    const char* what;
    std::string text;
    const char* prefix;
    Links links;
  } cases[] = {
      {"mailto in double quotes ends at the quote",
       "<a href=\"mailto:ann@example.org\">Ann</a>",
       "mailto:",
       {"mailto:ann@example.org"}},
      {"the fragment is cut off", "see http://example.org/a#top here", "http://", {"http://example.org/a"}},
      {"a line break does not end a link",
       "http://example.org/a\r\nb\tc'd e",
       "http://",
       {"http://example.org/a\r\nb\tc'd"}},
      {"capitals are another prefix", "HTTP://example.org Http://x", "http://", {}},
      {"the page ends inside the prefix", "text http:/", "http://", {}},
      {"a link at the very end is whole", "go to http://example.org/end", "http://", {"http://example.org/end"}},
      {"UTF-16 ends at the first NUL", "h\0t\0t\0p\0:\0/\0/\0x\0"s, "http://", {}},
      {"nothing after the first NUL", "http://a\0http://b"s, "http://", {"http://a"}},
      {"duplicates stay, in order", "http://a http://b http://a", "http://", {"http://a", "http://b", "http://a"}},
      {"every stop character ends a link",
       "http://a http://b\"http://c#http://d%http://e<http://f>http://g[http://h\\"
       "http://i]http://j^http://k`http://l{http://m|http://n}http://o~",
       "http://",
       {"http://a", "http://b", "http://c", "http://d", "http://e", "http://f", "http://g", "http://h", "http://i",
        "http://j", "http://k", "http://l", "http://m", "http://n", "http://o"}},
      {"a prefix alone is a link", "http:// x", "http://", {"http://"}},
      {"a link that holds the prefix again is one link", "http://a/http://b", "http://", {"http://a/http://b"}},
      {"a prefix inside a longer one", "xhttps://a https://b", "https://", {"https://a", "https://b"}},
      {"bytes above 127 belong to the link", "http://\xc3\xa9t\xe9 next", "http://", {"http://\xc3\xa9t\xe9"}},
      {"news and wais", "news:comp.lang wais://w", "news:", {"news:comp.lang"}},
      {"the prefix repeats its start", "nnews:a nenews:b", "news:", {"news:a", "news:b"}},
  };
  for (const Case& c : cases) {
    const Links whole = Scan(c.text, c.prefix);
    EXPECT_EQ(whole, c.links) << c.what;
    // Any split into pieces gives the same links: a prefix or link across a
    // boundary is found whole.
    for (std::size_t piece = 1; piece < c.text.size(); ++piece)
      ASSERT_EQ(Scan(c.text, c.prefix, piece), c.links) << c.what << ", pieces of " << piece;
  }
}

TEST(LinkScanner, AgreesWithThePlainRuleOnRandomPagesInRandomPieces) {
  // Pages made of prefix fragments, stop characters, NUL and line breaks, so
  // that links and cut prefixes fall on every kind of boundary.
  const std::vector<std::string> parts = {"http://", "http:/", "h",  "ht", "x",       "ab.c",     " ", "\"",  "#",
                                          "~",       "\n",     "\r", "'",  "mailto:", "https://", "/", "http"};
  std::mt19937 gen(12);
  for (int round = 0; round < 400; ++round) {
    std::string page;
    const int count = static_cast<int>(gen() % 60);
    for (int i = 0; i < count; ++i) page += parts[gen() % parts.size()];
    if (gen() % 8 == 0) page.insert(gen() % (page.size() + 1), 1, '\0');
    // The longest link as long as the prefix, a little longer, and no bound
    // that such a page reaches.
    for (const std::size_t max : {std::size_t(7), std::size_t(12), kMaxLinkLength}) {
      const Links expected = Reference(page, "http://", max);
      std::size_t at = 0;
      Links links;
      TLinkScanner scanner(
          "http://", [&](std::string_view link) { links.emplace_back(link); }, max);
      while (at < page.size()) {
        const std::size_t piece = gen() % 40;
        scanner.Feed(std::string_view(page).substr(at, piece));
        at += piece;
      }
      scanner.Finish();
      ASSERT_EQ(links, expected) << "max " << max << ", page: " << page;
    }
  }
}

TEST(LinkScanner, ALinkEndsAtItsLongestLength) {
  // 64 KiB by default, wherever the pieces fall; the rest of the run is
  // text, where another link may begin.
  const std::string run = "http://" + std::string(kMaxLinkLength, 'a') + "http://b";
  for (const std::size_t piece : {std::size_t(0), std::size_t(1000), std::size_t(65537)})
    EXPECT_EQ(Scan(run, "http://", piece), (Links{run.substr(0, kMaxLinkLength), "http://b"})) << piece;
  // A small bound shows where scanning goes on: right after the cut, where a
  // prefix may begin; a stop character just past the bound is still skipped.
  struct Case {
    const char* text;
    Links links;
  } cases[] = {
      {"http://abcdefgh", {"http://abc"}},
      {"http://abc def", {"http://abc"}},
      {"http://abcd http://e", {"http://abc", "http://e"}},
      {"http://abchttp://defghi x", {"http://abc", "http://def"}},
  };
  for (const Case& c : cases)
    for (std::size_t piece = 0; piece < std::strlen(c.text); ++piece)
      EXPECT_EQ(Scan(c.text, "http://", piece, 10), c.links) << c.text << ", pieces of " << piece;
}

TEST(LinkScanner, LongPagesUseTheFastPathAndTheTailAlike) {
  // Candidates and NULs at every offset of a 16-byte lane and near the end.
  for (std::size_t pad = 0; pad < 40; ++pad) {
    std::string page = std::string(pad, 'h') + "http://one\n" + std::string(pad, '/') + " http://two";
    EXPECT_EQ(Scan(page, "http://"), Reference(page, "http://")) << pad;
    page[page.size() - 1 - pad % 8] = '\0';
    EXPECT_EQ(Scan(page, "http://"), Reference(page, "http://")) << pad;
  }
}

// A page that is never in memory: a link every 100 bytes.
class TGeneratedPage : public TStream {
 public:
  explicit TGeneratedPage(std::int64_t size) : FSize(size) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    static const std::string line = "<a href=\"http://example.org/page\">a page</a>" + std::string(55, '.') + "\n";
    count = std::min(count, FSize - FPos);
    auto* out = static_cast<char*>(buffer);
    for (std::int64_t i = 0; i < count; ++i) out[i] = line[static_cast<std::size_t>((FPos + i) % 100)];
    FPos += count;
    return count;
  }
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t, TSeekOrigin) override { return FPos; }
  void SetSize(std::int64_t) override {}
  std::int64_t Consumed() const { return FPos; }

 private:
  std::int64_t FSize;
  std::int64_t FPos = 0;
};

TEST(LinkScanner, MemoryIsBoundedByThePieceNotThePage) {
  TGeneratedPage page(32 * 1024 * 1024);
  const long long before = test::HeapInUse();
  long long most = 0;
  std::size_t count = 0;
  TLinkScanner scanner("http://", [&](std::string_view link) {
    ++count;
    if (link != "http://example.org/page") ADD_FAILURE() << link;
    if (count % 1000 == 0) most = std::max(most, test::HeapInUse() - before);
  });
  ScanLinks(page, scanner, 64 * 1024);
  EXPECT_EQ(count, 32u * 1024 * 1024 / 100 + 1);  // the last line ends with its link
  EXPECT_LT(most, 1024 * 1024);
}

TEST(LinkScanner, StopsReadingAtTheFirstNul) {
  TGeneratedPage page(10 * 1024 * 1024);
  // A NUL in the first piece: the rest of the stream is never read.
  class TWithNul : public TStream {
   public:
    explicit TWithNul(TGeneratedPage& inner) : FInner(inner) {}
    std::int64_t Read(void* buffer, std::int64_t count) override {
      const std::int64_t n = FInner.Read(buffer, count);
      if (first && n > 250) static_cast<char*>(buffer)[250] = '\0';
      first = false;
      return n;
    }
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t, TSeekOrigin) override { return 0; }
    void SetSize(std::int64_t) override {}
    bool first = true;
    TGeneratedPage& FInner;
  } source(page);
  Links links;
  TLinkScanner scanner("http://", [&](std::string_view link) { links.emplace_back(link); });
  ScanLinks(source, scanner, 4096);
  EXPECT_EQ(links.size(), 3u);
  EXPECT_EQ(page.Consumed(), 4096);
}

TEST(LinkScanner, RefusesAPrefixThatCouldNeverMatch) {
  EXPECT_THROW(TLinkScanner("", nullptr), std::invalid_argument);
  EXPECT_THROW(TLinkScanner("a b", nullptr), std::invalid_argument);
}

}  // namespace
}  // namespace kwinet
