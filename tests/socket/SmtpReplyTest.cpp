#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kwinet/socket/SmtpReply.h"

using namespace kwinet;

namespace {

// What a reader made of some bytes: the replies as "code|line|line", then
// how it stands at the end.
struct Outcome {
  std::vector<std::string> Replies;
  bool Failed = false;
  std::string Error;
  std::size_t Pending = 0;
};

// Feeds Bytes in pieces of Piece bytes (all at once with 0), taking every
// complete reply out after each piece.
Outcome Read(const std::string& bytes, std::size_t piece, std::size_t maxSize) {
  TSmtpReplyReader reader(maxSize);
  Outcome out;
  std::size_t at = 0;
  do {
    const std::size_t n = piece == 0 ? bytes.size() : std::min(piece, bytes.size() - at);
    reader.Feed(std::string_view(bytes).substr(at, n));
    at += n;
    TSmtpReply reply;
    TSmtpReadResult r;
    while ((r = reader.Next(reply)) == srReply) {
      std::string text = std::to_string(reply.Code);
      for (const auto& line : reply.Lines) text += "|" + line;
      out.Replies.push_back(text);
    }
    if (r == srFailed) {
      out.Failed = true;
      out.Error = StringToUtf8(reader.Error());
      return out;
    }
  } while (at < bytes.size());
  out.Pending = reader.Pending();
  return out;
}

}  // namespace

TEST(SmtpReplyReader, RepliesAreTheSameHoweverTheBytesAreSplit) {
  const struct {
    std::string Bytes;
    std::vector<std::string> Replies;
    std::size_t Pending;  // bytes left over when the input ends
    const char* Error;    // a part of the error, or nullptr
    std::size_t MaxSize = TSmtpReplyReader::DefaultMaxReplySize;
  } cases[] = {
      {"220 mail.test ESMTP\r\n", {"220|220 mail.test ESMTP"}, 0, nullptr},
      {"250-mail.test\r\n250-AUTH LOGIN\r\n250 8BITMIME\r\n",
       {"250|250-mail.test|250-AUTH LOGIN|250 8BITMIME"},
       0,
       nullptr},
      // Bare LF ends a line too; a CR inside a line stays; a code alone is a reply.
      {"250-a\n250 b\r\n354\r\n221 x\ry\n", {"250|250-a|250 b", "354|354", "221|221 x\ry"}, 0, nullptr},
      // An unfinished reply waits for more, its bytes pending.
      {"250 OK\r\n250-one\r\n250 tw", {"250|250 OK"}, 15, nullptr},
      {"220 go ahead\r\n250 forged\r\n", {"220|220 go ahead", "250|250 forged"}, 0, nullptr},
      {"hello\r\n", {}, 0, "not a reply: hello"},
      {"25\r\n", {}, 0, "not a reply: 25"},
      {"2x0 no\r\n", {}, 0, "not a reply"},
      {"250 OK\r\n\r\n", {"250|250 OK"}, 0, "not a reply"},
      {"250-a\r\n550 b\r\n", {}, 0, "different codes: 550 b"},
      // The bound counts the whole reply, line ends included.
      {"250 1234\r\n", {"250|250 1234"}, 0, nullptr, 10},
      {"250 12345\r\n", {}, 0, "longer than 10 bytes", 10},
      {"250-12\r\n250 45\r\n", {}, 0, "longer than 10 bytes", 10},
      {"250 OK\r\n" + std::string(11, 'x'), {"250|250 OK"}, 0, "longer than 10 bytes", 10},
      {"250 OK\r\n" + std::string(10, 'x'), {"250|250 OK"}, 10, nullptr, 10},
  };
  for (const auto& c : cases) {
    for (std::size_t piece : {0, 1, 3}) {
      SCOPED_TRACE(testing::Message() << '"' << c.Bytes << "\" in pieces of " << piece);
      const Outcome out = Read(c.Bytes, piece, c.MaxSize);
      EXPECT_EQ(out.Replies, c.Replies);
      EXPECT_EQ(out.Failed, c.Error != nullptr) << out.Error;
      if (c.Error)
        EXPECT_NE(out.Error.find(c.Error), std::string::npos) << out.Error;
      else
        EXPECT_EQ(out.Pending, c.Pending);
    }
  }
}

TEST(SmtpReplyReader, DiscardForgetsPendingBytesAndFailureStays) {
  TSmtpReplyReader reader;
  TSmtpReply reply;
  reader.Feed("220 go ahead\r\n250 forged\r\n");
  ASSERT_EQ(reader.Next(reply), srReply);
  EXPECT_EQ(reply.Code, 220);
  EXPECT_EQ(reader.Pending(), 12u);
  EXPECT_EQ(reader.Discard(), 12u);
  EXPECT_EQ(reader.Pending(), 0u);
  EXPECT_EQ(reader.Next(reply), srIncomplete);
  reader.Feed("250 after\r\n");
  ASSERT_EQ(reader.Next(reply), srReply);
  EXPECT_EQ(reply.Lines, std::vector<std::string>{"250 after"});

  // Once failed, later bytes change nothing until Reset.
  reader.Feed("garbage\r\n");
  EXPECT_EQ(reader.Next(reply), srFailed);
  reader.Feed("250 OK\r\n");
  EXPECT_EQ(reader.Next(reply), srFailed);
  reader.Reset();
  reader.Feed("250 OK\r\n");
  EXPECT_EQ(reader.Next(reply), srReply);
}

TEST(SmtpReplyReader, LongRunOfRepliesInPiecesAcrossTheirBoundaries) {
  // The bytes of replies taken out are dropped while later ones are half
  // read; nothing of the later ones may be lost or read twice.
  std::string stream;
  for (int i = 0; i < 5000; ++i) stream += "250-line " + std::to_string(i) + "\r\n250 end\r\n";
  const Outcome out = Read(stream, 7, TSmtpReplyReader::DefaultMaxReplySize);
  ASSERT_FALSE(out.Failed) << out.Error;
  ASSERT_EQ(out.Replies.size(), 5000u);
  for (int i : {0, 1, 2499, 4999}) EXPECT_EQ(out.Replies[i], "250|250-line " + std::to_string(i) + "|250 end");
  EXPECT_EQ(out.Pending, 0u);
}
