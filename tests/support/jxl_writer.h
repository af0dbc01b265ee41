// JPEG XL fixtures written with libjxl's own encoder, and libjxl's plain
// decode of a file for comparing the viewer's decoder against.
#pragma once

#include <cstdint>
#include <vector>

#include "support/raw_picture.h"

namespace brelvix {

struct JxlWriterOptions {
    bool lossless = false;
    float distance = 1.0F;   // lossy: 0.1 (best) to 15
    int orientation = 1;     // recorded in the header, 1 to 8
    bool container = false;  // the box container instead of a bare codestream
    std::vector<std::uint8_t> iccProfile;  // the colour as an ICC profile, when not empty
    bool displayP3 = false;                // or as Display P3 primaries with the sRGB curve
};

// Encodes the picture at its own bit depth (8, 10, 12 or 16), with alpha
// when it has 4 channels; several frames make an animation, frames[0] first.
// Returns the file, or an empty vector when libjxl refuses.
std::vector<std::uint8_t> EncodeJxl(const std::vector<RawPicture>& frames, const JxlWriterOptions& options = {});

// libjxl's own decode of the first frame, as stored (orientation not
// applied), as top-down red-green-blue bytes; files deeper than 8 bits are
// decoded to 16 bits and keep the high 8.
bool DecodeJxlReference(const std::vector<std::uint8_t>& file, int* width, int* height, std::vector<std::uint8_t>* rgb);

// libjxl's own decode of every frame as it composes them: red, green, blue,
// alpha bytes, top-down, one entry a frame.
bool DecodeJxlFramesReference(const std::vector<std::uint8_t>& file, std::vector<std::vector<std::uint8_t>>* frames);

}  // namespace brelvix
