// Hand-made hostile and broken bitmap headers. Each must end in result 1 or
// in the (partly) black picture it describes, quickly and without touching
// memory outside the store.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "support/byte_builder.h"
#include "support/pixels.h"
#include "support/temp_dir.h"

namespace brelvix {

namespace {

// A "BM" file header with the given pixel offset.
ByteBuilder FileHeader(std::uint32_t pixelOffset)
{
    ByteBuilder b;
    b.Text("BM");        // signature
    b.U32(0);            // file size (ignored)
    b.U16(0).U16(0);     // reserved
    b.U32(pixelOffset);  // offset of the pixel data
    return b;
}

// The 40-byte info header, field by field.
ByteBuilder& Info(ByteBuilder& b, std::uint32_t width, std::uint32_t height, std::uint16_t depth,
                  std::uint32_t compression = 0, std::uint32_t colorsUsed = 0, std::uint32_t size = 40)
{
    b.U32(size);         // header size
    b.U32(width);        // width, signed
    b.U32(height);       // height, signed; negative is top-down
    b.U16(1);            // planes
    b.U16(depth);        // bits per pixel
    b.U32(compression);  // compression
    b.U32(0);            // image size
    b.U32(0).U32(0);     // resolutions
    b.U32(colorsUsed);   // colours used
    b.U32(0);            // important colours
    return b;
}

struct Hostile {
    std::string name;
    std::function<std::vector<std::uint8_t>()> bytes;
    int result;
    // With result 0: the size of the picture and the colour every pixel has.
    int width = 0;
    int height = 0;
    Rgb fill{};
};

std::vector<Hostile> Cases()
{
    return {
        {"CoreHeader65535Squared",
         [] {
             ByteBuilder b = FileHeader(26);
             b.U32(12);                // core header
             b.U16(65535).U16(65535);  // width, height: a 12 GB store
             b.U16(1).U16(24);         // planes, depth
             return b.Bytes();
         },
         1},
        {"Width2Pow31Minus1",
         [] {
             ByteBuilder b = FileHeader(54);
             return Info(b, 0x7FFFFFFF, 1, 24).Bytes();
         },
         1},
        {"Width2Pow31IsNegative",
         [] {
             ByteBuilder b = FileHeader(54);
             return Info(b, 0x80000000u, 1, 24).Bytes();
         },
         1},
        {"HeightMinusTwoPow31",
         [] {
             ByteBuilder b = FileHeader(54);
             return Info(b, 1, 0x80000000u, 24).Bytes();  // has no positive counterpart
         },
         1},
        {"HeightZero",
         [] {
             ByteBuilder b = FileHeader(54);
             return Info(b, 4, 0, 8).Bytes();
         },
         1},
        {"StoreJustOverTheCap",
         [] {
             ByteBuilder b = FileHeader(54);
             // 1 x 2^28 + 1 rows of 4 bytes: one row more than 1 GiB.
             return Info(b, 1, (1u << 28) + 1, 1).Bytes();
         },
         1},
        {"PixelOffsetNearFourGiB",
         [] {
             ByteBuilder b = FileHeader(0xFFFFFFF0);  // far beyond the end: skipped, never allocated
             Info(b, 2, 2, 24);
             b.Fill(16, 0xFF);  // pixels that are never reached
             return b.Bytes();
         },
         0, 2, 2, Rgb{0, 0, 0}},
        {"ColorsUsedHuge",
         [] {
             ByteBuilder b = FileHeader(14 + 40 + 8);
             Info(b, 2, 2, 8, 0, 0x7FFFFFFF);  // 8 GB of colour table
             b.U8(10).U8(20).U8(30).U8(0);     // entry 0
             b.U8(40).U8(50).U8(60).U8(0);     // entry 1
             b.Raw({1, 1, 0, 0, 1, 1, 0, 0});  // taken as table entries 2 and 3
             // The table reaches far past the end, so the pixels are read
             // from there: all index 0.
             return b.Bytes();
         },
         0, 2, 2, Rgb{30, 20, 10}},
        {"HeaderSizeHuge",
         [] {
             ByteBuilder b = FileHeader(0);
             Info(b, 3, 2, 24, 0, 0, 0xFFFFFFFF);  // the header claims 4 GB
             b.Fill(24, 0x55);                     // inside the claimed header
             return b.Bytes();
         },
         0, 3, 2, Rgb{0, 0, 0}},
        {"HeaderSizeZero",
         [] {
             ByteBuilder b = FileHeader(54);
             Info(b, 3, 2, 24, 0, 0, 0);  // size 0: none of the fields belong to it
             return b.Bytes();
         },
         1},
        {"DepthHuge",
         [] {
             ByteBuilder b = FileHeader(54);
             Info(b, 5, 3, 0xFFFF);
             b.Fill(100, 0x33);
             return b.Bytes();
         },
         0, 5, 3, Rgb{0, 0, 0}},
        {"OnlyTheSignature",
         [] {
             ByteBuilder b;
             b.Text("BM");  // everything else reads as zero
             return b.Bytes();
         },
         1},
        {"ArrayHeadersWithoutAFile",
         [] {
             ByteBuilder b;
             for (int i = 0; i < 1000; ++i) {
                 b.Text("BA").U32(14).U32(0).U16(0).U16(0);  // signature, size, next, display size
             }
             return b.Bytes();
         },
         1},
        {"RunLengthDeltasFarRight",
         [] {
             ByteBuilder b = FileHeader(14 + 40 + 4);
             Info(b, 4, 4, 8, 1, 1);
             b.U8(90).U8(90).U8(90).U8(0);  // entry 0
             for (int i = 0; i < 5000; ++i) {
                 b.Raw({0, 2, 255, 0});  // delta: 255 to the right, same row
             }
             b.Raw({200, 0});  // a run far beyond the row's end
             return b.Bytes();
         },
         0, 4, 4, Rgb{0, 0, 0}},
        {"RunLengthTallWithoutCodes",
         [] {
             ByteBuilder b = FileHeader(14 + 40 + 4);
             Info(b, 1, 1000000, 8, 1, 1);  // a million rows and no data
             b.U8(90).U8(90).U8(90).U8(0);
             return b.Bytes();
         },
         0, 1, 1000000, Rgb{0, 0, 0}},
        {"RunLength4AbsoluteRunCutShort",
         [] {
             ByteBuilder b = FileHeader(14 + 40 + 4);
             Info(b, 2, 1, 4, 2, 1);
             b.U8(90).U8(90).U8(90).U8(0);  // entry 0
             b.Raw({0, 255});               // an absolute run of 255 pixels, its data missing (reads as index 0)
             return b.Bytes();
         },
         0, 2, 1, Rgb{90, 90, 90}},
        // Found by fuzzing: a short file whose header claims 1.2 million rows
        // (a 478 MB store) took seconds repeating black rows onto black ones.
        {"FuzzTallShortOneBitPicture",
         [] {
             ByteBuilder b = FileHeader(14 + 40 + 8);
             Info(b, 127, 0x00130040, 1, 0, 2);
             b.U32(0).U32(0);    // two black entries
             b.Fill(230, 0xAA);  // a few rows of pixels, then the file ends
             return b.Bytes();
         },
         0, 127, 0x00130040, Rgb{0, 0, 0}},
        // Found by fuzzing (scaled down): a top-down picture whose colour
        // table claims 2^29 entries and runs past the end; every row then
        // repeats the first, which shows entry 0.
        {"FuzzTallTopDownAfterHugeTable",
         [] {
             ByteBuilder b = FileHeader(62);
             Info(b, 6, static_cast<std::uint32_t>(-100000), 1, 0, 0x20000000);
             b.U8(10).U8(20).U8(30).U8(0);  // entry 0; the file ends here
             return b.Bytes();
         },
         0, 6, 100000, Rgb{30, 20, 10}},
        {"BitFieldsMasksAbove16Bits",
         [] {
             ByteBuilder b = FileHeader(14 + 40 + 12);
             Info(b, 2, 1, 16, 3);
             b.U32(0xFFFF0000).U32(0x80000000).U32(0);  // masks no 16-bit pixel can reach
             b.U16(0xFFFF).U16(0x1234);
             return b.Bytes();
         },
         0, 2, 1, Rgb{0, 0, 0}},
    };
}

TEST(PxDecoderBMPHostile, EachHeaderGivesItsResult)
{
    for (const Hostile& c : Cases()) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        PxBitmap bitmap;
        const int result = bitmap.CreateFromFile(dir.Write(c.name + ".bmp", c.bytes()).c_str());
        ASSERT_EQ(result, c.result);
        if (result != 0) {
            EXPECT_EQ(bitmap.Pixels(), nullptr);
            continue;
        }
        ASSERT_EQ(bitmap.Width(), c.width);
        ASSERT_EQ(bitmap.Height(), c.height);
        // Every pixel up to a million, else the first and the last row.
        const bool all = static_cast<std::int64_t>(c.width) * c.height <= 1000000;
        for (int y = 0; y < c.height; y += (all || y == c.height - 1) ? 1 : c.height - 1) {
            for (int x = 0; x < c.width; ++x) {
                ASSERT_EQ(PixelAt(bitmap, x, y), c.fill) << "x " << x << " y " << y;
            }
        }
    }
}

}  // namespace

}  // namespace brelvix
