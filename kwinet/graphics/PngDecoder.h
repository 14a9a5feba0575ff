// PNG pictures, decoded with libpng.
#pragma once

#include <string_view>

#include "kwinet/core/PixelImage.h"
#include "kwinet/core/String.h"

namespace kwinet {

// Decodes a PNG file (any colour type and depth, transparency kept). Sizes
// beyond the picture limits are refused before the pixels are allocated. On
// failure returns False with the reason in Error and leaves Image as it was.
bool DecodePng(std::string_view Data, TPixelImage& Image, String& Error);

}  // namespace kwinet
