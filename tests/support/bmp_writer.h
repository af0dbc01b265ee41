// Writes BMP files (40-byte header, bottom-up rows) from top-down RGB
// pictures such as RenderSamplePicture makes: for sample folders, tests and
// benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/sample_picture.h"

namespace brelvix {

enum class BmpKind {
    Rgb24,       // 24 bits, the colours exactly
    Palette1,    // black and white by brightness
    Palette4,    // the 16 classic display colours, nearest
    Palette8,    // 256 colours, 3 bits red, 3 green, 2 blue, nearest per channel
    RunLength8,  // Palette8, run-length coded
};

// The file's bytes.
std::vector<std::uint8_t> EncodeBmp(const SamplePicture& picture, BmpKind kind);

// The picture as the file of that kind shows it (its colours reduced to the
// kind's palette); the picture itself for Rgb24.
SamplePicture ReduceForBmp(const SamplePicture& picture, BmpKind kind);

// Writes bytes to a file; false when that fails.
bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace brelvix
