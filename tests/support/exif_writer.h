// Exif blocks written with libexif, and the few bytes that put one into a
// JPEG or PNG file made by the other writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brelvix {

// An Exif block ("Exif", two zero bytes, then the TIFF structure, as JPEG's
// APP1 segment holds it) whose first directory has an Orientation tag of
// `orientation` (any 16-bit value), in big-endian (Motorola) or
// little-endian (Intel) byte order.
std::vector<std::uint8_t> ExifWithOrientation(int orientation, bool bigEndian = false);

// The JPEG file with an APP1 segment holding `exif` right after its start marker.
std::vector<std::uint8_t> JpegWithExif(const std::vector<std::uint8_t>& jpeg, const std::vector<std::uint8_t>& exif);

// The PNG file with an eXIf chunk holding the TIFF structure of `exif` (the
// block without its "Exif" header) right after the header chunk.
std::vector<std::uint8_t> PngWithExif(const std::vector<std::uint8_t>& png, const std::vector<std::uint8_t>& exif);

// One entry of an Exif directory, written by hand so that tests can also
// make it lie.
struct ExifTag {
    ExifTag(std::uint16_t tag_, std::uint16_t type_) : tag(tag_), type(type_) {}

    std::uint16_t tag = 0;
    std::uint16_t type = 0;               // 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL
    std::vector<std::uint32_t> numbers;   // SHORT or LONG values; RATIONAL numerator, denominator pairs
    std::string text;                     // ASCII, written with its NUL
    std::optional<std::uint32_t> count;   // a count other than the true one
    std::optional<std::uint32_t> offset;  // a value offset other than where the value is
};

ExifTag ExifText(std::uint16_t tag, const std::string& text);
ExifTag ExifShorts(std::uint16_t tag, std::vector<std::uint32_t> values);
ExifTag ExifLongs(std::uint16_t tag, std::vector<std::uint32_t> values);
ExifTag ExifRationals(std::uint16_t tag, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& values);

// The first directory, and the Exif and GPS directories it points to (each
// left out when empty).
struct ExifDirectories {
    std::vector<ExifTag> primary;
    std::vector<ExifTag> exif;
    std::vector<ExifTag> gps;
};

// An Exif block with the "Exif" header, in either byte order; `padding`
// zero bytes stand between the TIFF header and the first directory, as a
// TIFF file's pixels may.
std::vector<std::uint8_t> MakeExifBlock(const ExifDirectories& directories, bool bigEndian = false,
                                        std::size_t padding = 0);

// The TIFF structure of an Exif block: the block without its 6-byte header.
std::vector<std::uint8_t> ExifWithoutHeader(const std::vector<std::uint8_t>& exif);

}  // namespace brelvix
