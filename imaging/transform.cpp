// Quarter turns and mirrors of a 24-bit picture.
//
// Every destination pixel receives its source pixel and no padding byte is
// ever written, so the padding of the destination keeps the zero of its
// fresh store. The work is done in store coordinates (row 0 = bottom row).
#include <algorithm>
#include <cstring>

#include "alpha.h"
#include "bitmap.h"
#include "orientation.h"

namespace brelvix {

namespace {

// Turns by a quarter read one picture along its columns and write the
// other along its rows. Working in square tiles keeps the rows a tile
// touches on either side in cache instead of walking a whole column of a
// large picture for every row.
constexpr std::int32_t kTile = 64;

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
// s; code 3 sends it to store row x, column H-1-s. The destination is
// written row by row, each row from left to right, so a pixel may be moved
// as a 4-byte word: its extra byte lands on the next pixel, written later.
// Only the last pixel of a row is moved as 3 bytes, to keep the padding
// zero, and a source pixel at the end of a row is read as 3 bytes when the
// row has no padding, so no read leaves the store.
void TurnQuarter(const Planes& p, bool clockwise)
{
    const std::int32_t columns = p.height;  // of the destination
    const std::int32_t rows = p.width;
    const std::int64_t step = clockwise ? p.sourceStride : -p.sourceStride;
    for (std::int32_t r0 = 0; r0 < rows; r0 += kTile) {
        const std::int32_t r1 = std::min(r0 + kTile, rows);
        for (std::int32_t c0 = 0; c0 < columns; c0 += kTile) {
            const std::int32_t c1 = std::min(c0 + kTile, columns);
            const std::int32_t wordEnd = c1 == columns ? c1 - 1 : c1;
            for (std::int32_t r = r0; r < r1; ++r) {
                const std::int64_t x = clockwise ? rows - 1 - r : r;
                const std::int64_t firstRow = clockwise ? c0 : columns - 1 - c0;
                const std::uint8_t* from = p.source + firstRow * p.sourceStride + 3 * x;
                std::uint8_t* to = p.destination + r * p.destinationStride + 3 * static_cast<std::int64_t>(c0);
                std::int32_t c = c0;
                if (x < p.width - 1 || p.sourceStride > 3 * static_cast<std::int64_t>(p.width)) {
                    for (; c < wordEnd; ++c, from += step, to += 3) {
                        std::uint32_t word;
                        std::memcpy(&word, from, 4);
                        std::memcpy(to, &word, 4);
                    }
                }
                for (; c < c1; ++c, from += step, to += 3) {
                    CopyPixel(to, from);
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
    if (destination->ReuseOrCreateStore(swapped ? height : width, swapped ? width : height) != 0) {
        return 1;
    }
    const Planes planes{pixels, Stride(), destination->Pixels(), destination->Stride(), width, height};
    if (code == 2) {
        TurnHalf(planes);
    } else {
        TurnQuarter(planes, code == 1);
    }
    const PxPlaneMove move = code == 1   ? PxPlaneMove::kTurnClockwise
                             : code == 2 ? PxPlaneMove::kTurnHalf
                                         : PxPlaneMove::kTurnAntiClockwise;
    return PxMoveAlphaWith(*this, move, *destination);
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
    if (destination->ReuseOrCreateStore(width, height) != 0) {
        return 1;
    }
    const Planes planes{pixels, Stride(), destination->Pixels(), destination->Stride(), width, height};
    if (vertical) {
        MirrorTopBottom(planes);
    } else {
        MirrorLeftRight(planes);
    }
    return PxMoveAlphaWith(*this, vertical ? PxPlaneMove::kMirrorTopBottom : PxPlaneMove::kMirrorLeftRight,
                           *destination);
}

int PxMirrorDiagonally(const PxBitmap& source, bool mainDiagonal, PxBitmap* destination)
{
    if (destination == nullptr || destination == &source || source.Pixels() == nullptr) {
        return 1;
    }
    destination->SetDimensions(source.Height(), source.Width(), source.BitsPerPixel());
    if (destination->CreatePixelStore() != 0) {
        return 1;
    }
    // A quarter turn of the picture mirrored top-bottom, which costs nothing
    // to make: the same rows read from the top of the store down. Turned
    // clockwise it is the main-diagonal mirror, turned the other way the
    // other diagonal.
    const std::int64_t stride = source.Stride();
    const Planes planes{source.Pixels() + (source.Height() - 1) * stride,
                        -stride,
                        destination->Pixels(),
                        destination->Stride(),
                        source.Width(),
                        source.Height()};
    TurnQuarter(planes, mainDiagonal);
    return PxMoveAlphaWith(source, mainDiagonal ? PxPlaneMove::kMirrorMainDiagonal : PxPlaneMove::kMirrorOtherDiagonal,
                           *destination);
}

}  // namespace brelvix
