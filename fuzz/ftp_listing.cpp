// FTP listing lines, as a server sends them, in both formats, and the same
// lines folded as folder paths.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kwinet/web/FtpListing.h"
#include "kwinet/web/KwInet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    kwinet::TInetFindData d;
    kwinet::InetParseListingLine(line, true, d);
    kwinet::InetParseListingLine(line, false, d);
    kwinet::FoldFtpPath("/a/b", line);
    pos = end + 1;
  }
  return 0;
}
