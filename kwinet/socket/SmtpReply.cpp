#include "kwinet/socket/SmtpReply.h"

#include <cstring>

namespace kwinet {

namespace {

// A line as it may stand in an error message: its first bytes only.
String Shown(std::string_view line) {
  constexpr std::size_t kMax = 120;
  if (line.size() <= kMax) return BytesToString(line);
  return BytesToString(line.substr(0, kMax)) + u"...";
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

TSmtpReplyReader::TSmtpReplyReader(std::size_t MaxReplySize) : FMaxReplySize(MaxReplySize) {}

void TSmtpReplyReader::Feed(std::string_view Bytes) {
  if (Failed()) return;
  // Bytes of replies taken out go once they are at least as many as those
  // still kept, so each byte is moved a bounded number of times.
  if (FReplyStart > 0 && FReplyStart >= FBuffer.size() - FReplyStart) {
    FBuffer.erase(0, FReplyStart);
    FLineStart -= FReplyStart;
    FScan -= FReplyStart;
    FReplyStart = 0;
  }
  FBuffer.append(Bytes);
}

TSmtpReadResult TSmtpReplyReader::Next(TSmtpReply& Reply) {
  if (Failed()) return srFailed;
  for (;;) {
    // The reply may not reach past FMaxReplySize bytes: no line end is
    // looked for beyond that.
    const std::size_t limit = Pending() > FMaxReplySize ? FReplyStart + FMaxReplySize : FBuffer.size();
    const void* found = FScan < limit ? std::memchr(FBuffer.data() + FScan, '\n', limit - FScan) : nullptr;
    if (found == nullptr) {
      FScan = limit;
      if (Pending() > FMaxReplySize)
        return Fail(u"The mail server sent a reply longer than " + IntToStr(static_cast<std::int64_t>(FMaxReplySize)) +
                    u" bytes");
      return srIncomplete;
    }
    const std::size_t eol = static_cast<const char*>(found) - FBuffer.data();
    std::string_view line(FBuffer.data() + FLineStart, eol - FLineStart);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    FScan = FLineStart = eol + 1;

    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]))
      return Fail(u"The mail server sent something that is not a reply: " + Shown(line));
    const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    if (!FCurrent.Lines.empty() && code != FCurrent.Code)
      return Fail(u"The mail server sent a reply whose lines carry different codes: " + Shown(line));
    FCurrent.Code = code;
    FCurrent.Lines.emplace_back(line);
    if (line.size() > 3 && line[3] == '-') continue;

    Reply = std::move(FCurrent);
    FCurrent = TSmtpReply();
    FReplyStart = FScan;
    return srReply;
  }
}

std::size_t TSmtpReplyReader::Discard() {
  const std::size_t count = Pending();
  FBuffer.clear();
  FReplyStart = FLineStart = FScan = 0;
  FCurrent = TSmtpReply();
  return count;
}

void TSmtpReplyReader::Reset() {
  Discard();
  FBuffer.shrink_to_fit();
  FError.clear();
}

TSmtpReadResult TSmtpReplyReader::Fail(const String& message) {
  FError = message;
  return srFailed;
}

}  // namespace kwinet
