// Reading pictures in tests by picture coordinates (y = 0 is the top row).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "imaging/bitmap.h"

namespace brelvix {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Rgb& c)
{
    return out << "rgb(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << ")";
}

// The pixel at column x of picture row y (0 = top) of a bitmap with a store.
inline Rgb PixelAt(const PxBitmap& bitmap, int x, int y)
{
    const std::uint8_t* p = bitmap.Pixels() + (bitmap.Height() - 1 - y) * bitmap.Stride() + 3 * x;
    return Rgb{p[2], p[1], p[0]};
}

// The whole picture as top-down RGB triplets without padding.
std::vector<std::uint8_t> TopDownRgb(const PxBitmap& bitmap);

// Reads a binary PPM (P6, maxval 255) into width, height and RGB bytes.
bool ReadPpm(const std::string& path, int* width, int* height, std::vector<std::uint8_t>* rgb);

}  // namespace brelvix
