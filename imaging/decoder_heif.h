// HEIF and HEIC through libheif (with the HEVC and AV1 decoders it was built
// with): the whole file is read into memory and libheif decodes the primary
// picture to interleaved red, green, blue, which is copied into the
// bottom-up blue-green-red store.
//
// Rotation, mirroring and cropping are properties of a HEIF picture itself,
// and libheif applies them while decoding; the picture comes out upright and
// its orientation is recorded as 1. (libheif offers no way to learn them
// without applying them; the Exif tag a camera adds repeats them and is
// therefore not applied again.)
#pragma once

#include <cstddef>
#include <memory>

#include "decoder.h"

namespace brelvix {

class PxDecoderHEIF : public PxDecoder {
public:
    PxDecoderHEIF();
    ~PxDecoderHEIF() override;

    // 1 when the file cannot be read, libheif rejects it or cannot decode
    // it (libheif gives no partial pictures), the store cannot be created,
    // or the load is cancelled (looked at around libheif's decode and
    // between rows). Samples of 10 and 12 bits show their high 8 bits; alpha is
    // dropped.
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;

    // Needs the file in `scratch`. Reads the container within libheif's
    // limits, sizes the bitmap with the primary picture's size as shown
    // (depth 32 with alpha, else 24); 1 when libheif rejects the file.
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;

private:
    // libheif's context and the primary picture's handle.
    struct Library;

    std::unique_ptr<Library> library;
    std::size_t fileLength = 0;
};

}  // namespace brelvix
