// JPEG pictures, decoded with libjpeg-turbo.
#pragma once

#include <string_view>

#include "kwinet/core/PixelImage.h"
#include "kwinet/core/String.h"

namespace kwinet {

// Decodes a baseline or progressive JPEG (grey, colour or CMYK). A file that
// ends before its last scan is refused rather than shown half grey. Sizes
// beyond the picture limits are refused before the pixels are allocated. On
// failure returns False with the reason in Error and leaves Image as it was.
bool DecodeJpeg(std::string_view Data, TPixelImage& Image, String& Error);

}  // namespace kwinet
