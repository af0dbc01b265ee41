// Showing a decoded picture in the colours its profile describes.
#pragma once

#include "bitmap.h"

namespace brelvix {

// Converts `bitmap`'s store in place from the file's profile
// (Meta().profile; untagged pictures count as sRGB) to `target`, made by
// PxSetSrgbProfile or PxTargetFromIcc (imaging/color_profile.h). Meant to
// run once, right after PxApplyOrientation: later copies, turns and scales
// then work on the converted picture. CMYK pictures are converted from the
// samples their file holds (Meta().cmyk), which are then dropped.
//
// Pictures that need no change cost nothing: untagged or sRGB pictures on
// an sRGB target, a picture already in the target's profile, a picture
// already converted. lcms2's transforms are cached by the two profiles
// (making one costs more than using it) and the rows are converted on all
// cores.
//
// Returns 0 when the store now holds the target's colours (or needed no
// change) and 1 when the profiles could not be used: the store then keeps
// its values, which is how an untagged picture shows.
int PxConvertColors(PxBitmap& bitmap, const PxColorProfile& target);

}  // namespace brelvix
