// The Google Cloud Translation v2 readers on arbitrary bytes, and its
// request bodies built from them as text: the readers give a value or
// nothing, never a crash; the bodies always read back holding exactly the
// text and the codes.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>

#include "kwinet/translate/TranslatorJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto translation = kwinet::ReadGoogleTranslation(bytes);
  const auto detection = kwinet::ReadGoogleDetection(bytes);
  const auto languages = kwinet::ReadGoogleLanguages(bytes);
  const auto error = kwinet::ReadGoogleError(bytes);
  if (size == 0 && (translation || detection || languages || error)) __builtin_trap();
  if (detection && detection->empty()) __builtin_trap();
  if (languages)
    for (const auto& l : *languages)
      if (l.Code.empty()) __builtin_trap();

  // The first two bytes, when there are, stand for the codes.
  const kwinet::String target = kwinet::Utf8ToString(bytes.substr(0, 1));
  const kwinet::String source = kwinet::Utf8ToString(size < 1 ? std::string_view() : bytes.substr(1, 1));
  const kwinet::String text = kwinet::Utf8ToString(bytes.substr(size < 2 ? size : 2));
  using Json = nlohmann::json;
  const std::string utf8 = kwinet::StringToUtf8(text);
  Json expected = {{"q", {utf8}}, {"target", kwinet::StringToUtf8(target)}, {"format", "text"}};
  if (!source.empty()) expected["source"] = kwinet::StringToUtf8(source);
  if (Json::parse(kwinet::BuildGoogleTranslateBody(text, target, source), nullptr, false) != expected)
    __builtin_trap();
  if (Json::parse(kwinet::BuildGoogleDetectBody(text), nullptr, false) != Json({{"q", {utf8}}})) __builtin_trap();
  return 0;
}
