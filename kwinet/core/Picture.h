/// @file
/// The picture model: a decoded PNG, JPEG, GIF or BMP file (its format, size
/// and 32-bit pixels) that an image control shows. Files are read and decoded
/// in kwinet/graphics (PictureLoader.h).
#pragma once

#include <cstdint>
#include <vector>

#include "kwinet/core/Classes.h"
#include "kwinet/core/PixelImage.h"

namespace kwinet {

/// The file format a picture was decoded from; pfNone for no picture.
enum TPictureFormat : std::uint8_t { pfNone, pfBMP, pfPNG, pfJPEG, pfGIF };
/// @var pfNone
/// No picture.
/// @var pfBMP
/// A Windows bitmap.
/// @var pfPNG
/// A PNG picture.
/// @var pfJPEG
/// A JPEG picture.
/// @var pfGIF
/// A GIF picture (its first frame).

/// "BMP", "PNG", "JPEG", "GIF"; empty for pfNone.
String PictureFormatName(TPictureFormat Format);

/// A decoded picture and its format; OnChange tells of every change.
class TPicture : public TPersistent {
 public:
  TPicture() = default;

  /// The format the picture came in, pfNone when empty.
  TPictureFormat Format() const { return FFormat; }
  ///@{
  /// The size in pixels (0 when empty).
  int Width() const { return FImage.Width; }
  int Height() const { return FImage.Height; }
  ///@}
  /// Whether there is no picture.
  bool Empty() const { return FFormat == pfNone; }
  /// Width() * Height() pixels, the top row first, each 0xAARRGGBB.
  const std::vector<std::uint32_t>& Pixels() const { return FImage.Pixels; }
  /// The pixel at X, Y; 0 outside the picture.
  std::uint32_t Pixel(int X, int Y) const;

  /// Takes a decoded image of that format; pfNone clears.
  void SetImage(TPictureFormat Format, TPixelImage Image);
  /// Drops the picture.
  void Clear();
  /// Copies another picture; nullptr clears.
  void Assign(TPersistent* Source) override;

  /// After every change of the picture.
  TNotifyEvent OnChange;

 private:
  void Changed();

  TPictureFormat FFormat = pfNone;
  TPixelImage FImage;
};

}  // namespace kwinet
