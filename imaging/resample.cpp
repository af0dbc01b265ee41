#include "resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "bitmap.h"
#include "parallel.h"
#include "resample_rows.h"

namespace brelvix {

// The weights must come out of the same double arithmetic on every build:
// a fused multiply-add would round differently and move a weight by one.
#ifdef __clang__
#pragma STDC FP_CONTRACT OFF
#endif

namespace {

// Multiply-adds below which a band is not worth a thread of its own.
constexpr std::int64_t kWorkPerBand = 4 << 20;

// The intermediate picture, made row by row as the vertical pass asks for
// rows and kept in a ring large enough for any one output row's window. Its
// bytes are those of the whole intermediate picture; only less of it is in
// memory (and in cache) at a time, and no row is filtered twice unless a
// window steps back further than the ring reaches.
class Intermediate {
public:
    // `channels` is 3 for the store's pixels, 1 for an alpha plane.
    Intermediate(const std::uint8_t* const* sourceRows, const PxPass& horizontal, const PxRowKernels& rowKernels,
                 std::int32_t channelCount)
        : rows(sourceRows), pass(horizontal), kernels(rowKernels), channels(channelCount)
    {
    }

    bool Allocate(std::int32_t sourceHeight, std::int32_t maxTaps)
    {
        if (pass.identity) {
            // The source rows serve as they are.
            return true;
        }
        // A window may step back by one input while its right end moves on;
        // two spare rows keep every row of a window resident.
        slots = std::min<std::int64_t>(sourceHeight, static_cast<std::int64_t>(maxTaps) + 2);
        rowBytes = channels * static_cast<std::int64_t>(pass.count) + kPxRowSlack;
        memory = PxZeroed<std::uint8_t>(static_cast<std::uint64_t>(slots) * static_cast<std::uint64_t>(rowBytes));
        tags = PxZeroed<std::int32_t>(static_cast<std::uint64_t>(slots));
        if (!memory || !tags) {
            return false;
        }
        std::fill(tags.get(), tags.get() + slots, -1);
        return true;
    }

    const std::uint8_t* Row(std::int32_t k)
    {
        if (pass.identity) {
            return rows[k];
        }
        const std::int64_t slot = k % slots;
        std::uint8_t* row = memory.get() + slot * rowBytes;
        if (tags[slot] != k) {
            if (channels == 1) {
                FilterPlaneRow(rows[k], row, pass);
            } else {
                kernels.filterRow(rows[k], row, pass);
            }
            tags[slot] = k;
        }
        return row;
    }

private:
    // The horizontal pass over a row of one byte a pixel, with the same
    // weights and rounding as the colour loops.
    static void FilterPlaneRow(const std::uint8_t* source, std::uint8_t* out, const PxPass& pass)
    {
        for (std::int32_t i = 0; i < pass.count; ++i) {
            const PxWindow& window = pass.windows[i];
            const std::uint16_t* weights = pass.weights.get() + window.offset;
            const std::uint8_t* in = source + window.first;
            std::uint32_t sum = 128;
            for (std::int32_t t = 0; t < window.taps; ++t) {
                sum += weights[t] * std::uint32_t{in[t]};
            }
            out[i] = static_cast<std::uint8_t>(sum >> 8);
        }
    }

