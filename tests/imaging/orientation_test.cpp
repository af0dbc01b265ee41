#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/orientation.h"
#include "support/avif_writer.h"
#include "support/decode_bytes.h"
#include "support/exif_writer.h"
#include "support/heif_writer.h"
#include "support/jpeg_writer.h"
#include "support/jxl_writer.h"
#include "support/pixels.h"
#include "support/png_writer.h"
#include "support/webp_writer.h"

namespace brelvix {

namespace {

// The upright picture: 4 x 3 flat blocks of 8 x 8 pixels, every block its
// own colour, so any turn or mirror shows (and survives JPEG's blocks).
constexpr int kBlock = 8;
constexpr int kColumns = 4;
constexpr int kRows = 3;

Rgb BlockColour(int column, int row)
{
    return Rgb{static_cast<std::uint8_t>(40 + 60 * column), static_cast<std::uint8_t>(30 + 100 * row),
               static_cast<std::uint8_t>(column * row % 2 == 0 ? 220 : 20)};
}

Rgb UprightAt(int x, int y)
{
    return BlockColour(x / kBlock, y / kBlock);
}

struct Point {
    int x;
    int y;
};

// Where stored pixel (x, y) of a w x h picture is shown, read off the tag's
// definition: which side of the shown picture the stored row 0 and column 0
// lie on (1: top, left; 2: top, right; 3: bottom, right; 4: bottom, left;
// 5: left, top; 6: right, top; 7: right, bottom; 8: left, bottom).
Point Shown(int orientation, int x, int y, int w, int h)
{
    switch (orientation) {
        case 2:
            return {w - 1 - x, y};
        case 3:
            return {w - 1 - x, h - 1 - y};
        case 4:
            return {x, h - 1 - y};
        case 5:
            return {y, x};
        case 6:
            return {h - 1 - y, x};
        case 7:
            return {h - 1 - y, w - 1 - x};
        case 8:
            return {y, w - 1 - x};
        default:
            return {x, y};
    }
}

// The stored picture that shows as the upright one under `orientation`.
RawPicture Stored(int orientation)
{
    const bool swapped = orientation >= 5;
    RawPicture raw;
    raw.width = swapped ? kRows * kBlock : kColumns * kBlock;
    raw.height = swapped ? kColumns * kBlock : kRows * kBlock;
    for (int y = 0; y < raw.height; ++y) {
        for (int x = 0; x < raw.width; ++x) {
            const Point shown = Shown(orientation, x, y, raw.width, raw.height);
            const Rgb c = UprightAt(shown.x, shown.y);
            raw.samples.insert(raw.samples.end(), {c.r, c.g, c.b});
        }
    }
    return raw;
}

std::vector<std::uint8_t> Bytes(const RawPicture& raw)
{
    return std::vector<std::uint8_t>(raw.samples.begin(), raw.samples.end());
}

// AVIF records a turn (anti-clockwise quarters) and a mirror (0 top-bottom,
// 1 left-right), applied in that order: orientation 5 is a clockwise quarter
// turn then a left-right mirror, 7 the same turn then top-bottom.
constexpr std::array<std::array<int, 2>, 9> kAvifTurnAndMirror = {
    {{-1, -1}, {-1, -1}, {-1, 1}, {2, -1}, {-1, 0}, {3, 1}, {3, -1}, {3, 0}, {1, -1}}};

struct Carrier {
    const char* name;
    std::function<std::vector<std::uint8_t>(int orientation, const RawPicture& stored)> write;
    int tolerance;         // lossy carriers come back close, not exact
    bool turnedByLibrary;  // HEIF: libheif applies the file's rotation itself
};

const std::vector<Carrier>& Carriers()
{
    static const std::vector<Carrier> carriers = {
        {"JPEG, Intel Exif",
         [](int o, const RawPicture& s) {
             JpegWriterOptions options;
             options.quality = 100;
             options.subsample = false;
             return JpegWithExif(EncodeJpeg(s.width, s.height, Bytes(s), options), ExifWithOrientation(o));
         },
         6, false},
        {"JPEG, Motorola Exif",
         [](int o, const RawPicture& s) {
             JpegWriterOptions options;
             options.quality = 100;
             options.subsample = false;
             return JpegWithExif(EncodeJpeg(s.width, s.height, Bytes(s), options), ExifWithOrientation(o, true));
         },
         6, false},
        {"PNG eXIf",
         [](int o, const RawPicture& s) {
             PngPicture png;
             png.width = s.width;
             png.height = s.height;
             png.samples = s.samples;
             return PngWithExif(EncodePng(png), ExifWithOrientation(o));
         },
         0, false},
        {"WebP EXIF",
         [](int o, const RawPicture& s) {
             WebpWriterOptions options;
             options.lossless = true;
             options.exif = ExifWithoutHeader(ExifWithOrientation(o));
             return EncodeWebp(s, options);
         },
         0, false},
        {"AVIF turn and mirror",
         [](int o, const RawPicture& s) {
             AvifWriterOptions options;
             options.lossless = true;
             options.rotation = kAvifTurnAndMirror[o][0];
             options.mirror = kAvifTurnAndMirror[o][1];
             return EncodeAvif(s, options);
         },
         0, false},
        {"JPEG XL header",
         [](int o, const RawPicture& s) {
             JxlWriterOptions options;
             options.lossless = true;
             options.orientation = o;
             return EncodeJxl({s}, options);
         },
         0, false},
        {"HEIF turn and mirror",
         [](int o, const RawPicture& s) {
             HeifWriterOptions options;
             options.quality = 100;
             options.orientation = o;
             return EncodeHeif(s, options);
         },
         12, true},
    };
    return carriers;
}

// Compares block centres, where every format keeps the flat colour.
void ExpectBlocks(const PxBitmap& bitmap, const std::function<Rgb(int, int)>& expected, int tolerance,
                  const std::string& what)
{
    for (int y = kBlock / 2; y < bitmap.Height(); y += kBlock) {
        for (int x = kBlock / 2; x < bitmap.Width(); x += kBlock) {
            const Rgb got = PixelAt(bitmap, x, y);
            const Rgb want = expected(x, y);
            EXPECT_NEAR(got.r, want.r, tolerance) << what << " at " << x << "," << y;
            EXPECT_NEAR(got.g, want.g, tolerance) << what << " at " << x << "," << y;
            EXPECT_NEAR(got.b, want.b, tolerance) << what << " at " << x << "," << y;
        }
    }
}

TEST(PxOrientation, EveryOrientationInEveryCarrierShowsUpright)
{
    for (const Carrier& carrier : Carriers()) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const std::string what = std::string(carrier.name) + ", orientation " + std::to_string(orientation);
            const RawPicture stored = Stored(orientation);
            const std::vector<std::uint8_t> file = carrier.write(orientation, stored);
            ASSERT_FALSE(file.empty()) << what;
            PxBitmap bitmap;
            ASSERT_EQ(DecodeBytes(file, &bitmap), 0) << what;
            if (!carrier.turnedByLibrary) {
                // As decoded, the picture is the stored one and carries its tag.
                EXPECT_EQ(bitmap.Orientation(), orientation) << what;
                ASSERT_EQ(bitmap.Width(), stored.width) << what;
                ExpectBlocks(
                    bitmap,
                    [&](int x, int y) {
                        const Point shown = Shown(orientation, x, y, stored.width, stored.height);
                        return UprightAt(shown.x, shown.y);
                    },
                    carrier.tolerance, what + ", as stored");
            }
            ASSERT_EQ(PxApplyOrientation(bitmap), 0) << what;
            EXPECT_EQ(bitmap.Orientation(), 1) << what;
            ASSERT_EQ(bitmap.Width(), kColumns * kBlock) << what;
            ASSERT_EQ(bitmap.Height(), kRows * kBlock) << what;
            ExpectBlocks(bitmap, UprightAt, carrier.tolerance, what + ", upright");
        }
    }
}

