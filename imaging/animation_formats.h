// The formats' frame sources behind PxAnimation::Open; one source file each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "animation.h"
#include "file_stream.h"
#include "pixel_memory.h"

namespace brelvix {

// A whole file read into memory, for the libraries that read from memory.
struct PxFileBytes {
    PxBuffer<std::uint8_t> data;
    std::size_t size = 0;
};

// Each returns null when the file is damaged before its first frame or the
// memory cannot be had. The GIF source reads from the stream (open, at any
// position) as the frames are asked for.
std::unique_ptr<PxAnimation> PxOpenGifAnimation(std::unique_ptr<PxFileStream> stream, PxLoadControl* control);
std::unique_ptr<PxAnimation> PxOpenPngAnimation(PxFileBytes file, PxLoadControl* control);
std::unique_ptr<PxAnimation> PxOpenWebPAnimation(PxFileBytes file, PxLoadControl* control);
std::unique_ptr<PxAnimation> PxOpenJxlAnimation(PxFileBytes file, PxLoadControl* control);
std::unique_ptr<PxAnimation> PxOpenAvifAnimation(PxFileBytes file, PxLoadControl* control);

// Milliseconds in `count` units of `numerator` / `denominator` seconds,
// truncated and at most INT32_MAX; 0 when the denominator is 0.
std::int32_t PxDelayMs(std::uint64_t count, std::uint64_t numerator, std::uint64_t denominator);

}  // namespace brelvix
