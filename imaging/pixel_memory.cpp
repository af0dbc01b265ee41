#include "pixel_memory.h"

#include <sys/mman.h>

#include <atomic>
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

std::atomic<std::uint64_t> inUse{0};
std::atomic<std::uint64_t> peak{0};

void Count(std::uint64_t bytes)
{
    const std::uint64_t now = inUse.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    std::uint64_t highest = peak.load(std::memory_order_relaxed);
    while (now > highest && !peak.compare_exchange_weak(highest, now, std::memory_order_relaxed)) {
    }
}

}  // namespace

void* PxAllocatePixelMemory(std::uint64_t bytes)
{
    if (bytes == 0 || bytes > SIZE_MAX / 2) {
        return nullptr;
    }
    if (bytes < kMapThreshold) {
        void* memory = std::calloc(1, static_cast<std::size_t>(bytes));
        if (memory != nullptr) {
            Count(bytes);
        }
        return memory;
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
    Count(bytes);
    return memory;
}

void PxReleasePixelMemory(void* memory, std::uint64_t bytes)
{
    if (memory == nullptr) {
        return;
    }
    inUse.fetch_sub(bytes, std::memory_order_relaxed);
    if (bytes < kMapThreshold) {
        std::free(memory);
        return;
    }
    munmap(memory, static_cast<std::size_t>(MappedLength(bytes)));
}

std::uint64_t PxPixelMemoryInUse()
{
    return inUse.load(std::memory_order_relaxed);
}

std::uint64_t PxPixelMemoryPeak()
{
    return peak.load(std::memory_order_relaxed);
}

void PxResetPixelMemoryPeak()
{
    peak.store(inUse.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

}  // namespace brelvix
