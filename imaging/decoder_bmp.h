// Windows and OS/2 device-independent bitmaps ("BM", "BA", "IC", "CI", "CP").
//
// Depths 1, 4 and 8 (palette, 4 and 8 also run-length coded), 16, 24 and 32;
// the 12-byte core header, the 40-byte info header and every larger one.
// Other depths load as a black picture of the header's size.
#pragma once

#include <cstdint>

#include "decoder.h"

namespace brelvix {

class PxDecoderBMP : public PxDecoder {
public:
    // 0 unless the store cannot be created (a rejected header leaves the
    // bitmap 0 x 0, so that is also how a bad header fails).
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;
    // 0 after sizing the bitmap with the width, the absolute height and the
    // depth; 1 when the signature is not a bitmap's or the height has no
    // positive counterpart. Leaves the stream at the first pixel byte.
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;

private:
    // Non-zero compression on a 4- or 8-bit file: the pixels are run-length coded.
    bool runLength = false;
    // A negative height: the first file row is the top of the picture.
    bool topDown = false;
    // 16- and 32-bit pixels whose channels the file places with masks
    // (compression 3 or 6); otherwise the fixed 5-5-5 and B, G, R layouts.
    bool bitFields = false;
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
    // Where 16- and 32-bit pixels keep their alpha; 0 for none.
    std::uint32_t alphaMask = 0;
};

}  // namespace brelvix
