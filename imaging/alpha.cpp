#include "alpha.h"

#include <algorithm>
#include <cstring>

namespace brelvix {

namespace {

// Squares of the plane moved at a time: the rows a tile touches on either
// side stay in the cache while a quarter turn walks columns.
constexpr std::int32_t kTile = 64;

bool AllOf(const PxBitmap& bitmap, std::uint8_t value)
{
    const std::uint8_t* alpha = bitmap.Alpha();
    const std::int64_t count = std::int64_t{bitmap.Width()} * bitmap.Height();
    return std::all_of(alpha, alpha + count, [value](std::uint8_t a) { return a == value; });
}

// (a * c + (255 - a) * b + 127) / 255.
inline std::uint8_t Over(unsigned a, unsigned c, unsigned b)
{
    return static_cast<std::uint8_t>((a * c + (255 - a) * b + 127) / 255);
}

// The same for a colour that holds a * c / 255 already. A file may hold a
// colour brighter than its alpha allows; the sum then stops at white.
inline std::uint8_t OverPremultiplied(unsigned a, unsigned c, unsigned b)
{
    return static_cast<std::uint8_t>(std::min(255U, c + ((255 - a) * b + 127) / 255));
}

// Blends one store row; `background(x)` gives the blue, green, red the
// pixel in column x lies on.
template <typename Background>
void BlendRow(std::uint8_t* pixels, const std::uint8_t* alpha, std::int64_t width, bool premultiplied,
              Background background)
{
    const auto over = premultiplied ? OverPremultiplied : Over;
    for (std::int64_t x = 0; x < width; ++x, pixels += 3) {
        const unsigned a = alpha[x];
        if (a == 255) {
            continue;
        }
        const std::uint8_t* b = background(x);
        pixels[0] = over(a, pixels[0], b[0]);
        pixels[1] = over(a, pixels[1], b[1]);
        pixels[2] = over(a, pixels[2], b[2]);
    }
}

// Rounds towards minus infinity, for board positions left of or above 0.
std::int64_t FloorDivide(std::int64_t value, std::int64_t by)
{
    const std::int64_t quotient = value / by;
    return (value % by != 0 && value < 0) ? quotient - 1 : quotient;
}

// Where source pixel (x, y) (picture coordinates, y = 0 the top) of a
// width x height plane goes.
struct Target {
    std::int64_t x;
    std::int64_t y;
};

Target Moved(PxPlaneMove move, std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height)
{
    switch (move) {
        case PxPlaneMove::kTurnClockwise:
            return {height - 1 - y, x};
        case PxPlaneMove::kTurnHalf:
            return {width - 1 - x, height - 1 - y};
        case PxPlaneMove::kTurnAntiClockwise:
            return {y, width - 1 - x};
        case PxPlaneMove::kMirrorLeftRight:
            return {width - 1 - x, y};
        case PxPlaneMove::kMirrorTopBottom:
            return {x, height - 1 - y};
        case PxPlaneMove::kMirrorMainDiagonal:
            return {y, x};
        case PxPlaneMove::kMirrorOtherDiagonal:
            return {height - 1 - y, width - 1 - x};
    }
    return {x, y};
}

template <int kBytes>
void MoveTiles(const std::uint8_t* source, std::int64_t width, std::int64_t height, PxPlaneMove move,
               std::uint8_t* destination)
{
    const bool swapped = PxPlaneMoveSwapsSides(move);
    const std::int64_t outWidth = swapped ? height : width;
    const std::int64_t outHeight = swapped ? width : height;
    for (std::int64_t y0 = 0; y0 < height; y0 += kTile) {
        const std::int64_t y1 = std::min<std::int64_t>(y0 + kTile, height);
        for (std::int64_t x0 = 0; x0 < width; x0 += kTile) {
            const std::int64_t x1 = std::min<std::int64_t>(x0 + kTile, width);
            for (std::int64_t y = y0; y < y1; ++y) {
                // Both planes are bottom-up: picture row y is plane row height - 1 - y.
                const std::uint8_t* from = source + ((height - 1 - y) * width + x0) * kBytes;
                for (std::int64_t x = x0; x < x1; ++x, from += kBytes) {
                    const Target to = Moved(move, x, y, width, height);
                    std::memcpy(destination + ((outHeight - 1 - to.y) * outWidth + to.x) * kBytes, from, kBytes);
                }
            }
        }
    }
}

}  // namespace

void PxDropOpaqueAlpha(PxBitmap& bitmap)
{
    if (bitmap.HasAlpha() && AllOf(bitmap, 255)) {
        bitmap.DropAlpha();
    }
}

void PxDropInvisibleAlpha(PxBitmap& bitmap)
{
    if (bitmap.HasAlpha() && AllOf(bitmap, 0)) {
        bitmap.DropAlpha();
    }
}

void PxBlendOverColor(PxBitmap& picture, std::uint32_t color, bool premultiplied)
{
    if (!picture.HasAlpha() || picture.Pixels() == nullptr) {
        return;
    }
    const std::uint8_t background[3] = {static_cast<std::uint8_t>(color >> 16), static_cast<std::uint8_t>(color >> 8),
                                        static_cast<std::uint8_t>(color)};
    const std::int64_t width = picture.Width();
    for (std::int64_t row = 0; row < picture.Height(); ++row) {
        BlendRow(picture.Pixels() + row * picture.Stride(), picture.Alpha() + row * width, width, premultiplied,
                 [&](std::int64_t) { return background; });
    }
    picture.DropAlpha();
}

void PxBlendOverCheckerboard(PxBitmap& picture, std::int32_t originX, std::int32_t originY, bool premultiplied)
{
    if (!picture.HasAlpha() || picture.Pixels() == nullptr) {
        return;
    }
    const std::uint8_t white[3] = {kPxCheckerWhite, kPxCheckerWhite, kPxCheckerWhite};
    const std::uint8_t grey[3] = {kPxCheckerGrey, kPxCheckerGrey, kPxCheckerGrey};
    const std::int64_t width = picture.Width();
    const std::int64_t height = picture.Height();
    for (std::int64_t row = 0; row < height; ++row) {
        // Store row 0 is the bottom of the picture.
        const std::int64_t squareRow = FloorDivide(originY + (height - 1 - row), kPxCheckerSquare);
        BlendRow(picture.Pixels() + row * picture.Stride(), picture.Alpha() + row * width, width, premultiplied,
                 [&](std::int64_t x) {
                     const std::int64_t square = FloorDivide(originX + x, kPxCheckerSquare) + squareRow;
                     return (square & 1) == 0 ? white : grey;
                 });
    }
    picture.DropAlpha();
}

bool PxPlaneMoveSwapsSides(PxPlaneMove move)
{
    return move == PxPlaneMove::kTurnClockwise || move == PxPlaneMove::kTurnAntiClockwise ||
           move == PxPlaneMove::kMirrorMainDiagonal || move == PxPlaneMove::kMirrorOtherDiagonal;
}

void PxMovePlane(const std::uint8_t* source, std::int32_t width, std::int32_t height, int bytesPerPixel,
                 PxPlaneMove move, std::uint8_t* destination)
{
    if (source == nullptr || destination == nullptr || width <= 0 || height <= 0) {
        return;
    }
    if (bytesPerPixel == 4) {
        MoveTiles<4>(source, width, height, move, destination);
    } else {
        MoveTiles<1>(source, width, height, move, destination);
    }
}

int PxMoveAlphaWith(const PxBitmap& source, PxPlaneMove move, PxBitmap& destination)
{
    if (!source.HasAlpha()) {
        destination.DropAlpha();
        return 0;
    }
    if (destination.CreateAlphaPlane() != 0) {
        return 1;
    }
    PxMovePlane(source.Alpha(), source.Width(), source.Height(), 1, move, destination.Alpha());
    return 0;
}

}  // namespace brelvix
