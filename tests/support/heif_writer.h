// HEIF fixtures written with libheif's own encoders (HEVC through x265, or
// AV1 through libaom), and libheif's plain decode of a file for comparing
// the viewer's decoder against.
#pragma once

#include <cstdint>
#include <vector>

#include "support/raw_picture.h"

namespace brelvix {

struct HeifWriterOptions {
    int quality = 80;
    // The orientation (1 to 8, as Exif counts) that libheif records as the
    // file's rotation and mirror.
    int orientation = 1;
    std::vector<std::uint8_t> iccProfile;  // the colour as an ICC profile, when not empty
    int primaries = -1;                    // or as nclx code points, when set
    int transfer = -1;
    // An Exif item of the primary picture with this block, when not empty.
    std::vector<std::uint8_t> exif;
};

// Encodes the picture with HEVC at its own bit depth (8 or 10), with alpha
// when it has 4 channels. Returns the file, or an empty vector when libheif
// refuses.
std::vector<std::uint8_t> EncodeHeif(const RawPicture& picture, const HeifWriterOptions& options = {});

// libheif's own decode of the primary picture (with the file's rotation and
// mirror applied, as libheif does by default) as top-down red-green-blue
// bytes holding the high 8 bits of each sample.
bool DecodeHeifReference(const std::vector<std::uint8_t>& file, int* width, int* height,
                         std::vector<std::uint8_t>* rgb);

}  // namespace brelvix
