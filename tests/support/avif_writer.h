// AVIF fixtures written with libavif's own encoder, and libavif's plain
// decode of a file for comparing the viewer's decoder against.
#pragma once

#include <cstdint>
#include <vector>

#include "support/raw_picture.h"

namespace brelvix {

struct AvifWriterOptions {
    // Lossless: quantizer 0, full-size chroma and the identity matrix, so
    // that every RGB value comes back exactly.
    bool lossless = false;
    int quality = 80;       // lossy: 0 (worst) to 100
    bool subsample = true;  // lossy: 4:2:0 chroma, else 4:4:4
    int rotation = -1;      // anti-clockwise quarter turns recorded in the file, or none
    int mirror = -1;        // 0: top and bottom exchanged, 1: left and right; or none
    int gridColumns = 1;    // more than one cell makes a tiled picture of equal cells
    int gridRows = 1;
    bool sequence = false;                 // several frames: frames[0] first
    std::vector<std::uint8_t> iccProfile;  // the colour as an ICC profile, when not empty
    int primaries = -1;                    // or as nclx code points, when set
    int transfer = -1;
    std::vector<std::uint8_t> exif;  // an Exif item with this block, when not empty
};

// Encodes the picture at its own bit depth (8, 10 or 12), with alpha when
// it has 4 channels. Returns the file, or an empty vector when libavif
// refuses.
std::vector<std::uint8_t> EncodeAvif(const RawPicture& picture, const AvifWriterOptions& options = {});

// An image sequence of the given frames.
std::vector<std::uint8_t> EncodeAvifSequence(const std::vector<RawPicture>& frames);

// libavif's own decode of the first picture, converted to RGB at the file's
// depth, as top-down red-green-blue bytes holding the high 8 bits.
bool DecodeAvifReference(const std::vector<std::uint8_t>& file, int* width, int* height,
                         std::vector<std::uint8_t>* rgb);

// libavif's own decode of every frame of a sequence: red, green, blue,
// alpha bytes at 8 bits, top-down, one entry a frame.
bool DecodeAvifFramesReference(const std::vector<std::uint8_t>& file, std::vector<std::vector<std::uint8_t>>* frames);

}  // namespace brelvix
