// Small bitmap files built byte by byte: every depth, both run-length
// codings, the header variants and what a truncated file shows.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/format_detect.h"
#include "support/byte_builder.h"
#include "support/pixels.h"
#include "support/temp_dir.h"

namespace brelvix {

namespace {

const Rgb kBlack{0, 0, 0};
// Palette colours with three distinct channels each, so swapped channels show.
const std::vector<Rgb> kColors = {
    {10, 20, 30},  {200, 40, 60}, {70, 210, 90},  {100, 110, 220}, {230, 240, 120}, {130, 20, 250},
    {160, 170, 5}, {190, 1, 210}, {220, 230, 77}, {250, 9, 11},    {13, 15, 17},    {19, 21, 23},
    {25, 27, 29},  {31, 33, 35},  {37, 39, 41},   {43, 45, 47},
};

int Load(const std::vector<std::uint8_t>& bytes, PxBitmap& bitmap)
{
    TempDir dir;
    return bitmap.CreateFromFile(dir.Write("picture.bmp", bytes).c_str());
}

// "BM" file header and 40-byte info header, then the colour table; the
// pixel offset points right after the table. The caller appends the pixels.
// Colours used is the table's size unless given.
ByteBuilder InfoFile(std::int32_t width, std::int32_t height, std::uint16_t depth, std::uint32_t compression = 0,
                     const std::vector<Rgb>& table = {}, std::int64_t colorsUsed = -1)
{
    if (colorsUsed < 0) {
        colorsUsed = static_cast<std::int64_t>(table.size());
    }
    ByteBuilder b;
    b.Text("BM").U32(0).U16(0).U16(0).U32(static_cast<std::uint32_t>(14 + 40 + 4 * table.size()));
    b.U32(40).I32(width).I32(height).U16(1).U16(depth).U32(compression);
    b.U32(0).U32(2835).U32(2835).U32(static_cast<std::uint32_t>(colorsUsed)).U32(0);  // image size, resolutions,
                                                                                      // colours used, important
    for (const Rgb& c : table) {
        b.U8(c.b).U8(c.g).U8(c.r).U8(0);
    }
    return b;
}

std::vector<Rgb> Colors(std::size_t count)
{
    return std::vector<Rgb>(kColors.begin(), kColors.begin() + static_cast<std::ptrdiff_t>(count));
}

// Row y (0 = top) of a loaded picture.
std::vector<Rgb> RowAt(const PxBitmap& bitmap, int y)
{
    std::vector<Rgb> row;
    for (int x = 0; x < bitmap.Width(); ++x) {
        row.push_back(PixelAt(bitmap, x, y));
    }
    return row;
}

std::vector<Rgb> Indexed(std::initializer_list<int> indices)
{
    std::vector<Rgb> row;
    for (int i : indices) {
        row.push_back(i < 0 ? kBlack : kColors[static_cast<std::size_t>(i)]);
    }
    return row;
}

TEST(PxDecoderBMP, Depth24RowsArePaddedAndBottomUp)
{
    // 3 x 2: 9 pixel bytes and 3 padding bytes per file row.
    ByteBuilder file = InfoFile(3, 2, 24);
    file.Raw({1, 2, 3, 4, 5, 6, 7, 8, 9}).Fill(3, 0xEE);           // bottom row
    file.Raw({11, 12, 13, 14, 15, 16, 17, 18, 19}).Fill(3, 0xEE);  // top row
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(bitmap.FormatId(), kPxFormatBMP);
    EXPECT_EQ(bitmap.Width(), 3);
    EXPECT_EQ(bitmap.Height(), 2);
    EXPECT_EQ(bitmap.BitsPerPixel(), 24);
    EXPECT_EQ(bitmap.Stride(), 12);
    EXPECT_EQ(RowAt(bitmap, 0), (std::vector<Rgb>{{13, 12, 11}, {16, 15, 14}, {19, 18, 17}}));
    EXPECT_EQ(RowAt(bitmap, 1), (std::vector<Rgb>{{3, 2, 1}, {6, 5, 4}, {9, 8, 7}}));
    // The file's padding stays out of the store.
    for (int row = 0; row < 2; ++row) {
        for (int i = 9; i < 12; ++i) {
            EXPECT_EQ(bitmap.Pixels()[row * 12 + i], 0) << "row " << row << " byte " << i;
        }
    }
}

TEST(PxDecoderBMP, Depth1TakesBitsMostSignificantFirst)
{
    // 10 pixels: 2 data bytes and 2 padding bytes per row. The low bits of
    // the second byte lie beyond the width and must be ignored.
    ByteBuilder file = InfoFile(10, 2, 1, 0, Colors(2));
    file.Raw({0b10110010, 0b01111111}).Fill(2, 0xFF);  // bottom row
    file.Raw({0b00001111, 0b10000000}).Fill(2, 0xFF);  // top row
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 0), Indexed({0, 0, 0, 0, 1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(RowAt(bitmap, 1), Indexed({1, 0, 1, 1, 0, 0, 1, 0, 0, 1}));
}

TEST(PxDecoderBMP, Depth4TakesHighNibbleFirst)
{
    // 5 pixels: 3 data bytes, the last pixel from the third byte's high nibble.
    ByteBuilder file = InfoFile(5, 2, 4, 0, Colors(16));
    file.Raw({0x12, 0x34, 0x5F}).Fill(1, 0xFF);  // bottom row
    file.Raw({0xAB, 0xCD, 0xE0}).Fill(1, 0xFF);  // top row
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 0), Indexed({10, 11, 12, 13, 14}));
    EXPECT_EQ(RowAt(bitmap, 1), Indexed({1, 2, 3, 4, 5}));
}

TEST(PxDecoderBMP, Depth8IndexBeyondTheTableIsBlack)
{
    // The table has 2 entries; index 5 is not covered by it.
    ByteBuilder file = InfoFile(3, 1, 8, 0, Colors(2), 2);
    file.Raw({1, 5, 0}).Fill(1, 0);
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 0), Indexed({1, -1, 0}));
}

