// The mail server reply reader on arbitrary bytes, fed in pieces split where
// the input says: whatever the split, it must yield the same replies and end
// the same way as when fed everything at once; every reply must be well
// formed, within the bound, and exactly the bytes that came, in order, with
// none lost or read twice.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kwinet/socket/SmtpReply.h"

namespace {

using kwinet::srFailed;
using kwinet::srReply;
using kwinet::TSmtpReply;
using kwinet::TSmtpReplyReader;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

struct Outcome {
  std::vector<TSmtpReply> Replies;
  std::size_t Taken = 0;  // input bytes the replies came from
  bool Failed = false;
  kwinet::String Error;
};

// Takes every complete reply out and checks it against the input.
void Drain(TSmtpReplyReader& reader, std::string_view input, Outcome& out) {
  TSmtpReply reply;
  kwinet::TSmtpReadResult r;
  while ((r = reader.Next(reply)) == srReply) {
    Check(!reply.Lines.empty() && reply.Code >= 0 && reply.Code <= 999);
    const std::size_t start = out.Taken;
    for (std::size_t i = 0; i < reply.Lines.size(); ++i) {
      const std::string& line = reply.Lines[i];
      Check(line.size() >= 3 && (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0') == reply.Code);
      // Every line but the last says that more follow.
      Check((i + 1 < reply.Lines.size()) == (line.size() > 3 && line[3] == '-'));
      // The line as it came, then LF or CR LF.
      Check(input.substr(out.Taken, line.size()) == line);
      out.Taken += line.size();
      Check(out.Taken < input.size());
      if (input[out.Taken] == '\r') ++out.Taken;
      Check(out.Taken < input.size() && input[out.Taken] == '\n');
      ++out.Taken;
    }
    Check(out.Taken - start <= reader.MaxReplySize());
    out.Replies.push_back(std::move(reply));
    reply = TSmtpReply();
  }
  if (r == srFailed) {
    Check(reader.Failed() && !reader.Error().empty());
    out.Failed = true;
    out.Error = reader.Error();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first byte picks the bound on a reply (small ones are reached
  // often), the second seeds the sizes of the pieces.
  const std::size_t maxSize = 8 + std::size_t(data[0]) * 4;
  std::uint32_t seed = data[1] | 1u;
  const std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);

  Outcome whole;
  TSmtpReplyReader once(maxSize);
  once.Feed(input);
  Drain(once, input, whole);
  if (!whole.Failed) Check(once.Pending() == input.size() - whole.Taken);

  Outcome pieces;
  TSmtpReplyReader reader(maxSize);
  std::size_t fed = 0;
  while (fed < input.size() && !pieces.Failed) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t n = std::min<std::size_t>(input.size() - fed, 1 + (seed >> 16) % 64);
    reader.Feed(input.substr(fed, n));
    fed += n;
    Drain(reader, input, pieces);
    if (!pieces.Failed) Check(reader.Pending() == fed - pieces.Taken);
  }

  Check(pieces.Failed == whole.Failed && pieces.Error == whole.Error);
  Check(pieces.Replies.size() == whole.Replies.size());
  for (std::size_t i = 0; i < whole.Replies.size(); ++i)
    Check(pieces.Replies[i].Code == whole.Replies[i].Code && pieces.Replies[i].Lines == whole.Replies[i].Lines);

  // Discard leaves nothing behind.
  reader.Discard();
  Check(reader.Pending() == 0);
  return 0;
}
