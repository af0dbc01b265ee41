// PCX files built byte by byte.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/decoder_pcx.h"
#include "imaging/format_detect.h"
#include "support/decode_bytes.h"
#include "support/pcx_writer.h"
#include "support/pixels.h"
#include "support/temp_dir.h"

namespace brelvix {

namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};

// Header colour i: distinct, none black.
Rgb HeaderColour(int i)
{
    return Rgb{static_cast<std::uint8_t>(10 + 15 * i), static_cast<std::uint8_t>(250 - 13 * i),
               static_cast<std::uint8_t>(40 + 7 * i)};
}

PcxOptions Options(int bits, int planes, int bytesPerLine = -1)
{
    PcxOptions options;
    options.bitsPerPixel = static_cast<std::uint8_t>(bits);
    options.planes = static_cast<std::uint8_t>(planes);
    options.bytesPerLine = bytesPerLine;
    for (int i = 0; i < 16; ++i) {
        options.headerPalette[3 * i] = HeaderColour(i).r;
        options.headerPalette[3 * i + 1] = HeaderColour(i).g;
        options.headerPalette[3 * i + 2] = HeaderColour(i).b;
    }
    return options;
}

std::vector<std::uint8_t> File(int width, int height, const PcxOptions& options, const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> bytes = PcxHeader(width, height, options);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

void ExpectRow(const PxBitmap& bitmap, int y, const std::vector<Rgb>& expected)
{
    ASSERT_EQ(bitmap.Width(), static_cast<int>(expected.size()));
    for (int x = 0; x < bitmap.Width(); ++x) {
        EXPECT_EQ(PixelAt(bitmap, x, y), expected[x]) << "at " << x << "," << y;
    }
}

TEST(PxDecoderPCX, RunLengthBytes)
{
    // 0xC3 0x05: three pixels of entry 5; 0x05: one; 0xC0 0x07: none.
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(File(5, 1, Options(8, 1, 5), {0xC3, 0x05, 0x05, 0xC0, 0x07, 0x01}), &bitmap), 0);
    EXPECT_EQ(bitmap.FormatId(), kPxFormatPCX);
    const Rgb five = HeaderColour(5);
    ExpectRow(bitmap, 0, {five, five, five, five, HeaderColour(1)});
}

TEST(PxDecoderPCX, RunsContinueIntoTheNextLine)
{
    // 4 x 2: a run of 6 fills the top row and two pixels of the bottom one.
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(File(4, 2, Options(8, 1, 4), {0xC6, 0x01, 0x02, 0x03}), &bitmap), 0);
    const Rgb one = HeaderColour(1);
    ExpectRow(bitmap, 0, {one, one, one, one});
    ExpectRow(bitmap, 1, {one, one, HeaderColour(2), HeaderColour(3)});

    // With a pad byte per line the run covers the pad too, then goes on.
    PxBitmap padded;
    ASSERT_EQ(DecodeBytes(File(3, 2, Options(8, 1, 4), {0xC6, 0x01, 0x02, 0x03}), &padded), 0);
    ExpectRow(padded, 0, {one, one, one});
    ExpectRow(padded, 1, {one, one, HeaderColour(2)});
}

