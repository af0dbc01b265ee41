// Reference renderings stored as PNG, read with libpng's simplified API.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/pixels.h"

namespace brelvix {

// Reads a PNG into top-down red-green-blue triplets (8 bits a sample); any
// alpha channel is dropped, not blended. False when libpng cannot read it.
bool ReadPngReference(const std::string& path, int* width, int* height, std::vector<std::uint8_t>* rgb);

// Reads a PNG into top-down red-green-blue-alpha quadruplets with libpng's
// plain reading interface: no gamma or colour-space conversion, 16-bit
// samples rounded to 8 bits (value * 255 / 65535), palette and transparency
// expanded, alpha 255 where the file has none. Use it where the colour of
// transparent pixels matters or the reference has 16-bit samples (which
// the simplified interface treats as linear light and re-encodes).
bool ReadPngReferenceRgba(const std::string& path, int* width, int* height, std::vector<std::uint8_t>* rgba);

// How a loaded picture compares with a reference rendering.
struct ReferenceComparison {
    int compared = 0;   // reference pixels looked at
    int differing = 0;  // of those, the ones not shown as expected
    std::string first;  // where the first difference is, for the failure message
};

// Compares `bitmap` (of the reference's size) with the reference's RGBA
// pixels: only those with an alpha of at least `minimumAlpha` count, `shown`
// turns a reference colour into the one this viewer should show, and each
// channel may differ by `tolerance`.
ReferenceComparison CompareWithReference(const PxBitmap& bitmap, const std::vector<std::uint8_t>& rgba,
                                         std::uint8_t minimumAlpha, const std::function<Rgb(Rgb)>& shown,
                                         int tolerance = 0);

}  // namespace brelvix
