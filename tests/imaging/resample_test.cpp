#include "imaging/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/resample_rows.h"
#include "support/pixels.h"

namespace brelvix {

#ifdef __clang__
#pragma STDC FP_CONTRACT OFF
#endif

namespace {

// ---- The weights from exact fractions ----
//
// With the radius 16/25 and the factor out / in, output i has its centre at
// ((2i + 1) in - out) / (2 out). Counted in units of 1 / (50 out), the
// centre, the support and every distance are whole numbers, so the windows
// and raw weights below come from integer arithmetic alone: nothing here can
// round the way the resampler's doubles do and agree with it by accident.
// Where a value lands exactly on a whole number before it is truncated or
// rounded (a tie), the doubles may land a hair either side of it; such
// outputs are marked and left out of the comparison.

struct RefWindow {
    std::int64_t left = 0;
    std::int64_t right = 0;
    std::vector<int> weights;
    bool tie = false;
};

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

std::int64_t CeilDiv(std::int64_t a, std::int64_t b)
{
    return -FloorDiv(-a, b);
}

RefWindow ExactWeights(std::int64_t i, std::int64_t out, std::int64_t in)
{
    const std::int64_t unit = 50 * out;                         // one input apart
    const std::int64_t centre = 25 * ((2 * i + 1) * in - out);  // in units
    // The support is the radius, widened by in / out when shrinking; the
    // tent is squeezed by the stretch p / q (out / in when shrinking, else 1).
    const std::int64_t support = 32 * std::max(in, out);
    const std::int64_t p = out < in ? out : 1;
    const std::int64_t q = out < in ? in : 1;
    const std::int64_t windowSize = 2 * CeilDiv(support, unit) + 1;
    RefWindow w;
    w.left = std::max<std::int64_t>(0, FloorDiv(centre - support, unit));
    w.right = std::min(in - 1, CeilDiv(centre + support, unit));
    w.tie = (centre - support) % unit == 0 || (centre + support) % unit == 0;
    if (w.right - w.left + 1 > windowSize) {
        w.left < in ? ++w.left : --w.right;
    }
    int sum = 0;
    for (std::int64_t j = w.left; j <= w.right; ++j) {
        // The tent at distance |centre - j| * p / q is 16/25 - that, and the
        // raw weight 256 * p / q times the tent, truncated.
        const std::int64_t distance = std::abs(centre - j * unit);
        const std::int64_t tent = 16 * unit * q - 25 * distance * p;  // over 25 * unit * q
        const std::int64_t raw = tent > 0 ? 256 * p * tent / (25 * unit * q * q) : 0;
        w.tie = w.tie || (tent > 0 && 256 * p * tent % (25 * unit * q * q) == 0);
        w.weights.push_back(static_cast<int>(raw));
        sum += w.weights.back();
    }
    if (sum > 0) {
        int total = 0;
        for (size_t k = 0; k + 1 < w.weights.size(); ++k) {
            w.weights[k] = w.weights[k] * 256 / sum;
            total += w.weights[k];
        }
        w.weights.back() = 256 - total;
    } else {
        // Every weight truncated to zero: the input nearest the centre.
        const std::int64_t nearest = std::clamp(FloorDiv(centre + unit / 2, unit), w.left, w.right);
        w.tie = w.tie || (centre + unit / 2) % unit == 0;
        w.weights[static_cast<size_t>(nearest - w.left)] = 256;
    }
    return w;
}

// The whole expected store (bottom-up rows, zero padding) of `source`
// scaled to width x height: the two passes written out plainly over the
// weights of the contribution tables, which the tests above check on their
// own. It stands against the packed windows, the vector loops, the ring of
// intermediate rows and the bands of the real thing.
std::vector<std::uint8_t> RefScale(const PxBitmap& source, int width, int height)
{
    const int sw = source.Width();
    const int sh = source.Height();
    const PxTriangleFilter filter(kPxScaleRadius);
    const PxResampler resampler(&filter);
    const auto across = resampler.ComputeContributions(width, sw, static_cast<double>(width) / sw);
    const auto down = resampler.ComputeContributions(height, sh, static_cast<double>(height) / sh);
    EXPECT_TRUE(across && down);
    if (!across || !down) {
        return {};
    }
    std::vector<std::uint8_t> middle(static_cast<size_t>(sh) * width * 3);
    for (int row = 0; row < sh; ++row) {
        const std::uint8_t* in = source.Pixels() + row * source.Stride();
        for (int i = 0; i < width; ++i) {
            const PxContribution& c = across->entries[i];
            for (int b = 0; b < 3; ++b) {
                int sum = 0;
                for (int j = c.left; j <= c.right; ++j) {
                    sum += c.weights[j - c.left] * in[3 * j + b];
                }
                middle[(static_cast<size_t>(row) * width + i) * 3 + b] = static_cast<std::uint8_t>((sum + 128) / 256);
            }
        }
    }
    const std::int64_t stride = StoreStride(width);
    std::vector<std::uint8_t> out(static_cast<size_t>(stride * height), 0);
    for (int i = 0; i < height; ++i) {
        const PxContribution& c = down->entries[i];
        for (int x = 0; x < width * 3; ++x) {
            int sum = 0;
            for (int k = c.left; k <= c.right; ++k) {
                sum += c.weights[k - c.left] * middle[static_cast<size_t>(k) * width * 3 + x];
            }
            out[static_cast<size_t>(i * stride + x)] = static_cast<std::uint8_t>((sum + 128) / 256);
        }
    }
    return out;
}

// ---- helpers ----

// Random pixels, and random padding too: the scaler must never read it into
// a result.
void RandomPicture(PxBitmap& bitmap, int width, int height, std::mt19937& random)
{
    bitmap.SetDimensions(width, height, 24);
    ASSERT_EQ(bitmap.CreatePixelStore(), 0);
    const std::int64_t bytes = bitmap.Stride() * height;
    for (std::int64_t i = 0; i < bytes; ++i) {
        bitmap.Pixels()[i] = static_cast<std::uint8_t>(random());
    }
}

// A picture of one row (or column, when `column`) with the given pixels.
void Line(PxBitmap& bitmap, const std::vector<Rgb>& pixels, bool column = false)
{
    const int n = static_cast<int>(pixels.size());
    bitmap.SetDimensions(column ? 1 : n, column ? n : 1, 24);
    ASSERT_EQ(bitmap.CreatePixelStore(), 0);
    for (int k = 0; k < n; ++k) {
        std::uint8_t* p = bitmap.Pixels() + (column ? (n - 1 - k) * bitmap.Stride() : 3 * k);
        p[0] = pixels[k].b;
        p[1] = pixels[k].g;
        p[2] = pixels[k].r;
    }
}

Rgb Grey(int v)
{
    const auto b = static_cast<std::uint8_t>(v);
    return Rgb{b, b, b};
}

std::vector<int> Weights(const PxContribution& entry)
{
    return std::vector<int>(entry.weights, entry.weights + (entry.right - entry.left + 1));
}

std::unique_ptr<PxContributionTable> Table(int outCount, int inCount)
{
    const PxTriangleFilter filter(kPxScaleRadius);
    const PxResampler resampler(&filter);
    return resampler.ComputeContributions(outCount, inCount, static_cast<double>(outCount) / inCount);
}

// ---- the contribution table ----

TEST(PxResampler, WorkedWeights)
{
    // Scale 1: 0, 256, 0 around each input.
    auto table = Table(5, 5);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->windowSize, 3);
    EXPECT_EQ(table->count, 5);
    EXPECT_EQ(table->entries[2].left, 1);
    EXPECT_EQ(table->entries[2].right, 3);
    EXPECT_EQ(Weights(table->entries[2]), (std::vector<int>{0, 256, 0}));
    EXPECT_EQ(table->entries[0].left, 0);
    EXPECT_EQ(Weights(table->entries[0]), (std::vector<int>{256, 0}));
    EXPECT_EQ(table->entries[4].right, 4);
    EXPECT_EQ(Weights(table->entries[4]), (std::vector<int>{0, 256}));