TEST(PxDecoderPCX, RunsOfThirtyTwoAndMoreKeepTheirLength)
{
    // A run's length is all six low bits of its code byte. Lengths of 32 to
    // 63 show whether the top one counts: inside one line, and in runs
    // longer than what is left of the line, which go on into the next ones.
    struct Case {
        int width;
        int height;
        std::vector<std::uint8_t> data;
        std::vector<std::pair<int, int>> runs;  // palette index, pixel count, top row first
    };
    const Case cases[] = {
        {40, 1, {0xE3, 2, 0xC5, 3}, {{2, 35}, {3, 5}}},
        {20, 4, {0xFF, 4, 0xD1, 5}, {{4, 63}, {5, 17}}},
        {12, 3, {0xE2, 7, 5, 6}, {{7, 34}, {5, 1}, {6, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        PxBitmap bitmap;
        ASSERT_EQ(DecodeBytes(File(c.width, c.height, Options(8, 1, c.width), c.data), &bitmap), 0);
        std::vector<Rgb> pixels;
        for (const auto& [index, count] : c.runs) {
            pixels.insert(pixels.end(), static_cast<size_t>(count), HeaderColour(index));
        }
        ASSERT_EQ(pixels.size(), static_cast<size_t>(c.width * c.height));
        for (int y = 0; y < c.height; ++y) {
            ExpectRow(bitmap, y, std::vector<Rgb>(pixels.begin() + y * c.width, pixels.begin() + (y + 1) * c.width));
        }
    }
}

TEST(PxDecoderPCX, HeaderCheck)
{
    struct Case {
        int manufacturer, encoding, bits, planes, result;
    };
    const std::vector<Case> cases = {
        {10, 1, 1, 1, 0},   {10, 1, 1, 4, 0},  {10, 1, 1, 0, 0},  {10, 1, 1, 5, -1},
        {10, 1, 2, 1, 0},   {10, 1, 2, 2, -1}, {10, 1, 4, 3, 0},  {10, 1, 8, 1, 0},
        {10, 1, 8, 2, -1},  {10, 1, 8, 3, 0},  {10, 1, 8, 4, -1}, {10, 1, 3, 1, -1},
        {10, 1, 24, 1, -1}, {11, 1, 8, 1, -1}, {10, 0, 8, 1, -1}, {10, 2, 8, 1, -1},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.manufacturer << " " << c.encoding << " " << c.bits << " " << c.planes);
        std::vector<std::uint8_t> bytes = File(4, 3, Options(c.bits, c.planes), std::vector<std::uint8_t>(12, 0));
        bytes[0] = static_cast<std::uint8_t>(c.manufacturer);
        bytes[2] = static_cast<std::uint8_t>(c.encoding);
        PxFileStream stream;
        ASSERT_EQ(stream.Open(dir.Write("header.pcx", bytes).c_str()), 0);
        PxDecoderPCX decoder;
        PxBitmap bitmap;
        EXPECT_EQ(decoder.ReadHeader(stream, bitmap), c.result);
        EXPECT_EQ(bitmap.Width(), c.result == 0 ? 4 : 0);
        EXPECT_EQ(bitmap.Height(), c.result == 0 ? 3 : 0);
        if (c.result == 0) {
            EXPECT_EQ(bitmap.BitsPerPixel(), c.bits);
        }
    }

    // Through the loader, a rejected header fails the load.
    PxBitmap rejected;
    EXPECT_EQ(DecodeBytes(File(4, 3, Options(8, 2), std::vector<std::uint8_t>(24, 0)), &rejected), 1);
    EXPECT_EQ(rejected.FormatId(), kPxFormatPCX);
    EXPECT_EQ(rejected.Width(), 0);
}

TEST(PxDecoderPCX, SizeComesFromTheBounds)
{
    PcxOptions options = Options(8, 1);
    options.xMin = 10;
    options.yMin = 5;
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(File(10, 3, options, {0xFF, 0x01}), &bitmap), 0);
    EXPECT_EQ(bitmap.Width(), 10);  // x min 10, x max 19
    EXPECT_EQ(bitmap.Height(), 3);  // y min 5, y max 7

    std::vector<std::uint8_t> inverted = File(10, 3, options, {0xFF, 0x01});
    inverted[8] = 9;  // x max 9 < x min 10
    inverted[9] = 0;
    PxBitmap none;
    EXPECT_EQ(DecodeBytes(inverted, &none), 1);
}

TEST(PxDecoderPCX, EightBitTakesThePaletteAtTheEnd)
{
    PcxOptions options = Options(8, 1);
    options.endPalette.resize(768);
    for (int i = 0; i < 256; ++i) {
        options.endPalette[3 * i] = static_cast<std::uint8_t>(i);
        options.endPalette[3 * i + 1] = static_cast<std::uint8_t>(255 - i);
        options.endPalette[3 * i + 2] = static_cast<std::uint8_t>(i / 2);
    }
    const auto colour = [](int i) {
        return Rgb{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i / 2)};
    };
    const std::vector<std::uint8_t> indices = {0, 5, 16, 200, 255, 255, 255, 7, 192, 1};
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(WritePcx(5, 2, PcxLines(5, 2, indices, options), options), &bitmap), 0);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(PixelAt(bitmap, i % 5, i / 5), colour(indices[i])) << "pixel " << i;
    }

    // The data stops where the palette begins: a line cut short there reads
    // zeros (entry 0), not the marker and the palette.
    PcxOptions unpadded = options;
    unpadded.bytesPerLine = 5;
    std::vector<std::uint8_t> cut = File(5, 3, unpadded, {0xC5, 200, 0xC2, 7});
    cut.push_back(12);
    cut.insert(cut.end(), options.endPalette.begin(), options.endPalette.end());
    PxBitmap truncated;
    ASSERT_EQ(DecodeBytes(cut, &truncated), 0);
    ExpectRow(truncated, 0, std::vector<Rgb>(5, colour(200)));
    ExpectRow(truncated, 1, {colour(7), colour(7), colour(0), colour(0), colour(0)});
    ExpectRow(truncated, 2, std::vector<Rgb>(5, colour(0)));
}

