// Transparency beside the 24-bit store: what decoders do with the plane
// once it is read, how it follows the picture through turns and mirrors,
// and how the view shows it, blended over a colour or a checkerboard.
//
// The plane (PxBitmap::Alpha) has one byte a pixel, 0 transparent to 255
// opaque, rows bottom-up like the store's and `width` bytes apart. Its
// colours are straight, not multiplied by alpha: a transparent pixel keeps
// whatever colour its file stored under it, which is what the store shows
// when nothing is blended.
#pragma once

#include <cstdint>

#include "bitmap.h"

namespace brelvix {

// Drops the plane of a picture whose every pixel is opaque: such a picture
// costs nothing more than one without transparency from then on.
void PxDropOpaqueAlpha(PxBitmap& bitmap);

// Drops the plane when no pixel of it is visible at all. Some writers fill
// the fourth byte of 32-bit pixels with zero because it means nothing to
// them; a picture that would show nothing is such a picture.
void PxDropInvisibleAlpha(PxBitmap& bitmap);

// Blends every pixel over `color` (red in the low byte, then green, then
// blue) in the picture's stored values, as browsers do: each channel
// becomes (a * c + (255 - a) * background + 127) / 255, integer division,
// which is the exact value rounded to the nearest step (halves upwards).
// With `premultiplied` (the loaded picture's
// Meta().alphaPremultiplied) the colour already holds a * c / 255 and
// becomes min(255, c + ((255 - a) * background + 127) / 255). The picture
// is then opaque and loses its plane. Without a plane nothing changes.
void PxBlendOverColor(PxBitmap& picture, std::uint32_t color, bool premultiplied = false);

// The checkerboard behind transparent pictures: squares of this many
// pixels, light grey and white.
inline constexpr std::int32_t kPxCheckerSquare = 8;
inline constexpr std::uint8_t kPxCheckerGrey = 0xCC;
inline constexpr std::uint8_t kPxCheckerWhite = 0xFF;

// Blends over the checkerboard as PxBlendOverColor blends over a colour.
// The squares are anchored to the screen, not to the picture: the picture's
// top-left pixel lies at (originX, originY) of the board (any integers, as
// the screen position of the part being shown), and the square holding
// board position (X, Y) is white when floor(X / 8) + floor(Y / 8) is even,
// light grey when it is odd.
void PxBlendOverCheckerboard(PxBitmap& picture, std::int32_t originX, std::int32_t originY, bool premultiplied = false);

// The ways a plane of pixels is turned or mirrored, each one where the
// source's top-left pixel ends: a quarter turn clockwise (top right), a
// half turn (bottom right), a quarter turn anti-clockwise (bottom left),
// left-right (top right), top-bottom (bottom left), across the main
// diagonal (stays) and across the other one (bottom right).
enum class PxPlaneMove {
    kTurnClockwise,
    kTurnHalf,
    kTurnAntiClockwise,
    kMirrorLeftRight,
    kMirrorTopBottom,
    kMirrorMainDiagonal,
    kMirrorOtherDiagonal,
};

// Whether the move exchanges width and height.
bool PxPlaneMoveSwapsSides(PxPlaneMove move);

// Moves a width x height plane of `bytesPerPixel` (1 or 4) bytes a pixel,
// rows bottom-up without padding, into `destination`, which has room for
// the moved plane (its sides exchanged where the move says so) and must
// not overlap the source.
void PxMovePlane(const std::uint8_t* source, std::int32_t width, std::int32_t height, int bytesPerPixel,
                 PxPlaneMove move, std::uint8_t* destination);

// Gives `destination`, which holds `source` moved, the source's alpha plane
// moved the same way; drops its plane when the source has none. 0, or 1
// when the memory for the plane cannot be had (the destination then has
// none).
int PxMoveAlphaWith(const PxBitmap& source, PxPlaneMove move, PxBitmap& destination);

}  // namespace brelvix