    // Halving: window 2i - 1 to 2i + 2, two equal halves.
    table = Table(4, 8);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->windowSize, 5);
    EXPECT_EQ(table->entries[1].left, 1);
    EXPECT_EQ(table->entries[1].right, 4);
    EXPECT_EQ(Weights(table->entries[1]), (std::vector<int>{0, 128, 128, 0}));

    // Doubling: output 1 is input 0 alone.
    table = Table(8, 4);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->windowSize, 3);
    EXPECT_EQ(table->entries[1].left, 0);
    EXPECT_EQ(Weights(table->entries[1]), (std::vector<int>{256, 0}));

    // By 1.5: output 1 lies halfway between inputs 0 and 1.
    table = Table(6, 4);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->entries[1].left, 0);
    EXPECT_EQ(Weights(table->entries[1]), (std::vector<int>{128, 128, 0}));

    // By 4: raw 3, 67, 0 become 10, 245 and the remainder 1 on the last.
    table = Table(12, 3);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->entries[4].left, 0);
    EXPECT_EQ(Weights(table->entries[4]), (std::vector<int>{10, 245, 1}));

    // A third: windows of five, raw 0, 26, 54, 26, 0; the remainder 2 again
    // goes to the last input.
    table = Table(5, 15);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->windowSize, 5);
    EXPECT_EQ(table->entries[2].left, 5);
    EXPECT_EQ(table->entries[2].right, 9);
    EXPECT_EQ(Weights(table->entries[2]), (std::vector<int>{0, 62, 130, 62, 2}));
}

