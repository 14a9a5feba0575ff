// The token answer and the error document readers on arbitrary bytes: a
// token is taken only as printable ASCII (it goes into a header line), an
// expiry is never negative, and nothing crashes or runs out of stack.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kwinet/tracking/TrackRest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view answer(reinterpret_cast<const char*>(data), size);
  kwinet::TOAuthTokenAnswer token;
  if (kwinet::ReadOAuthTokenAnswer(answer, token)) {
    if (token.AccessToken.empty() || token.ExpiresIn < 0) __builtin_trap();
    for (const char c : token.AccessToken)
      if (c <= 0x20 || c >= 0x7F) __builtin_trap();
  }
  (void)kwinet::ReadServiceErrorMessage(answer);
  return 0;
}
