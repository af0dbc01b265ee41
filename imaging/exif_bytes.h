// The Exif block of a picture as PxPictureMeta keeps it: a TIFF structure,
// byte-order mark first, whatever wrapper its file put around it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brelvix {

// The TIFF structure inside an Exif block as a container keeps it: after
// JPEG's "Exif\0\0", after the 4-byte offset HEIF, AVIF and JPEG XL put in
// front of it, or as it is (PNG, WebP). Empty when no TIFF header is found
// where one belongs, or when the block is larger than kPxMaxExifBytes.
std::vector<std::uint8_t> PxExifFromBlock(const std::uint8_t* data, std::size_t size);

// A compact Exif block for a TIFF file, whose own first directory is where
// cameras and scanners write what other formats keep in Exif: that
// directory's descriptive tags (maker, model, date, orientation, author and
// the like, not the layout of the pixels) with its Exif and GPS
// directories, copied with their values into a structure of their own.
// Empty when the file has none of them or is damaged where they lie.
std::vector<std::uint8_t> PxExifFromTiff(const std::uint8_t* data, std::size_t size);

}  // namespace brelvix
