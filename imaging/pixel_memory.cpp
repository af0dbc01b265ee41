#include "pixel_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace brelvix {

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
    // The kernel backs a mapping with huge pages only where a whole 2 MiB
    // page fits at a 2 MiB boundary, so the block is placed on one: map a
    // huge page more than needed and return the slack at both ends. Fresh
    // anonymous pages are zero, and a fresh store is then mostly faulted in
    // 2 MiB at a time instead of 4 KiB.
    const std::uint64_t length = MappedLength(bytes);
    const std::uint64_t reserved = length + kHugePage;
    void* mapped = mmap(nullptr, static_cast<std::size_t>(reserved), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapped == MAP_FAILED) {
        return nullptr;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~static_cast<std::uintptr_t>(kHugePage - 1);
    const std::uintptr_t head = aligned - start;
    const std::uintptr_t tail = static_cast<std::uintptr_t>(reserved) - head - static_cast<std::uintptr_t>(length);
    if (head > 0) {
        munmap(mapped, head);
    }
    if (tail > 0) {
        munmap(reinterpret_cast<void*>(aligned + length), tail);
    }
    void* memory = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(memory, static_cast<std::size_t>(length), MADV_HUGEPAGE);
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

}  // namespace brelvix
