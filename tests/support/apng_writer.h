// Animated PNG fixtures: each frame is encoded by libpng's own writer and
// its image data moved into the animation's fdAT chunks.
#pragma once

#include <cstdint>
#include <vector>

#include "support/png_writer.h"

namespace brelvix {

struct ApngFrame {
    int left = 0;
    int top = 0;
    PngPicture picture;  // the frame's size and pixels; colour type and depth as the first frame's
    int delayNumerator = 1;
    int delayDenominator = 10;
    int dispose = 0;  // 0 none, 1 background, 2 previous
    int blend = 0;    // 0 source, 1 over
};

struct ApngPicture {
    int width = 0;  // the canvas
    int height = 0;
    int plays = 0;
    // The file's image data is the first frame; otherwise `defaultImage`
    // (of the canvas size) is stored as the image data outside the animation.
    bool defaultIsFrame = true;
    PngPicture defaultImage;
    std::vector<ApngFrame> frames;
};

// The file, or an empty vector when libpng refuses a frame.
std::vector<std::uint8_t> EncodeApng(const ApngPicture& picture);

// Offset of the n-th chunk (from 0, after the signature) of type `type`, or 0.
std::size_t FindPngChunk(const std::vector<std::uint8_t>& file, const char* type, int n = 0);

}  // namespace brelvix
