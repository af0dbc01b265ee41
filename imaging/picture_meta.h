// What a file says about its picture besides the pixels: the colour profile
// the stored values are meant in, the Exif block, the depth of its samples.
//
// It travels with the PxBitmap the file was loaded into (PxBitmap::Meta),
// beside the 24-bit store and never inside it: the store holds exactly what
// it holds without it. Like the format id it belongs to the loaded file, so
// copies and moves of the store leave it alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pixel_memory.h"

namespace brelvix {

// Profiles larger than this are not taken from a file: no real one comes
// near it, and a file claiming more is more likely hostile than precise.
inline constexpr std::size_t kPxMaxProfileBytes = std::size_t{4} << 20;

// Exif blocks are kept up to this size; a larger one is dropped.
inline constexpr std::size_t kPxMaxExifBytes = std::size_t{4} << 20;

// What the decoded samples were before they became blue, green and red: the
// colour space a profile of the file has to describe to be used.
enum class PxSampleSpace {
    kRgb,   // colour pictures, palettes included
    kGrey,  // one grey value repeated in blue, green and red
    kCmyk,  // four inks; the store holds a plain conversion, the samples are kept (PxPictureMeta::cmyk)
};

// The colour profile of a picture.
//
// Untagged pictures (no profile, or one that was damaged, truncated, not an
// ICC profile, of the wrong colour space or too large, and then ignored) are
// sRGB by convention. A file that names sRGB (PNG's sRGB chunk, an sRGB
// profile, sRGB code points) is `srgb`: shown on an sRGB target, it needs
// no conversion at all.
struct PxColorProfile {
    // The ICC profile, as embedded or as made from what the file says
    // instead (primaries and transfer code points, gamma and chromaticities).
    // Empty when untagged or when `srgb` says all there is to say.
    std::vector<std::uint8_t> icc;
    // The profile's own description (its 'desc' tag), or a name for one
    // made from code points; empty when untagged.
    std::string description;
    // The profile means sRGB, to within a rounding step of every value.
    bool srgb = false;

    bool Tagged() const { return srgb || !icc.empty(); }
    void Clear()
    {
        icc.clear();
        description.clear();
        srgb = false;
    }
};

struct PxPictureMeta {
    PxColorProfile profile;
    PxSampleSpace space = PxSampleSpace::kRgb;
    // The Exif block as a TIFF structure (byte-order mark first, without
    // JPEG's "Exif\0\0" or HEIF's offset in front); empty without one.
    std::vector<std::uint8_t> exif;
    // Bits per sample the file stores (1 to 16; 8 for most), or 0 when the
    // decoder does not say.
    std::int32_t bitsPerSample = 0;
    // For CMYK pictures with a usable CMYK profile only: the samples as the
    // file holds them, cyan, magenta, yellow, black per pixel (each the
    // amount of ink, 255 = full), rows bottom-up like the store, without
    // padding. PxApplyOrientation turns them with the store; the colour
    // conversion reads them instead of the store and then drops them.
    PxBuffer<std::uint8_t> cmyk;
    // The colours under the alpha plane are multiplied by their alpha, as
    // some TIFF, AVIF, HEIF and JPEG XL files keep them; the blends need
    // to know (imaging/alpha.h).
    bool alphaPremultiplied = false;
    // Set once PxConvertColors has put the store into a target's colours
    // (the profile above still describes the file): it converts only once.
    bool colorsConverted = false;
};

}  // namespace brelvix
