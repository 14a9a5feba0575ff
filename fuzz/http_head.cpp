// The HTTP head reader on arbitrary bytes fed in arbitrary pieces: however
// the input is split, or handed over line by line, the reader takes the same
// bytes and sees the same head, never takes more than it is fed or than its
// bound, and leaves the body as the exact tail of the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "kwinet/utils/HttpHead.h"

namespace {

using kwinet::THttpHeadReader;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void SameHead(const THttpHeadReader& a, const THttpHeadReader& b) {
  Check(a.State() == b.State());
  Check(a.Lines() == b.Lines());
  Check(a.HasStatus() == b.HasStatus());
  Check(a.Status().Code == b.Status().Code && a.Status().Version == b.Status().Version &&
        a.Status().Reason == b.Status().Reason);
  Check(a.Fields().size() == b.Fields().size());
  for (std::size_t i = 0; i < a.Fields().size(); ++i)
    Check(a.Fields()[i].Name == b.Fields()[i].Name && a.Fields()[i].Value == b.Fields()[i].Value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first byte picks the bound (0: none), the second seeds the pieces.
  const std::size_t bound = std::size_t(data[0]) * 8;
  std::uint32_t seed = data[1];
  const std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);

  THttpHeadReader whole(bound);
  const std::size_t taken = whole.Feed(input);
  Check(taken <= input.size() && taken == whole.Size());
  Check(bound == 0 || taken <= bound);
  Check(whole.State() != kwinet::hsReading || taken == input.size());
  Check(whole.Failed() == !whole.Error().empty());
  if (whole.Done()) {
    // The head is its lines and the empty line, each ended by a LF; the
    // body is what follows, untouched.
    Check(taken > 0 && input[taken - 1] == '\n');
    Check(std::size_t(std::count(input.begin(), input.begin() + taken, '\n')) == whole.Lines().size() + 1);
    Check(whole.Feed(input.substr(taken)) == 0 && whole.Size() == taken);
  }
  for (const auto& line : whole.Lines()) Check(!line.empty() && line.find('\n') == std::string::npos);
  for (const auto& field : whole.Fields()) Check(whole.Field(field.Name) != nullptr);
  if (whole.HasStatus()) {
    // The status line is its parts and nothing else.
    const auto& s = whole.Status();
    const std::string code = std::to_string(s.Code);
    const std::string& first = whole.Lines().front();
    Check(s.Code >= 100 && s.Code <= 999);
    Check(first == s.Version + " " + code || first == s.Version + " " + code + " " + s.Reason);
  }
  const int loose = kwinet::LooseStatusCode(input);
  Check(loose >= 0 && loose <= 999);

  // The same input in random pieces.
  THttpHeadReader pieces(bound);
  std::size_t fed = 0, got = 0;
  while (fed < input.size()) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t n = std::min<std::size_t>(1 + (seed >> 16) % 97, input.size() - fed);
    const std::size_t t = pieces.Feed(input.substr(fed, n));
    Check(t <= n);
    got += t;
    fed += n;
    if (t < n) break;  // ended or failed: the rest is not the head's
  }
  SameHead(whole, pieces);
  if (!whole.Failed()) Check(got == taken);

  // Line by line, as libcurl's header callback gives them; an unended tail as bytes.
  THttpHeadReader lines(bound);
  std::size_t at = 0;
  while (at < input.size() && lines.State() == kwinet::hsReading) {
    const auto lf = input.find('\n', at);
    if (lf == std::string_view::npos) {
      lines.Feed(input.substr(at));
      break;
    }
    lines.FeedLine(input.substr(at, lf + 1 - at));
    at = lf + 1;
  }
  SameHead(whole, lines);
  return 0;
}
