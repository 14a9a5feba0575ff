// The picture model: a decoded PNG, JPEG, GIF or BMP file (its format, size
// and 32-bit pixels) that an image control shows.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "kwinet/core/Classes.h"
#include "kwinet/core/PixelImage.h"
#include "kwinet/core/Streams.h"

namespace kwinet {

// A file that is not a picture this model can read, or a damaged one.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

enum TPictureFormat : std::uint8_t { pfNone, pfBMP, pfPNG, pfJPEG, pfGIF };

// "BMP", "PNG", "JPEG", "GIF"; empty for pfNone.
String PictureFormatName(TPictureFormat Format);

// The format that the first bytes of a file announce; pfNone for none of
// ours.
TPictureFormat DetectPictureFormat(std::string_view Data);

// Decodes a picture of any of the four formats, told by its content. On
// failure returns False with the reason in Error and leaves Format and Image
// as they were.
bool DecodePicture(std::string_view Data, TPictureFormat& Format, TPixelImage& Image, String& Error);

// The largest file that LoadFromFile reads.
constexpr std::int64_t kMaxPictureFileSize = std::int64_t(256) << 20;

class TPicture : public TPersistent {
 public:
  TPicture() = default;

  TPictureFormat Format() const { return FFormat; }
  int Width() const { return FImage.Width; }
  int Height() const { return FImage.Height; }
  bool Empty() const { return FFormat == pfNone; }
  // Width() * Height() pixels, the top row first, each 0xAARRGGBB.
  const std::vector<std::uint32_t>& Pixels() const { return FImage.Pixels; }
  // The pixel at X, Y; 0 outside the picture.
  std::uint32_t Pixel(int X, int Y) const;

  // Reads the picture from a file whose content (not its name) tells the
  // format. A missing file raises EFOpenError, anything that is not a whole
  // picture EInvalidGraphic naming the file; either way the picture held
  // before stays.
  void LoadFromFile(const String& FileName);
  // The same from the rest of a stream; an error message calls the data
  // Name when one is given.
  void LoadFromStream(TStream& Stream, const String& Name = String());
  void Clear();
  // Copies another picture; nullptr clears.
  void Assign(TPersistent* Source) override;

  // After every change of the picture.
  TNotifyEvent OnChange;

 private:
  void Load(std::string_view Data, const String& Origin);
  void Changed();

  TPictureFormat FFormat = pfNone;
  TPixelImage FImage;
};

}  // namespace kwinet
