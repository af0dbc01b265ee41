// JPEG through libjpeg(-turbo): the whole file is read into memory and fed to
// the library by a source manager of our own; each decoded scanline is copied
// into the bottom-up blue-green-red store.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "decoder.h"

namespace brelvix {

// libjpeg's error manager extended by where to leave the library to. A fatal
// library error writes its message once to standard error, sets `failed` and
// jumps to `jump`; it never ends the process.
struct PxJpegErrorManager {
    jpeg_error_mgr pub;  // first: libjpeg sees only this part
    std::jmp_buf* jump = nullptr;
    bool failed = false;
};

class PxDecoderJPEG : public PxDecoder {
public:
    PxDecoderJPEG();
    ~PxDecoderJPEG() override;

    // Reads the whole file into `scratch`, decodes it into the bitmap and
    // frees the file again. 1 when the file buffer or the store cannot be
    // had, or when libjpeg rejects the file with a fatal error before every
    // scanline was delivered; otherwise 0 (warnings about damaged or missing
    // data do not fail the load).
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;

    // Needs the file in `scratch` (Decode puts it there); 1 without it or
    // when libjpeg rejects the header. Sizes the bitmap with depth 8 for
    // greyscale files and 32 for every other kind.
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;

    // Installs a source that serves `length` bytes from `buffer` and, once
    // they are used up, a synthetic end-of-image marker with the library's
    // "Premature end of JPEG file" warning: the library never suspends.
    static void SetMemorySource(j_decompress_ptr decompressor, const JOCTET* buffer, std::size_t length);

    // The scanline copiers: each reads every scanline of the started
    // decompression into the store, top row first. 1 when there is no file
    // in `scratch`, the row buffer cannot be allocated or libjpeg failed
    // fatally on the way (rows already copied stay), else 0.
    int ReadGrayRows(PxBitmap& bitmap);
    int ReadColorRows(PxBitmap& bitmap);

private:
    int ReadRows(PxBitmap& bitmap, bool gray);
    // Drops the image's library state after a fatal error and frees the file.
    void Abandon();

    jpeg_decompress_struct decompressor{};
    PxJpegErrorManager errorManager{};
    jpeg_progress_mgr scanLimit{};  // ends files with absurdly many scans
    bool created = false;           // jpeg_create_decompress succeeded
    std::size_t fileLength = 0;     // bytes of the file actually in `scratch`
};

}  // namespace brelvix
