#include "kwinet/graphics/GifDecoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>

namespace kwinet {

namespace {

// One LZW code of at most 12 bits stands for at most 4096 pixels (the
// longest string its table can hold), so a GIF's data gives at most 2731
// pixels a byte. The logical screen is held to the same proportion: a file
// that paints a few pixels in a vast empty screen is no picture worth
// allocating for.
constexpr std::int64_t kLzwPixelsPerByte = 2731;

struct TGifSource {
  std::string_view Data;
  std::size_t At = 0;
};

int ReadSource(GifFileType* gif, GifByteType* buffer, int length) {
  auto* source = static_cast<TGifSource*>(gif->UserData);
  const std::size_t n = std::min<std::size_t>(length < 0 ? 0 : length, source->Data.size() - source->At);
  std::memcpy(buffer, source->Data.data() + source->At, n);
  source->At += n;
  return static_cast<int>(n);
}

// Closes the file on every way out.
struct TGifCloser {
  GifFileType* Gif;
  ~TGifCloser() {
    int error = 0;
    DGifCloseFile(Gif, &error);
  }
};

bool Fail(String& error, int code, const char* fallback) {
  const char* text = GifErrorString(code);
  error = u"GIF: " + Utf8ToString(text ? text : fallback);
  return false;
}

bool Fail(String& error, const char16_t* text) {
  error = String(u"GIF: ") + text;
  return false;
}

}  // namespace

bool DecodeGif(std::string_view data, TPixelImage& image, String& error) {
  TGifSource source{data};
  int code = 0;
  GifFileType* gif = DGifOpen(&source, ReadSource, &code);
  if (!gif) return Fail(error, code, "not a GIF file");
  TGifCloser closer{gif};

  // Extensions before the first frame; only the graphic control block
  // (which names the transparent colour) matters here.
  int transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return Fail(error, gif->Error, "corrupt GIF data");
    if (type == IMAGE_DESC_RECORD_TYPE) break;
    if (type == TERMINATE_RECORD_TYPE) return Fail(error, u"no picture in the file");
    if (type != EXTENSION_RECORD_TYPE) return Fail(error, u"corrupt GIF data");
    int function = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &function, &block) == GIF_ERROR) return Fail(error, gif->Error, "corrupt GIF data");
    if (function == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) transparent = (block[1] & 1) ? block[4] : -1;
    while (block)
      if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return Fail(error, gif->Error, "corrupt GIF data");
  }
  if (DGifGetImageDesc(gif) == GIF_ERROR) return Fail(error, gif->Error, "corrupt GIF data");

  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  if (!map) return Fail(error, u"no colour table");
  // The logical screen is the picture; a file that gives none is the size
  // of its first frame.
  std::int64_t width = gif->SWidth, height = gif->SHeight;
  if (width == 0 || height == 0) {
    width = std::int64_t(frame.Left) + frame.Width;
    height = std::int64_t(frame.Top) + frame.Height;
  }
  if (!PictureSizeAllowed(width, height) || !PictureSizeAllowed(frame.Width, frame.Height)) {
    if (frame.Width <= 0 || frame.Height <= 0 || width <= 0 || height <= 0) return Fail(error, u"no pixels");
    return Fail(error, u"picture is too large");
  }
  if (!PictureSizeInProportion(width, height, data.size(), kLzwPixelsPerByte) ||
      !PictureSizeInProportion(frame.Width, frame.Height, data.size(), kLzwPixelsPerByte))
    return Fail(error, u"the file declares more pixels than its data can hold");

  const auto w = static_cast<std::size_t>(width);
  const auto h = static_cast<std::size_t>(height);
  std::vector<std::uint32_t> pixels(w * h, 0);
  std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
  // Interlaced rows arrive in four passes: every 8th from 0, every 8th
  // from 4, every 4th from 2, every 2nd from 1.
  static constexpr int kStart[] = {0, 4, 2, 1};
  static constexpr int kStep[] = {8, 8, 4, 2};
  const int passes = frame.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int start = frame.Interlace ? kStart[pass] : 0;
    const int step = frame.Interlace ? kStep[pass] : 1;
    for (int y = start; y < frame.Height; y += step) {
      if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) return Fail(error, gif->Error, "corrupt GIF data");
      const std::size_t row = std::size_t(frame.Top) + y;
      if (row >= h) continue;
      for (int x = 0; x < frame.Width; ++x) {
        const std::size_t column = std::size_t(frame.Left) + x;
        if (column >= w) break;
        const int index = line[x];
        if (index == transparent) continue;
        const GifColorType c = index < map->ColorCount ? map->Colors[index] : GifColorType{0, 0, 0};
        pixels[row * w + column] = Argb(255, c.Red, c.Green, c.Blue);
      }
    }
  }
  image.Width = static_cast<int>(w);
  image.Height = static_cast<int>(h);
  image.Pixels = std::move(pixels);
  return true;
}

}  // namespace kwinet
