// A libtiff client that serves reads, writes and seeks from one block of
// memory ("MemSource"), so that libtiff decodes a file already read into
// memory (and tests can write one there).
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>

#include "pixel_memory.h"

namespace brelvix {

// A libtiff handle, closed (and with it the memory client) when it goes.
using PxTiffHandle = std::unique_ptr<TIFF, PxReleaseWith<&TIFFClose>>;

// Opens `length` bytes at `data` as a TIFF. Without `sizeReference` the
// block is read; with it, libtiff writes into the block (at most `length`
// bytes), and *sizeReference starts at 0 and grows to the written size. The
// block must outlive the handle. libtiff's messages are discarded for this
// handle only; the process-wide handlers stay as they are. Null when
// libtiff rejects the data.
PxTiffHandle OpenMemoryTiff(std::uint8_t* data, std::uint64_t length, std::uint64_t* sizeReference = nullptr);

}  // namespace brelvix
