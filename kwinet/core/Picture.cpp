#include "kwinet/core/Picture.h"

#include "kwinet/core/BmpReader.h"
#include "kwinet/core/GifDecoder.h"
#include "kwinet/core/JpegDecoder.h"
#include "kwinet/core/PngDecoder.h"

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

TPictureFormat DetectPictureFormat(std::string_view d) {
  if (d.starts_with("\x89PNG\r\n\x1a\n")) return pfPNG;
  if (d.starts_with("\xFF\xD8\xFF")) return pfJPEG;
  if (d.starts_with("GIF87a") || d.starts_with("GIF89a")) return pfGIF;
  if (d.starts_with("BM")) return pfBMP;
  return pfNone;
}

bool DecodePicture(std::string_view Data, TPictureFormat& Format, TPixelImage& Image, String& Error) {
  const TPictureFormat format = DetectPictureFormat(Data);
  bool ok = false;
  switch (format) {
    case pfBMP:
      ok = ReadBmp(Data, Image, Error);
      break;
    case pfPNG:
      ok = DecodePng(Data, Image, Error);
      break;
    case pfJPEG:
      ok = DecodeJpeg(Data, Image, Error);
      break;
    case pfGIF:
      ok = DecodeGif(Data, Image, Error);
      break;
    case pfNone:
      Error = Data.empty() ? u"the file is empty" : u"not a PNG, JPEG, GIF or BMP picture";
      break;
  }
  if (ok) Format = format;
  return ok;
}

std::uint32_t TPicture::Pixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FImage.Width || Y >= FImage.Height) return 0;
  return FImage.Pixels[std::size_t(Y) * std::size_t(FImage.Width) + std::size_t(X)];
}

void TPicture::Load(std::string_view Data, const String& Origin) {
  // Decoded aside and swapped in whole: a bad file leaves the picture as it was.
  TPictureFormat format = pfNone;
  TPixelImage image;
  String error;
  if (!DecodePicture(Data, format, image, error))
    throw EInvalidGraphic(Origin.empty() ? kwinet::Format(u"Cannot load picture: %s", {error})
                                         : kwinet::Format(u"Cannot load picture \"%s\": %s", {Origin, error}));
  FFormat = format;
  FImage = std::move(image);
  Changed();
}

void TPicture::LoadFromFile(const String& FileName) {
  std::string data;
  {
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    if (file.Size() > kMaxPictureFileSize)
      throw EInvalidGraphic(u"Cannot load picture \"%s\": the file is too large", {FileName});
    data = file.ReadAll();
  }
  Load(data, FileName);
}

void TPicture::LoadFromStream(TStream& Stream, const String& Name) {
  if (Stream.Size() - Stream.Position() > kMaxPictureFileSize)
    throw EInvalidGraphic(Name.empty() ? String(u"Cannot load picture: the data is too large")
                                       : kwinet::Format(u"Cannot load picture \"%s\": the data is too large", {Name}));
  Load(Stream.ReadAll(), Name);
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
