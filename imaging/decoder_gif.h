// GIF decoding through giflib's record-level interface.
//
// The picture has the size of the GIF's logical screen and shows the file's
// first image only (animations show their first frame; transparency, delays
// and comments have no effect). Rows the image does not cover are black;
// columns beside the image on its own rows take the screen's background
// colour when the file has a global colour table, else black. Pixel values
// beyond the image's colour table show black; a file with no colour table at
// all shows value v as grey v.
#pragma once

#include <memory>

#include "decoder.h"

namespace brelvix {

class PxDecoderGIF : public PxDecoder {
public:
    PxDecoderGIF();
    ~PxDecoderGIF() override;

    // 0 on success; 1 when the header cannot be read, the store cannot be
    // made or the first image is rejected (it does not fit the screen, or the
    // file breaks off before any image or trailer).
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;
    // Opens giflib on the stream and sizes the bitmap to the logical screen
    // (depth 8). 1 when giflib does not accept the header.
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;

    // Walks the records to the first image and decodes its lines into the
    // store. 0 on success and for a file with no image; 1 on failure.
    int ReadFirstImage(PxFileStream& stream, PxBitmap& bitmap);

private:
    // giflib's file handle, closed with the decoder.
    struct Library;
    std::unique_ptr<Library> library;
};

}  // namespace brelvix
