// Colour profiles made with lcms2's own builders, for fixtures that embed
// them, and lcms2's own conversion of pixels for comparing against.
#pragma once

#include <cstdint>
#include <vector>

namespace brelvix {

enum class TestProfile {
    kAdobeRgb,   // "Test Adobe RGB": D65, gamma 563/256
    kDisplayP3,  // "Test Display P3": D65, the sRGB curve
    kProPhoto,   // "Test ProPhoto RGB": D50, gamma 1.8
    kGrey,       // "Test grey": D50, gamma 1.8, one channel
    kCmyk,       // "Test CMYK": a table from ink amounts to Lab
};

// The profile's bytes, with a private tag of `padding` bytes that makes it
// as large as needed.
std::vector<std::uint8_t> MakeTestProfile(TestProfile kind, std::size_t padding = 0);

// lcms2's own perceptual transform of `count` pixels from `from` to `to`
// (an empty profile meaning sRGB), in lcms2's formats (TYPE_BGR_8 and the like).
std::vector<std::uint8_t> LcmsConvert(const std::vector<std::uint8_t>& from, unsigned fromFormat,
                                      const std::vector<std::uint8_t>& to, unsigned toFormat,
                                      const std::uint8_t* pixels, std::size_t count);

}  // namespace brelvix
