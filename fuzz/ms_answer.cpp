// The Microsoft Translator answer readers on arbitrary bytes: a text, a list
// or nothing, never a crash or a read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kwinet/translate/MSTranslatorAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view answer(reinterpret_cast<const char*>(data), size);
  const auto text = kwinet::ReadMSTranslatorText(answer);
  const auto list = kwinet::ReadMSTranslatorList(answer);
  // A list needs a document element to hold it.
  if (!text && !list.empty()) __builtin_trap();
  return 0;
}
