// A synthetic test picture that a person recognises at a glance: a sunrise
// over hills with a sun, a lake and a striped flag, and a differently
// coloured marker square in each corner (top left red, top right green,
// bottom left blue, bottom right white) so that a picture shown upside
// down or mirrored is obvious.
#pragma once

#include <cstdint>
#include <vector>

namespace brelvix {

struct SamplePicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // top-down rows of red, green, blue; no padding

    const std::uint8_t* At(int x, int y) const { return rgb.data() + 3 * (static_cast<std::size_t>(y) * width + x); }
};

// Renders the picture at any size of at least 1 x 1. Integer arithmetic
// only: the same size always gives the same bytes.
SamplePicture RenderSamplePicture(int width, int height);

}  // namespace brelvix
