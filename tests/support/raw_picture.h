// Pictures handed to the newer formats' encoders and read back from their
// reference decoders, at any sample depth.
#pragma once

#include <cstdint>
#include <vector>

#include "support/sample_picture.h"

namespace brelvix {

struct RawPicture {
    int width = 0;
    int height = 0;
    int channels = 3;  // 3: red, green, blue; 4: red, green, blue, alpha
    int bitDepth = 8;  // 8, 10, 12 or 16
    // Top-down rows without padding, `channels` values a pixel, each below
    // 2 to the bit depth.
    std::vector<std::uint16_t> samples;
};

// The sample picture at 8 bits, with an alpha channel that falls from
// opaque at the left edge to transparent at the right when `alpha` is set.
RawPicture RawFromSample(const SamplePicture& picture, bool alpha = false);

// The same picture with each 8-bit value v widened to `bitDepth` bits by
// repeating its high bits, so that the top 8 bits of every wide sample are v.
RawPicture Widened(const RawPicture& picture, int bitDepth);

// Red, green, blue bytes of a picture (alpha left out), top-down: the high
// 8 bits of each sample.
std::vector<std::uint8_t> HighBytesRgb(const RawPicture& picture);

}  // namespace brelvix
