// How a stored picture is meant to be shown: the orientation that cameras
// record beside the pixels instead of turning the pixels themselves.
//
// Values are those of the Exif Orientation tag, which every format here
// either carries as such (JPEG, PNG, WebP, AVIF and HEIF Exif blocks) or maps
// onto (AVIF's rotation and mirror, JPEG XL's header field). Each says which
// corner of the stored picture belongs at the top left when it is shown:
//
//   1  as stored                        5  mirrored across the main diagonal
//   2  mirrored left-right              6  a quarter turn clockwise
//   3  half a turn                      7  mirrored across the other diagonal
//   4  mirrored top-bottom              8  a quarter turn counter-clockwise
//
// Decoders record the value in the bitmap (PxBitmap::Orientation) and leave
// the pixels as stored; the viewer decides whether to turn them upright.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap.h"

namespace brelvix {

inline constexpr std::int32_t kPxOrientationUpright = 1;

// The Orientation tag of the primary picture in an Exif block, as JPEG's
// APP1 segment holds it ("Exif", two zero bytes, then the TIFF structure) or
// as the TIFF structure alone (PNG's eXIf chunk, WebP's EXIF chunk). Read
// with libexif. 1 when the block is missing, damaged, has no such tag, or
// the tag is not a number from 1 to 8.
std::int32_t PxExifOrientation(const std::uint8_t* data, std::size_t size);

// The orientation that shows a picture upright when its file asks for
// `antiClockwiseQuarterTurns` (0 to 3, taken modulo 4) followed by a mirror:
// 0 none, 1 top and bottom exchanged, 2 left and right exchanged. This is how
// AVIF and HEIF files record it. Other mirror values count as none.
std::int32_t PxOrientationFromTurnAndMirror(std::int32_t antiClockwiseQuarterTurns, std::int32_t mirror);

// Turns and mirrors `bitmap` so that a picture stored with its Orientation()
// shows upright, and records orientation 1. Returns 0 on success (nothing to
// do included: orientation 1, values outside 2 to 8, no store) and 1 when
// memory for the turned picture cannot be had; the bitmap is then exactly as
// it was. Costs at most one quarter turn of the picture (PxBitmap::Rotate):
// mirrors and half turns are cheaper, and the diagonal mirrors are a quarter
// turn of the picture read bottom row first.
int PxApplyOrientation(PxBitmap& bitmap);

// Mirrors `source` across its main diagonal (the top-left pixel stays, as
// orientation 5 asks) or across the other one (the top-left pixel goes to the
// bottom right, orientation 7) into `destination`, which becomes H wide and W
// high. 0 on success; 1 without a destination, when the destination is the
// source, when the source has no store or when no store can be made.
// Lives beside the quarter turns, whose loop it shares.
int PxMirrorDiagonally(const PxBitmap& source, bool mainDiagonal, PxBitmap* destination);

}  // namespace brelvix
