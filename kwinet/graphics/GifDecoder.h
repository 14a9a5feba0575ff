// GIF pictures, decoded with giflib: the first frame of an animation.
#pragma once

#include <string_view>

#include "kwinet/core/PixelImage.h"
#include "kwinet/core/String.h"

namespace kwinet {

// Decodes the first frame of a GIF onto its logical screen (the picture's
// size); what the frame does not cover and its transparent colour stay
// transparent. Interlaced frames come out in row order. Sizes beyond the
// picture limits are refused before the pixels are allocated. On failure
// returns False with the reason in Error and leaves Image as it was.
bool DecodeGif(std::string_view Data, TPixelImage& Image, String& Error);

}  // namespace kwinet
