// Targa pictures: true colour (15, 16, 24, 32 bits), colour-mapped and grey,
// uncompressed or run-length coded, first row at the bottom or the top.
#pragma once

#include <cstdint>

#include "decoder.h"

namespace brelvix {

class PxDecoderTGA : public PxDecoder {
public:
    // The template of the library: header, store, pixels. 1 only when the
    // store cannot be created (for instance width or height 0).
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;
    // Reads the 18-byte header, skips the ID field, reads the colour map of
    // colour-mapped pictures (skips it otherwise) and sizes the bitmap.
    // Never rejects a file: always 0.
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;

private:
    void ReadColorMap(PxFileStream& stream);
    void DecodePixels(PxFileStream& stream, PxBitmap& bitmap);

    std::uint8_t idLength = 0;
    std::uint8_t colorMapType = 0;
    std::uint8_t imageType = 0;
    std::uint16_t firstEntry = 0;
    std::uint16_t colorMapLength = 0;
    std::uint8_t colorMapEntrySize = 0;
    std::uint16_t xOrigin = 0;
    std::uint16_t yOrigin = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t pixelDepth = 0;
    std::uint8_t imageDescriptor = 0;

    // Colour-map entries held in `scratch` as blue, green, red triplets.
    // Entries the file does not hold are not counted and show black.
    std::uint32_t colorMapHeld = 0;
};

}  // namespace brelvix
