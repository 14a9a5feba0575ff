// What the socket clients read from servers, on arbitrary bytes: daytime
// and SNTP answers, HTTP responses, weather pages, mail address lists. Each
// must parse or refuse, never crash, hang or read outside its input.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kwinet/socket/KwIHTTP.h"
#include "kwinet/socket/KwISMTP.h"
#include "kwinet/socket/KwISNTP.h"
#include "kwinet/socket/KwITime.h"
#include "kwinet/socket/KwIWeath.h"

namespace {

class TResponseReader : public kwinet::TKwIHTTPClient {
 public:
  TResponseReader() : TKwIHTTPClient(nullptr) {}
  void Read(kwinet::String& text) { AfterExecute(text); }
};

class TPageReader : public kwinet::TKwWeatherInfo {
 public:
  TPageReader() : TKwWeatherInfo(nullptr) {}
  void Read(kwinet::String& text) { AfterExecute(text); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  using namespace kwinet;
  const String text = BytesToString(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    switch (data[0] % 5) {
      case 0:
        TKwInetDateTime::DateTimeFromText(text);
        break;
      case 1: {
        TKwInetSNTP sntp(nullptr);
        sntp.DateTimeFromReply(text);
        break;
      }
      case 2: {
        // With the headers removed the body is what followed them, exactly.
        TResponseReader reader;
        String body = text;
        reader.Read(body);
        if (body.size() > text.size() || text.compare(text.size() - body.size(), body.size(), body) != 0)
          __builtin_trap();
        break;
      }
      case 3: {
        // The page is read, not changed.
        TPageReader reader;
        String page = text;
        reader.Read(page);
        if (page != text) __builtin_trap();
        break;
      }
      default: {
        TKwIEMailAddresses list(nullptr);
        list.SetEMailAddresses(text);
        list.GetEMailAddresses();
        break;
      }
    }
  } catch (const Exception&) {
    // A refusal in the framework's terms is a fine answer to garbage.
  }
  return 0;
}
