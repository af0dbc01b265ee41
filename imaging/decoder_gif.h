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

#include <gif_lib.h>

#include <cstdint>

#include "decoder.h"

namespace brelvix {

// Blue, green, red for each of the 256 possible pixel values of one image.
struct PxGifColorTable {
    std::uint8_t bgr[256][3] = {};
};

class PxDecoderGIF : public PxDecoder {
public:
    PxDecoderGIF() = default;
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

    // Converts one screen line of pixel values into picture row `row`
    // (0 = top): the image's columns through `table`, the others in the
    // background colour. `line` holds at least the bitmap's width in bytes.
    void StoreRow(std::int32_t row, const std::uint8_t* line, const PxGifColorTable& table, PxBitmap& bitmap) const;

private:
    // giflib's input function: reads from the stream kept in UserData and
    // reports the bytes that actually arrived, so giflib sees where a
    // truncated file ends.
    static int ReadInput(GifFileType* file, GifByteType* destination, int count);

    GifFileType* gif = nullptr;

    // Columns [imageLeft, imageRight) of the current image; the colour of
    // the screen's other columns.
    std::int64_t imageLeft = 0;
    std::int64_t imageRight = 0;
    std::uint8_t background[3] = {};
};

}  // namespace brelvix