    const std::uint8_t* const* rows;
    const PxPass& pass;
    const PxRowKernels& kernels;
    std::int32_t channels;
    std::int64_t slots = 0;
    std::int64_t rowBytes = 0;
    PxBuffer<std::uint8_t> memory;
    PxBuffer<std::int32_t> tags;
};

using RowPointers = PxBuffer<std::uint8_t*>;

// Row table of a store without touching the bitmap's own table (the source
// of a scale is const).
RowPointers RowTable(std::uint8_t* pixels, std::int64_t stride, std::int32_t rowCount)
{
    // A store row takes at least 4 bytes and its pointer 8, so the table of
    // a store within the cap may take up to twice the cap.
    auto table = PxZeroed<std::uint8_t*>(static_cast<std::uint64_t>(rowCount), 2 * kPxMaxStoreBytes);
    if (table) {
        for (std::int32_t i = 0; i < rowCount; ++i) {
            table[i] = pixels + i * stride;
        }
    }
    return table;
}

}  // namespace

double PxTriangleFilter::Evaluate(double x) const
{
    const double distance = std::fabs(x);
    return distance < radius ? radius - distance : 0.0;
}

std::unique_ptr<PxContributionTable> PxResampler::ComputeContributions(std::int32_t outCount, std::int32_t inCount,
                                                                       double scale) const
{
    return ContributionRange(0, outCount, inCount, scale);
}

std::unique_ptr<PxContributionTable> PxResampler::ContributionRange(std::int32_t first, std::int32_t outCount,
                                                                    std::int32_t inCount, double scale) const
{
    if (first < 0 || outCount <= 0 || inCount <= 0 || !(scale > 0) || !std::isfinite(scale)) {
        return nullptr;
    }
    double support = kPxScaleRadius;
    double stretch = 1.0;
    if (scale < 1) {
        // Shrinking widens the filter to cover every input an output stands for.
        support = kPxScaleRadius / scale;
        stretch = scale;
    }
    const double window = 2 * std::ceil(support) + 1;
    if (!(window <= INT32_MAX)) {
        return nullptr;
    }
    const std::int32_t windowSize = static_cast<std::int32_t>(window);

    std::unique_ptr<PxContributionTable> table(new (std::nothrow) PxContributionTable);
    if (!table) {
        return nullptr;
    }
    table->entries = PxZeroed<PxContribution>(static_cast<std::uint64_t>(outCount));
    table->weightBlock =
        PxZeroed<std::int32_t>(static_cast<std::uint64_t>(outCount) * static_cast<std::uint64_t>(windowSize));
    if (!table->entries || !table->weightBlock) {
        return nullptr;
    }
    table->windowSize = windowSize;
    table->count = outCount;

    for (std::int32_t n = 0; n < outCount; ++n) {
        PxContribution& entry = table->entries[n];
        entry.weights = table->weightBlock.get() + static_cast<std::int64_t>(n) * windowSize;
        // Each output's window depends on its own index alone, so a range of
        // outputs gets exactly the entries the whole table has there.
        const double i = static_cast<double>(first) + n;
        const double center = (i + 0.5) * (1 / scale) - 0.5;
        const double low = std::floor(center - support);
        const double high = std::ceil(center + support);
        // Clamped while still doubles, so that no scale can make the
        // conversion overflow; for real sizes only the clamps at 0 and
        // inCount - 1 ever act.
        std::int64_t left = static_cast<std::int64_t>(std::clamp(low, 0.0, static_cast<double>(inCount)));
        std::int64_t right = static_cast<std::int64_t>(std::clamp(high, -1.0, static_cast<double>(inCount - 1)));
        // The window can come out one input wider than the filter needs when
        // both of its ends are fractional.
        if (right - left + 1 > windowSize) {
            if (left < inCount) {
                ++left;
            } else {
                --right;
            }
        }
        // Never true for real sizes; keeps the indexes inside the input and
        // the weight array whatever the rounding did.
        left = std::clamp<std::int64_t>(left, 0, inCount - 1);
        right = std::clamp<std::int64_t>(right, left, std::min<std::int64_t>(inCount - 1, left + windowSize - 1));
        entry.left = static_cast<std::int32_t>(left);
        entry.right = static_cast<std::int32_t>(right);

        std::int32_t* weights = entry.weights;
        const std::int32_t taps = entry.right - entry.left + 1;
        std::int32_t sum = 0;
        for (std::int32_t k = 0; k < taps; ++k) {
            const double value = filter->Evaluate((center - (entry.left + k)) * stretch) * stretch * 256;
            weights[k] = static_cast<std::int32_t>(value);
            sum += weights[k];
        }
        if (sum > 0) {
            // The rounding remainder goes to the last input, whatever its own
            // weight, so the weights add up to exactly 256.
            std::int32_t total = 0;
            for (std::int32_t k = 0; k < taps - 1; ++k) {
                weights[k] = weights[k] * 256 / sum;
                total += weights[k];
            }
            weights[taps - 1] = 256 - total;
        } else if (sum == 0) {
            // At a strong reduction every weight truncates to zero; the input
            // nearest the centre then stands for the window, instead of the
            // output going black.
            const double nearest =
                std::clamp(std::floor(center + 0.5), static_cast<double>(entry.left), static_cast<double>(entry.right));
            weights[static_cast<std::int32_t>(nearest) - entry.left] = 256;
        }
    }
    return table;
}

int PxResampler::Resize(const std::uint8_t* const* sourceRows, std::int32_t sourceWidth, std::int32_t sourceHeight,
                        std::uint8_t* const* destinationRows, std::int32_t destinationWidth,
                        std::int32_t destinationHeight) const
{
    return ResizePart(sourceRows, sourceWidth, sourceHeight, destinationWidth, destinationHeight, 0, 0,
                      destinationWidth, destinationHeight, destinationRows);
}

int PxResampler::ResizePart(const std::uint8_t* const* sourceRows, std::int32_t sourceWidth, std::int32_t sourceHeight,
                            std::int32_t destinationWidth, std::int32_t destinationHeight, std::int32_t left,
                            std::int32_t bottom, std::int32_t width, std::int32_t height,
                            std::uint8_t* const* destinationRows, std::int32_t channels) const
{
    if ((channels != 1 && channels != 3) || sourceWidth <= 0 || sourceHeight <= 0 || destinationWidth <= 0 ||
        destinationHeight <= 0 || width <= 0 || height <= 0 || left < 0 || bottom < 0 ||
        width > destinationWidth - left || height > destinationHeight - bottom) {
        return 1;
    }
    // Everything is allocated before a destination byte is written, so a
    // failure leaves the destination as it was.
    const PxRowKernels& kernels = PxBestRowKernels();
    PxPass horizontal;
    PxPass vertical;
    {
        const auto table =
            ContributionRange(left, width, sourceWidth, static_cast<double>(destinationWidth) / sourceWidth);
        if (!table || !PxPackPass(*table, sourceWidth, &horizontal) || !PxPrepareLanes(&horizontal, sourceWidth)) {
            return 1;
        }
    }
    {
        const auto table =
            ContributionRange(bottom, height, sourceHeight, static_cast<double>(destinationHeight) / sourceHeight);
        if (!table || !PxPackPass(*table, sourceHeight, &vertical)) {
            return 1;
        }
    }
    // Bands of destination rows are independent: each band has its own ring
    // of intermediate rows, so the work splits over the processor's cores
    // with every byte computed exactly as one band would. Small pictures stay
    // on this thread, where starting another would cost more than it saves.
    const std::int64_t work = static_cast<std::int64_t>(width) * height * vertical.maxTaps +
                              static_cast<std::int64_t>(width) * std::min(sourceHeight, height * vertical.maxTaps);
    const int bandCount = static_cast<int>(
        std::clamp<std::int64_t>(std::min<std::int64_t>(PxWorkerCount(), work / kWorkPerBand), 1, height));
    struct Band {
        std::unique_ptr<Intermediate> intermediate;
        PxBuffer<const std::uint8_t*> taps;
        std::int32_t first = 0;
        std::int32_t end = 0;
    };
    std::vector<Band> bands(static_cast<std::size_t>(bandCount));
    for (int b = 0; b < bandCount; ++b) {
        Band& band = bands[static_cast<std::size_t>(b)];
        band.first = static_cast<std::int32_t>(static_cast<std::int64_t>(height) * b / bandCount);
        band.end = static_cast<std::int32_t>(static_cast<std::int64_t>(height) * (b + 1) / bandCount);
        band.intermediate.reset(new (std::nothrow) Intermediate(sourceRows, horizontal, kernels, channels));
        band.taps = PxZeroed<const std::uint8_t*>(static_cast<std::uint64_t>(vertical.maxTaps));
        if (!band.intermediate || !band.taps || !band.intermediate->Allocate(sourceHeight, vertical.maxTaps)) {
            return 1;
        }
    }

    const std::int64_t rowBytes = channels * static_cast<std::int64_t>(width);
    auto runBand = [&](Band& band) {
        for (std::int32_t i = band.first; i < band.end; ++i) {
            const PxWindow& window = vertical.windows[i];
            for (std::int32_t t = 0; t < window.taps; ++t) {
                band.taps[t] = band.intermediate->Row(window.first + t);
            }
            kernels.blendRows(band.taps.get(), vertical.weights.get() + window.offset, window.taps, destinationRows[i],
                              rowBytes);
        }
    };
    PxRunInParallel(bandCount, [&](int b) { runBand(bands[static_cast<std::size_t>(b)]); });
    return 0;
}

int PxBitmap::Scale(std::int32_t newWidth, std::int32_t newHeight, PxBitmap* destination) const
{
    if (destination == nullptr || pixels == nullptr) {
        return 1;
    }
    if (destination == this) {
        // Scaling in place would free the pixels being read.
        PxBitmap scaled;
        const int result = Scale(newWidth, newHeight, &scaled);
        destination->MoveFrom(scaled);
        return result;
    }
    destination->SetDimensions(newWidth, newHeight, bitsPerPixel);
    if (destination->CreatePixelStore() != 0) {
        return 1;
    }
    const PxTriangleFilter filter(kPxScaleRadius);
    const PxResampler resampler(&filter);
    const auto sourceRows = RowTable(pixels, Stride(), height);
    const auto destinationRows = RowTable(destination->Pixels(), destination->Stride(), newHeight);
    if (!sourceRows || !destinationRows ||
        resampler.Resize(sourceRows.get(), width, height, destinationRows.get(), newWidth, newHeight) != 0) {
        return 1;
    }
    return ScaleAlpha(resampler, newWidth, newHeight, 0, 0, newWidth, newHeight, destination);
}

int PxBitmap::ScalePart(std::int32_t newWidth, std::int32_t newHeight, std::int32_t x, std::int32_t y,
                        std::int32_t partWidth, std::int32_t partHeight, PxBitmap* destination) const
{
    if (destination == nullptr || pixels == nullptr || destination == this || newWidth <= 0 || newHeight <= 0 ||
        partWidth <= 0 || partHeight <= 0 || x < 0 || y < 0 || partWidth > newWidth - x || partHeight > newHeight - y) {
        return 1;
    }
    if (destination->ReuseOrCreateStore(partWidth, partHeight) != 0) {
        return 1;
    }
    const PxTriangleFilter filter(kPxScaleRadius);
    const PxResampler resampler(&filter);
    const auto sourceRows = RowTable(pixels, Stride(), height);
    const auto destinationRows = RowTable(destination->Pixels(), destination->Stride(), partHeight);
    if (!sourceRows || !destinationRows) {
        return 1;
    }
    // The store counts rows from the bottom: the part's top row y is row
    // newHeight - 1 - y of the whole.
    const std::int32_t bottom = newHeight - y - partHeight;
    if (resampler.ResizePart(sourceRows.get(), width, height, newWidth, newHeight, x, bottom, partWidth, partHeight,
                             destinationRows.get()) != 0) {
        return 1;
    }
    return ScaleAlpha(resampler, newWidth, newHeight, x, bottom, partWidth, partHeight, destination);
}

int PxBitmap::ScaleAlpha(const PxResampler& resampler, std::int32_t newWidth, std::int32_t newHeight, std::int32_t left,
                         std::int32_t bottom, std::int32_t partWidth, std::int32_t partHeight,
                         PxBitmap* destination) const
{
    if (alpha == nullptr) {
        destination->DropAlpha();
        return 0;
    }
    if (destination->CreateAlphaPlane() != 0) {
        return 1;
    }
    // The plane's rows are `width` bytes apart, without padding.
    const auto sourceRows = RowTable(alpha, width, height);
    const auto destinationRows = RowTable(destination->Alpha(), partWidth, partHeight);
    if (!sourceRows || !destinationRows) {
        destination->DropAlpha();
        return 1;
    }
    if (resampler.ResizePart(sourceRows.get(), width, height, newWidth, newHeight, left, bottom, partWidth, partHeight,
                             destinationRows.get(), 1) != 0) {
        destination->DropAlpha();
        return 1;
    }
    return 0;
}

}  // namespace brelvix