TEST(PxResampler, TableAgreesWithExactFractions)
{
    const int pairs[][2] = {{1, 1},    {1, 2},    {2, 1},       {3, 7},       {7, 3},    {10, 11},  {11, 10},
                            {33, 100}, {100, 33}, {1920, 6000}, {4400, 4000}, {5, 2001}, {3, 1000}, {999, 1000}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(testing::Message() << pair[1] << " -> " << pair[0]);
        const auto table = Table(pair[0], pair[1]);
        ASSERT_TRUE(table);
        ASSERT_EQ(table->count, pair[0]);
        int wrong = 0;
        int compared = 0;
        for (int i = 0; i < pair[0]; ++i) {
            const PxContribution& entry = table->entries[i];
            ASSERT_LE(entry.right - entry.left + 1, table->windowSize) << i;
            const RefWindow expected = ExactWeights(i, pair[0], pair[1]);
            if (expected.tie) {
                continue;
            }
            ++compared;
            const bool same =
                entry.left == expected.left && entry.right == expected.right && Weights(entry) == expected.weights;
            if (!same && wrong++ == 0) {
                ADD_FAILURE() << "output " << i << ": window " << entry.left << ".." << entry.right << " instead of "
                              << expected.left << ".." << expected.right;
            }
        }
        EXPECT_EQ(wrong, 0);
        // Ties are the exception: nearly every output is compared.
        EXPECT_GE(compared, pair[0] * 9 / 10) << "compared " << compared;
    }
}

TEST(PxResampler, RejectsCountsThatAreNotPositive)
{
    const PxTriangleFilter filter(kPxScaleRadius);
    const PxResampler resampler(&filter);
    EXPECT_FALSE(resampler.ComputeContributions(0, 5, 0.0));
    EXPECT_FALSE(resampler.ComputeContributions(5, 0, 1.0));
    EXPECT_FALSE(resampler.ComputeContributions(-1, 5, -0.2));
    EXPECT_FALSE(resampler.ComputeContributions(5, 5, std::nan("")));
    EXPECT_FALSE(resampler.ComputeContributions(5, 5, 1e-12));  // a window of 10^12 inputs
}

TEST(PxResampler, ScalesThatDoNotMatchTheCountsStayInsideTheInput)
{
    const PxTriangleFilter filter(kPxScaleRadius);
    const PxResampler resampler(&filter);
    for (const double scale : {1e-4, 0.01, 3.0, 1e9, 1e300}) {
        const auto table = resampler.ComputeContributions(40, 7, scale);
        ASSERT_TRUE(table) << scale;
        for (int i = 0; i < 40; ++i) {
            const PxContribution& entry = table->entries[i];
            ASSERT_GE(entry.left, 0) << scale << " " << i;
            ASSERT_LE(entry.left, entry.right) << scale << " " << i;
            ASSERT_LE(entry.right, 6) << scale << " " << i;
            ASSERT_LE(entry.right - entry.left + 1, table->windowSize) << scale << " " << i;
        }
    }
}

// ---- the weights on real pixels ----

