// PNG fixtures written with libpng's own writer.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace brelvix {

struct PngPicture {
    int width = 0;
    int height = 0;
    int colorType = 2;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    int bitDepth = 8;   // 1, 2, 4, 8 or 16, as the colour type allows
    bool interlaced = false;
    // Top-down, one value per channel (1, 3, 1, 2 or 4 channels by colour
    // type), each below 2 to the bit depth. Palette indices may point past
    // the palette.
    std::vector<std::uint16_t> samples;
    std::vector<std::array<std::uint8_t, 3>> palette;  // red, green, blue
    std::vector<std::uint8_t> paletteAlpha;            // a tRNS chunk when not empty
    int transparentValue = -1;                         // grey and RGB: a tRNS chunk with this value in every sample
    // Colour chunks, each written when set.
    std::vector<std::uint8_t> iccProfile;  // iCCP
    bool srgb = false;                     // sRGB
    double gamma = 0;                      // gAMA, as the file stores it (0.45455 for 2.2)
    std::vector<double> chromaticities;    // cHRM: white, red, green, blue, x and y each
    std::vector<std::uint8_t> cicp;        // cICP: primaries, transfer, matrix, full range
};

// The channels per pixel of a colour type.
int PngChannels(int colorType);

// Encodes the picture; returns the file's bytes, or an empty vector when
// libpng refuses.
std::vector<std::uint8_t> EncodePng(const PngPicture& picture);

}  // namespace brelvix
