#include "kwinet/graphics/PictureLoader.h"

#include <string>
#include <utility>

#include "kwinet/graphics/BmpReader.h"
#include "kwinet/graphics/GifDecoder.h"
#include "kwinet/graphics/JpegDecoder.h"
#include "kwinet/graphics/PngDecoder.h"

namespace kwinet {

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

namespace {

[[noreturn]] void TooLarge(const String& Name) {
  throw EInvalidGraphic(Name.empty() ? String(u"Cannot load picture: the data is too large")
                                     : Format(u"Cannot load picture \"%s\": the data is too large", {Name}));
}

// Decoded aside and handed over whole: a bad file leaves the picture as it was.
void Load(TPicture& Picture, std::string_view Data, const String& Origin) {
  TPictureFormat format = pfNone;
  TPixelImage image;
  String error;
  if (!DecodePicture(Data, format, image, error))
    throw EInvalidGraphic(Origin.empty() ? Format(u"Cannot load picture: %s", {error})
                                         : Format(u"Cannot load picture \"%s\": %s", {Origin, error}));
  Picture.SetImage(format, std::move(image));
}

}  // namespace

void LoadPictureFromFile(TPicture& Picture, const String& FileName) {
  std::string data;
  {
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    if (file.Size() > kMaxPictureFileSize)
      throw EInvalidGraphic(u"Cannot load picture \"%s\": the file is too large", {FileName});
    data = file.ReadAll();
  }
  Load(Picture, data, FileName);
}

void LoadPictureFromStream(TPicture& Picture, TStream& Stream, const String& Name) {
  if (Stream.Size() - Stream.Position() > kMaxPictureFileSize) TooLarge(Name);
  Load(Picture, Stream.ReadAll(), Name);
}

void LoadPictureFromBytes(TPicture& Picture, std::string_view Data, const String& Name) {
  if (static_cast<std::int64_t>(Data.size()) > kMaxPictureFileSize) TooLarge(Name);
  Load(Picture, Data, Name);
}

}  // namespace kwinet
