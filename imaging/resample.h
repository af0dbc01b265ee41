// Separable two-pass resampling of 24-bit pictures.
//
// Each pass filters one direction with integer weights in units of 1/256
// that sum to exactly 256, and rounds every result to a byte: the horizontal
// pass first, into an intermediate picture as wide as the destination and as
// high as the source, then the vertical pass. Equal sizes copy exactly.
#pragma once

#include <cstdint>
#include <memory>

#include "pixel_memory.h"

namespace brelvix {

// Radius of the tent filter PxBitmap::Scale uses; it is also the support the
// contribution windows are sized for.
inline constexpr double kPxScaleRadius = 0.64;

// A one-dimensional filter kernel.
class PxFilter {
public:
    virtual ~PxFilter() = default;
    virtual double Evaluate(double x) const = 0;
};

// The tent: radius - |x| inside the radius, 0 outside.
class PxTriangleFilter : public PxFilter {
public:
    explicit PxTriangleFilter(double newRadius) : radius(newRadius) {}
    double Evaluate(double x) const override;

    double radius;
};

// The inputs one output sample is made of.
struct PxContribution {
    std::int32_t* weights = nullptr;  // windowSize entries, inputs left to right, units of 1/256
    std::int32_t left = 0;            // first input used
    std::int32_t right = 0;           // last input used (inclusive)
};

// The weights of one pass: one entry per output sample.
struct PxContributionTable {
    PxBuffer<PxContribution> entries;
    PxBuffer<std::int32_t> weightBlock;           // holds every entry's weights
    std::int32_t windowSize = 0;                  // capacity of each entry's weights
    std::int32_t count = 0;                       // number of output samples
};

class PxResampler {
public:
    // The filter is used, not owned; it must outlive the resampler.
    explicit PxResampler(const PxFilter* newFilter) : filter(newFilter) {}
    virtual ~PxResampler() = default;

    // Resamples a sourceWidth x sourceHeight picture into a destinationWidth x
    // destinationHeight one. The row tables address rows of 3-byte pixels
    // (entry 0 is the bottom row of both pictures); every destination pixel
    // is written, bytes past a row's pixels are not touched. Returns 0, or 1
    // when a size is not positive or working memory cannot be had; the
    // destination is then left as it was.
    int Resize(const std::uint8_t* const* sourceRows, std::int32_t sourceWidth, std::int32_t sourceHeight,
               std::uint8_t* const* destinationRows, std::int32_t destinationWidth,
               std::int32_t destinationHeight) const;

    // One part of what Resize would make: the `width` x `height` pixels
    // starting at column `left` and row `bottom` of the destinationWidth x
    // destinationHeight picture (rows numbered as the row tables number them,
    // 0 = bottom). `destinationRows` has `height` entries, entry 0 for row
    // `bottom`. Every byte is the one Resize writes at that place; only the
    // source rows the part needs are filtered, so the cost follows the part,
    // not the whole picture. Returns 0, or 1 when a size is not positive, the
    // part is not inside the picture or working memory cannot be had.
    // `channels` is 1 for rows of one byte a pixel (an alpha plane), which
    // are filtered with the same weights.
    int ResizePart(const std::uint8_t* const* sourceRows, std::int32_t sourceWidth, std::int32_t sourceHeight,
                   std::int32_t destinationWidth, std::int32_t destinationHeight, std::int32_t left,
                   std::int32_t bottom, std::int32_t width, std::int32_t height, std::uint8_t* const* destinationRows,
                   std::int32_t channels = 3) const;

    // The weights for making outCount samples out of inCount with the factor
    // `scale` (outCount / inCount). Null when the counts are not positive or
    // the table cannot be allocated.
    std::unique_ptr<PxContributionTable> ComputeContributions(std::int32_t outCount, std::int32_t inCount,
                                                              double scale) const;

private:
    // The entries of outputs first .. first + outCount - 1 of a pass with
    // the factor `scale`: exactly those a whole table has at those outputs.
    std::unique_ptr<PxContributionTable> ContributionRange(std::int32_t first, std::int32_t outCount,
                                                           std::int32_t inCount, double scale) const;

    const PxFilter* filter;
};

}  // namespace brelvix
