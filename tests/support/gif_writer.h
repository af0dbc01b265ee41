// GIF fixtures written with giflib's own encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/pixels.h"

namespace brelvix {

// One image of a GIF file. `indices` holds width x height pixel values, top
// row first; the writer stores them in interlaced order when asked.
struct GifFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlace = false;
    std::vector<Rgb> localTable;  // empty: the image has no table of its own
    std::vector<std::uint8_t> indices;
    bool graphicsControl = false;  // a graphics control extension precedes the image
    // Its fields, when it does: what happens to the image's rectangle
    // before the next image (0 to 3), the pixel value that is transparent
    // (none when negative) and the delay in hundredths of a second.
    int disposal = 1;
    int transparentIndex = -1;
    int delayCs = 10;
};

struct GifPicture {
    int width = 0;  // logical screen
    int height = 0;
    std::vector<Rgb> globalTable;       // empty: no global table
    int background = 0;                 // background colour index
    std::vector<std::string> comments;  // comment extensions before the first image
    int repeats = -1;                   // a NETSCAPE2.0 repeat count before the first image, when not negative
    std::vector<GifFrame> frames;
};

// The encoded file, or an empty vector when giflib refuses the picture.
// Tables are padded with black to a power of two (giflib's rule); the
// pixel values of each image are limited to its table's bit depth.
std::vector<std::uint8_t> GifBytes(const GifPicture& picture);

// Declares a global table of `entries` entries (a power of two from 2 to
// 256, or 0 for none) in an encoded file, keeping everything else as
// written: the image data then carries values beyond the declared table.
void ShrinkGlobalTable(std::vector<std::uint8_t>* bytes, int entries);

// A `width` x `height` picture of distinct values (x + 3y + 7 mod 256)
// with a 256-entry table whose entry i is (i, 255 - i, i * 7 mod 256).
std::vector<std::uint8_t> GifTestIndices(int width, int height);
std::vector<Rgb> GifTestTable();

}  // namespace brelvix
