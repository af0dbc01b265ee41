// PNG through libpng: the data is pulled from the stream by a read callback,
// libpng's transformations bring every image into one of three row layouts
// (one byte per pixel: grey level or palette index; four bytes per pixel:
// alpha, then blue, green, red; for RGB files three bytes per pixel: blue,
// green, red), and the rows are mapped into the bottom-up blue-green-red
// store (RGB rows go straight into it).
#pragma once

#include <cstdint>
#include <memory>

#include "decoder.h"

namespace brelvix {

class PxDecoderPNG : public PxDecoder {
public:
    PxDecoderPNG();
    ~PxDecoderPNG() override;

    // 1 when the store cannot be created (which includes every rejected
    // header), else 0. A libpng error while the rows are read keeps the rows
    // already stored: a truncated or damaged file shows what it holds.
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;

    // Creates the libpng structures, reads everything up to the image data
    // and requests the transformations for the file's colour type. Sizes the
    // bitmap with depth 8 (grey and palette files) or 32 (the rest) and
    // returns 0; 1 when libpng cannot be set up or rejects the file.
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;

    // The row copiers, for depth 8 and depth 32. Each reads every pass of
    // every row into the store. 1 when the rows cannot be read at all (no
    // header, no memory for the row buffers, an unexpected row layout) or
    // when libpng failed on the way; rows already stored stay.
    int ReadIndexedRows(PxBitmap& bitmap);
    int ReadRgbRows(PxBitmap& bitmap);

private:
    // libpng's read and info structures, destroyed with the decoder.
    struct Library;

    // The check before each row of each pass: the passes of an interlaced
    // image count by their share of the pixels.
    bool RowGoesOn(int pass, int passes, std::int64_t row, std::int64_t height) const;
    // Turns on interlace handling and lets libpng settle the row layout;
    // false when libpng fails or the rows would not be `rowBytes` long.
    bool StartRows(std::int64_t rowBytes, int* passes);
    // Rows of 1 or 4 bytes per pixel through row buffers into the store.
    int ReadRows(PxBitmap& bitmap, std::int64_t bytesPerPixel);
    // RGB rows, which arrive in the store's own layout, straight into it.
    int ReadRowsIntoStore(PxBitmap& bitmap);

    std::int32_t colorType = 0;
    std::int32_t bitDepth = 0;
    // The file has transparency (an alpha channel or tRNS), kept in the
    // bitmap's alpha plane.
    bool hasAlpha = false;
    // The file's one transparent colour comes to the rows as alpha.
    bool colorKeyAlpha = false;
    std::unique_ptr<Library> library;
};

}  // namespace brelvix
