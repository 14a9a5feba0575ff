// The BMP reader: a pure function over the bytes of a .bmp file.
#pragma once

#include <string_view>

#include "kwinet/core/PixelImage.h"
#include "kwinet/core/String.h"

namespace kwinet {

// Decodes a Windows or OS/2 bitmap file: 1, 4 and 8 bits with a palette
// (uncompressed, RLE4, RLE8), 16 and 32 bits with or without bit fields, 24
// bits; bottom-up or top-down. Every read is checked against the data, and
// sizes beyond kMaxPictureSide / kMaxPicturePixels are refused before any
// pixel is allocated. On failure returns False with the reason in Error and
// leaves Image as it was.
bool ReadBmp(std::string_view Data, TPixelImage& Image, String& Error);

}  // namespace kwinet
