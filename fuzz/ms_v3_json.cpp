// The Microsoft Translator version 3 readers on arbitrary bytes, and its
// request body built from them as text: the readers give a value or
// nothing, never a crash; the body always reads back as [{"Text":...}]
// holding exactly the text.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>

#include "kwinet/translate/TranslatorJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto translation = kwinet::ReadMSTranslation(bytes);
  const auto detection = kwinet::ReadMSDetection(bytes);
  const auto languages = kwinet::ReadMSLanguages(bytes);
  const auto error = kwinet::ReadMSError(bytes);
  // An answer is never empty, and a detection never names no language.
  if (size == 0 && (translation || detection || languages || error)) __builtin_trap();
  if (detection && detection->empty()) __builtin_trap();
  if (languages)
    for (const auto& l : *languages)
      if (l.Code.empty()) __builtin_trap();

  const kwinet::String text = kwinet::Utf8ToString(bytes);
  const nlohmann::json body = nlohmann::json::parse(kwinet::BuildMSTextBody(text), nullptr, false);
  if (body != nlohmann::json::array({{{"Text", kwinet::StringToUtf8(text)}}})) __builtin_trap();
  return 0;
}
