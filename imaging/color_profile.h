// Colour profiles as the decoders find them: embedded ICC profiles, checked
// before they are trusted, and profiles made with lcms2 from what a file
// says instead (code points, gamma and chromaticities, sRGB by name).
//
// Every function here either fills the PxColorProfile it is given and
// returns true, or leaves it untouched and returns false: a profile that
// cannot be used is ignored, and the picture stays untagged (sRGB).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "picture_meta.h"

namespace brelvix {

// An embedded ICC profile for samples of `space`. Refused when larger than
// kPxMaxProfileBytes, shorter than its header says (truncated), not an ICC
// profile, damaged (lcms2 cannot read it or build a transform from it), or
// of another colour space than the samples (a grey profile on RGB data).
// A profile that means sRGB is marked so (PxColorProfile::srgb).
bool PxProfileFromIcc(const std::uint8_t* data, std::size_t size, PxSampleSpace space, PxColorProfile* profile);

// sRGB named as such (PNG's sRGB chunk, sRGB code points). Also the
// usual target of PxConvertColors.
void PxSetSrgbProfile(PxColorProfile* profile);

// A profile to show pictures in (a display's, or one given on the command
// line): an RGB profile lcms2 can convert into, checked as PxProfileFromIcc
// checks a file's. False, with `target` untouched, for anything else; the
// caller then shows sRGB.
bool PxTargetFromIcc(const std::uint8_t* data, std::size_t size, PxColorProfile* target);

// Chromaticities of a white point and three primaries, CIE x and y.
struct PxChromaticities {
    double white[2];
    double red[2];
    double green[2];
    double blue[2];
};

// How stored values become light: one of ITU-T H.273's transfer
// characteristics (1 BT.709, 4 gamma 2.2, 5 gamma 2.8, 6 BT.601, 7 SMPTE
// 240M, 8 linear, 13 sRGB, 14 and 15 BT.2020, 16 PQ, 17 SMPTE 428, 18 HLG),
// or 0 with `gamma`: value^gamma.
struct PxTransfer {
    int code = 13;
    double gamma = 1.0;
};

// The primaries of an H.273 colour-primaries code point; false for codes
// that have none (unspecified, reserved).
bool PxPrimariesFromCode(int code, PxChromaticities* primaries);

// A profile from H.273 code points, as PNG's cICP chunk and the nclx colour
// information of AVIF and HEIF give them (2, unspecified, counts as BT.709
// primaries or the sRGB curve). sRGB primaries with the sRGB curve are
// marked sRGB without a profile of their own. False when both are
// unspecified (the picture is untagged) and for code points this library
// cannot turn into a curve or primaries.
bool PxProfileFromCodePoints(int primaries, int transfer, PxColorProfile* profile);

// A profile from explicit primaries and a transfer, named `description`.
bool PxProfileFromPrimaries(const PxChromaticities& primaries, const PxTransfer& transfer,
                            const std::string& description, PxColorProfile* profile);

// Names of H.273 code points ("BT.2020", "PQ"); empty for codes without one.
std::string PxPrimariesName(int code);
std::string PxTransferName(int code);

}  // namespace brelvix
