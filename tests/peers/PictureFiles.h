// Picture files for the picture tests, encoded by the same libraries that
// decode them: a test asks for a size and gets the bytes of a file whose
// four quadrants are red, green, blue and white (top left, top right,
// bottom left, bottom right), so that a decoder that turns a picture upside
// down or mixes its channels is caught.
#pragma once

#include <cstdint>
#include <string>

namespace kwinet::test {

// The colour of pixel X, Y of a Width x Height sample, 0xAARRGGBB.
std::uint32_t QuadrantColor(int X, int Y, int Width, int Height);

std::string MakePng(int Width, int Height);
// With Cmyk, four inks stored the way Adobe's encoders store them
// (inverted), which a decoder must turn back into the same colours.
std::string MakeJpeg(int Width, int Height, bool Cmyk = false);
// Progressive, in 1 + 3 * AcBands scans: the DC values of the three
// components, then each component's AC coefficients in AcBands bands.
std::string MakeProgressiveJpeg(int Width, int Height, int AcBands);
// Interlaced when asked; with a transparent colour index 4, used by the
// sample's first row.
std::string MakeGif(int Width, int Height, bool Interlaced = false, bool TransparentTopRow = false);
// 24 bits, bottom-up.
std::string MakeBmp(int Width, int Height);

}  // namespace kwinet::test
