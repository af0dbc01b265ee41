// A quick first look at a large picture: decoded smaller than its file, at
// a fraction of the cost of the full decode, for the moment until the full
// decode is there. It is never the picture itself: it comes as its own type,
// with the file's full dimensions beside it.
#pragma once

#include <cstdint>

#include "bitmap.h"

namespace brelvix {

// What a reduced decode is asked for, and what the decoder found.
struct PxReduction {
    // The reduced picture stays at least this size: in the file's stored
    // orientation, or with `upright` once turned as the file asks for.
    std::int32_t atLeastWidth = 0;
    std::int32_t atLeastHeight = 0;
    bool upright = false;
    // The file's picture, as a full decode sizes its bitmap; set once the
    // header is read.
    std::int32_t fileWidth = 0;
    std::int32_t fileHeight = 0;
};

struct PxReducedPicture {
    // Smaller than the file on both sides (or on the one that can shrink),
    // its format id, orientation and load error as a full decode's would be.
    PxBitmap reduced;
    // The file's full dimensions.
    std::int32_t fileWidth = 0;
    std::int32_t fileHeight = 0;
};

// Decodes `path` at the smallest reduction the format's library offers that
// keeps the picture at least atLeastWidth x atLeastHeight: libjpeg's DCT
// scaling to 1/2, 1/4 or 1/8 for JPEG, libwebp's scaled decode for WebP
// stills. 0 with the reduced picture in `out`. 1 when the load fails as a
// full one would (reduced.LoadError() says why, and a damaged file keeps
// what arrived with 0, as a full decode does), and also, without decoding
// any pixels, when the format offers no reduced decode or no reduction keeps
// the size asked for (LoadError() Unsupported; fileWidth and fileHeight are
// set when the header could be read): the full decode is then the only one
// worth its cost. With `upright` the size asked for is that of the picture
// turned as its file says (the size a viewer shows).
int PxLoadReduced(const char* path, std::int32_t atLeastWidth, std::int32_t atLeastHeight, PxReducedPicture* out,
                  PxLoadControl* control = nullptr, bool upright = false);

// The largest of the denominators 8, 4 and 2 that keeps a width x height
// picture scaled by 1/denominator (each side rounded up, as libjpeg does) at
// least atLeastWidth x atLeastHeight; 1 when none does.
std::int32_t PxReductionDenominator(std::int32_t width, std::int32_t height, std::int32_t atLeastWidth,
                                    std::int32_t atLeastHeight);

}  // namespace brelvix
