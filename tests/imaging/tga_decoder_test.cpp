// Targa files built byte by byte.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/bitmap.h"
#include "imaging/format_detect.h"
#include "support/decode_bytes.h"
#include "support/pixels.h"
#include "support/tga_writer.h"

namespace brelvix {

namespace {

constexpr Rgb kBlack{0, 0, 0};

std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> head, const std::vector<std::uint8_t>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// A 5 x 3 picture with a flat row and repeats, so that run-length coding
// makes both kinds of packet. Values are multiples of 8 so that 5-bit
// channels hold them exactly.
std::vector<std::uint8_t> TestPicture()
{
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const bool flat = y == 1 || (y == 2 && x >= 3);
            rgb.push_back(static_cast<std::uint8_t>(flat ? 200 : 8 * (x + 1)));
            rgb.push_back(static_cast<std::uint8_t>(flat ? 16 : 64 + 8 * y));
            rgb.push_back(static_cast<std::uint8_t>(flat ? 96 : 248 - 8 * (x + y)));
        }
    }
    return rgb;
}

TEST(PxDecoderTGA, TrueColourInEveryDepthTypeAndOrigin)
{
    const std::vector<std::uint8_t> picture = TestPicture();
    for (const int depth : {15, 16, 24, 32}) {
        for (const std::uint8_t type : {2, 10}) {
            for (const bool topDown : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << "depth " << depth << " type " << int(type) << " top-down " << topDown);
                TgaOptions options;
                options.imageType = type;
                options.depth = static_cast<std::uint8_t>(depth);
                options.topDown = topDown;
                PxBitmap bitmap;
                ASSERT_EQ(DecodeBytes(WriteTga(5, 3, TgaPixelsFromRgb(picture, depth), options), &bitmap), 0);
                EXPECT_EQ(bitmap.FormatId(), kPxFormatTGA);
                EXPECT_EQ(bitmap.BitsPerPixel(), 24);
                EXPECT_EQ(TopDownRgb(bitmap), picture);
            }
        }
    }
}

TEST(PxDecoderTGA, DescriptorBitFiveChoosesTheFirstRow)
{
    const std::vector<std::uint8_t> pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    TgaOptions options;
    PxBitmap bottomUp;
    ASSERT_EQ(DecodeBytes(Concat(TgaHead(2, 2, options), pixels), &bottomUp), 0);
    EXPECT_EQ(PixelAt(bottomUp, 0, 1), (Rgb{3, 2, 1}));  // the first three bytes: bottom-left
    EXPECT_EQ(PixelAt(bottomUp, 1, 1), (Rgb{6, 5, 4}));
    EXPECT_EQ(PixelAt(bottomUp, 0, 0), (Rgb{9, 8, 7}));
    EXPECT_EQ(PixelAt(bottomUp, 1, 0), (Rgb{12, 11, 10}));

    options.topDown = true;
    options.descriptorBits = 0x10;  // right-to-left: not honoured
    PxBitmap topDown;
    ASSERT_EQ(DecodeBytes(Concat(TgaHead(2, 2, options), pixels), &topDown), 0);
    EXPECT_EQ(PixelAt(topDown, 0, 0), (Rgb{3, 2, 1}));  // top-left
    EXPECT_EQ(PixelAt(topDown, 1, 0), (Rgb{6, 5, 4}));
    EXPECT_EQ(PixelAt(topDown, 0, 1), (Rgb{9, 8, 7}));
    EXPECT_EQ(PixelAt(topDown, 1, 1), (Rgb{12, 11, 10}));
}

TEST(PxDecoderTGA, RunPacketRepeatsOnePixel)
{
    TgaOptions options;
    options.imageType = 10;
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(Concat(TgaHead(2, 1, options), {0x81, 1, 2, 3}), &bitmap), 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{3, 2, 1}));
    EXPECT_EQ(PixelAt(bitmap, 1, 0), (Rgb{3, 2, 1}));
}

TEST(PxDecoderTGA, PacketsEndWithTheirRow)
{
    TgaOptions options;
    options.imageType = 11;  // grey: one byte per pixel keeps the packets readable
    options.depth = 8;
    options.topDown = true;
    const std::vector<std::uint8_t> data = {
        0x01, 10, 11, 0x83, 12,              // row 0: two raw pixels, a run of 4 from column 2: 2 dropped
        0x01, 20, 21, 0x03, 22, 23, 24, 25,  // row 1: a raw packet of 4 from column 2: 24, 25 dropped
        0x83, 30,                            // row 2 begins with a new packet
    };
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(Concat(TgaHead(4, 3, options), data), &bitmap), 0);
    const auto grey = [](std::uint8_t v) { return Rgb{v, v, v}; };
    const std::vector<std::vector<std::uint8_t>> expected = {{10, 11, 12, 12}, {20, 21, 22, 23}, {30, 30, 30, 30}};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(PixelAt(bitmap, x, y), grey(expected[y][x])) << x << "," << y;
        }
    }
}