TEST(PxScale, WorkedWeightsOnPixels)
{
    PxBitmap result;

    // By 4, output 4 = (10 * p0 + 245 * p1 + 1 * p2 + 128) / 256.
    PxBitmap three;
    Line(three, {Grey(0), Grey(0), Grey(255)});
    ASSERT_EQ(three.Scale(12, 1, &result), 0);
    EXPECT_EQ(PixelAt(result, 4, 0), Grey(1));
    Line(three, {Grey(200), Grey(100), Grey(0)});
    ASSERT_EQ(three.Scale(12, 1, &result), 0);
    EXPECT_EQ(PixelAt(result, 4, 0), Grey((10 * 200 + 245 * 100 + 128) / 256));
    // The same down a column, where rows count from the bottom: output store
    // row 4 is picture row 7, and its last input is the top row. Counted from
    // the top, the 255 would get the weight 0 instead.
    Line(three, {Grey(255), Grey(0), Grey(0)}, true);
    ASSERT_EQ(three.Scale(1, 12, &result), 0);
    EXPECT_EQ(PixelAt(result, 0, 7), Grey(1));

    // By 1.5, output 1 is the rounded mean of inputs 0 and 1.
    PxBitmap four;
    Line(four, {Rgb{10, 0, 255}, Rgb{21, 255, 0}, Grey(99), Grey(7)});
    ASSERT_EQ(four.Scale(6, 1, &result), 0);
    EXPECT_EQ(PixelAt(result, 1, 0), (Rgb{16, 128, 128}));

    // A third, output 2 = (62 * p6 + 130 * p7 + 62 * p8 + 2 * p9 + 128) / 256.
    std::vector<Rgb> fifteen(15, Grey(0));
    fifteen[5] = Grey(255);
    fifteen[7] = Rgb{100, 255, 0};
    fifteen[9] = Rgb{255, 0, 0};
    PxBitmap line;
    Line(line, fifteen);
    ASSERT_EQ(line.Scale(5, 1, &result), 0);
    EXPECT_EQ(PixelAt(result, 2, 0), (Rgb{(130 * 100 + 2 * 255 + 128) / 256, (130 * 255 + 128) / 256, 0}));
}

TEST(PxScale, TwoPixelsShrinkToTheirMean)
{
    PxBitmap source;
    Line(source, {Rgb{10, 20, 30}, Rgb{11, 200, 255}});
    PxBitmap result;
    ASSERT_EQ(source.Scale(1, 1, &result), 0);
    EXPECT_EQ(PixelAt(result, 0, 0), (Rgb{11, 110, 143}));
    // And the same standing up.
    Line(source, {Rgb{10, 20, 30}, Rgb{11, 200, 255}}, true);
    ASSERT_EQ(source.Scale(1, 1, &result), 0);
    EXPECT_EQ(PixelAt(result, 0, 0), (Rgb{11, 110, 143}));
}

TEST(PxScale, EnlargingByWholeFactorsReplicates)
{
    PxBitmap dot;
    Line(dot, {Rgb{1, 128, 254}});
    PxBitmap result;
    ASSERT_EQ(dot.Scale(4, 4, &result), 0);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(PixelAt(result, x, y), (Rgb{1, 128, 254})) << x << "," << y;
        }
    }

    std::mt19937 random(5);
    PxBitmap source;
    RandomPicture(source, 7, 5, random);
    for (const int factor : {2, 3}) {
        ASSERT_EQ(source.Scale(7 * factor, 5 * factor, &result), 0);
        int wrong = 0;
        for (int y = 0; y < 5 * factor; ++y) {
            for (int x = 0; x < 7 * factor; ++x) {
                wrong += PixelAt(result, x, y) == PixelAt(source, x / factor, y / factor) ? 0 : 1;
            }
        }
        EXPECT_EQ(wrong, 0) << factor;
    }
}

TEST(PxScale, SameSizeIsAnExactCopyWithCleanPadding)
{
    std::mt19937 random(9);
    const int sizes[][2] = {{1, 1}, {5, 3}, {6, 1}, {1, 9}, {64, 2}, {33, 17}};
    for (const auto& size : sizes) {
        PxBitmap source;
        RandomPicture(source, size[0], size[1], random);
        PxBitmap result;
        ASSERT_EQ(source.Scale(size[0], size[1], &result), 0);
        EXPECT_EQ(TopDownRgb(result), TopDownRgb(source)) << size[0] << " x " << size[1];
        for (int row = 0; row < size[1]; ++row) {
            for (std::int64_t i = 3 * size[0]; i < result.Stride(); ++i) {
                ASSERT_EQ(result.Pixels()[row * result.Stride() + i], 0) << size[0] << " x " << size[1];
            }
        }
    }
}

