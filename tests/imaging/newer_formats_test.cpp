#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/format_detect.h"
#include "support/avif_writer.h"
#include "support/decode_bytes.h"
#include "support/heif_writer.h"
#include "support/jxl_writer.h"
#include "support/pixels.h"
#include "support/raw_picture.h"
#include "support/sample_picture.h"
#include "support/webp_writer.h"

namespace brelvix {

namespace {

using Reference = std::function<bool(const std::vector<std::uint8_t>&, int*, int*, std::vector<std::uint8_t>*)>;

RawPicture Sample(int width, int height, bool alpha = false)
{
    return RawFromSample(RenderSamplePicture(width, height), alpha);
}

// A second picture of the same size, for the frames after the first.
RawPicture Other(int width, int height)
{
    RawPicture raw = Sample(width, height);
    for (std::uint16_t& value : raw.samples) {
        value = static_cast<std::uint16_t>(255 - value);
    }
    return raw;
}

// Largest difference between two equally long byte runs (255 when the lengths differ).
int MaxDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    if (a.size() != b.size()) {
        return 255;
    }
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        largest = std::max(largest, std::abs(a[i] - b[i]));
    }
    return largest;
}

struct Conformance {
    const char* name;
    std::vector<std::uint8_t> file;
    std::int32_t format;
    // Exact pixels the decode must give (lossless files: the picture
    // encoded, alpha left out, high 8 bits), or none to compare with the
    // library's own decode within `tolerance`.
    std::vector<std::uint8_t> exact;
    Reference reference;
    int tolerance = 0;
};

TEST(NewerFormats, DecodeAsTheLibrariesDo)
{
    const RawPicture plain = Sample(61, 43);
    const RawPicture alpha = Sample(61, 43, true);
    const std::vector<RawPicture> frames = {plain, Other(61, 43)};
    const RawPicture deep10 = Widened(plain, 10);
    const RawPicture deep12 = Widened(plain, 12);
    const RawPicture deep16 = Widened(plain, 16);
    AvifWriterOptions avifLossless;
    avifLossless.lossless = true;
    AvifWriterOptions avif444;
    avif444.subsample = false;
    WebpWriterOptions webpLossless;
    webpLossless.lossless = true;
    JxlWriterOptions jxlLossless;
    jxlLossless.lossless = true;
    JxlWriterOptions jxlContainer;
    jxlContainer.container = true;

    const std::vector<Conformance> cases = {
        {"WebP lossy", EncodeWebp(plain), kPxFormatWebP, {}, DecodeWebpReference, 0},
        {"WebP lossy with alpha", EncodeWebp(alpha), kPxFormatWebP, {}, DecodeWebpReference, 0},
        {"WebP lossless", EncodeWebp(plain, webpLossless), kPxFormatWebP, HighBytesRgb(plain), {}},
        {"WebP lossless with alpha", EncodeWebp(alpha, webpLossless), kPxFormatWebP, HighBytesRgb(alpha), {}},
        {"WebP animation", EncodeWebpAnimation(frames, true), kPxFormatWebP, HighBytesRgb(plain), {}},
        {"AVIF 4:2:0", EncodeAvif(plain), kPxFormatAVIF, {}, DecodeAvifReference, 1},
        {"AVIF 4:4:4 with alpha", EncodeAvif(alpha, avif444), kPxFormatAVIF, {}, DecodeAvifReference, 1},
        {"AVIF lossless", EncodeAvif(plain, avifLossless), kPxFormatAVIF, HighBytesRgb(plain), {}},
        {"AVIF 10-bit lossless", EncodeAvif(deep10, avifLossless), kPxFormatAVIF, HighBytesRgb(plain), {}},
        {"AVIF 12-bit", EncodeAvif(deep12), kPxFormatAVIF, {}, DecodeAvifReference, 1},
        {"AVIF sequence", EncodeAvifSequence(frames), kPxFormatAVIF, {}, DecodeAvifReference, 1},
        {"HEIF", EncodeHeif(plain), kPxFormatHEIF, {}, DecodeHeifReference, 0},
        {"HEIF with alpha", EncodeHeif(alpha), kPxFormatHEIF, {}, DecodeHeifReference, 0},
        {"HEIF 10-bit", EncodeHeif(deep10), kPxFormatHEIF, {}, DecodeHeifReference, 0},
        {"JPEG XL lossy", EncodeJxl({plain}), kPxFormatJXL, {}, DecodeJxlReference, 0},
        {"JPEG XL in its container", EncodeJxl({alpha}, jxlContainer), kPxFormatJXL, {}, DecodeJxlReference, 0},
        {"JPEG XL lossless", EncodeJxl({alpha}, jxlLossless), kPxFormatJXL, HighBytesRgb(alpha), {}},
        {"JPEG XL 16-bit lossless", EncodeJxl({deep16}, jxlLossless), kPxFormatJXL, HighBytesRgb(plain), {}},
        {"JPEG XL animation", EncodeJxl(frames, jxlLossless), kPxFormatJXL, HighBytesRgb(plain), {}},
    };
    for (const Conformance& c : cases) {
        ASSERT_FALSE(c.file.empty()) << c.name;
        std::vector<std::uint8_t> expected = c.exact;
        if (expected.empty()) {
            int width = 0;
            int height = 0;
            ASSERT_TRUE(c.reference(c.file, &width, &height, &expected)) << c.name;
            ASSERT_EQ(width, 61) << c.name;
            ASSERT_EQ(height, 43) << c.name;
        }
        PxBitmap bitmap;
        testing::internal::CaptureStderr();
        const int result = DecodeBytes(c.file, &bitmap);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.name;
        ASSERT_EQ(result, 0) << c.name;
        EXPECT_EQ(bitmap.FormatId(), c.format) << c.name;
        ASSERT_EQ(bitmap.Width(), 61) << c.name;
        ASSERT_EQ(bitmap.Height(), 43) << c.name;
        EXPECT_LE(MaxDifference(TopDownRgb(bitmap), expected), c.tolerance) << c.name;
    }
}

