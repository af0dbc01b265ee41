#include "format_detect.h"

#include <cstddef>
#include <cstring>
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

// Whether the bytes at `b` are those of `text` (its terminator not included;
// it may hold zero bytes).
template <std::size_t N>
bool Is(const std::uint8_t* b, const char (&text)[N])
{
    return std::memcmp(b, text, N - 1) == 0;
}

// Whether the four bytes at `brand` are one of `brands`.
bool OneOfBrands(const std::uint8_t* brand, std::initializer_list<const char*> brands)
{
    for (const char* candidate : brands) {
        if (std::memcmp(brand, candidate, 4) == 0) {
            return true;
        }
    }
    return false;
}

// AVIF and HEIF share the ISO base media file: a "ftyp" box first, whose
// major brand (bytes 8 to 11) names the kind of picture. A file whose major
// brand is only the generic image brand tells by its first compatible
// brand (bytes 16 to 19), which writers of AVIF set to "avif".
int ClassifyIsoMedia(const std::uint8_t* b)
{
    const std::uint32_t boxSize =
        std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
    if (!Is(b + 4, "ftyp") || boxSize < 16) {
        return kPxFormatUnknown;
    }
    const std::uint8_t* major = b + 8;
    if (OneOfBrands(major, {"avif", "avis"})) {
        return kPxFormatAVIF;
    }
    if (OneOfBrands(major, {"mif1", "msf1"}) && boxSize >= 20 && OneOfBrands(b + 16, {"avif", "avis"})) {
        return kPxFormatAVIF;
    }
    if (OneOfBrands(major, {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs", "mif1", "msf1"})) {
        return kPxFormatHEIF;
    }
    return kPxFormatUnknown;
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
    // The newer formats all carry a signature, so they are told apart before
    // the Targa test, which has none.
    if (Is(b, "RIFF") && Is(b + 8, "WEBP")) {
        return kPxFormatWebP;
    }
    // A bare JPEG XL codestream, or the JPEG XL container's signature box.
    if ((b[0] == 0xFF && b[1] == 0x0A) || Is(b, "\0\0\0\x0CJXL \r\n\x87\n")) {
        return kPxFormatJXL;
    }
    if (const int isoMedia = ClassifyIsoMedia(b); isoMedia != kPxFormatUnknown) {
        return isoMedia;
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
