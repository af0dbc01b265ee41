// Exif blocks written with libexif, and the few bytes that put one into a
// JPEG or PNG file made by the other writers.
#pragma once

#include <cstdint>
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

// The TIFF structure of an Exif block: the block without its 6-byte header.
std::vector<std::uint8_t> ExifWithoutHeader(const std::vector<std::uint8_t>& exif);

}  // namespace brelvix
