#include "kwinet/graphics/PngDecoder.h"

#include <png.h>

#include <bit>

namespace kwinet {

namespace {

// Deflate expands at most 1032 times (a 258-byte match in two bits or so),
// and the smallest pixel is one bit: at most 8256 pixels a byte of file.
constexpr std::int64_t kDeflatePixelsPerByte = 8 * 1032;

}  // namespace

bool DecodePng(std::string_view data, TPixelImage& image, String& error) {
  // libpng's simplified reader: it keeps its errors to itself (no jumps
  // through our frames) and converts every colour type to one layout.
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  auto fail = [&](const char* what) {
    error = u"PNG: " + Utf8ToString(png.message[0] ? png.message : what);
    png_image_free(&png);
    return false;
  };
  if (!png_image_begin_read_from_memory(&png, data.data(), data.size())) return fail("not a PNG file");
  if (!PictureSizeAllowed(png.width, png.height)) {
    png.message[0] = 0;
    return fail("picture is too large");
  }
  if (!PictureSizeInProportion(png.width, png.height, data.size(), kDeflatePixelsPerByte)) {
    png.message[0] = 0;
    return fail("the file declares more pixels than its data can hold");
  }
  // 0xAARRGGBB words: B, G, R, A in memory on a little-endian machine.
  png.format = std::endian::native == std::endian::little ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
  std::vector<std::uint32_t> pixels(std::size_t(png.width) * png.height);
  if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) return fail("corrupt PNG data");
  png_image_free(&png);
  image.Width = static_cast<int>(png.width);
  image.Height = static_cast<int>(png.height);
  image.Pixels = std::move(pixels);
  return true;
}

}  // namespace kwinet
