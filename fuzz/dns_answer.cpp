// The DNS answer parser on arbitrary messages: it must reject or parse,
// never read outside the message or loop.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "kwinet/socket/KwIDNS.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<kwinet::TKwIDNSRecord> records;
  kwinet::String error;
  const bool ok = kwinet::ParseDNSAnswer(std::string_view(reinterpret_cast<const char*>(data), size), records, error);
  // A rejected message adds nothing; a parsed one never has more records
  // than the header promises.
  if (!ok && !records.empty()) __builtin_trap();
  if (ok && size >= 8 && records.size() > (std::size_t(data[6]) << 8 | data[7])) __builtin_trap();
  return 0;
}