TEST(PxDecoderBMP, Depth16IsFiveFiveFiveShiftedBy3)
{
    ByteBuilder file = InfoFile(5, 1, 16);
    file.U16(0x7C00).U16(0x03E0).U16(0x001F).U16(0x8000).U16(0x7FFF).Fill(2, 0);
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 0), (std::vector<Rgb>{{248, 0, 0}, {0, 248, 0}, {0, 0, 248}, kBlack, {248, 248, 248}}));
}

TEST(PxDecoderBMP, Depth16IgnoresRunLengthCompression)
{
    // Compression 1 means nothing for 16 bits: the pixels are plain 5-5-5.
    ByteBuilder file = InfoFile(2, 1, 16, 1);
    file.U16(0x7C00).U16(0x001F);
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 0), (std::vector<Rgb>{{248, 0, 0}, {0, 0, 248}}));
}

TEST(PxDecoderBMP, Depth32CopiesBlueGreenRedAndIgnoresTheFourthByte)
{
    for (std::uint32_t compression : {0u, 3u}) {
        SCOPED_TRACE(compression);
        ByteBuilder file = InfoFile(2, 2, 32, compression);
        if (compression == 3) {
            // With a 40-byte header the red, green and blue masks follow it;
            // these are the default layout. The offset then lies 12 bytes on.
            file.PatchU32(10, 14 + 40 + 12).U32(0xFF0000).U32(0x00FF00).U32(0x0000FF);
        }
        file.Raw({1, 2, 3, 0xFF, 4, 5, 6, 0x80});     // bottom row
        file.Raw({11, 12, 13, 0xFF, 14, 15, 16, 0});  // top row
        PxBitmap bitmap;
        ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
        EXPECT_EQ(RowAt(bitmap, 0), (std::vector<Rgb>{{13, 12, 11}, {16, 15, 14}}));
        EXPECT_EQ(RowAt(bitmap, 1), (std::vector<Rgb>{{3, 2, 1}, {6, 5, 4}}));
    }
}

