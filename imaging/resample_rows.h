// The resampler's row loops, apart from the weight arithmetic.
//
// Every variant computes the same integers: each result byte is
// (sum of weight * byte + 128) / 256 with weights from 0 to 256 that add up
// to 256. Such a sum never exceeds 255 * 256 + 128, so the vector versions
// may add in 16-bit lanes and the results need no clamping.
#pragma once

#include <cstdint>

#include "pixel_memory.h"

namespace brelvix {

// The inputs of one output sample, without the zero weights at either end
// of its window (a zero term adds nothing to a sum).
struct PxWindow {
    std::int32_t first;   // first input used
    std::int32_t taps;    // number of inputs used
    std::int64_t offset;  // of its first weight in PxPass::weights
};

// One pass of the resampler in the form the loops use.
struct PxPass {
    PxBuffer<PxWindow> windows;
    PxBuffer<std::uint16_t> weights;
    std::int32_t count = 0;  // output samples
    std::int32_t maxTaps = 0;
    bool identity = false;  // every output is the input of the same index, unchanged

    // For the vector form of the horizontal pass: per output, `groups`
    // blocks of 16 lanes, each block the weights of four inputs laid out as
    // w0 w1 w0 w1 w0 w1 0 0 w2 w3 w2 w3 w2 w3 0 0. Outputs below
    // `vectorCount` may read 16 bytes at the start of each group of four
    // inputs without leaving the row.
    PxBuffer<std::int16_t> lanes;
    std::int32_t groups = 0;
    std::int32_t vectorCount = 0;
};

struct PxContributionTable;

// Checks a contribution table and packs it. The loops rely on what is
// checked: windows inside the input, weights from 0 to 256 adding up to 256.
// Returns false when the table breaks that or memory cannot be had.
bool PxPackPass(const PxContributionTable& table, std::int32_t inCount, PxPass* pass);

// Fills the vector form of a horizontal pass whose windows and weights are
// set. Returns false when the memory cannot be had.
bool PxPrepareLanes(PxPass* pass, std::int32_t inCount);

// Bytes a row written by a horizontal loop needs after its pixels: the
// vector loops store 4 bytes for 3, or 16 for 12.
inline constexpr std::int64_t kPxRowSlack = 4;

struct PxRowKernels {
    const char* name;
    // Horizontal pass over one row of 3-byte pixels into `out`.
    void (*filterRow)(const std::uint8_t* source, std::uint8_t* out, const PxPass& pass);
    // Vertical pass: `bytes` bytes of `taps` input rows into one output row.
    void (*blendRows)(const std::uint8_t* const* in, const std::uint16_t* weights, std::int32_t taps, std::uint8_t* out,
                      std::int64_t bytes);
};

// The fastest loops this processor runs.
const PxRowKernels& PxBestRowKernels();

// Every variant this processor runs, ending with the plain one; `count`
// receives how many.
const PxRowKernels* PxAvailableRowKernels(int* count);

}  // namespace brelvix
