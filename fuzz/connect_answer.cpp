// A proxy's answer to CONNECT on arbitrary bytes, read whole, a byte at a
// time (as the socket base reads it) and in random pieces: the verdict is
// the same each way, and no byte past the answer's head is ever taken, since
// those belong to the tunnelled server.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kwinet/utils/HttpHead.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kwinet;
  if (size < 2) return 0;
  // The first byte picks the bound (0: the default), the second seeds the
  // pieces.
  const std::size_t bound = data[0] == 0 ? THttpHeadReader::kDefaultMaxSize : std::size_t(data[0]) * 4;
  std::uint32_t seed = data[1];
  const std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);

  TConnectAnswerReader whole(bound);
  const std::size_t taken = whole.Feed(input);
  Check(taken <= input.size() && taken <= bound);
  Check(whole.Done() || taken == input.size());
  if (whole.Done()) Check(whole.Feed(input.substr(taken)) == 0);
  if (whole.Verdict() == cvOpen || whole.Verdict() == cvProxyAuth || whole.Verdict() == cvRefused) {
    // A whole head: taken up to its empty line and not a byte further.
    Check(whole.Head().Done() && whole.Head().HasStatus());
    Check(taken > 0 && input[taken - 1] == '\n');
    const int code = whole.Head().Status().Code;
    Check((whole.Verdict() == cvOpen) == (code >= 200 && code <= 299));
    Check((whole.Verdict() == cvProxyAuth) == (code == 407));
  }

  TConnectAnswerReader bytes(bound);
  std::size_t read = 0;
  while (read < input.size() && !bytes.Done()) {
    const std::size_t t = bytes.Feed(input.substr(read, 1));
    Check(t <= 1);
    if (t == 0) break;
    ++read;
  }
  Check(bytes.Verdict() == whole.Verdict());
  if (!whole.Head().Failed()) Check(read == taken);

  TConnectAnswerReader pieces(bound);
  std::size_t fed = 0, got = 0;
  while (fed < input.size() && !pieces.Done()) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t n = std::min<std::size_t>(1 + (seed >> 16) % 61, input.size() - fed);
    const std::size_t t = pieces.Feed(input.substr(fed, n));
    Check(t <= n);
    got += t;
    fed += n;
    if (t < n) break;
  }
  Check(pieces.Verdict() == whole.Verdict());
  if (!whole.Head().Failed()) Check(got == taken);
  return 0;
}
