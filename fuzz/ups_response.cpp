// The UPS answer walk on arbitrary answers: it must read what it can and
// never crash, loop or take more than one activity per Activity element.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kwinet/tracking/KwIUPS.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  kwinet::TKwShipmentValues shipment;
  kwinet::TKwInetActivities activities(nullptr);
  kwinet::ReadUPSTrackResponse(kwinet::BytesToString(bytes), shipment, activities);
  std::size_t elements = 0;
  for (std::size_t p = 0; (p = bytes.find("<Activity", p)) != std::string_view::npos; ++p) ++elements;
  if (static_cast<std::size_t>(activities.Count()) > elements) __builtin_trap();
  return 0;
}