TEST(PxDecoderTGA, SixteenBitPixelsIgnoreTheTopBit)
{
    for (const std::uint8_t depth : {15, 16}) {
        TgaOptions options;
        options.depth = depth;
        PxBitmap bitmap;
        ASSERT_EQ(DecodeBytes(Concat(TgaHead(3, 1, options), {0x00, 0x7C, 0x00, 0xFC, 0xFF, 0x83}), &bitmap), 0);
        EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{248, 0, 0}));
        EXPECT_EQ(PixelAt(bitmap, 1, 0), (Rgb{248, 0, 0}));
        EXPECT_EQ(PixelAt(bitmap, 2, 0), (Rgb{0, 248, 248}));  // 0x83FF: green 31, blue 31
    }
}

TEST(PxDecoderTGA, IdFieldAndTheColourMapOfATrueColourPictureAreSkipped)
{
    TgaOptions options;
    options.id = {'h', 'e', 'l', 'l', 'o'};
    options.colorMapType = 1;
    options.mapLength = 4;
    options.mapEntrySize = 24;
    options.colorMap = std::vector<std::uint8_t>(12, 0xEE);
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(Concat(TgaHead(1, 1, options), {1, 2, 3}), &bitmap), 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{3, 2, 1}));
}

TEST(PxDecoderTGA, ColourMappedPicturesTakeTheirColoursFromTheMap)
{
    // Entries 5 to 8; indices below the first entry or past the map are black.
    const std::vector<std::uint8_t> mapRgb = {248, 0, 0, 0, 248, 0, 0, 0, 248, 96, 160, 32};
    const std::vector<std::uint8_t> indices = {5, 6, 7, 8, 4, 9, 8, 8, 8, 7, 0, 255};
    const std::vector<Rgb> colours = {{248, 0, 0}, {0, 248, 0}, {0, 0, 248}, {96, 160, 32}};
    const std::vector<Rgb> expected = {colours[0], colours[1], colours[2], colours[3], kBlack, kBlack,
                                       colours[3], colours[3], colours[3], colours[2], kBlack, kBlack};
    for (const int entrySize : {15, 16, 24, 32}) {
        for (const std::uint8_t type : {1, 9}) {
            SCOPED_TRACE(testing::Message() << "entry size " << entrySize << " type " << int(type));
            TgaOptions options;
            options.imageType = type;
            options.depth = 8;
            options.colorMapType = 1;
            options.firstEntry = 5;
            options.mapLength = 4;
            options.mapEntrySize = static_cast<std::uint8_t>(entrySize);
            options.colorMap = TgaPixelsFromRgb(mapRgb, entrySize);
            PxBitmap bitmap;
            ASSERT_EQ(DecodeBytes(WriteTga(6, 2, indices, options), &bitmap), 0);
            for (int i = 0; i < 12; ++i) {
                EXPECT_EQ(PixelAt(bitmap, i % 6, i / 6), expected[i]) << "pixel " << i;
            }
        }
    }
}

TEST(PxDecoderTGA, SixteenBitIndicesReachTheWholeMap)
{
    TgaOptions options;
    options.imageType = 1;
    options.depth = 16;
    options.colorMapType = 1;
    options.mapLength = 300;
    options.mapEntrySize = 24;
    options.colorMap.assign(300 * 3, 0);
    options.colorMap[299 * 3] = 77;  // blue of entry 299
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(Concat(TgaHead(2, 1, options), {0x2B, 0x01, 0x2C, 0x01}), &bitmap), 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{0, 0, 77}));  // index 299
    EXPECT_EQ(PixelAt(bitmap, 1, 0), kBlack);           // index 300: past the map
}

TEST(PxDecoderTGA, GreyPicturesShowGrey)
{
    for (const std::uint8_t type : {3, 11}) {
        TgaOptions options;
        options.imageType = type;
        options.depth = 8;
        PxBitmap grey;
        ASSERT_EQ(DecodeBytes(WriteTga(3, 1, {0, 128, 255}, options), &grey), 0);
        EXPECT_EQ(PixelAt(grey, 0, 0), kBlack);
        EXPECT_EQ(PixelAt(grey, 1, 0), (Rgb{128, 128, 128}));
        EXPECT_EQ(PixelAt(grey, 2, 0), (Rgb{255, 255, 255}));

        // Grey with alpha: the level comes first, the alpha is not shown.
        options.depth = 16;
        PxBitmap withAlpha;
        ASSERT_EQ(DecodeBytes(WriteTga(2, 1, {77, 0, 200, 255}, options), &withAlpha), 0);
        EXPECT_EQ(PixelAt(withAlpha, 0, 0), (Rgb{77, 77, 77}));
        EXPECT_EQ(PixelAt(withAlpha, 1, 0), (Rgb{200, 200, 200}));
    }
}

TEST(PxDecoderTGA, ImageTypeZeroLoadsBlack)
{
    TgaOptions options;
    options.imageType = 0;
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(Concat(TgaHead(3, 2, options), std::vector<std::uint8_t>(18, 0xFF)), &bitmap), 0);
    EXPECT_EQ(bitmap.Width(), 3);
    EXPECT_EQ(bitmap.Height(), 2);
    EXPECT_EQ(TopDownRgb(bitmap), std::vector<std::uint8_t>(18, 0));
}

