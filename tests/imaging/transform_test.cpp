#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "imaging/bitmap.h"
#include "support/pixels.h"

namespace brelvix {

namespace {

// A picture whose pixels all differ, with every padding byte set to 0xAA so
// that a transform copying whole strides shows up as non-zero padding.
void MakePicture(PxBitmap& bitmap, int width, int height, unsigned seed = 1)
{
    bitmap.SetDimensions(width, height, 24);
    ASSERT_EQ(bitmap.CreatePixelStore(), 0);
    std::mt19937 random(seed);
    for (int row = 0; row < height; ++row) {
        std::uint8_t* p = bitmap.Pixels() + row * bitmap.Stride();
        for (int i = 0; i < bitmap.Stride(); ++i) {
            p[i] = i < 3 * width ? static_cast<std::uint8_t>(random()) : 0xAA;
        }
    }
}

bool SameStore(const PxBitmap& a, const PxBitmap& b)
{
    return a.Width() == b.Width() && a.Height() == b.Height() && a.Pixels() != nullptr && b.Pixels() != nullptr &&
           std::memcmp(a.Pixels(), b.Pixels(), static_cast<std::size_t>(a.Stride() * a.Height())) == 0;
}

bool PaddingIsZero(const PxBitmap& bitmap)
{
    for (int row = 0; row < bitmap.Height(); ++row) {
        const std::uint8_t* p = bitmap.Pixels() + row * bitmap.Stride();
        for (std::int64_t i = 3 * bitmap.Width(); i < bitmap.Stride(); ++i) {
            if (p[i] != 0) {
                return false;
            }
        }
    }
    return true;
}

struct Pos {
    int x;
    int y;
};

// Where source pixel (x, y) of a w x h picture ends up, in picture
// coordinates, for each operation.
struct Operation {
    const char* name;
    std::function<int(const PxBitmap&, PxBitmap*)> apply;
    bool swapsSides;
    std::function<Pos(int x, int y, int w, int h)> target;
};

const Operation kOperations[] = {
    {"rotate 1", [](const PxBitmap& s, PxBitmap* d) { return s.Rotate(1, d); }, true,
     [](int x, int y, int, int h) {
         return Pos{h - 1 - y, x};
     }},
    {"rotate 2", [](const PxBitmap& s, PxBitmap* d) { return s.Rotate(2, d); }, false,
     [](int x, int y, int w, int h) {
         return Pos{w - 1 - x, h - 1 - y};
     }},
    {"rotate 3", [](const PxBitmap& s, PxBitmap* d) { return s.Rotate(3, d); }, true,
     [](int x, int y, int w, int) {
         return Pos{y, w - 1 - x};
     }},
    {"flip left-right", [](const PxBitmap& s, PxBitmap* d) { return s.Flip(false, d); }, false,
     [](int x, int y, int w, int) {
         return Pos{w - 1 - x, y};
     }},
    {"flip top-bottom", [](const PxBitmap& s, PxBitmap* d) { return s.Flip(true, d); }, false,
     [](int x, int y, int, int h) {
         return Pos{x, h - 1 - y};
     }},
};

TEST(PxTransform, EveryPixelLandsWhereItBelongs)
{
    // Sizes around the tile edge of the quarter turns, odd paddings, lines.
    const int sizes[][2] = {{1, 1}, {3, 2}, {5, 1}, {1, 7}, {31, 33}, {32, 32}, {65, 3}, {2, 97}, {70, 45}};
    for (const auto& size : sizes) {
        PxBitmap source;
        MakePicture(source, size[0], size[1]);
        for (const Operation& op : kOperations) {
            SCOPED_TRACE(testing::Message() << op.name << " " << size[0] << " x " << size[1]);
            PxBitmap result;
            ASSERT_EQ(op.apply(source, &result), 0);
            ASSERT_EQ(result.Width(), op.swapsSides ? size[1] : size[0]);
            ASSERT_EQ(result.Height(), op.swapsSides ? size[0] : size[1]);
            EXPECT_EQ(result.BitsPerPixel(), 24);
            EXPECT_TRUE(PaddingIsZero(result));
            int wrong = 0;
            for (int y = 0; y < size[1]; ++y) {
                for (int x = 0; x < size[0]; ++x) {
                    const Pos to = op.target(x, y, size[0], size[1]);
                    wrong += PixelAt(result, to.x, to.y) == PixelAt(source, x, y) ? 0 : 1;
                }
            }
            EXPECT_EQ(wrong, 0);
        }
    }
}

TEST(PxTransform, TopLeftCornerDestinations)
{
    PxBitmap source;
    MakePicture(source, 4, 3);
    const Rgb topLeft = PixelAt(source, 0, 0);
    PxBitmap result;
    ASSERT_EQ(source.Rotate(1, &result), 0);
    EXPECT_EQ(PixelAt(result, 2, 0), topLeft);  // top-right
    ASSERT_EQ(source.Rotate(2, &result), 0);
    EXPECT_EQ(PixelAt(result, 3, 2), topLeft);  // bottom-right
    ASSERT_EQ(source.Rotate(3, &result), 0);
    EXPECT_EQ(PixelAt(result, 0, 3), topLeft);  // bottom-left
    ASSERT_EQ(source.Flip(false, &result), 0);
    EXPECT_EQ(PixelAt(result, 3, 0), topLeft);  // top-right
    ASSERT_EQ(source.Flip(true, &result), 0);
    EXPECT_EQ(PixelAt(result, 0, 2), topLeft);  // bottom-left
}

TEST(PxTransform, QuarterTurnOfThreeByTwo)
{
    // a b c      d a
    // d e f  ->  e b
    //            f c
    PxBitmap source;
    MakePicture(source, 3, 2);
    PxBitmap result;
    ASSERT_EQ(source.Rotate(1, &result), 0);
    ASSERT_EQ(result.Width(), 2);
    ASSERT_EQ(result.Height(), 3);
    EXPECT_EQ(PixelAt(result, 0, 0), PixelAt(source, 0, 1));
    EXPECT_EQ(PixelAt(result, 1, 0), PixelAt(source, 0, 0));
    EXPECT_EQ(PixelAt(result, 0, 2), PixelAt(source, 2, 1));
    EXPECT_EQ(PixelAt(result, 1, 2), PixelAt(source, 2, 0));
}

TEST(PxTransform, RoundTripsGiveBackTheSource)
{
    const int sizes[][2] = {{1, 1}, {5, 1}, {1, 5}, {37, 70}, {64, 33}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size[0] << " x " << size[1]);
        PxBitmap source;
        MakePicture(source, size[0], size[1], 7);
        // Clean padding, so the comparison of whole stores is fair.
        PxBitmap clean;
        ASSERT_EQ(source.Flip(true, &clean), 0);
        ASSERT_EQ(clean.Flip(true, &source), 0);

        PxBitmap once;
        PxBitmap twice;
        ASSERT_EQ(source.Rotate(1, &once), 0);
        ASSERT_EQ(once.Rotate(3, &twice), 0);
        EXPECT_TRUE(SameStore(twice, source)) << "1 then 3";
        ASSERT_EQ(source.Rotate(3, &once), 0);
        ASSERT_EQ(once.Rotate(1, &twice), 0);
        EXPECT_TRUE(SameStore(twice, source)) << "3 then 1";
        ASSERT_EQ(source.Rotate(2, &once), 0);
        ASSERT_EQ(once.Rotate(2, &twice), 0);
        EXPECT_TRUE(SameStore(twice, source)) << "2 twice";
        ASSERT_EQ(source.Flip(false, &once), 0);
        ASSERT_EQ(once.Flip(false, &twice), 0);
        EXPECT_TRUE(SameStore(twice, source)) << "left-right twice";
        ASSERT_EQ(source.Flip(true, &once), 0);
        ASSERT_EQ(once.Flip(true, &twice), 0);
        EXPECT_TRUE(SameStore(twice, source)) << "top-bottom twice";

        // Four quarter turns, in place.
        PxBitmap turning;
        turning.CopyFrom(source);
        for (int i = 0; i < 4; ++i) {
            ASSERT_EQ(turning.Rotate(1, &turning), 0);
        }
        EXPECT_TRUE(SameStore(turning, source)) << "four turns in place";
    }
}

TEST(PxTransform, OtherCodesCopy)
{
    PxBitmap source;
    MakePicture(source, 5, 3);
    for (const int code : {0, 4, -1, 90}) {
        PxBitmap result;
        ASSERT_EQ(source.Rotate(code, &result), 0) << code;
        // A copy keeps even the padding.
        EXPECT_TRUE(SameStore(result, source)) << code;
    }
}

TEST(PxTransform, LineTurnsIntoPaddedColumn)
{
    PxBitmap source;
    MakePicture(source, 5, 1);
    ASSERT_EQ(source.Stride(), 16);
    PxBitmap result;
    ASSERT_EQ(source.Rotate(1, &result), 0);
    ASSERT_EQ(result.Width(), 1);
    ASSERT_EQ(result.Height(), 5);
    EXPECT_EQ(result.Stride(), 4);
    for (int y = 0; y < 5; ++y) {
        EXPECT_EQ(PixelAt(result, 0, y), PixelAt(source, y, 0)) << y;
        EXPECT_EQ(result.Pixels()[(4 - y) * 4 + 3], 0) << y;
    }
}

TEST(PxTransform, Failures)
{
    PxBitmap source;
    MakePicture(source, 4, 4);
    EXPECT_EQ(source.Rotate(1, nullptr), 1);
    EXPECT_EQ(source.Rotate(0, nullptr), 1);
    EXPECT_EQ(source.Flip(true, nullptr), 1);

    // A source without a store fails for every code and leaves the
    // destination alone, except that a copy code copies the dimensions.
    PxBitmap empty;
    empty.SetDimensions(6, 2, 8);
    for (const Operation& op : kOperations) {
        PxBitmap result;
        MakePicture(result, 3, 3);
        EXPECT_EQ(op.apply(empty, &result), 1) << op.name;
        EXPECT_EQ(result.Width(), 3) << op.name;
        EXPECT_NE(result.Pixels(), nullptr) << op.name;
    }
    PxBitmap copy;
    EXPECT_EQ(empty.Rotate(5, &copy), 1);
    EXPECT_EQ(copy.Width(), 6);
    EXPECT_EQ(copy.Pixels(), nullptr);
}

TEST(PxTransform, TurnThatCannotGetItsStoreFails)
{
    // A line 268435457 pixels long fits the store cap (stride 805306372),
    // its upright column does not (4 bytes a row). The source's memory is
    // never touched, so this costs no real memory.
    PxBitmap source;
    source.SetDimensions(268435457, 1, 24);
    ASSERT_EQ(source.CreatePixelStore(), 0);
    PxBitmap result;
    EXPECT_EQ(source.Rotate(1, &result), 1);
    EXPECT_EQ(result.Pixels(), nullptr);
    EXPECT_EQ(result.Width(), 1);
    EXPECT_EQ(result.Height(), 268435457);
}

TEST(PxTransform, OperationsIntoTheSourceItself)
{
    PxBitmap original;
    MakePicture(original, 9, 4, 3);
    for (const Operation& op : kOperations) {
        PxBitmap expected;
        ASSERT_EQ(op.apply(original, &expected), 0);
        PxBitmap self;
        self.CopyFrom(original);
        ASSERT_EQ(op.apply(self, &self), 0) << op.name;
        EXPECT_TRUE(SameStore(self, expected)) << op.name;
    }
}

}  // namespace

}  // namespace brelvix