TEST(PxScale, StrongReductionKeepsTheColours)
{
    // 2000 -> 4 is a factor of 1/500: every raw weight truncates to zero.
    // The output takes the nearest input rather than going black.
    PxBitmap wide;
    wide.SetDimensions(2000, 2, 24);
    ASSERT_EQ(wide.CreatePixelStore(), 0);
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < 2000; ++x) {
            std::uint8_t* p = wide.Pixels() + row * wide.Stride() + 3 * x;
            p[0] = 40;
            p[1] = static_cast<std::uint8_t>(x / 500 * 60);
            p[2] = 200;
        }
    }
    PxBitmap result;
    ASSERT_EQ(wide.Scale(4, 1, &result), 0);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(PixelAt(result, x, 0), (Rgb{200, static_cast<std::uint8_t>(60 * x), 40})) << x;
    }
    const auto table = Table(4, 2000);
    ASSERT_TRUE(table);
    for (int i = 0; i < 4; ++i) {
        const auto weights = Weights(table->entries[i]);
        EXPECT_EQ(std::count(weights.begin(), weights.end(), 256), 1) << i;
        EXPECT_EQ(std::count(weights.begin(), weights.end(), 0), static_cast<long>(weights.size()) - 1) << i;
    }
}

TEST(PxScale, Failures)
{
    std::mt19937 random(2);
    PxBitmap source;
    RandomPicture(source, 4, 3, random);
    EXPECT_EQ(source.Scale(2, 2, nullptr), 1);

    const int sizes[][2] = {{0, 3}, {3, 0}, {0, 0}, {-2, 3}, {3, -1}};
    for (const auto& size : sizes) {
        PxBitmap result;
        RandomPicture(result, 2, 2, random);
        EXPECT_EQ(source.Scale(size[0], size[1], &result), 1) << size[0] << " x " << size[1];
        EXPECT_EQ(result.Pixels(), nullptr);
        EXPECT_EQ(result.Width(), size[0]);
        EXPECT_EQ(result.Height(), size[1]);
    }

    // A source without a store leaves the destination alone.
    PxBitmap empty;
    empty.SetDimensions(4, 4, 8);
    PxBitmap result;
    RandomPicture(result, 2, 2, random);
    EXPECT_EQ(empty.Scale(2, 2, &result), 1);
    EXPECT_EQ(result.Width(), 2);
    EXPECT_NE(result.Pixels(), nullptr);

    // A destination over the store cap.
    EXPECT_EQ(source.Scale(65536, 65536, &result), 1);
    EXPECT_EQ(result.Pixels(), nullptr);
}

TEST(PxScale, IntoTheSourceItself)
{
    std::mt19937 random(4);
    PxBitmap source;
    RandomPicture(source, 13, 6, random);
    const auto expected = RefScale(source, 7, 11);
    ASSERT_EQ(source.Scale(7, 11, &source), 0);
    ASSERT_EQ(source.Width(), 7);
    ASSERT_EQ(source.Height(), 11);
    EXPECT_EQ(std::vector<std::uint8_t>(source.Pixels(), source.Pixels() + expected.size()), expected);
}

