// WebP fixtures written with libwebp's own encoder and muxer, and libwebp's
// plain decode of a file for comparing the viewer's decoder against.
#pragma once

#include <cstdint>
#include <vector>

#include "support/raw_picture.h"

namespace brelvix {

struct WebpWriterOptions {
    bool lossless = false;
    int quality = 90;
    // An Exif chunk with this block (as PxExifOrientation reads it) when not empty.
    std::vector<std::uint8_t> exif;
    // An ICCP chunk with this profile when not empty.
    std::vector<std::uint8_t> iccProfile;
};

// Encodes an 8-bit picture (with alpha when it has 4 channels; lossless
// keeps the colour under transparent pixels). Returns the file, or an empty
// vector when libwebp refuses.
std::vector<std::uint8_t> EncodeWebp(const RawPicture& picture, const WebpWriterOptions& options = {});

// An animation of the given 8-bit frames, all of one size, 100 ms each
// unless `durationsMs` gives each its own, playing `loops` times (0: for ever).
std::vector<std::uint8_t> EncodeWebpAnimation(const std::vector<RawPicture>& frames, bool lossless,
                                              const std::vector<int>& durationsMs = {}, int loops = 0);

// libwebp's own decode of a still into top-down red-green-blue bytes.
bool DecodeWebpReference(const std::vector<std::uint8_t>& file, int* width, int* height,
                         std::vector<std::uint8_t>* rgb);

}  // namespace brelvix
