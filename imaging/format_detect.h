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
    // Formats of cameras and the web, each read by its own project's library.
    // Numbered after the original ones so that no stored or reported id
    // changes meaning.
    kPxFormatWebP = 15,
    kPxFormatAVIF = 16,
    kPxFormatHEIF = 17,
    kPxFormatJXL = 18,
};

// Classifies the first 20 bytes of a file (bytes past the end are zero).
// Never looks at a file name.
int PxClassifyFormat(const std::uint8_t* bytes);

}  // namespace brelvix