// A part of a scale is the same place of the whole scale, byte for byte:
// inner parts, parts touching each edge, single rows and columns, the whole.
TEST(PxScale, PartsAreTheSamePlaceOfTheWholeScale)
{
    std::mt19937 random(77);
    const std::array<int, 4> scales[] = {{7, 5, 28, 20},   {7, 5, 30, 19},  {64, 48, 20, 15},  {64, 48, 64, 48},
                                         {31, 17, 33, 16}, {100, 3, 37, 9}, {45, 45, 404, 12}, {300, 200, 1201, 799},
                                         {600, 7, 3, 1},   {17, 23, 61, 5}};
    for (const auto& c : scales) {
        SCOPED_TRACE(testing::Message() << c[0] << " x " << c[1] << " -> " << c[2] << " x " << c[3]);
        PxBitmap source;
        RandomPicture(source, c[0], c[1], random);
        PxBitmap whole;
        ASSERT_EQ(source.Scale(c[2], c[3], &whole), 0);
        const int w = c[2];
        const int h = c[3];
        std::vector<std::array<int, 4>> parts = {{0, 0, w, h},
                                                 {0, 0, 1, 1},
                                                 {w - 1, h - 1, 1, 1},
                                                 {0, h - 1, w, 1},
                                                 {w - 1, 0, 1, h},
                                                 {w / 3, 0, w - w / 3, h / 2 + 1},
                                                 {0, h / 2, w / 2 + 1, h - h / 2}};
        for (int i = 0; i < 12; ++i) {
            const int x = std::uniform_int_distribution<int>(0, w - 1)(random);
            const int y = std::uniform_int_distribution<int>(0, h - 1)(random);
            parts.push_back({x, y, std::uniform_int_distribution<int>(1, w - x)(random),
                             std::uniform_int_distribution<int>(1, h - y)(random)});
        }
        for (const auto& [x, y, pw, ph] : parts) {
            SCOPED_TRACE(testing::Message() << "part " << x << "," << y << " " << pw << " x " << ph);
            PxBitmap part;
            ASSERT_EQ(source.ScalePart(w, h, x, y, pw, ph, &part), 0);
            ASSERT_EQ(part.Width(), pw);
            ASSERT_EQ(part.Height(), ph);
            for (int row = 0; row < ph; ++row) {
                const std::uint8_t* expected = whole.Pixels() + (h - 1 - (y + row)) * whole.Stride() + 3 * x;
                const std::uint8_t* actual = part.Pixels() + (ph - 1 - row) * part.Stride();
                ASSERT_EQ(std::memcmp(actual, expected, 3 * static_cast<std::size_t>(pw)), 0) << "row " << row;
            }
        }
    }

    // Parts that are not inside the scaled picture, and a part of a size the
    // store cap would refuse as a whole.
    PxBitmap source;
    RandomPicture(source, 20, 10, random);
    PxBitmap part;
    const std::array<int, 6> outside[] = {{40, 20, -1, 0, 5, 5}, {40, 20, 36, 0, 5, 5}, {40, 20, 0, 16, 5, 5},
                                          {40, 20, 0, 0, 0, 5},  {40, 20, 0, 0, 5, 0},  {0, 20, 0, 0, 1, 1}};
    for (const auto& [sw, sh, x, y, pw, ph] : outside) {
        EXPECT_EQ(source.ScalePart(sw, sh, x, y, pw, ph, &part), 1) << x << "," << y << " " << pw << " x " << ph;
    }
    EXPECT_EQ(source.ScalePart(200000, 100000, 199990, 99990, 10, 10, &part), 0);
    EXPECT_EQ(PixelAt(part, 9, 9), PixelAt(source, 19, 9)) << "the far corner enlarges the source's corner";
}

// ---- the optimised loops against the reference, byte for byte ----

TEST(PxScale, MatchesTheReferenceByteForByte)
{
    std::mt19937 random(2024);
    std::vector<std::array<int, 4>> cases = {
        // shrinking, enlarging, mixed axes, 1-pixel edges, odd widths
        {1, 1, 1, 1},     {1, 1, 3, 2},     {2, 1, 1, 1},    {3, 3, 1, 1},       {1, 9, 1, 3},       {9, 1, 3, 1},
        {7, 5, 3, 2},     {7, 5, 14, 10},   {7, 5, 21, 15},  {7, 5, 28, 20},     {7, 5, 10, 7},      {7, 5, 8, 6},
        {64, 48, 20, 15}, {64, 48, 21, 13}, {64, 48, 6, 4},  {64, 48, 1, 1},     {64, 48, 130, 9},   {9, 130, 64, 4},
        {30, 20, 29, 21}, {31, 17, 33, 16}, {100, 3, 37, 9}, {3, 100, 9, 37},    {45, 45, 44, 46},   {17, 23, 61, 5},
        {1000, 2, 5, 2},  {2, 1000, 2, 3},  {600, 7, 3, 1},  {256, 256, 81, 77}, {120, 80, 176, 117},
        // large enough to be split into bands of rows on several threads
        {1200, 900, 2600, 1900}, {2600, 1900, 2500, 1801}};
    // And random pairs.
    std::uniform_int_distribution<int> size(1, 90);
    for (int i = 0; i < 60; ++i) {
        cases.push_back({size(random), size(random), size(random), size(random)});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c[0] << " x " << c[1] << " -> " << c[2] << " x " << c[3]);
        PxBitmap source;
        RandomPicture(source, c[0], c[1], random);
        PxBitmap result;
        ASSERT_EQ(source.Scale(c[2], c[3], &result), 0);
        ASSERT_EQ(result.Width(), c[2]);
        ASSERT_EQ(result.Height(), c[3]);
        const auto expected = RefScale(source, c[2], c[3]);
        const std::vector<std::uint8_t> actual(result.Pixels(), result.Pixels() + result.Stride() * c[3]);
        if (actual != expected) {
            const auto at = std::mismatch(actual.begin(), actual.end(), expected.begin());
            const auto offset = at.first - actual.begin();
            ADD_FAILURE() << "first difference at store row " << offset / result.Stride() << ", byte "
                          << offset % result.Stride() << ": " << int(*at.first) << " instead of " << int(*at.second);
        }
    }
}

