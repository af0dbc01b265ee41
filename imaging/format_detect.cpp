#include "format_detect.h"

#include <initializer_list>

namespace brelvix {

namespace {

bool OneOf(std::uint8_t value, std::initializer_list<std::uint8_t> allowed)
{
    for (const std::uint8_t candidate : allowed) {
        if (value == candidate) {
            return true;
        }
    }
    return false;
}

// Targa has no signature: a header is taken as Targa when its colour-map
// type, image type, colour-map entry size and pixel depth are all plausible.
bool LooksLikeTarga(const std::uint8_t* b)
{
    return OneOf(b[1], {0, 1}) && OneOf(b[2], {0, 1, 2, 3, 9, 10, 11}) && OneOf(b[7], {0, 8, 15, 16, 24, 32}) &&
           OneOf(b[16], {8, 15, 16, 24, 32});
}

}  // namespace

int PxClassifyFormat(const std::uint8_t* b)
{
    if (b[0] == 'B' && (b[1] == 'A' || b[1] == 'M')) {
        return kPxFormatBMP;
    }
    if (b[0] == 'I' && b[1] == 'C') {
        return kPxFormatBMP;
    }
    if (b[0] == 'C' && (b[1] == 'I' || b[1] == 'P')) {
        return kPxFormatBMP;
    }
    if (b[0] == 'G' && b[1] == 'I' && b[2] == 'F' && b[3] == '8') {
        return kPxFormatGIF;
    }
    if ((b[0] == 0x49 && b[1] == 0x49 && b[2] == 0x2A && b[3] == 0x00) ||
        (b[0] == 0x4D && b[1] == 0x4D && b[2] == 0x00 && b[3] == 0x2A)) {
        return kPxFormatTIFF;
    }
    if (b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) {
        return kPxFormatJPEG;
    }
    if (b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') {
        return kPxFormatPNG;
    }
    // Targa before PCX: a PCX header of version 0 or 1 can pass the Targa test.
    if (LooksLikeTarga(b)) {
        return kPxFormatTGA;
    }
    if (b[0] == 10 && b[2] == 1) {
        return kPxFormatPCX;
    }
    if (b[0] == '8' && b[1] == 'B' && b[2] == 'P' && b[3] == 'S') {
        return kPxFormatPSD;
    }
    return kPxFormatUnknown;
}

}  // namespace brelvix
