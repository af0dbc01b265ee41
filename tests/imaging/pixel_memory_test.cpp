#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "imaging/pixel_memory.h"

namespace brelvix {

namespace {

TEST(PxAllocatePixelMemory, LargeBlocksAreZeroAndOnHugePageBoundaries)
{
    // Sizes around the mapping threshold and the 2 MiB page, odd on purpose.
    for (const std::uint64_t bytes : {std::uint64_t{100}, std::uint64_t{(1u << 20) - 1}, std::uint64_t{1u << 20},
                                      std::uint64_t{(5u << 20) + 3}, std::uint64_t{72'000'000}}) {
        auto* memory = static_cast<std::uint8_t*>(PxAllocatePixelMemory(bytes));
        ASSERT_NE(memory, nullptr) << bytes;
        if (bytes >= (1u << 20)) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % (2u << 20), 0u) << bytes;
        }
        for (const std::uint64_t at : {std::uint64_t{0}, bytes / 2, bytes - 1}) {
            ASSERT_EQ(memory[at], 0) << bytes << " at " << at;
        }
        // The whole block is usable, up to its last byte.
        const std::uint64_t tail = bytes < 4096 ? bytes : 4096;
        std::memset(memory + bytes - tail, 0xAB, tail);
        PxReleasePixelMemory(memory, bytes);
    }
    EXPECT_EQ(PxAllocatePixelMemory(0), nullptr);
}

TEST(PxZeroed, SizesAreCheckedAgainstTheCapWithoutOverflow)
{
    constexpr std::uint64_t kWords = kPxMaxStoreBytes / 4;
    const struct {
        std::uint64_t count;
        std::uint64_t capBytes;
        bool given;
    } cases[] = {
        {0, kPxMaxStoreBytes, false},
        {1, kPxMaxStoreBytes, true},
        {kWords, kPxMaxStoreBytes, true},  // exactly the cap
        {kWords + 1, kPxMaxStoreBytes, false},
        {(std::uint64_t{1} << 62) + 1, kPxMaxStoreBytes, false},  // 4 * count wraps to 4
        {UINT64_MAX / 4, UINT64_MAX, false},                      // more than memory can give
        {kWords + 1, 2 * kPxMaxStoreBytes, true},
        {3, 8, false},
    };
    for (const auto& c : cases) {
        const PxBuffer<std::uint32_t> block = PxZeroed<std::uint32_t>(c.count, c.capBytes);
        ASSERT_EQ(block != nullptr, c.given) << c.count << " words, cap " << c.capBytes;
        if (block) {
            EXPECT_EQ(block.get_deleter().bytes, 4 * c.count);
            EXPECT_EQ(block[0], 0u);
            EXPECT_EQ(block[c.count - 1], 0u);
        }
    }
}

}  // namespace

}  // namespace brelvix
