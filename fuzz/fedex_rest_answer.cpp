// The FedEx track answer (JSON) on arbitrary bytes: a shipment or a reason,
// never a crash, and never more activities than the answer has objects.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kwinet/tracking/TrackRest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view answer(reinterpret_cast<const char*>(data), size);
  kwinet::TKwShipmentValues shipment;
  kwinet::TKwInetActivities activities(nullptr);
  const kwinet::TRestTrackResult r = kwinet::ReadFedExTrackAnswer(answer, shipment, activities);
  std::size_t objects = 0;
  for (const char c : answer) objects += c == '{';
  if (static_cast<std::size_t>(activities.Count()) > objects) __builtin_trap();
  if (!r.Found && activities.Count() != 0) __builtin_trap();
  return 0;
}
