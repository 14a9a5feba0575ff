#include "kwinet/graphics/BmpReader.h"

#include <array>
#include <bit>
#include <cstdint>

namespace kwinet {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kMaxHeaderSize = 124;  // BITMAPV5HEADER

// An RLE record of two bytes paints at most a run of 255 pixels, so the data
// of a run-length picture gives at most 128 pixels a byte. (A move or an early
// end can leave more untouched, but no encoder makes a picture of gaps.)
constexpr std::int64_t kRlePixelsPerByte = 128;

enum : std::uint32_t { biRGB = 0, biRLE8 = 1, biRLE4 = 2, biBitFields = 3, biAlphaBitFields = 6 };

std::uint32_t U16(std::string_view d, std::size_t at) {
  return std::uint32_t(std::uint8_t(d[at])) | std::uint32_t(std::uint8_t(d[at + 1])) << 8;
}

std::uint32_t U32(std::string_view d, std::size_t at) {
  return U16(d, at) | U16(d, at + 2) << 16;
}

// One channel of a bit-field pixel: where it sits and how wide it is.
struct TChannel {
  unsigned Shift = 0;
  unsigned Bits = 0;
  std::uint32_t Mask = 0;

  explicit TChannel(std::uint32_t mask = 0) : Mask(mask) {
    if (mask == 0) return;
    Shift = static_cast<unsigned>(std::countr_zero(mask));
    Bits = static_cast<unsigned>(std::countr_one(mask >> Shift));
  }
  // The channel's value scaled to 0-255; Missing when the mask is empty.
  unsigned Get(std::uint32_t pixel, unsigned missing) const {
    if (Bits == 0) return missing;
    std::uint32_t v = (pixel >> Shift) & ((Bits >= 32) ? 0xFFFFFFFFu : ((1u << Bits) - 1));
    if (Bits >= 8) return v >> (Bits - 8);
    return v * 255 / ((1u << Bits) - 1);
  }
};

bool Fail(String& error, const char16_t* text) {
  error = text;
  return false;
}

}  // namespace

