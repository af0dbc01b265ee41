// Quarter turns and mirrors of a 24-bit picture.
//
// Every destination pixel is written exactly once and padding is never
// written, so the padding of the destination keeps the zero of its fresh
// store. The work is done in store coordinates (row 0 = bottom row).
#include <cstring>

#include "bitmap.h"

namespace {

// Turns by a quarter read one picture along its rows and write the other
// along its columns. Working in square tiles keeps the few dozen rows that a
// tile touches on either side in cache instead of walking a whole column of
// a large picture for every row.
constexpr std::int32_t kTile = 32;

struct Planes {
    const std::uint8_t* source;
    std::int64_t sourceStride;
    std::uint8_t* destination;
    std::int64_t destinationStride;
    std::int32_t width;  // of the source
    std::int32_t height;
};

inline void CopyPixel(std::uint8_t* to, const std::uint8_t* from)
{
    std::memcpy(to, from, 3);
}

void ReverseRow(const std::uint8_t* from, std::uint8_t* to, std::int32_t width)
{
    std::uint8_t* end = to + 3 * static_cast<std::int64_t>(width);
    for (std::int32_t x = 0; x < width; ++x) {
        end -= 3;
        CopyPixel(end, from + 3 * static_cast<std::int64_t>(x));
    }
}

// Code 1 (clockwise) sends store row s, column x to store row W-1-x, column
// s; code 3 sends it to store row x, column H-1-s.
void TurnQuarter(const Planes& p, bool clockwise)
{
    for (std::int32_t s0 = 0; s0 < p.height; s0 += kTile) {
        const std::int32_t s1 = s0 + kTile < p.height ? s0 + kTile : p.height;
        for (std::int32_t x0 = 0; x0 < p.width; x0 += kTile) {
            const std::int32_t x1 = x0 + kTile < p.width ? x0 + kTile : p.width;
            for (std::int32_t x = x0; x < x1; ++x) {
                const std::int64_t row = clockwise ? p.width - 1 - x : x;
                std::uint8_t* to = p.destination + row * p.destinationStride;
                const std::uint8_t* from = p.source + 3 * static_cast<std::int64_t>(x);
                for (std::int32_t s = s0; s < s1; ++s) {
                    const std::int64_t column = clockwise ? s : p.height - 1 - s;
                    CopyPixel(to + 3 * column, from + s * p.sourceStride);
                }
            }
        }
    }
}

void TurnHalf(const Planes& p)
{
    for (std::int32_t s = 0; s < p.height; ++s) {
        ReverseRow(p.source + s * p.sourceStride, p.destination + (p.height - 1 - s) * p.destinationStride, p.width);
    }
}

void MirrorLeftRight(const Planes& p)
{
    for (std::int32_t s = 0; s < p.height; ++s) {
        ReverseRow(p.source + s * p.sourceStride, p.destination + s * p.destinationStride, p.width);
    }
}

void MirrorTopBottom(const Planes& p)
{
    // Only the pixels of a row are copied; the destination's padding stays
    // zero even if someone left bytes in the source's.
    const std::size_t bytes = 3 * static_cast<std::size_t>(p.width);
    for (std::int32_t s = 0; s < p.height; ++s) {
        std::memcpy(p.destination + (p.height - 1 - s) * p.destinationStride, p.source + s * p.sourceStride, bytes);
    }
}

}  // namespace

int PxBitmap::Rotate(std::int32_t code, PxBitmap* destination) const
{
    if (destination == nullptr) {
        return 1;
    }
    if (code < 1 || code > 3) {
        // Any other code copies. A copy that ends up without a store (the
        // source had none, or no memory) is not a success.
        destination->CopyFrom(*this);
        return destination->Pixels() != nullptr ? 0 : 1;
    }
    if (pixels == nullptr) {
        return 1;
    }
    if (destination == this) {
        // Turning in place would free the pixels being read.
        PxBitmap turned;
        const int result = Rotate(code, &turned);
        destination->MoveFrom(turned);
        return result;
    }
    const bool swapped = code != 2;
    destination->SetDimensions(swapped ? height : width, swapped ? width : height, bitsPerPixel);
    if (destination->CreatePixelStore() != 0) {
        return 1;
    }
    const Planes planes{pixels, Stride(), destination->Pixels(), destination->Stride(), width, height};
    if (code == 2) {
        TurnHalf(planes);
    } else {
        TurnQuarter(planes, code == 1);
    }
    return 0;
}

int PxBitmap::Flip(bool vertical, PxBitmap* destination) const
{
    if (destination == nullptr || pixels == nullptr) {
        return 1;
    }
    if (destination == this) {
        PxBitmap mirrored;
        const int result = Flip(vertical, &mirrored);
        destination->MoveFrom(mirrored);
        return result;
    }
    destination->SetDimensions(width, height, bitsPerPixel);
    if (destination->CreatePixelStore() != 0) {
        return 1;
    }
    const Planes planes{pixels, Stride(), destination->Pixels(), destination->Stride(), width, height};
    if (vertical) {
        MirrorTopBottom(planes);
    } else {
        MirrorLeftRight(planes);
    }
    return 0;
}