TEST(PxDecoderBMP, NegativeHeightStoresRowsTopDown)
{
    for (std::int32_t height : {2, -2}) {
        SCOPED_TRACE(height);
        ByteBuilder file = InfoFile(2, height, 8, 0, Colors(4));
        file.Raw({1, 2}).Fill(2, 0);  // first file row
        file.Raw({3, 0}).Fill(2, 0);  // second file row
        PxBitmap bitmap;
        ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
        EXPECT_EQ(bitmap.Height(), 2);
        const int firstRowAt = height < 0 ? 0 : 1;
        EXPECT_EQ(RowAt(bitmap, firstRowAt), Indexed({1, 2}));
        EXPECT_EQ(RowAt(bitmap, 1 - firstRowAt), Indexed({3, 0}));
    }
}

TEST(PxDecoderBMP, UnsupportedDepthLoadsBlack)
{
    for (std::uint16_t depth : {0, 2, 3, 64}) {
        SCOPED_TRACE(depth);
        ByteBuilder file = InfoFile(4, 3, depth, 0, Colors(4), 4);
        file.Fill(64, 0x5A);
        PxBitmap bitmap;
        ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
        EXPECT_EQ(bitmap.Width(), 4);
        EXPECT_EQ(bitmap.Height(), 3);
        for (int y = 0; y < 3; ++y) {
            EXPECT_EQ(RowAt(bitmap, y), std::vector<Rgb>(4, kBlack));
        }
    }
}

TEST(PxDecoderBMP, CoreHeaderReadsFullTableOfThreeByteEntries)
{
    // 12-byte header, 8 bits: 256 entries of blue, green, red.
    ByteBuilder file;
    file.Text("BM").U32(0).U16(0).U16(0).U32(14 + 12 + 256 * 3);
    file.U32(12).U16(3).U16(2).U16(1).U16(8);  // size, width, height, planes, depth
    for (int i = 0; i < 256; ++i) {
        file.U8(i).U8(255 - i).U8(i ^ 0x55);  // blue, green, red
    }
    file.Raw({0, 255, 128}).Fill(1, 0);  // bottom row
    file.Raw({1, 254, 7}).Fill(1, 0);    // top row
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    auto entry = [](int i) {
        return Rgb{static_cast<std::uint8_t>(i ^ 0x55), static_cast<std::uint8_t>(255 - i),
                   static_cast<std::uint8_t>(i)};
    };
    EXPECT_EQ(RowAt(bitmap, 1), (std::vector<Rgb>{entry(0), entry(255), entry(128)}));
    EXPECT_EQ(RowAt(bitmap, 0), (std::vector<Rgb>{entry(1), entry(254), entry(7)}));
}

TEST(PxDecoderBMP, CoreHeaderWidthAndHeightAreUnsigned)
{
    // 0x8001 would be negative as a signed 16-bit value.
    ByteBuilder file;
    file.Text("BM").U32(0).U16(0).U16(0).U32(14 + 12);
    file.U32(12).U16(0x8001).U16(1).U16(1).U16(24);
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(bitmap.Width(), 0x8001);
    EXPECT_EQ(bitmap.Height(), 1);
}

TEST(PxDecoderBMP, IconSignatureKeepsTheFullHeight)
{
    // An icon holds image and mask one above the other; both are shown.
    ByteBuilder file = InfoFile(1, 4, 24);
    std::vector<std::uint8_t> bytes = file.Raw({1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0}).Bytes();
    bytes[0] = 'I';
    bytes[1] = 'C';
    PxBitmap bitmap;
    ASSERT_EQ(Load(bytes, bitmap), 0);
    EXPECT_EQ(bitmap.Height(), 4);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{12, 11, 10}));
    EXPECT_EQ(PixelAt(bitmap, 0, 3), (Rgb{3, 2, 1}));
}

