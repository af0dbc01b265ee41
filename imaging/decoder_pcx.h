// PCX pictures: run-length coded lines of one or more bit planes.
//
// Variants shown in their colours: 8 bits in one plane (256-colour palette
// at the end of the file, else the 16 header colours), 8 bits in three
// planes (red, green, blue), 1 bit in one plane (black and white), 1 bit in
// two to four planes (the header colours), 2 and 4 bits in one plane (the
// header colours) and 2 and 4 bits in three planes (red, green, blue).
#pragma once

#include <cstdint>

#include "decoder.h"

namespace brelvix {

class PxDecoderPCX : public PxDecoder {
public:
    // The template of the library: header, store, pixels. 1 when the header
    // is rejected or the store cannot be created.
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;
    // Reads the 128-byte header. -1 when the manufacturer is not 10, the
    // encoding not 1, or the depth and plane count are not a known pair;
    // else fills palette entries 0 to 15 from the header, sizes the bitmap
    // and returns 0.
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;

private:
    void DecodePixels(PxFileStream& stream, PxBitmap& bitmap);
    bool ReadEndPalette(PxFileStream& stream);

    std::uint8_t manufacturer = 0;
    std::uint8_t version = 0;
    std::uint8_t encoding = 0;
    std::int8_t bitsPerPixel = 0;
    std::uint16_t xMin = 0;
    std::uint16_t yMin = 0;
    std::uint16_t xMax = 0;
    std::uint16_t yMax = 0;
    std::uint16_t horizontalResolution = 0;
    std::uint16_t verticalResolution = 0;
    std::uint8_t headerPalette[48] = {};
    std::uint8_t reserved = 0;
    std::int8_t planes = 0;
    std::uint16_t bytesPerLine = 0;
    std::uint16_t paletteInfo = 0;
    std::uint8_t filler[58] = {};
};

}  // namespace brelvix
