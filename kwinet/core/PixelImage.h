/// @file
/// Decoded pictures: what every picture decoder produces, and the size limits
/// they all hold to, so that no header can make a decoder allocate more than
/// a few hundred megabytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kwinet {

/// The longest side and the most pixels of a picture that is decoded at all.
constexpr std::int64_t kMaxPictureSide = 32768;
constexpr std::int64_t kMaxPicturePixels = std::int64_t(1) << 25;  ///< 128 MiB of pixels

/// Width by Height pixels, the top row first, each 0xAARRGGBB (alpha 255 is
/// opaque).
struct TPixelImage {
  /// Columns.
  int Width = 0;
  /// Rows.
  int Height = 0;
  /// Width * Height pixels.
  std::vector<std::uint32_t> Pixels;
};

/// A pixel from alpha, red, green and blue, each 0 to 255.
inline constexpr std::uint32_t Argb(unsigned a, unsigned r, unsigned g, unsigned b) {
  return std::uint32_t(a) << 24 | std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b);
}

/// True when a picture of this size may be decoded.
inline bool PictureSizeAllowed(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
         width * height <= kMaxPicturePixels;
}

/// True when Width by Height pixels (within the limits above) can come out of
/// Bytes bytes of a format whose densest coding gives at most PixelsPerByte
/// pixels a byte. A header that declares more lies about its data, and is
/// refused before its pixels are allocated.
inline bool PictureSizeInProportion(std::int64_t width, std::int64_t height, std::size_t bytes,
                                    std::int64_t pixelsPerByte) {
  return (width * height + pixelsPerByte - 1) / pixelsPerByte <= static_cast<std::int64_t>(bytes);
}

}  // namespace kwinet
