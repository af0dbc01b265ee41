// JPEG XL through libjxl: the whole file is read into memory and handed to
// libjxl in steps; libjxl renders the first frame (as it composes an
// animation) on its worker threads straight into the store, top row first
// and red first, and one pass then puts the rows and bytes the store's way.
// The pixels stay as stored; the header's orientation is recorded.
#pragma once

#include <cstddef>
#include <memory>

#include "decoder.h"

namespace brelvix {

class PxDecoderJXL : public PxDecoder {
public:
    PxDecoderJXL();
    ~PxDecoderJXL() override;

    // 1 when the file cannot be read, libjxl rejects it, the store cannot be
    // created, or the load is cancelled (looked at between two steps of the
    // file and between rows). A file that breaks off shows what libjxl can render from
    // the part that arrived (0). Samples deeper than 8 bits show their high
    // 8 bits; alpha goes to the bitmap's alpha plane.
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;

    // Needs the file in `scratch`. Runs libjxl up to the picture's basic
    // information, sizes the bitmap (depth 32 with alpha, else 24) and
    // records the orientation; 1 when libjxl rejects the file first or the
    // picture is larger than the decoder will hold.
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;

private:
    // libjxl's decoder, its thread pool and what the pixel callback needs.
    struct Library;

    std::unique_ptr<Library> library;
    std::size_t fileLength = 0;
};

}  // namespace brelvix
