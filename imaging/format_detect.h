// Format ids and the content-based format test.
#pragma once

#include <cstdint>

namespace brelvix {

enum PxFormatId : std::int32_t {
    kPxFormatUnknown = 0,
    kPxFormatBMP = 1,
    kPxFormatTGA = 3,
    kPxFormatTIFF = 4,
    kPxFormatJPEG = 5,
    kPxFormatPNG = 6,
    kPxFormatPCX = 10,
    kPxFormatGIF = 12,
    kPxFormatPSD = 14,
};

// Classifies the first 20 bytes of a file (bytes past the end are zero).
// Never looks at a file name.
int PxClassifyFormat(const std::uint8_t* bytes);

}  // namespace brelvix