TEST(PxOrientation, UnusableTagsMeanAsStored)
{
    const std::vector<std::uint8_t> valid = ExifWithOrientation(6);
    std::vector<std::uint8_t> cut(valid.begin(), valid.begin() + 14);
    std::vector<std::uint8_t> garbage(valid.size(), 0xA5);
    const struct {
        const char* name;
        std::vector<std::uint8_t> block;
        std::int32_t expected;
    } cases[] = {
        {"valid", valid, 6},
        {"without its header", ExifWithoutHeader(valid), 6},
        {"zero", ExifWithOrientation(0), 1},
        {"nine", ExifWithOrientation(9), 1},
        {"65535", ExifWithOrientation(65535), 1},
        {"cut inside the directory", cut, 1},
        {"garbage", garbage, 1},
        {"empty", {}, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PxExifOrientation(c.block.data(), c.block.size()), c.expected) << c.name;
    }
}

TEST(PxOrientation, ApplyingTurnsOnlyWhatNeedsTurning)
{
    // A 3 x 2 picture stored with orientation 7 shows 2 wide and 3 high; its
    // stored top-left pixel ends at the bottom right.
    PxBitmap bitmap;
    bitmap.SetDimensions(3, 2, 24);
    ASSERT_EQ(bitmap.CreatePixelStore(), 0);
    bitmap.Pixels()[bitmap.Stride() + 2] = 200;  // red of the top-left pixel
    bitmap.SetOrientation(7);
    ASSERT_EQ(PxApplyOrientation(bitmap), 0);
    ASSERT_EQ(bitmap.Width(), 2);
    ASSERT_EQ(bitmap.Height(), 3);
    EXPECT_EQ(PixelAt(bitmap, 1, 2), (Rgb{200, 0, 0}));

    // Without a store, or with a value no tag has, nothing happens and
    // nothing fails.
    PxBitmap empty;
    empty.SetOrientation(6);
    EXPECT_EQ(PxApplyOrientation(empty), 0);
    EXPECT_EQ(empty.Width(), 0);
    bitmap.SetOrientation(42);
    EXPECT_EQ(PxApplyOrientation(bitmap), 0);
    EXPECT_EQ(bitmap.Width(), 2);
}

}  // namespace

}  // namespace brelvix