// The newer formats' sample files, each cut off and damaged in several ways.
struct Damage {
    const char* name;
    std::function<std::vector<std::uint8_t>(std::vector<std::uint8_t>)> apply;
};

TEST(NewerFormats, DamagedFilesFailOrShowWhatArrivedQuietly)
{
    const RawPicture picture = Sample(256, 192);
    AvifWriterOptions grid;
    grid.gridColumns = 2;
    grid.gridRows = 2;
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> files = {
        {"WebP", EncodeWebp(picture)},
        {"WebP lossless", EncodeWebp(picture, WebpWriterOptions{true, 90, {}, {}})},
        {"WebP animation", EncodeWebpAnimation({picture, Other(256, 192)}, false)},
        {"AVIF", EncodeAvif(picture)},
        {"AVIF grid", EncodeAvif(picture, grid)},
        {"HEIF", EncodeHeif(picture)},
        {"JPEG XL", EncodeJxl({picture})},
    };
    auto cut = [](double share) {
        return [share](std::vector<std::uint8_t> f) {
            f.resize(static_cast<std::size_t>(static_cast<double>(f.size()) * share));
            return f;
        };
    };
    auto scribble = [](std::size_t every) {
        return [every](std::vector<std::uint8_t> f) {
            for (std::size_t i = 40; i < f.size(); i += every) {
                f[i] ^= 0x5A;
            }
            return f;
        };
    };
    const std::vector<Damage> damages = {
        {"signature only", cut(0.0)},  // resized below to the first 20 bytes
        {"a tenth", cut(0.1)},
        {"half", cut(0.5)},
        {"all but the last byte",
         [](std::vector<std::uint8_t> f) {
             f.pop_back();
             return f;
         }},
        {"a byte in 97 changed", scribble(97)},
        {"a byte in 13 changed", scribble(13)},
    };
    for (const auto& [format, file] : files) {
        ASSERT_FALSE(file.empty()) << format;
        for (const Damage& damage : damages) {
            std::vector<std::uint8_t> bytes = damage.apply(file);
            if (bytes.size() < 20) {
                bytes.assign(file.begin(), file.begin() + 20);
            }
            PxBitmap bitmap;
            testing::internal::CaptureStderr();
            const auto start = std::chrono::steady_clock::now();
            const int result = DecodeBytes(bytes, &bitmap);
            const auto spent = std::chrono::steady_clock::now() - start;
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << format << ", " << damage.name;
            EXPECT_LT(spent, std::chrono::seconds(10)) << format << ", " << damage.name;
            if (result == 0) {
                EXPECT_EQ(bitmap.Width(), 256) << format << ", " << damage.name;
                EXPECT_NE(bitmap.Pixels(), nullptr) << format << ", " << damage.name;
            } else {
                EXPECT_EQ(result, 1) << format << ", " << damage.name;
            }
        }
    }
}