TEST(PxDecoderTGA, ZeroWidthOrHeightFails)
{
    TgaOptions options;
    PxBitmap noWidth;
    EXPECT_EQ(DecodeBytes(Concat(TgaHead(0, 2, options), {1, 2, 3}), &noWidth), 1);
    EXPECT_EQ(noWidth.FormatId(), kPxFormatTGA);
    EXPECT_EQ(noWidth.Pixels(), nullptr);
    PxBitmap noHeight;
    EXPECT_EQ(DecodeBytes(Concat(TgaHead(2, 0, options), {1, 2, 3}), &noHeight), 1);
}

TEST(PxDecoderTGA, TruncatedFilesReadZeros)
{
    TgaOptions options;
    PxBitmap plain;
    ASSERT_EQ(DecodeBytes(Concat(TgaHead(3, 2, options), {1, 2, 3, 4}), &plain), 0);
    EXPECT_EQ(PixelAt(plain, 0, 1), (Rgb{3, 2, 1}));
    EXPECT_EQ(PixelAt(plain, 1, 1), (Rgb{0, 0, 4}));
    EXPECT_EQ(PixelAt(plain, 2, 1), kBlack);
    EXPECT_EQ(PixelAt(plain, 0, 0), kBlack);
    EXPECT_EQ(PixelAt(plain, 2, 0), kBlack);

    // Past the end, packet headers and indices read as 0: every missing
    // pixel shows map entry 0, which need not be black.
    options.imageType = 9;
    options.depth = 8;
    options.topDown = true;
    options.colorMapType = 1;
    options.mapLength = 2;
    options.mapEntrySize = 24;
    options.colorMap = {0, 0, 255, 255, 0, 0};  // red, blue
    PxBitmap mapped;
    ASSERT_EQ(DecodeBytes(Concat(TgaHead(3, 4, options), {0x82, 1, 0x80}), &mapped), 0);
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(PixelAt(mapped, x, 0), (Rgb{0, 0, 255}));
        for (int y = 1; y < 4; ++y) {
            EXPECT_EQ(PixelAt(mapped, x, y), (Rgb{255, 0, 0})) << x << "," << y;
        }
    }
}

TEST(PxDecoderTGA, ColourMapIsBoundedByTheFile)
{
    // 65535 entries of 32 bits announced, two present, no pixel data: only
    // what the file holds is read, and every index reads as 0.
    TgaOptions options;
    options.imageType = 1;
    options.depth = 8;
    options.colorMapType = 1;
    options.mapLength = 65535;
    options.mapEntrySize = 32;
    options.colorMap = {0, 200, 0, 255, 9, 9, 9, 255};
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(TgaHead(300, 200, options), &bitmap), 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{0, 200, 0}));
    EXPECT_EQ(PixelAt(bitmap, 299, 199), (Rgb{0, 200, 0}));

    // A map cut inside its first entry holds nothing: black.
    options.colorMap = {0, 200};
    PxBitmap cut;
    ASSERT_EQ(DecodeBytes(TgaHead(2, 2, options), &cut), 0);
    EXPECT_EQ(PixelAt(cut, 0, 0), kBlack);
    EXPECT_EQ(PixelAt(cut, 1, 1), kBlack);
}

// Fuzz finding: 41 bytes announcing a 2308 x 57349 colour-mapped picture
// with no pixel data. Every pixel is map entry 0; filling the store pixel by
// pixel took seconds, row copies take a blink.
TEST(PxDecoderTGA, FuzzHugeMappedPictureWithoutDataFillsByRows)
{
    const std::vector<std::uint8_t> file = {
        0x00, 0x01, 0x01, 0x00, 0x00, 0x10, 0x00, 0x0f, 0x00, 0x00, 0x00, 0x00, 0x04, 0x09,
        0x05, 0xe0, 0x0f, 0x6e, 0x0e, 0x2e, 0x33, 0x9a, 0x5d, 0x9e, 0xff, 0x58, 0x2c, 0x7a,
        0x7a, 0xaf, 0x4a, 0x07, 0x06, 0x05, 0x0a, 0x01, 0x0d, 0x00, 0x08, 0x0f, 0x03,
    };
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(file, &bitmap), 0);
    ASSERT_EQ(bitmap.Width(), 2308);
    ASSERT_EQ(bitmap.Height(), 57349);
    const Rgb entryZero{88, 128, 112};  // 15-bit entry 0x2E0E
    EXPECT_EQ(PixelAt(bitmap, 0, 0), entryZero);
    EXPECT_EQ(PixelAt(bitmap, 2307, 0), entryZero);
    EXPECT_EQ(PixelAt(bitmap, 0, 57348), entryZero);
    EXPECT_EQ(PixelAt(bitmap, 2307, 57348), entryZero);
}

}  // namespace

}  // namespace brelvix
