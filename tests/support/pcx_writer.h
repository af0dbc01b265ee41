// Builds PCX files byte by byte for tests, samples and benchmarks.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace brelvix {

struct PcxOptions {
    std::uint8_t version = 5;
    std::uint8_t encoding = 1;
    std::uint8_t bitsPerPixel = 8;
    std::uint8_t planes = 1;
    // Bytes per line of one plane; -1 picks the smallest even count that
    // holds the picture's samples, as the format asks.
    int bytesPerLine = -1;
    std::uint16_t xMin = 0;
    std::uint16_t yMin = 0;
    std::array<std::uint8_t, 48> headerPalette{};  // 16 entries of red, green, blue
    // With 768 bytes (256 entries of red, green, blue): appended after the
    // marker byte 12 at the end of the file.
    std::vector<std::uint8_t> endPalette;
};

// The bytes-per-line field that `options` gives a picture `width` pixels wide.
int PcxBytesPerLine(int width, const PcxOptions& options);
// Bytes of one plane line as coded: the field, or the samples' bytes when
// the field is shorter.
int PcxPlaneBytes(int width, const PcxOptions& options);

// The 128-byte header of a width x height picture.
std::vector<std::uint8_t> PcxHeader(int width, int height, const PcxOptions& options);

// A whole file. `lines` holds the decoded lines top-down, each `planes`
// planes of PcxPlaneBytes bytes; every line is run-length coded on its
// own, as common writers do.
std::vector<std::uint8_t> WritePcx(int width, int height, const std::vector<std::uint8_t>& lines,
                                   const PcxOptions& options);

// Packs one sample per pixel (top-down rows; index or level of
// `bitsPerPixel` bits) into lines. With several planes of 1 bit, plane p
// holds bit p of each sample; with 3 planes of 2 to 8 bits, `samples`
// holds red, green, blue triplets and plane 0 gets red.
std::vector<std::uint8_t> PcxLines(int width, int height, const std::vector<std::uint8_t>& samples,
                                   const PcxOptions& options);

// Reduces top-down red, green, blue triplets to 256 colours (3 bits red,
// 3 green, 2 blue, nearest per channel): returns one index per pixel and
// stores the 768-byte palette in `palette`.
std::vector<std::uint8_t> PcxIndicesFromRgb(const std::vector<std::uint8_t>& rgb, std::vector<std::uint8_t>* palette);

}  // namespace brelvix
