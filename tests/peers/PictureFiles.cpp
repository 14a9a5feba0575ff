#include "peers/PictureFiles.h"

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <vector>

namespace kwinet::test {

std::uint32_t QuadrantColor(int X, int Y, int Width, int Height) {
  const bool right = X >= Width / 2, bottom = Y >= Height / 2;
  if (!bottom) return right ? 0xFF00FF00u : 0xFFFF0000u;
  return right ? 0xFFFFFFFFu : 0xFF0000FFu;
}

namespace {

// R, G, B (and A) bytes of the sample, row by row.
std::vector<unsigned char> Samples(int w, int h, int channels) {
  std::vector<unsigned char> out;
  out.reserve(std::size_t(w) * h * channels);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = QuadrantColor(x, y, w, h);
      out.push_back(static_cast<unsigned char>(c >> 16));
      out.push_back(static_cast<unsigned char>(c >> 8));
      out.push_back(static_cast<unsigned char>(c));
      if (channels == 4) out.push_back(static_cast<unsigned char>(c >> 24));
    }
  return out;
}

int AppendOutput(GifFileType* gif, const GifByteType* data, int length) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), std::size_t(length));
  return length;
}

}  // namespace

std::string MakePng(int Width, int Height) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(Width);
  png.height = static_cast<png_uint_32>(Height);
  png.format = PNG_FORMAT_RGBA;
  const std::vector<unsigned char> pixels = Samples(Width, Height, 4);
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&png, nullptr, &size, 0, pixels.data(), 0, nullptr))
    throw std::runtime_error(png.message);
  std::string out(size, '\0');
  if (!png_image_write_to_memory(&png, out.data(), &size, 0, pixels.data(), 0, nullptr))
    throw std::runtime_error(png.message);
  out.resize(size);
  return out;
}

namespace {

// A JPEG of the sample picture; Configure sets what differs after the
// defaults (quality, scans).
std::string WriteJpeg(int Width, int Height, bool Cmyk, const std::function<void(jpeg_compress_struct&)>& Configure) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(Width);
  info.image_height = static_cast<JDIMENSION>(Height);
  info.input_components = Cmyk ? 4 : 3;
  info.in_color_space = Cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&info);
  Configure(info);
  jpeg_start_compress(&info, TRUE);
  // Inverted inks with full black are the colour itself: R, G, B, 255.
  std::vector<unsigned char> pixels = Samples(Width, Height, Cmyk ? 4 : 3);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = &pixels[std::size_t(info.next_scanline) * Width * info.input_components];
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

}  // namespace

std::string MakeJpeg(int Width, int Height, bool Cmyk) {
  return WriteJpeg(Width, Height, Cmyk, [](jpeg_compress_struct& info) { jpeg_set_quality(&info, 95, TRUE); });
}

std::string MakeProgressiveJpeg(int Width, int Height, int AcBands) {
  std::vector<jpeg_scan_info> scans(1);
  scans[0].comps_in_scan = 3;
  for (int c = 0; c < 3; ++c) scans[0].component_index[c] = c;
  for (int c = 0; c < 3; ++c)
    for (int band = 0; band < AcBands; ++band) {
      jpeg_scan_info s{};
      s.comps_in_scan = 1;
      s.component_index[0] = c;
      s.Ss = 1 + band * 63 / AcBands;
      s.Se = (band + 1) * 63 / AcBands;
      scans.push_back(s);
    }
  return WriteJpeg(Width, Height, false, [&scans](jpeg_compress_struct& info) {
    info.scan_info = scans.data();
    info.num_scans = static_cast<int>(scans.size());
  });
}

std::string MakeGif(int Width, int Height, bool Interlaced, bool TransparentTopRow) {
  // Colours 0-3 are the quadrants, 4 the transparent one.
  GifColorType colors[8] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {9, 9, 9}};
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, AppendOutput, &error);
  if (!gif) throw std::runtime_error("EGifOpen failed");
  ColorMapObject* map = GifMakeMapObject(8, colors);
  EGifSetGifVersion(gif, true);
  bool ok = EGifPutScreenDesc(gif, Width, Height, 8, 0, map) == GIF_OK;
  if (ok && TransparentTopRow) {
    const GifByteType control[4] = {1, 0, 0, 4};
    ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK;
  }
  ok = ok && EGifPutImageDesc(gif, 0, 0, Width, Height, Interlaced, nullptr) == GIF_OK;
  std::vector<std::vector<GifPixelType>> rows(static_cast<std::size_t>(Height),
                                              std::vector<GifPixelType>(static_cast<std::size_t>(Width)));
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const std::uint32_t c = QuadrantColor(x, y, Width, Height);
      GifPixelType index = c == 0xFFFF0000u ? 0 : c == 0xFF00FF00u ? 1 : c == 0xFF0000FFu ? 2 : 3;
      if (TransparentTopRow && y == 0) index = 4;
      rows[std::size_t(y)][std::size_t(x)] = index;
    }
  // An interlaced frame is written in its pass order.
  static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < (Interlaced ? 4 : 1) && ok; ++pass)
    for (int y = Interlaced ? kStart[pass] : 0; y < Height && ok; y += Interlaced ? kStep[pass] : 1)
      ok = EGifPutLine(gif, rows[std::size_t(y)].data(), Width) == GIF_OK;
  GifFreeMapObject(map);
  if (EGifCloseFile(gif, &error) != GIF_OK || !ok) throw std::runtime_error("GIF encoding failed");
  return out;
}

std::string MakeBmp(int Width, int Height) {
  const std::size_t stride = (std::size_t(Width) * 3 + 3) / 4 * 4;
  const std::size_t size = 54 + stride * Height;
  std::string out(size, '\0');
  auto put = [&](std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<char>(v >> (8 * i));
  };
  out[0] = 'B', out[1] = 'M';
  put(2, static_cast<std::uint32_t>(size), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, static_cast<std::uint32_t>(Width), 4);
  put(22, static_cast<std::uint32_t>(Height), 4);
  put(26, 1, 2);
  put(28, 24, 2);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const std::uint32_t c = QuadrantColor(x, y, Width, Height);
      const std::size_t at = 54 + stride * std::size_t(Height - 1 - y) + 3 * std::size_t(x);
      put(at, c & 0xFFFFFF, 3);
    }
  return out;
}

}  // namespace kwinet::test
