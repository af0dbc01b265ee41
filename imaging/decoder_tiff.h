// TIFF decoding through libtiff, from a copy of the whole file in memory.
//
// Only the first directory (page) is read. Simple grey, bilevel and palette
// images in strips (one or two samples per pixel, at most 8 bits each) are
// read scanline by scanline through a 256-entry colour table; every other
// image goes through libtiff's RGBA interface, which also honours the
// Orientation tag.
#pragma once

#include <tiffio.h>

#include <cstdint>

#include "decoder.h"

namespace brelvix {

// State of the memory client that serves libtiff's reads, writes and seeks
// from one block of memory. Offsets are 64-bit: libtiff hands over offsets
// read from the file, and they must never wrap into the block.
struct PxTiffMemSource {
    std::uint8_t* data = nullptr;
    std::uint64_t position = 0;
    std::uint64_t capacity = 0;              // length of the block
    std::uint64_t ownSize = 0;               // data size when the caller gives no size variable
    std::uint64_t* sizeReference = nullptr;  // the size variable in use
    char mode[2] = {'r', '\0'};              // "r" reading, "w" writing
};

class PxDecoderTIFF : public PxDecoder {
public:
    PxDecoderTIFF() = default;
    ~PxDecoderTIFF() override;

    // Opens `length` bytes at `data` as a TIFF. Without `sizeReference` the
    // block is read; with it, libtiff writes into the block (at most `length`
    // bytes), and *sizeReference starts at 0 and grows to the written size.
    // libtiff's messages are discarded for this handle only; the process-wide
    // handlers stay as they are. Null when libtiff rejects the data.
    static TIFF* OpenMemoryTiff(std::uint8_t* data, std::uint64_t length, std::uint64_t* sizeReference = nullptr);

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
    enum class RgbaOutcome { kDone, kRefused, kBandFailed };
    // Raster bytes per band of the RGBA route.
    static constexpr std::uint64_t kBandBytes = std::uint64_t{1} << 20;

    // libtiff's RGBA reader on `tif`, with the decoder's own routine for
    // 8-bit RGB with a fourth sample; false when libtiff refuses the image.
    bool BeginRgba(TIFFRGBAImage* image);
    RgbaOutcome ReadRgbaBands(PxBitmap& bitmap);
    // The picture through one raster of its full size.
    int ReadRgbaWhole(PxBitmap& bitmap);

    TIFF* tif = nullptr;
    bool useRgbaRoute = false;
    std::uint16_t samplesPerPixel = 0;
    // Bytes of the file actually in `scratch`.
    std::uint64_t scratchLength = 0;
};

}  // namespace brelvix
