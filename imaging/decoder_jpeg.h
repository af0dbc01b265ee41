// JPEG through libjpeg(-turbo): the whole file is read into memory and fed to
// the library by a source manager of our own; each decoded scanline is copied
// into the bottom-up blue-green-red store.
#pragma once

#include <cstddef>
#include <memory>

#include "decoder.h"

namespace brelvix {

class PxDecoderJPEG : public PxDecoder {
public:
    PxDecoderJPEG();
    ~PxDecoderJPEG() override;

    // Reads the whole file into `scratch`, decodes it into the bitmap and
    // frees the file again. 1 when the file buffer or the store cannot be
    // had, or when libjpeg rejects the file with a fatal error before every
    // scanline was delivered; otherwise 0 (warnings about damaged or missing
    // data do not fail the load). A fatal error writes the library's message
    // once to standard error; it never ends the process.
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;

    // Needs the file in `scratch` (Decode puts it there); 1 without it or
    // when libjpeg rejects the header. Sizes the bitmap with depth 8 for
    // greyscale files and 32 for every other kind.
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;

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
    // Drops the image's library state after a fatal error and frees the file.
    void Abandon();

    std::unique_ptr<Library> library;  // null when it could not be created
    std::size_t fileLength = 0;        // bytes of the file actually in `scratch`
};

}  // namespace brelvix
