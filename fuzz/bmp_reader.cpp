// The BMP reader on arbitrary bytes: it must decode or refuse, never read
// outside the data, and never make a picture beyond the size limits nor one
// of more pixels than its data can hold (128 a byte for runs, 8 for raw
// one-bit rows).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kwinet/graphics/BmpReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kwinet::TPixelImage image;
  kwinet::String error;
  const bool ok = kwinet::ReadBmp(std::string_view(reinterpret_cast<const char*>(data), size), image, error);
  if (!ok && error.empty()) __builtin_trap();  // a refusal says why
  if (ok &&
      (!kwinet::PictureSizeAllowed(image.Width, image.Height) ||
       image.Pixels.size() != std::size_t(image.Width) * std::size_t(image.Height) || image.Pixels.size() > 128 * size))
    __builtin_trap();
  if (!ok && !image.Pixels.empty()) __builtin_trap();  // a refusal leaves the image alone
  return 0;
}
