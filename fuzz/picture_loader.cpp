// The picture loader on arbitrary bytes: every decoder behind it (libpng,
// libjpeg-turbo, giflib and our BMP reader) must decode or refuse within the
// size limits, and in proportion to the data for the formats whose densest
// coding has a bound (deflate and LZW: a few thousand pixels a byte), and a
// refusal must leave the picture held as it was.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kwinet/graphics/PictureLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kwinet::TMemoryStream stream;
  stream.WriteBuffer(data, static_cast<std::int64_t>(size));
  stream.SetPosition(0);
  kwinet::TPicture picture;
  try {
    kwinet::LoadPictureFromStream(picture, stream, u"input");
  } catch (const kwinet::EInvalidGraphic&) {
    if (!picture.Empty()) __builtin_trap();
    return 0;
  }
  if (picture.Empty() || !kwinet::PictureSizeAllowed(picture.Width(), picture.Height()) ||
      picture.Pixels().size() != std::size_t(picture.Width()) * std::size_t(picture.Height()))
    __builtin_trap();
  if ((picture.Format() == kwinet::pfPNG || picture.Format() == kwinet::pfGIF || picture.Format() == kwinet::pfBMP) &&
      picture.Pixels().size() > 8256 * size)
    __builtin_trap();
  return 0;
}
