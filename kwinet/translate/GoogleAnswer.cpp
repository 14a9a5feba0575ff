#include "kwinet/translate/GoogleAnswer.h"

#include <nlohmann/json.hpp>

namespace kwinet {

namespace {

using Json = nlohmann::json;

// The segment list: an array of arrays, at least one of them starting with
// a string (a segment that starts otherwise carries no translated text).
bool IsSegmentList(const Json& Value) {
  if (!Value.is_array() || Value.empty()) return false;
  bool text = false;
  for (const Json& segment : Value) {
    if (!segment.is_array()) return false;
    text = text || (!segment.empty() && segment[0].is_string());
  }
  return text;
}

}  // namespace

std::optional<String> ReadGoogleAnswer(std::string_view Answer) {
  // Parsing and freeing are iterative in this library: a deeply nested
  // answer costs memory in proportion to its size, never stack.
  const Json root = Json::parse(Answer.begin(), Answer.end(), nullptr, /*allow_exceptions=*/false);
  if (root.is_discarded()) return std::nullopt;
  if (root.is_array() && !root.empty() && IsSegmentList(root[0])) {
    std::string text;
    for (const Json& segment : root[0])
      if (!segment.empty() && segment[0].is_string()) text += segment[0].get_ref<const std::string&>();
    return Utf8ToString(text);
  }
  const Json* value = &root;
  while (value->is_array()) {
    if (value->empty()) return std::nullopt;
    value = &(*value)[0];
  }
  if (value->is_string()) return Utf8ToString(value->get_ref<const std::string&>());
  if (value->is_object()) return std::nullopt;
  return Utf8ToString(value->dump());
}

}  // namespace kwinet
