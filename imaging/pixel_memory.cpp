#include "pixel_memory.h"

#include <sys/mman.h>

#include <cstdlib>

namespace {

// Below this size the C allocator is cheaper than a mapping of our own.
constexpr std::uint64_t kMapThreshold = std::uint64_t{1} << 20;
constexpr std::uint64_t kHugePage = std::uint64_t{2} << 20;

std::uint64_t MappedLength(std::uint64_t bytes)
{
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

}  // namespace

void* PxAllocatePixelMemory(std::uint64_t bytes)
{
    if (bytes == 0 || bytes > SIZE_MAX / 2) {
        return nullptr;
    }
    if (bytes < kMapThreshold) {
        return std::calloc(1, static_cast<std::size_t>(bytes));
    }
    const std::size_t length = static_cast<std::size_t>(MappedLength(bytes));
    void* memory = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED) {
        return nullptr;
    }
#ifdef MADV_HUGEPAGE
    madvise(memory, length, MADV_HUGEPAGE);
#endif
    return memory;
}

void PxReleasePixelMemory(void* memory, std::uint64_t bytes)
{
    if (memory == nullptr) {
        return;
    }
    if (bytes < kMapThreshold) {
        std::free(memory);
        return;
    }
    munmap(memory, static_cast<std::size_t>(MappedLength(bytes)));
}
