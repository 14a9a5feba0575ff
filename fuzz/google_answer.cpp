// The Google Translate answer reader on arbitrary bytes: it must give a
// text or nothing, never crash, read out of bounds or run out of stack on
// deep nesting.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kwinet/translate/GoogleAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view answer(reinterpret_cast<const char*>(data), size);
  const auto text = kwinet::ReadGoogleAnswer(answer);
  // Text comes only out of JSON, and JSON is never empty.
  if (text && size == 0) __builtin_trap();
  return 0;
}