TEST(NewerFormats, FilesThatBreakOffShowTheirTopRows)
{
    // Large enough for JPEG XL to code it in several groups of 256 x 256.
    const RawPicture picture = Sample(512, 512);
    AvifWriterOptions grid;
    grid.gridColumns = 2;
    grid.gridRows = 2;
    grid.lossless = true;
    WebpWriterOptions lossless;
    lossless.lossless = true;
    JxlWriterOptions jxl;
    jxl.lossless = true;
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
        double kept;  // share of the file that arrives
    } cases[] = {
        {"WebP lossy", EncodeWebp(picture), 0.6},
        {"WebP lossless", EncodeWebp(picture, lossless), 0.6},
        {"AVIF grid", EncodeAvif(picture, grid), 0.8},
        {"JPEG XL", EncodeJxl({picture}, jxl), 0.6},
    };
    const std::vector<std::uint8_t> rgb = HighBytesRgb(picture);
    for (const auto& c : cases) {
        ASSERT_FALSE(c.file.empty()) << c.name;
        PxBitmap whole;
        ASSERT_EQ(DecodeBytes(c.file, &whole), 0) << c.name;
        const std::vector<std::uint8_t> cutFile(
            c.file.begin(), c.file.begin() + static_cast<std::ptrdiff_t>(static_cast<double>(c.file.size()) * c.kept));
        PxBitmap partial;
        ASSERT_EQ(DecodeBytes(cutFile, &partial), 0) << c.name;
        ASSERT_EQ(partial.Width(), 512) << c.name;
        ASSERT_EQ(partial.Height(), 512) << c.name;
        // The top row as in the whole picture, the bottom row black.
        for (int x = 0; x < 512; x += 51) {
            EXPECT_EQ(PixelAt(partial, x, 0), PixelAt(whole, x, 0)) << c.name << " at " << x;
            EXPECT_EQ(PixelAt(partial, x, 511), (Rgb{0, 0, 0})) << c.name << " at " << x;
        }
    }
}

// Patches every "ispe" property (width and height as the container states
// them) to claim a picture of `side` x `side`.
std::vector<std::uint8_t> WithClaimedSize(std::vector<std::uint8_t> file, std::uint32_t side)
{
    for (std::size_t i = 0; i + 16 <= file.size(); ++i) {
        if (std::memcmp(file.data() + i, "ispe", 4) == 0) {
            for (int k = 0; k < 4; ++k) {
                file[i + 8 + k] = static_cast<std::uint8_t>(side >> (24 - 8 * k));
                file[i + 12 + k] = static_cast<std::uint8_t>(side >> (24 - 8 * k));
            }
        }
    }
    return file;
}

// Bits into bytes, least significant bit first, as a JPEG XL codestream packs them.
std::vector<std::uint8_t> PackBits(std::initializer_list<std::pair<std::uint32_t, int>> fields)
{
    std::vector<std::uint8_t> bytes;
    int used = 0;
    for (const auto& [value, count] : fields) {
        for (int bit = 0; bit < count; ++bit, ++used) {
            if (used % 8 == 0) {
                bytes.push_back(0);
            }
            bytes.back() |= static_cast<std::uint8_t>(((value >> bit) & 1) << (used % 8));
        }
    }
    return bytes;
}

TEST(NewerFormats, HugeClaimedSizesFailAtOnce)
{
    // A WebP animation whose canvas claims 2^24 x 2^24 pixels.
    std::vector<std::uint8_t> webp = {'R', 'I', 'F', 'F', 36, 0,    0, 0, 'W', 'E',  'B',  'P',  'V',  'P',  '8',
                                      'X', 10,  0,   0,   0,  0x02, 0, 0, 0,   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                      'A', 'N', 'I', 'M', 6,  0,    0, 0, 0,   0,    0,    0,    0,    0};
    // A bare JPEG XL codestream: not small; height 2^20 (selector 3, 30 bits
    // of height - 1); width by the ratio 1:1; default metadata.
    std::vector<std::uint8_t> jxl = {0xFF, 0x0A};
    const std::vector<std::uint8_t> header = PackBits({{0, 1}, {3, 2}, {(1U << 20) - 1, 30}, {1, 3}, {1, 1}});
    jxl.insert(jxl.end(), header.begin(), header.end());
    jxl.resize(64, 0);
    const RawPicture picture = Sample(64, 48);
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
    } cases[] = {
        {"WebP canvas", webp},
        {"AVIF 60000 x 60000", WithClaimedSize(EncodeAvif(picture), 60000)},
        {"HEIF 30000 x 30000", WithClaimedSize(EncodeHeif(picture), 30000)},
        {"HEIF 100000 x 100000", WithClaimedSize(EncodeHeif(picture), 100000)},
        {"JPEG XL 2^20 x 2^20", jxl},
    };
    for (const auto& c : cases) {
        PxBitmap bitmap;
        testing::internal::CaptureStderr();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(DecodeBytes(c.file, &bitmap), 1) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.name;
        EXPECT_EQ(bitmap.Pixels(), nullptr) << c.name;
    }
}

}  // namespace

}  // namespace brelvix