TEST(PxRowKernels, EveryVariantMatchesThePlainLoops)
{
    // Scale checks the fastest loops against the reference; here the others
    // must give the same bytes as the plain ones. Rows have exactly their
    // size, so the sanitizer catches a vector loop reading or writing past
    // them.
    int count = 0;
    const PxRowKernels* variants = PxAvailableRowKernels(&count);
    ASSERT_GE(count, 1);
    const PxRowKernels& plain = variants[count - 1];
    ASSERT_STREQ(plain.name, "plain");
    std::mt19937 random(77);
    const int pairs[][2] = {{1, 1},  {5, 5},   {13, 4},  {4, 13},   {40, 41}, {41, 40},
                            {3, 40}, {7, 100}, {100, 7}, {64, 200}, {97, 31}, {2, 1000}};
    for (const auto& pair : pairs) {
        const int out = pair[0];
        const int in = pair[1];
        const auto table = Table(out, in);
        ASSERT_TRUE(table);
        PxPass pass;
        ASSERT_TRUE(PxPackPass(*table, in, &pass));
        ASSERT_TRUE(PxPrepareLanes(&pass, in));

        std::vector<std::uint8_t> source(static_cast<size_t>(3 * in));
        for (auto& byte : source) {
            byte = static_cast<std::uint8_t>(random());
        }
        std::vector<std::uint8_t> expected(static_cast<size_t>(3 * out + kPxRowSlack));
        plain.filterRow(source.data(), expected.data(), pass);

        // The vertical loops get `in` rows of 3 * out + 37 bytes, an odd
        // length that leaves a tail after the vector steps.
        const int bytes = 3 * out + 37;
        std::vector<std::vector<std::uint8_t>> rows(static_cast<size_t>(in), std::vector<std::uint8_t>(bytes));
        std::vector<const std::uint8_t*> rowPointers;
        for (auto& row : rows) {
            for (auto& byte : row) {
                byte = static_cast<std::uint8_t>(random());
            }
            rowPointers.push_back(row.data());
        }

        for (int v = 0; v < count - 1; ++v) {
            SCOPED_TRACE(testing::Message() << variants[v].name << ", " << in << " -> " << out);
            std::vector<std::uint8_t> actual(expected.size());
            variants[v].filterRow(source.data(), actual.data(), pass);
            EXPECT_TRUE(std::equal(actual.begin(), actual.begin() + 3 * out, expected.begin()));
            for (int i = 0; i < out; ++i) {
                const PxWindow& window = pass.windows[i];
                const std::uint16_t* weights = pass.weights.get() + window.offset;
                std::vector<std::uint8_t> blendExpected(bytes);
                std::vector<std::uint8_t> blendActual(bytes);
                plain.blendRows(rowPointers.data() + window.first, weights, window.taps, blendExpected.data(), bytes);
                variants[v].blendRows(rowPointers.data() + window.first, weights, window.taps, blendActual.data(),
                                      bytes);
                ASSERT_EQ(blendActual, blendExpected) << "output row " << i;
            }
        }
    }
}

}  // namespace

}  // namespace brelvix