bool ReadBmp(std::string_view d, TPixelImage& image, String& error) {
  if (d.size() < kFileHeaderSize + 4 || d[0] != 'B' || d[1] != 'M') return Fail(error, u"not a BMP file");
  const std::uint32_t offBits = U32(d, 10);
  const std::uint32_t headerSize = U32(d, 14);
  if (headerSize != kCoreHeaderSize && (headerSize < kInfoHeaderSize || headerSize > kMaxHeaderSize))
    return Fail(error, u"unsupported BMP header");
  if (d.size() < kFileHeaderSize + headerSize) return Fail(error, u"truncated BMP header");

  std::int64_t width, height;
  std::uint32_t bpp, compression = biRGB, colorsUsed = 0;
  std::size_t paletteAt = kFileHeaderSize + headerSize;
  std::size_t entrySize = 4;
  std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  bool haveMasks = false;
  if (headerSize == kCoreHeaderSize) {
    width = U16(d, 18);
    height = U16(d, 20);
    bpp = U16(d, 24);
    entrySize = 3;
  } else {
    width = static_cast<std::int32_t>(U32(d, 18));
    height = static_cast<std::int32_t>(U32(d, 22));
    bpp = U16(d, 28);
    compression = U32(d, 30);
    colorsUsed = U32(d, 46);
    if (compression == biBitFields || compression == biAlphaBitFields) {
      // The masks sit right after the 40-byte part of the header: inside
      // it from version 2 on, after it (and before the palette) otherwise.
      const std::size_t at = kFileHeaderSize + kInfoHeaderSize;
      std::size_t count = compression == biAlphaBitFields ? 4 : 3;
      if (headerSize == kInfoHeaderSize) {
        if (d.size() < at + 4 * count) return Fail(error, u"truncated BMP header");
        paletteAt += 4 * count;
      } else if (headerSize < kInfoHeaderSize + 12) {
        return Fail(error, u"unsupported BMP header");
      } else {
        // Only the masks that the header holds: an alpha mask past its end
        // is no mask.
        count = headerSize >= kInfoHeaderSize + 16 ? 4 : 3;
      }
      for (std::size_t i = 0; i < count; ++i) masks[i] = U32(d, at + 4 * i);
      haveMasks = true;
    }
  }
  const bool bottomUp = height > 0;
  if (height < 0) height = -height;
  if (!PictureSizeAllowed(width, height)) {
    if (width <= 0 || height <= 0) return Fail(error, u"BMP has no pixels");
    return Fail(error, u"BMP is too large");
  }

  bool paletted = bpp == 1 || bpp == 4 || bpp == 8;
  switch (compression) {
    case biRGB:
      if (!paletted && bpp != 16 && bpp != 24 && bpp != 32) return Fail(error, u"unsupported BMP bit depth");
      break;
    case biRLE8:
      if (bpp != 8) return Fail(error, u"RLE8 BMP must have 8 bits per pixel");
      break;
    case biRLE4:
      if (bpp != 4) return Fail(error, u"RLE4 BMP must have 4 bits per pixel");
      break;
    case biBitFields:
    case biAlphaBitFields:
      if (bpp != 16 && bpp != 32) return Fail(error, u"bit-field BMP must have 16 or 32 bits per pixel");
      break;
    default:
      return Fail(error, u"unsupported BMP compression");
  }

  // The palette: as many entries as the header says (at most one per
  // index), each read only where the file has it.
  std::array<std::uint32_t, 256> palette{};
  if (paletted) {
    std::size_t count = std::size_t(1) << bpp;
    if (colorsUsed != 0 && colorsUsed < count) count = colorsUsed;
    if (paletteAt > d.size() || (d.size() - paletteAt) / entrySize < count)
      return Fail(error, u"truncated BMP palette");
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t at = paletteAt + i * entrySize;
      palette[i] = Argb(255, std::uint8_t(d[at + 2]), std::uint8_t(d[at + 1]), std::uint8_t(d[at]));
    }
    for (std::size_t i = count; i < palette.size(); ++i) palette[i] = Argb(255, 0, 0, 0);
  }

  if (offBits > d.size()) return Fail(error, u"truncated BMP data");
  const std::string_view bits = d.substr(offBits);
  const auto w = static_cast<std::size_t>(width);
  const auto h = static_cast<std::size_t>(height);
  std::vector<std::uint32_t> pixels;
  auto rowOf = [&](std::size_t y) { return bottomUp ? h - 1 - y : y; };

  if (compression == biRLE8 || compression == biRLE4) {
    // Runs and literal stretches; what no run covers stays transparent.
    // Each step consumes input, so the work is bounded by the data.
    if (!PictureSizeInProportion(width, height, bits.size(), kRlePixelsPerByte))
      return Fail(error, u"BMP declares more pixels than its data can hold");
    pixels.assign(w * h, 0);
    std::size_t x = 0, y = 0, at = 0;
    const bool four = compression == biRLE4;
    auto put = [&](unsigned index) {
      if (x < w && y < h) pixels[rowOf(y) * w + x] = palette[index];
      ++x;
    };
    bool ended = false;
    while (!ended && y < h) {
      if (at + 2 > bits.size()) return Fail(error, u"truncated BMP data");
      const unsigned count = std::uint8_t(bits[at]);
      const unsigned value = std::uint8_t(bits[at + 1]);
      at += 2;
      if (count > 0) {
        for (unsigned i = 0; i < count && x < w; ++i) put(four ? ((i & 1) ? value & 15 : value >> 4) : value);
        continue;
      }
      switch (value) {
        case 0:  // end of line
          x = 0;
          ++y;
          break;
        case 1:  // end of bitmap
          ended = true;
          break;
        case 2:  // move right and up
          if (at + 2 > bits.size()) return Fail(error, u"truncated BMP data");
          x += std::uint8_t(bits[at]);
          y += std::uint8_t(bits[at + 1]);
          at += 2;
          break;
        default: {  // a literal stretch of `value` pixels, padded to 16 bits
          const std::size_t bytes = four ? (value + 1) / 2 : value;
          if (bits.size() - at < bytes) return Fail(error, u"truncated BMP data");
          for (unsigned i = 0; i < value && x < w; ++i) {
            const unsigned b = std::uint8_t(bits[at + (four ? i / 2 : i)]);
            put(four ? ((i & 1) ? b & 15 : b >> 4) : b);
          }
          at += bytes + (bytes & 1);
          break;
        }
      }
    }
    image.Width = static_cast<int>(w);
    image.Height = static_cast<int>(h);
    image.Pixels = std::move(pixels);
    return true;
  }

  const std::uint64_t stride = (std::uint64_t(w) * bpp + 31) / 32 * 4;
  if (stride * h > bits.size()) return Fail(error, u"truncated BMP data");
  if (!haveMasks && bpp == 16) {
    masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  }
  const TChannel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
  const bool fields = bpp == 16 || (bpp == 32 && haveMasks);
  pixels.resize(w * h);
  for (std::size_t y = 0; y < h; ++y) {
    const std::string_view row = bits.substr(y * stride, stride);
    std::uint32_t* out = &pixels[rowOf(y) * w];
    for (std::size_t x = 0; x < w; ++x) {
      if (paletted) {
        const unsigned perByte = 8 / bpp;
        const unsigned b = std::uint8_t(row[x / perByte]);
        const unsigned shift = 8 - bpp * (x % perByte + 1);
        out[x] = palette[(b >> shift) & ((1u << bpp) - 1)];
      } else if (bpp == 24) {
        out[x] = Argb(255, std::uint8_t(row[3 * x + 2]), std::uint8_t(row[3 * x + 1]), std::uint8_t(row[3 * x]));
      } else if (fields) {
        const std::uint32_t p = bpp == 16 ? U16(row, 2 * x) : U32(row, 4 * x);
        out[x] = Argb(alpha.Get(p, 255), red.Get(p, 0), green.Get(p, 0), blue.Get(p, 0));
      } else {  // 32 bits without masks: blue, green, red and an unused byte
        out[x] = Argb(255, std::uint8_t(row[4 * x + 2]), std::uint8_t(row[4 * x + 1]), std::uint8_t(row[4 * x]));
      }
    }
  }
  image.Width = static_cast<int>(w);
  image.Height = static_cast<int>(h);
  image.Pixels = std::move(pixels);
  return true;
}

}  // namespace kwinet