TEST(PxDecoderPCX, EightBitWithoutEndPaletteUsesTheHeaderColours)
{
    // Without the end palette, entries past the header's 16 are black.
    const PcxOptions options = Options(8, 1);
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(WritePcx(4, 1, {0, 15, 16, 255}, options), &bitmap), 0);
    ExpectRow(bitmap, 0, {HeaderColour(0), HeaderColour(15), kBlack, kBlack});
}

TEST(PxDecoderPCX, TwentyFourBitsInThreePlanes)
{
    // Odd width: every plane line carries a pad byte, which is dropped.
    const PcxOptions options = Options(8, 3);
    std::vector<std::uint8_t> rgb;
    for (int i = 0; i < 5 * 3; ++i) {
        rgb.insert(rgb.end(), {static_cast<std::uint8_t>(17 * i), static_cast<std::uint8_t>(3 * i + 1),
                               static_cast<std::uint8_t>(i < 10 ? 200 : 201)});
    }
    ASSERT_EQ(PcxBytesPerLine(5, options), 6);
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(WritePcx(5, 3, PcxLines(5, 3, rgb, options), options), &bitmap), 0);
    EXPECT_EQ(TopDownRgb(bitmap), rgb);
}

TEST(PxDecoderPCX, LargePicturesAcrossManyReadBlocks)
{
    // Noise with flat patches: every kind of token falls on the boundaries
    // of the blocks the decoder reads, runs split from their values included.
    const int width = 257;
    const int height = 131;
    std::vector<std::uint8_t> rgb;
    std::uint32_t state = 7;
    for (int i = 0; i < width * height * 3; ++i) {
        state = state * 1103515245u + 12345u;
        const bool flat = (i / (3 * width)) % 7 < 2;
        rgb.push_back(static_cast<std::uint8_t>(flat ? 200 : (state >> 16) & 0xFF));
    }
    PcxOptions colour = Options(8, 3);
    const std::vector<std::uint8_t> file = WritePcx(width, height, PcxLines(width, height, rgb, colour), colour);
    ASSERT_GT(file.size(), 4u * 16384u);
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(file, &bitmap), 0);
    EXPECT_TRUE(TopDownRgb(bitmap) == rgb);

    PcxOptions indexed = Options(8, 1);
    const std::vector<std::uint8_t> indices = PcxIndicesFromRgb(rgb, &indexed.endPalette);
    PxBitmap reduced;
    ASSERT_EQ(DecodeBytes(WritePcx(width, height, PcxLines(width, height, indices, indexed), indexed), &reduced), 0);
    for (int i = 0; i < width * height; i += 97) {
        const std::uint8_t* entry = indexed.endPalette.data() + 3 * indices[i];
        EXPECT_EQ(PixelAt(reduced, i % width, i / width), (Rgb{entry[0], entry[1], entry[2]})) << "pixel " << i;
    }
    EXPECT_EQ(PixelAt(reduced, width - 1, height - 1),
              (Rgb{indexed.endPalette[3 * indices.back()], indexed.endPalette[3 * indices.back() + 1],
                   indexed.endPalette[3 * indices.back() + 2]}));
}

TEST(PxDecoderPCX, OneBitSinglePlaneIsBlackAndWhite)
{
    // 10 pixels: two bytes of samples, padded to 4; the header colours are
    // not used.
    const PcxOptions options = Options(1, 1, 4);
    const std::vector<std::uint8_t> bits = {1, 0, 0, 1, 1, 1, 0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0};
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(WritePcx(10, 2, PcxLines(10, 2, bits, options), options), &bitmap), 0);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(PixelAt(bitmap, i % 10, i / 10), bits[i] ? kWhite : kBlack) << "pixel " << i;
    }
}

