// TIFF fixtures written with libtiff's own writer.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <string>
#include <vector>

namespace brelvix {

// One page (directory) of a TIFF file.
//
// `samples` holds the rows top first, each row packed as the file stores it:
// ceil(width * samplesPerPixel * bitsPerSample / 8) bytes for contiguous
// data, 16-bit samples in the machine's byte order. For separate planes
// (PLANARCONFIG_SEPARATE) it holds one plane after another, each of height
// rows of ceil(width * bitsPerSample / 8) bytes.
struct TiffPage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t samplesPerPixel = 1;
    std::uint16_t bitsPerSample = 8;
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t orientation = 0;  // 0: no Orientation tag
    std::uint16_t predictor = 0;    // 0: no Predictor tag
    std::uint32_t tileWidth = 0;    // 0: strips; else tiles of tileWidth x tileLength
    std::uint32_t tileLength = 0;
    std::uint32_t rowsPerStrip = 0;           // 0: libtiff's default
    std::vector<std::uint16_t> extraSamples;  // e.g. EXTRASAMPLE_UNASSALPHA
    // 2^bitsPerSample red values, then as many green, then blue.
    std::vector<std::uint16_t> colormap;
    std::vector<std::uint8_t> samples;
    std::vector<std::uint8_t> iccProfile;  // an ICC profile tag, when not empty
    std::string make;                      // a Make tag, when not empty
};

// Writes the pages to `path`; false when libtiff refuses.
bool WriteTiff(const std::string& path, const std::vector<TiffPage>& pages);

// Bytes of one packed row for `page` (contiguous layout).
std::uint32_t TiffRowBytes(const TiffPage& page);

// Appends a 16-bit sample in the machine's byte order.
void PushSample16(std::vector<std::uint8_t>* samples, std::uint16_t value);

}  // namespace brelvix