TEST(PxDecoderBMP, ArrayHeadersArePassedOver)
{
    ByteBuilder file;
    for (int i = 0; i < 2; ++i) {
        file.Text("BA").U32(14).U32(0).U16(0).U16(0);  // size, next, display width and height
    }
    // The pixel offset counts from the start of the file, array headers included.
    file.Text("BM").U32(0).U16(0).U16(0).U32(28 + 14 + 12 + 6);
    file.U32(12).U16(1).U16(1).U16(1).U16(24);
    file.Fill(6, 0x77);  // unused bytes before the pixels
    file.Raw({1, 2, 3, 0});
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{3, 2, 1}));
}

TEST(PxDecoderBMP, UnknownSignatureAfterArrayHeaderFails)
{
    ByteBuilder file;
    file.Text("BA").U32(14).U32(0).U16(0).U16(0);
    file.Text("XY").U32(0).U16(0).U16(0).U32(54);
    file.U32(40).I32(1).I32(1).U16(1).U16(24).Fill(24, 0).Fill(4, 9);
    PxBitmap bitmap;
    EXPECT_EQ(Load(file.Bytes(), bitmap), 1);
    EXPECT_EQ(bitmap.FormatId(), kPxFormatBMP);
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_EQ(bitmap.Pixels(), nullptr);
}

TEST(PxDecoderBMP, LargerHeaderIsSkipped)
{
    // A 124-byte header: the 84 bytes after the 40th are passed over, and
    // pixel data that follows at once (offset 0) is still found.
    ByteBuilder file;
    file.Text("BM").U32(0).U16(0).U16(0).U32(0);
    file.U32(124).I32(1).I32(1).U16(1).U16(24).U32(0).Fill(20, 0).Fill(84, 0xAB);
    file.Raw({1, 2, 3, 0});
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{3, 2, 1}));
}

TEST(PxDecoderBMP, ShortOs2HeaderEndsWhereItSays)
{
    // A 16-byte OS/2 2.x header has no compression or colours-used field;
    // the colour table follows it at once.
    ByteBuilder file;
    file.Text("BM").U32(0).U16(0).U16(0).U32(14 + 16 + 256 * 4);
    file.U32(16).U32(2).U32(1).U16(1).U16(8);  // size, width, height, planes, depth
    for (int i = 0; i < 256; ++i) {
        file.U8(i).U8(i).U8(255 - i).U8(0);
    }
    file.Raw({3, 250}).Fill(2, 0);
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 0), (std::vector<Rgb>{{252, 3, 3}, {5, 250, 250}}));
}

TEST(PxDecoderBMP, TableBeyond256EntriesIsPassedOverNotWrapped)
{
    // 300 entries and a pixel offset of 0: the pixels follow the whole table,
    // and entries 256 to 299 do not replace entries 0 to 43.
    ByteBuilder file;
    file.Text("BM").U32(0).U16(0).U16(0).U32(0);
    file.U32(40).I32(3).I32(1).U16(1).U16(8).U32(0).U32(0).U32(0).U32(0).U32(300).U32(0);
    for (int i = 0; i < 300; ++i) {
        const Rgb c = i < 256 ? kColors[static_cast<std::size_t>(i % 16)] : Rgb{255, 255, 255};
        file.U8(c.b).U8(c.g).U8(c.r).U8(0);
    }
    file.Raw({0, 1, 15}).Fill(1, 0);
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 0), Indexed({0, 1, 15}));
}

// ---- Run-length coding -----------------------------------------------

TEST(PxDecoderBMP, RunLength8CodesAndFirstAndLastRows)
{
    // 6 x 3, bottom-up.
    ByteBuilder file = InfoFile(6, 3, 8, 1, Colors(8));
    file.Raw({2, 1});                    // bottom row: two of colour 1
    file.Raw({0, 3, 2, 3, 4, 0xAA});     // absolute run of 3, padded to 4 bytes
    file.Raw({0, 0});                    // end of line: pixel 5 stays black
    file.Raw({1, 5});                    // middle row: one of colour 5
    file.Raw({0, 2, 3, 1});              // delta: 3 right, 1 up to the top row, column 4
    file.Raw({2, 6});                    // two of colour 6 at columns 4 and 5
    file.Raw({0, 1});                    // end of bitmap
    file.Raw({6, 7, 6, 7, 0, 0, 6, 7});  // never read
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 2), Indexed({1, 1, 2, 3, 4, -1}));
    EXPECT_EQ(RowAt(bitmap, 1), Indexed({5, -1, -1, -1, -1, -1}));
    EXPECT_EQ(RowAt(bitmap, 0), Indexed({-1, -1, -1, -1, 6, 6}));
}

