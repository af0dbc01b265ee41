// The colours pictures are shown in: whether they are converted from their
// own profile at all, and into which profile (the display's, or sRGB).
//
// One state for the whole program, as there is one display to show on; the
// view sets it (ImageView::ApplySettings, ImageView::SetDisplayProfile) and
// the decodes read it on their own threads, so that a picture is converted
// once, right after its decode, before it ever reaches the window.
//
// Every change makes a new version. A picture carries the version it was
// prepared under (PrepareForScreen); one prepared under another version
// than the current one shows wrong colours and must be decoded again.
// Version 0 means nothing is known yet (the program is starting, or a test
// never asked): pictures are left as decoded and prepared when they are
// put on screen.
#pragma once

#include <cstdint>

#include "imaging/bitmap.h"
#include "imaging/picture_meta.h"

namespace brelvix {

struct ScreenColors {
    // Pictures are converted from their profile; otherwise their stored
    // values show as they are.
    bool manage = false;
    // The profile to convert into: the display's, or sRGB
    // (PxSetSrgbProfile).
    PxColorProfile target;
};

// Makes `colors` the screen's and returns the current version: a new one
// when anything changed, the same one when `colors` is what it was.
std::uint64_t SetScreenColors(const ScreenColors& colors);
// Back to knowing nothing (version 0).
void ClearScreenColors();
std::uint64_t ScreenColorsVersion();
// Whether a picture prepared under `version` shows right now: it was
// prepared under the current version, or not at all (0: PrepareForScreen
// still has to run).
bool ScreenColorsCurrent(std::uint64_t version);

// Puts a decoded picture into the screen's colours, or, with colour
// management off, drops what only the conversion needs (the CMYK samples);
// safe on any thread. A picture already converted is left alone. Returns
// the version it was prepared under; 0, changing nothing, while nothing is
// known.
std::uint64_t PrepareForScreen(PxBitmap& picture);

}  // namespace brelvix
