// Finding a picture file's Exif block without decoding the picture.
//
// Sorting a folder by the date pictures were taken reads the block of every
// file, so only the file's structure is walked, never its pixels: JPEG's
// segments up to the first scan, PNG's chunks up to the image data, WebP's
// RIFF chunks, the JPEG XL container's boxes, a TIFF file's first directory
// with its Exif and GPS directories, and the HEIF and AVIF item tables
// through libheif. Each walk is bounded (segments, chunks, boxes and
// directory entries counted, sizes capped), so a damaged file costs no more
// than a sound one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brelvix {

// No Exif block of a photo comes near this; a larger one is not read.
inline constexpr std::uint64_t kPxMaxExifBlockBytes = std::uint64_t{4} << 20;

// Fills `block` with the Exif block of the picture at `path` (the TIFF
// structure, with or without JPEG's "Exif" header in front, as
// PxReadExifInfo takes it) and returns true; false when the file cannot be
// read, is of another format, or carries no block. The format is told by
// the content, as for loading.
bool PxReadExifBlockOfFile(const std::string& path, std::vector<std::uint8_t>* block);

}  // namespace brelvix
