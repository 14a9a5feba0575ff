// The FedEx request body for any number (UTF-16 code units, lone surrogates
// and control characters included): always one JSON document of the
// service's shape, and a number of valid text comes back unchanged.
#include <cstddef>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "kwinet/tracking/TrackRest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kwinet::String number;
  for (std::size_t i = 0; i + 1 < size; i += 2) number.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  const std::string body = kwinet::FedExTrackBody(number);
  const auto json = nlohmann::json::parse(body, nullptr, false);
  if (json.is_discarded()) __builtin_trap();
  const auto& n = json.at("trackingInfo").at(0).at("trackingNumberInfo").at("trackingNumber");
  if (!n.is_string() || json.at("includeDetailedScans") != true) __builtin_trap();
  bool valid = true;
  for (std::size_t i = 0; i < number.size(); ++i) {
    const char16_t c = number[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < number.size() && number[i + 1] >= 0xDC00 && number[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) valid = false;
  }
  if (valid && kwinet::Utf8ToString(n.get<std::string>()) != number) __builtin_trap();
  return 0;
}