TEST(PxDecoderBMP, RunLength8DropsPixelsPastTheRowEnd)
{
    // 3 x 2: a run of 5 and an absolute run of 5 in 3-pixel rows.
    ByteBuilder file = InfoFile(3, 2, 8, 1, Colors(8));
    file.Raw({5, 1});                    // 3 pixels shown, 2 dropped (not wrapped)
    file.Raw({0, 0});                    // next row
    file.Raw({0, 5, 2, 3, 4, 5, 6, 0});  // absolute run of 5 plus one padding byte
    file.Raw({1, 7});                    // still in the top row, beyond its end
    file.Raw({0, 0});                    // past the last row: the reader stops
    file.Raw({3, 7});
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 1), Indexed({1, 1, 1}));
    EXPECT_EQ(RowAt(bitmap, 0), Indexed({2, 3, 4}));
}

TEST(PxDecoderBMP, RunLengthDeltaPastTheLastRowStops)
{
    ByteBuilder file = InfoFile(4, 2, 8, 1, Colors(8));
    file.Raw({1, 3});        // bottom row, column 0
    file.Raw({0, 2, 1, 9});  // delta 1 right, 9 up: beyond the top
    file.Raw({4, 5});        // never written
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 1), Indexed({3, -1, -1, -1}));
    EXPECT_EQ(RowAt(bitmap, 0), Indexed({-1, -1, -1, -1}));
}

TEST(PxDecoderBMP, RunLengthTopDownStartsAtTheTop)
{
    ByteBuilder file = InfoFile(2, -2, 8, 1, Colors(8));
    file.Raw({2, 1, 0, 0, 1, 2, 0, 1});  // first row: 1 1; second row: 2
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 0), Indexed({1, 1}));
    EXPECT_EQ(RowAt(bitmap, 1), Indexed({2, -1}));
}

TEST(PxDecoderBMP, RunLength4RunsAndAbsoluteRunPadding)
{
    ByteBuilder file = InfoFile(8, 3, 4, 2, Colors(16));
    // bottom row
    file.Raw({5, 0x12});  // 1 2 1 2 1, ending on a high nibble
    file.Raw({1, 0x30});  // the next pair follows at once: 3
    file.Raw({0, 0});     // end of line
    // middle row
    file.Raw({0, 3, 0x12, 0x30});  // absolute run of 3: 2 data bytes, no padding
    file.Raw({1, 0x40});           // 4
    file.Raw({0, 0});
    // top row
    file.Raw({0, 5, 0x12, 0x34, 0x5F, 0x00});  // absolute run of 5: 3 data bytes and a padding byte
    file.Raw({1, 0x60});                       // 6
    file.Raw({0, 1});
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 2), Indexed({1, 2, 1, 2, 1, 3, -1, -1}));
    EXPECT_EQ(RowAt(bitmap, 1), Indexed({1, 2, 3, 4, -1, -1, -1, -1}));
    EXPECT_EQ(RowAt(bitmap, 0), Indexed({1, 2, 3, 4, 5, 6, -1, -1}));
}

TEST(PxDecoderBMP, RunLengthDataEndingEarlyLeavesTheRestBlack)
{
    ByteBuilder file = InfoFile(3, 3, 8, 1, Colors(8));
    file.Raw({3, 4, 0, 0, 1});  // bottom row full, then a count with its colour missing
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 2), Indexed({4, 4, 4}));
    EXPECT_EQ(RowAt(bitmap, 1), Indexed({0, -1, -1}));  // the missing byte reads as index 0
    EXPECT_EQ(RowAt(bitmap, 0), Indexed({-1, -1, -1}));
}

