// Builds Targa files byte by byte for tests, samples and benchmarks.
#pragma once

#include <cstdint>
#include <vector>

namespace brelvix {

struct TgaOptions {
    std::uint8_t imageType = 2;       // 1, 2, 3 uncompressed; 9, 10, 11 run-length
    std::uint8_t depth = 24;          // bits per pixel
    bool topDown = false;             // descriptor bit 5: the file's first row is the top row
    std::uint8_t descriptorBits = 0;  // further descriptor bits (alpha count, right-to-left)
    std::vector<std::uint8_t> id;     // the ID field
    std::uint8_t colorMapType = 0;
    std::uint16_t firstEntry = 0;
    std::uint16_t mapLength = 0;         // entries the header announces
    std::uint8_t mapEntrySize = 0;       // bits per colour-map entry
    std::vector<std::uint8_t> colorMap;  // the entries as stored (may be fewer than announced)
};

// The 18-byte header, ID field and colour map of a width x height file.
std::vector<std::uint8_t> TgaHead(int width, int height, const TgaOptions& options);

// A whole file. `pixels` holds top-down rows of width pixels of
// (depth + 7) / 8 bytes each, as the file stores them; rows go out in the
// order the descriptor says and, for types 9 to 11, as run-length packets
// that end with each row.
std::vector<std::uint8_t> WriteTga(int width, int height, const std::vector<std::uint8_t>& pixels,
                                   const TgaOptions& options);

// Top-down red, green, blue triplets as the file's pixels of 15, 16, 24 or
// 32 bits (blue first; 5-bit channels keep the high bits; alpha 255).
std::vector<std::uint8_t> TgaPixelsFromRgb(const std::vector<std::uint8_t>& rgb, int depth);

}  // namespace brelvix
