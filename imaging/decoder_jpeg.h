// JPEG through libjpeg(-turbo): the whole file is read into memory and fed to
// the library by a source manager of our own; each decoded scanline is copied
// into the bottom-up blue-green-red store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "decoder.h"

namespace brelvix {

// What a progressive (or any multi-scan) file may cost. Every scan is a pass
// over each 8 x 8 block of the components it codes, so the work grows with
// scans times picture size: a file costs the blocks of every scan added up.
//
// Real files stay far below this. Encoders write about ten scans, each
// component coded in four to six of them; a 100-megapixel photo with three
// full-size components coded in 20 scans each costs 94 million, the largest
// picture the store takes (about 358 megapixels) 78 million with the usual
// scans. A file costs about 25 ns a block on this machine class, so the
// limit keeps a decode under about seven seconds. Beyond it the file fails
// at once, before a single scan is decoded: 8000 x 8000 grey in 704 scans
// would cost 704 million, about 18 seconds.
inline constexpr std::uint64_t kPxJpegBlockLimit = std::uint64_t{1} << 28;

// Nor may a file have more than this many scans, whatever its size.
inline constexpr int kPxJpegScanLimit = 1000;

class PxDecoderJPEG : public PxDecoder {
public:
    // `blockLimit` is kPxJpegBlockLimit except in tests of the limit itself.
    explicit PxDecoderJPEG(std::uint64_t blockLimit = kPxJpegBlockLimit);
    ~PxDecoderJPEG() override;

    // Reads the whole file into `scratch`, decodes it into the bitmap and
    // frees the file again. 1 when the file buffer or the store cannot be
    // had, when libjpeg rejects the file with a fatal error before every
    // scanline was delivered, when the file's scans are over the limits above
    // or when the load is cancelled; otherwise 0 (warnings about damaged or
    // missing data do not fail the load). A fatal error writes the library's
    // message once to standard error; it never ends the process.
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;

    // Needs the file in `scratch` (Decode puts it there); 1 without it or
    // when libjpeg rejects the header. Sizes the bitmap with depth 8 for
    // greyscale files and 32 for every other kind.
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;

    // libjpeg's DCT scaling: 1/2, 1/4 or 1/8 of each side (rounded up),
    // the smallest that keeps the size asked for. Only the inverse DCT,
    // upsampling and colour conversion get cheaper; the entropy-coded data
    // is read in full.
    bool SetReduction(PxReduction* request) override
    {
        reduction = request;
        return true;
    }

    // The scanline copiers: each reads every scanline of the started
    // decompression into the store, top row first. 1 when there is no file
    // in `scratch`, the row buffer cannot be allocated or libjpeg failed
    // fatally on the way (rows already copied stay), else 0.
    int ReadGrayRows(PxBitmap& bitmap);
    int ReadColorRows(PxBitmap& bitmap);

private:
    // libjpeg's decompressor with its error manager, destroyed with the decoder.
    struct Library;

    int ReadRows(PxBitmap& bitmap, bool gray);
    // Sets the library's scale for the reduction asked for and sizes the
    // bitmap with the output; false when no reduction keeps the size.
    bool Reduce(PxBitmap& bitmap);
    // Drops the image's library state after a fatal error and frees the file.
    void Abandon();

    std::unique_ptr<Library> library;  // null when it could not be created
    std::size_t fileLength = 0;        // bytes of the file actually in `scratch`
    std::uint64_t blockLimit = kPxJpegBlockLimit;
    PxReduction* reduction = nullptr;  // a reduced decode was asked for
};

}  // namespace brelvix
