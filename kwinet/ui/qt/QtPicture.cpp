#include "kwinet/ui/qt/QtPicture.h"

#include <QFileInfo>
#include <cstring>
#include <string>
#include <unordered_map>

#include "kwinet/core/Resources.h"
#include "kwinet/graphics/PictureLoader.h"

namespace kwinet::qt {

QImage ResourceImage(const String& Name) {
  QImage image;
  if (Name.empty()) return image;
  const std::string name = StringToUtf8(Name);
  const std::string_view bytes = FindResource(name);
  if (!bytes.empty()) {
    // Embedded pictures never change: each is decoded once (QImage shares
    // its pixels between copies). Only the user-interface thread gets here.
    static std::unordered_map<std::string, QImage> decoded;
    auto known = decoded.find(name);
    if (known != decoded.end()) return known->second;
    image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()));
    decoded.emplace(name, image);
    return image;
  }
  // A picture the application gave by file name (the progress dialog's
  // logo, say), read through the library's own decoders.
  const QString path = ToQString(Name);
  if (!QFileInfo(path).isFile()) return image;
  TPicture picture;
  try {
    LoadPictureFromFile(picture, Name);
  } catch (const Exception&) {
    return image;
  }
  return PictureImage(picture);
}

QImage PictureImage(const TPicture& Picture) {
  if (Picture.Empty() || Picture.Width() <= 0 || Picture.Height() <= 0) return QImage();
  QImage image(Picture.Width(), Picture.Height(), QImage::Format_ARGB32);
  const auto& pixels = Picture.Pixels();
  const std::size_t rowPixels = static_cast<std::size_t>(Picture.Width());
  // Both hold 0xAARRGGBB words, one row after another.
  for (int y = 0; y < Picture.Height(); ++y)
    std::memcpy(image.scanLine(y), pixels.data() + rowPixels * static_cast<std::size_t>(y), rowPixels * 4);
  return image;
}

QImage ImageOf(const TImage& Image) {
  if (Image.Graphic() && !Image.Graphic()->Empty()) return PictureImage(*Image.Graphic());
  return ResourceImage(Image.Picture());
}

QPixmap ImageListPixmap(const TImageList& List, int Index) {
  if (Index < 0 || Index >= List.Count()) return QPixmap();
  QImage image = ResourceImage(List.Images(Index)).convertToFormat(QImage::Format_ARGB32);
  if (image.isNull()) return QPixmap();
  const QRgb mask = List.MaskColor(Index) & 0xFFFFFF;
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if ((row[x] & 0xFFFFFF) == mask) row[x] = 0;
  }
  return QPixmap::fromImage(image);
}

}  // namespace kwinet::qt
