#include "kwinet/core/Picture.h"

#include <utility>

namespace kwinet {

String PictureFormatName(TPictureFormat Format) {
  switch (Format) {
    case pfBMP:
      return u"BMP";
    case pfPNG:
      return u"PNG";
    case pfJPEG:
      return u"JPEG";
    case pfGIF:
      return u"GIF";
    case pfNone:
      break;
  }
  return String();
}

std::uint32_t TPicture::Pixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FImage.Width || Y >= FImage.Height) return 0;
  return FImage.Pixels[std::size_t(Y) * std::size_t(FImage.Width) + std::size_t(X)];
}

void TPicture::SetImage(TPictureFormat Format, TPixelImage Image) {
  if (Format == pfNone) {
    Clear();
    return;
  }
  FFormat = Format;
  FImage = std::move(Image);
  Changed();
}

void TPicture::Clear() {
  if (Empty()) return;
  FFormat = pfNone;
  FImage = TPixelImage();
  Changed();
}

void TPicture::Assign(TPersistent* Source) {
  if (!Source) {
    Clear();
    return;
  }
  if (auto* other = dynamic_cast<TPicture*>(Source)) {
    if (other == this) return;
    FFormat = other->FFormat;
    FImage = other->FImage;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

}  // namespace kwinet
