// WebP through libwebp: the whole file is read into memory; a still picture
// (lossy or lossless, with or without alpha) is decoded straight into the
// bottom-up blue-green-red store, and an animation shows its first frame as
// libwebp's animation decoder composes it on the canvas.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder.h"

namespace brelvix {

class PxDecoderWebP : public PxDecoder {
public:
    // 1 when the file cannot be read into memory, libwebp rejects its header,
    // the store cannot be created, nothing of the picture could be decoded,
    // or the load is cancelled (looked at between two steps of the file). A file that breaks off or is damaged after
    // some rows came out shows those rows (the rest black) with 0. The store
    // holds each pixel's colour; alpha goes to the bitmap's alpha plane.
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;

    // Needs the file in `scratch` (Decode puts it there). Sizes the bitmap
    // with the canvas size and depth 32 for files with alpha, 24 otherwise,
    // and records the Exif orientation; 1 when libwebp does not recognise
    // the header or the canvas would not fit the store cap.
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;

private:
    int DecodeStill(PxBitmap& bitmap);
    // The incremental decode into `target` (bottom row first, `stride`
    // bytes apart) in libwebp's colour mode `mode`.
    int DecodeStill(PxBitmap& bitmap, std::uint8_t* target, int mode, std::int64_t stride);
    // The still decode for files with alpha: four bytes a pixel into a
    // buffer, then colour to the store and alpha to the plane.
    int DecodeStillWithAlpha(PxBitmap& bitmap);
    int DecodeFirstFrame(PxBitmap& bitmap);

    std::size_t fileLength = 0;  // bytes of the file actually in `scratch`
    bool animated = false;
    bool hasAlpha = false;
};

}  // namespace brelvix
