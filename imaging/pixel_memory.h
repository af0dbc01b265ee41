// How the picture library owns memory and library handles.
//
// Every block a decoder, the stream or the resampler needs (pixel stores,
// row buffers, whole files kept for a codec library, tables sized by
// numbers read from a file) comes from PxZeroed: the size is checked for
// overflow and against the store cap before anything is allocated, the
// block is zero, and scope releases it. A codec library's own handle is
// held the same way, in a std::unique_ptr whose deleter is the library's
// release function (PxReleaseWith). No exit path frees anything by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

namespace brelvix {

// Largest pixel store (stride x height) the library will create, and the
// largest block PxZeroed hands out. A header that claims more is treated
// like a picture the machine has no memory for: the load fails with 1
// instead of exhausting memory.
inline constexpr std::uint64_t kPxMaxStoreBytes = std::uint64_t{1} << 30;  // 1 GiB

// Returns `bytes` bytes of zeroed memory, or null. Large blocks come straight
// from the kernel (already zero, backed by huge pages where the system allows
// it), which keeps the first-touch cost of a fresh 70 MB store low.
void* PxAllocatePixelMemory(std::uint64_t bytes);
// Releases a block from PxAllocatePixelMemory; `bytes` must be the size asked for.
void PxReleasePixelMemory(void* memory, std::uint64_t bytes);

// The bytes of the blocks from PxAllocatePixelMemory not yet released, in
// the whole process, and the most there were at once since the last reset:
// what pictures, frames and the decoders' working blocks cost.
std::uint64_t PxPixelMemoryInUse();
std::uint64_t PxPixelMemoryPeak();
void PxResetPixelMemoryPeak();

// The deleter of a PxBuffer: it carries the block's size, which the release needs.
struct PxMemoryRelease {
    std::uint64_t bytes = 0;
    void operator()(void* memory) const { PxReleasePixelMemory(memory, bytes); }
};

// An owned block of elements; released when it goes out of scope.
template <typename T>
using PxBuffer = std::unique_ptr<T[], PxMemoryRelease>;

// `count` zeroed elements of T, owned by the result; null (never an
// exception) when `count` is 0, when count * sizeof(T) exceeds `capBytes`
// (checked without overflow) or when the memory cannot be had. Callers test
// the result and treat null like a picture too large for memory.
//
// T must be a type whose all-zero bytes are a valid value and that needs no
// destructor: bytes, integers, pointers, plain structs of those. The block
// is aligned for any such type.
//
//     auto rows = PxZeroed<std::uint32_t>(count);  // null past the store cap
//     if (!rows) { return 1; }
template <typename T>
PxBuffer<T> PxZeroed(std::uint64_t count, std::uint64_t capBytes = kPxMaxStoreBytes)
{
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "PxZeroed hands out raw zeroed memory; T must not need construction or destruction");
    static_assert(alignof(T) <= alignof(std::max_align_t));
    if (count == 0 || count > capBytes / sizeof(T)) {
        return PxBuffer<T>();
    }
    const std::uint64_t bytes = count * sizeof(T);
    return PxBuffer<T>(static_cast<T*>(PxAllocatePixelMemory(bytes)), PxMemoryRelease{bytes});
}

// The deleter for a codec library's handle whose release function takes the
// handle alone, so that the handle is released by scope on every path:
//
//     using TiffHandle = std::unique_ptr<TIFF, PxReleaseWith<&TIFFClose>>;
//
// Release functions that need more (an error out-parameter, a second
// structure) get a small deleter or owner of their own in the decoder's
// source file.
template <auto Release>
struct PxReleaseWith {
    template <typename Handle>
    void operator()(Handle* handle) const
    {
        Release(handle);
    }
};

}  // namespace brelvix
