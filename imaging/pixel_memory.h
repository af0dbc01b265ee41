// Zeroed memory for pixel stores and other large picture buffers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brelvix {

// Returns `bytes` bytes of zeroed memory, or null. Large blocks come straight
// from the kernel (already zero, backed by huge pages where the system allows
// it), which keeps the first-touch cost of a fresh 70 MB store low.
void* PxAllocatePixelMemory(std::uint64_t bytes);
// Releases a block from PxAllocatePixelMemory; `bytes` must be the size asked for.
void PxReleasePixelMemory(void* memory, std::uint64_t bytes);

}  // namespace brelvix