// ---- Bit fields ----------------------------------------------------------

TEST(PxDecoderBMP, BitFields565ScaleEachChannelToFullRange)
{
    ByteBuilder file = InfoFile(5, 1, 16, 3);
    file.PatchU32(10, 14 + 40 + 12).U32(0xF800).U32(0x07E0).U32(0x001F);  // red, green, blue masks
    file.U16(0xF800).U16(0x07E0).U16(0x001F).U16(0xFFFF).U16(0x8410).Fill(2, 0);
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    // 0x8410 is red 16 of 31, green 32 of 63, blue 16 of 31: value * 255 / max, rounded.
    EXPECT_EQ(RowAt(bitmap, 0),
              (std::vector<Rgb>{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {132, 130, 132}}));
}

TEST(PxDecoderBMP, BitFieldsWithDefault555MasksMatchPlainFiles)
{
    ByteBuilder file = InfoFile(3, 1, 16, 3);
    file.PatchU32(10, 14 + 40 + 12).U32(0x7C00).U32(0x03E0).U32(0x001F);
    file.U16(0x7FFF).U16(0x4210).U16(0x8000).Fill(2, 0);
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 0), (std::vector<Rgb>{{248, 248, 248}, {128, 128, 128}, kBlack}));
}

TEST(PxDecoderBMP, BitFieldsInsideALargerHeader)
{
    // A 108-byte header keeps the masks at 40, 44 and 48; here an unusual
    // channel order, one byte each, the lowest byte unused.
    ByteBuilder file;
    file.Text("BM").U32(0).U16(0).U16(0).U32(14 + 108);
    file.U32(108).I32(2).I32(1).U16(1).U16(32).U32(3).Fill(20, 0);
    file.U32(0x0000FF00).U32(0x00FF0000).U32(0xFF000000).U32(0x000000FF);  // red, green, blue, alpha
    file.Fill(108 - 56, 0);
    file.Raw({0x99, 10, 20, 30, 0x00, 200, 100, 50});  // unused, red, green, blue
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 0), (std::vector<Rgb>{{10, 20, 30}, {200, 100, 50}}));
}

TEST(PxDecoderBMP, AlphaBitFieldsAfterA40ByteHeaderTake16Bytes)
{
    // Compression 6: four masks follow the header. With a pixel offset of 0
    // the pixels are read right after them, so all 16 bytes must be consumed.
    ByteBuilder file = InfoFile(1, 1, 32, 6);
    file.PatchU32(10, 0).U32(0x00FF0000).U32(0x0000FF00).U32(0x000000FF).U32(0xFF000000);
    file.Raw({7, 8, 9, 0x40});
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{9, 8, 7}));
}

TEST(PxDecoderBMP, BitFieldsOfUnusualWidths)
{
    // 32 bits: red 10 bits, green 1 bit, blue 20 bits, a zero-width fourth.
    ByteBuilder file = InfoFile(3, 1, 32, 3);
    file.PatchU32(10, 14 + 40 + 12).U32(0x000003FF).U32(0x00000400).U32(0xFFFFF800);
    file.U32(0x3FF | 0x400 | 0xFFFFF800).U32(512 | (0x100000u << 11)).U32(0);
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    // 512 of 1023 gives 128; blue 0x100000 of 21 bits keeps its top 16 bits: 0x8000 of 0xFFFF gives 128.
    EXPECT_EQ(RowAt(bitmap, 0), (std::vector<Rgb>{{255, 255, 255}, {128, 0, 128}, kBlack}));
}

// ---- Files that end early ----------------------------------------------

