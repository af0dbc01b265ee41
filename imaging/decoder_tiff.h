// TIFF decoding through libtiff, from a copy of the whole file in memory.
//
// Only the first directory (page) is read. Simple grey, bilevel and palette
// images in strips (one or two samples per pixel, at most 8 bits each) are
// read scanline by scanline through a 256-entry colour table; every other
// image goes through libtiff's RGBA interface, which also honours the
// Orientation tag.
#pragma once

#include <cstdint>
#include <memory>

#include "decoder.h"

namespace brelvix {

class PxDecoderTIFF : public PxDecoder {
public:
    PxDecoderTIFF();
    ~PxDecoderTIFF() override;

    // 1 when the file buffer or the pixel store cannot be had, else 0: an
    // image libtiff cannot decode leaves the picture (partly) black.
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;
    // Opens the file held in `scratch`, sizes the bitmap and chooses the
    // route. 1 when libtiff rejects the header or the first directory.
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;

    // The two routes; 0 on success, 1 on failure. The RGBA route decodes
    // the picture band by band through a small raster; the result is the
    // one a single raster of the whole picture gives.
    int ReadRgbaImage(PxBitmap& bitmap);
    int ReadIndexedScanlines(PxBitmap& bitmap);

private:
    // libtiff's handle on the copy of the file, closed with the decoder.
    struct Library;

    // The colour profile, Exif block and sample depth of the first page.
    void ReadPictureMeta(PxPictureMeta& meta, std::uint16_t bitsPerSample) const;

    std::unique_ptr<Library> library;
    bool useRgbaRoute = false;
    std::uint16_t samplesPerPixel = 0;
    // Bytes of the file actually in `scratch`.
    std::uint64_t scratchLength = 0;
};

}  // namespace brelvix
