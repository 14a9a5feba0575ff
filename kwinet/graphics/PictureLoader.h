/// @file
/// Reading pictures: the format a file's first bytes announce, decoding any of
/// the four formats, and loading a picture model from bytes, a stream or a
/// file.
#pragma once

#include <cstdint>
#include <string_view>

#include "kwinet/core/Exceptions.h"
#include "kwinet/core/Picture.h"
#include "kwinet/core/Streams.h"

namespace kwinet {

/// A file that is not a picture this library can read, or a damaged one.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

/// The format that the first bytes of a file announce; pfNone for none of
/// ours.
TPictureFormat DetectPictureFormat(std::string_view Data);

/// Decodes a picture of any of the four formats, told by its content. On
/// failure returns False with the reason in Error and leaves Format and Image
/// as they were.
bool DecodePicture(std::string_view Data, TPictureFormat& Format, TPixelImage& Image, String& Error);

/// The largest file or data that the loaders below read.
constexpr std::int64_t kMaxPictureFileSize = std::int64_t(256) << 20;

/// Reads Picture from a file whose content (not its name) tells the format. A
/// missing file raises EFOpenError, anything that is not a whole picture
/// EInvalidGraphic naming the file; either way the picture held before stays.
void LoadPictureFromFile(TPicture& Picture, const String& FileName);
/// The same from the rest of a stream; an error message calls the data Name
/// when one is given.
void LoadPictureFromStream(TPicture& Picture, TStream& Stream, const String& Name = String());
/// The same from bytes in memory.
void LoadPictureFromBytes(TPicture& Picture, std::string_view Data, const String& Name = String());

}  // namespace kwinet
