// The feed reader on arbitrary bytes: decoding by mark or declaration, then
// the tag scanner. It must never read outside the text, loop or recurse, and
// every field it reports belongs to a channel or item already begun.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kwinet/web/RssScanner.h"

namespace {

class TChecker : public kwinet::TRssScanHandler {
 public:
  void NewChannel() override {
    FChannel = true;
    FItem = false;
  }
  void NewItem() override {
    if (!FChannel) __builtin_trap();
    FItem = true;
  }
  void ChannelField(kwinet::TRssChannelField Field, kwinet::String&& Value) override {
    if (!FChannel || Field > kwinet::rcTtl) __builtin_trap();
    Check(Value);
  }
  void ItemField(kwinet::TRssItemField Field, kwinet::String&& Value) override {
    if (!FItem || Field > kwinet::riDate) __builtin_trap();
    Check(Value);
  }

 private:
  // Values are trimmed and hold no tag start.
  static void Check(const kwinet::String& v) {
    if (!v.empty() && (v.front() <= 32 || v.back() <= 32)) __builtin_trap();
    for (char16_t c : v)
      if (c == u'<') __builtin_trap();
  }
  bool FChannel = false;
  bool FItem = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TChecker decoded;
  kwinet::ScanRss(kwinet::DecodeRssText(bytes), decoded);
  // The raw bytes as text too: the scanner must not rely on the decoding.
  TChecker raw;
  kwinet::ScanRss(kwinet::BytesToString(bytes), raw);
  return 0;
}