TEST(PxDecoderBMP, TruncatedRowsKeepThePreviousRowsBytes)
{
    // 2 x 4, 24 bits: two full rows, then only 4 of the third row's 6 bytes.
    ByteBuilder file = InfoFile(2, 4, 24);
    file.Raw({1, 2, 3, 4, 5, 6}).Fill(2, 0);
    file.Raw({11, 12, 13, 14, 15, 16}).Fill(2, 0);
    file.Raw({21, 22, 23, 24});
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 3), (std::vector<Rgb>{{3, 2, 1}, {6, 5, 4}}));
    EXPECT_EQ(RowAt(bitmap, 2), (std::vector<Rgb>{{13, 12, 11}, {16, 15, 14}}));
    // The missing green and red of the second pixel come from the row before,
    // and the last row repeats the whole buffer.
    EXPECT_EQ(RowAt(bitmap, 1), (std::vector<Rgb>{{23, 22, 21}, {16, 15, 24}}));
    EXPECT_EQ(RowAt(bitmap, 0), (std::vector<Rgb>{{23, 22, 21}, {16, 15, 24}}));
}

TEST(PxDecoderBMP, TruncatedPaletteRowsKeepThePreviousIndices)
{
    ByteBuilder file = InfoFile(3, 3, 8, 0, Colors(8));
    file.Raw({1, 2, 3}).Fill(1, 0);
    file.Raw({4});
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 2), Indexed({1, 2, 3}));
    EXPECT_EQ(RowAt(bitmap, 1), Indexed({4, 2, 3}));
    EXPECT_EQ(RowAt(bitmap, 0), Indexed({4, 2, 3}));
}

TEST(PxDecoderBMP, RowsAfterTheEndRepeatInBothRowOrders)
{
    // 3 x 7 with two and a half rows of data: the last five rows in file
    // order all show the half row completed from the one before.
    for (std::int32_t height : {7, -7}) {
        SCOPED_TRACE(height);
        ByteBuilder file = InfoFile(3, height, 8, 0, Colors(8));
        file.Raw({1, 2, 3}).Fill(1, 0);
        file.Raw({4, 5, 6}).Fill(1, 0);
        file.Raw({7});
        PxBitmap bitmap;
        ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
        auto fileRow = [&](int k) { return RowAt(bitmap, height < 0 ? k : 6 - k); };
        EXPECT_EQ(fileRow(0), Indexed({1, 2, 3}));
        EXPECT_EQ(fileRow(1), Indexed({4, 5, 6}));
        for (int k = 2; k < 7; ++k) {
            EXPECT_EQ(fileRow(k), Indexed({7, 5, 6})) << "file row " << k;
        }
        // The store's padding stays zero everywhere.
        for (int row = 0; row < 7; ++row) {
            for (int i = 9; i < 12; ++i) {
                EXPECT_EQ(bitmap.Pixels()[row * 12 + i], 0);
            }
        }
    }
}

TEST(PxDecoderBMP, TruncatedPackedRowsRepeatTheLastByte)
{
    // 1 bit, 16 pixels: 2 data bytes per row. The second row has one byte;
    // the byte variable keeps it for everything that follows.
    ByteBuilder file = InfoFile(16, 3, 1, 0, Colors(2));
    file.Raw({0xF0, 0x0F}).Fill(2, 0);
    file.Raw({0xA5});
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    const std::vector<Rgb> a5 = Indexed({1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 0, 0, 1, 0, 1});
    EXPECT_EQ(RowAt(bitmap, 2), Indexed({1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1}));
    EXPECT_EQ(RowAt(bitmap, 1), a5);
    EXPECT_EQ(RowAt(bitmap, 0), a5);
}

TEST(PxDecoderBMP, NoPixelDataAtAllShowsIndexZero)
{
    // Nothing after the table: every index reads as 0.
    ByteBuilder file = InfoFile(2, 2, 8, 0, Colors(2));
    PxBitmap bitmap;
    ASSERT_EQ(Load(file.Bytes(), bitmap), 0);
    EXPECT_EQ(RowAt(bitmap, 0), Indexed({0, 0}));
    EXPECT_EQ(RowAt(bitmap, 1), Indexed({0, 0}));
}

}  // namespace

}  // namespace brelvix