TEST(PxDecoderPCX, BitPlanesIndexTheHeaderColours)
{
    for (const int planes : {2, 3, 4}) {
        SCOPED_TRACE(testing::Message() << planes << " planes");
        const PcxOptions options = Options(1, planes);
        const int colours = 1 << planes;
        std::vector<std::uint8_t> indices;
        for (int i = 0; i < 18; ++i) {
            indices.push_back(static_cast<std::uint8_t>((i * 7) % colours));
        }
        PxBitmap bitmap;
        ASSERT_EQ(DecodeBytes(WritePcx(9, 2, PcxLines(9, 2, indices, options), options), &bitmap), 0);
        for (int i = 0; i < 18; ++i) {
            EXPECT_EQ(PixelAt(bitmap, i % 9, i / 9), HeaderColour(indices[i])) << "pixel " << i;
        }
    }
}

TEST(PxDecoderPCX, TwoAndFourBitsInOnePlane)
{
    for (const int bits : {2, 4}) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        const PcxOptions options = Options(bits, 1);
        std::vector<std::uint8_t> indices;
        for (int i = 0; i < 14; ++i) {
            indices.push_back(static_cast<std::uint8_t>((i * 5 + 1) % (1 << bits)));
        }
        PxBitmap bitmap;
        ASSERT_EQ(DecodeBytes(WritePcx(7, 2, PcxLines(7, 2, indices, options), options), &bitmap), 0);
        for (int i = 0; i < 14; ++i) {
            EXPECT_EQ(PixelAt(bitmap, i % 7, i / 7), HeaderColour(indices[i])) << "pixel " << i;
        }
    }
}

TEST(PxDecoderPCX, TwoAndFourBitsInThreePlanesAreStretchedToEightBits)
{
    for (const int bits : {2, 4}) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        const PcxOptions options = Options(bits, 3);
        const int top = (1 << bits) - 1;
        const std::vector<std::uint8_t> levels = {
            0, 1, static_cast<std::uint8_t>(top), static_cast<std::uint8_t>(top), 2, 0, 1, 1, 1};
        PxBitmap bitmap;
        ASSERT_EQ(DecodeBytes(WritePcx(3, 1, PcxLines(3, 1, levels, options), options), &bitmap), 0);
        const int scale = 255 / top;
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(PixelAt(bitmap, x, 0), (Rgb{static_cast<std::uint8_t>(levels[3 * x] * scale),
                                                  static_cast<std::uint8_t>(levels[3 * x + 1] * scale),
                                                  static_cast<std::uint8_t>(levels[3 * x + 2] * scale)}));
        }
    }
}

TEST(PxDecoderPCX, BytesPerLineShorterThanTheSamplesMeansUnpaddedLines)
{
    // For 8 bits that is the plain rule: a line is `width` bytes.
    for (const int field : {0, 2}) {
        SCOPED_TRACE(testing::Message() << "bytes per line " << field);
        PxBitmap bitmap;
        ASSERT_EQ(DecodeBytes(File(3, 2, Options(8, 1, field), {1, 2, 3, 4, 5, 6}), &bitmap), 0);
        ExpectRow(bitmap, 0, {HeaderColour(1), HeaderColour(2), HeaderColour(3)});
        ExpectRow(bitmap, 1, {HeaderColour(4), HeaderColour(5), HeaderColour(6)});
    }
    // 24 bits: each plane line is `width` bytes.
    PxBitmap rgb;
    ASSERT_EQ(DecodeBytes(File(2, 1, Options(8, 3, 0), {10, 11, 20, 21, 30, 31}), &rgb), 0);
    ExpectRow(rgb, 0, {Rgb{10, 20, 30}, Rgb{11, 21, 31}});
}

TEST(PxDecoderPCX, TruncatedDataReadsAsIndexZero)
{
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(File(3, 3, Options(8, 1, 3), {0xC4, 9}), &bitmap), 0);
    const Rgb nine = HeaderColour(9);
    const Rgb zero = HeaderColour(0);
    ExpectRow(bitmap, 0, {nine, nine, nine});
    ExpectRow(bitmap, 1, {nine, zero, zero});
    ExpectRow(bitmap, 2, {zero, zero, zero});
}

TEST(PxDecoderPCX, HugeBytesPerLineInATinyFile)
{
    // 65535 bytes per line in four planes for a 1 x 60000 picture: about
    // 15 GB of decoded lines announced by a 130-byte file. Zeros past the
    // end must not be walked one by one.
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(File(1, 60000, Options(1, 4, 65535), {0xC1, 0x80}), &bitmap), 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), HeaderColour(1));
    EXPECT_EQ(PixelAt(bitmap, 0, 59999), HeaderColour(0));
}

}  // namespace

}  // namespace brelvix
