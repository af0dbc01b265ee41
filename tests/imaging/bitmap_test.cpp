#include "imaging/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/pixels.h"

namespace brelvix {

namespace {

void FillPattern(PxBitmap& bitmap)
{
    const std::int64_t bytes = bitmap.Stride() * bitmap.Height();
    for (std::int64_t i = 0; i < bytes; ++i) {
        bitmap.Pixels()[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
}

TEST(RowBytes, RoundsToFourAndCountsPartialBytes)
{
    EXPECT_EQ(RowBytes(10, 1), 4);
    EXPECT_EQ(RowBytes(8, 1), 4);
    EXPECT_EQ(RowBytes(33, 1), 8);
    EXPECT_EQ(RowBytes(5, 24), 16);
    EXPECT_EQ(RowBytes(4, 24), 12);
    EXPECT_EQ(RowBytes(5, 8), 8);
    EXPECT_EQ(RowPadding(5, 24), 1);
    EXPECT_EQ(RowPadding(4, 24), 0);
    EXPECT_EQ(RowPadding(1, 24), 1);
    EXPECT_EQ(RowPadding(2, 24), 2);
    EXPECT_EQ(RowPadding(3, 24), 3);
}

TEST(PxBitmap, StartsEmpty)
{
    PxBitmap bitmap;
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_EQ(bitmap.BitsPerPixel(), 0);
    EXPECT_EQ(bitmap.FormatId(), 0);
    EXPECT_EQ(bitmap.Pixels(), nullptr);
}

TEST(PxBitmap, StoreHasPaddedBottomUpRows)
{
    PxBitmap bitmap;
    bitmap.SetDimensions(5, 2, 8);
    EXPECT_EQ(bitmap.BitsPerPixel(), 8);
    ASSERT_EQ(bitmap.CreatePixelStore(), 0);
    EXPECT_EQ(bitmap.BitsPerPixel(), 24);
    EXPECT_EQ(bitmap.Stride(), 16);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(bitmap.Pixels()[i], 0) << i;
    }

    PxBitmap square;
    square.SetDimensions(10, 10, 24);
    ASSERT_EQ(square.CreatePixelStore(), 0);
    EXPECT_EQ(square.Stride(), 32);
    // The top-left pixel lives in the last row of the store.
    square.Pixels()[9 * 32 + 2] = 200;
    EXPECT_EQ(PixelAt(square, 0, 0), (Rgb{200, 0, 0}));
    square.Pixels()[0] = 100;
    EXPECT_EQ(PixelAt(square, 0, 9), (Rgb{0, 0, 100}));
}

TEST(PxBitmap, StoreCreationRejectsBadAndHugeSizes)
{
    const std::int32_t sizes[][2] = {{0, 0}, {-1, 5}, {5, -1}, {0, 7}, {65535, 65535}, {INT32_MAX, 1}, {1, INT32_MAX}};
    for (const auto& size : sizes) {
        PxBitmap bitmap;
        bitmap.SetDimensions(size[0], size[1], 8);
        EXPECT_EQ(bitmap.CreatePixelStore(), 1) << size[0] << " x " << size[1];
        EXPECT_EQ(bitmap.Pixels(), nullptr);
        EXPECT_EQ(bitmap.Width(), size[0]);
        EXPECT_EQ(bitmap.Height(), size[1]);
    }
}

TEST(PxBitmap, StoreAtTheCapIsRefusedJustAbove)
{
    // 1 GiB is the documented cap: a store of exactly that size may be made,
    // one row more may not.
    const std::int32_t width = 4096;  // stride 12288
    const std::int32_t rows = static_cast<std::int32_t>(kPxMaxStoreBytes / 12288);
    PxBitmap over;
    over.SetDimensions(width, rows + 1, 24);
    EXPECT_EQ(over.CreatePixelStore(), 1);
}

TEST(PxBitmap, NewStoreReplacesOldOneAndIsZero)
{
    PxBitmap bitmap;
    bitmap.SetDimensions(3, 3, 24);
    ASSERT_EQ(bitmap.CreatePixelStore(), 0);
    FillPattern(bitmap);
    ASSERT_EQ(bitmap.CreatePixelStore(), 0);
    for (int i = 0; i < 36; ++i) {
        EXPECT_EQ(bitmap.Pixels()[i], 0);
    }
    bitmap.SetDimensions(0, 3, 24);
    EXPECT_EQ(bitmap.CreatePixelStore(), 1);
    EXPECT_EQ(bitmap.Pixels(), nullptr);
}

TEST(PxBitmap, CopyIsByteIdenticalIncludingPadding)
{
    PxBitmap source;
    source.SetDimensions(101, 100, 24);
    ASSERT_EQ(source.CreatePixelStore(), 0);
    ASSERT_EQ(source.Stride(), 304);
    FillPattern(source);
    source.SetFormatId(5);

    PxBitmap copy;
    copy.CopyFrom(source);
    ASSERT_NE(copy.Pixels(), nullptr);
    EXPECT_NE(copy.Pixels(), source.Pixels());
    EXPECT_EQ(copy.Width(), 101);
    EXPECT_EQ(copy.Height(), 100);
    EXPECT_EQ(std::memcmp(copy.Pixels(), source.Pixels(), 30400), 0);
    EXPECT_EQ(copy.FormatId(), 0);
}

TEST(PxBitmap, CopyOfBitmapWithoutStoreKeepsOnlyDimensions)
{
    PxBitmap source;
    source.SetDimensions(40, 30, 8);
    PxBitmap copy;
    copy.SetDimensions(2, 2, 24);
    ASSERT_EQ(copy.CreatePixelStore(), 0);
    copy.CopyFrom(source);
    EXPECT_EQ(copy.Width(), 40);
    EXPECT_EQ(copy.Height(), 30);
    EXPECT_EQ(copy.Pixels(), nullptr);
}

TEST(PxBitmap, MoveTransfersTheStore)
{
    PxBitmap source;
    source.SetDimensions(7, 3, 24);
    ASSERT_EQ(source.CreatePixelStore(), 0);
    FillPattern(source);
    std::uint8_t* store = source.Pixels();
    PxBitmap target;
    target.MoveFrom(source);
    EXPECT_EQ(target.Pixels(), store);
    EXPECT_EQ(target.Width(), 7);
    EXPECT_EQ(source.Pixels(), nullptr);
    EXPECT_EQ(source.Width(), 0);
}

TEST(PxBitmap, SharedStoreIsShownNotOwned)
{
    PxBitmap source;
    source.SetDimensions(7, 3, 24);
    ASSERT_EQ(source.CreatePixelStore(), 0);
    FillPattern(source);
    const std::vector<std::uint8_t> before(source.Pixels(), source.Pixels() + source.Stride() * 3);
    {
        PxBitmap shown;
        shown.ShareFrom(source);
        EXPECT_EQ(shown.Pixels(), source.Pixels());
        EXPECT_EQ(shown.Width(), 7);
        EXPECT_EQ(shown.Height(), 3);
        // A copy of it owns its own store.
        PxBitmap copy;
        copy.CopyFrom(shown);
        EXPECT_NE(copy.Pixels(), source.Pixels());
        EXPECT_EQ(std::vector<std::uint8_t>(copy.Pixels(), copy.Pixels() + copy.Stride() * 3), before);
        // A fresh store replaces the shown one without touching it.
        PxBitmap other;
        other.ShareFrom(source);
        ASSERT_EQ(other.CreatePixelStore(), 0);
        EXPECT_NE(other.Pixels(), source.Pixels());
    }
    // Neither bitmap freed the source's store (the sanitizers would report a
    // double free or a use after free here) and its bytes are unchanged.
    EXPECT_EQ(std::vector<std::uint8_t>(source.Pixels(), source.Pixels() + source.Stride() * 3), before);
}

TEST(PxBitmap, AlphaPlaneTravelsWithTheStoreAndNeverOutlivesIt)
{
    PxBitmap bitmap;
    EXPECT_EQ(bitmap.CreateAlphaPlane(), 1);  // no store yet
    bitmap.SetDimensions(3, 2, 24);
    ASSERT_EQ(bitmap.CreatePixelStore(), 0);
    ASSERT_EQ(bitmap.CreateAlphaPlane(), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(bitmap.Alpha(), bitmap.Alpha() + 6), std::vector<std::uint8_t>(6, 255));
    bitmap.Alpha()[5] = 17;

    PxBitmap copy;
    copy.CopyFrom(bitmap);
    ASSERT_TRUE(copy.HasAlpha());
    EXPECT_NE(copy.Alpha(), bitmap.Alpha());
    EXPECT_EQ(copy.Alpha()[5], 17);

    PxBitmap shown;
    shown.ShareFrom(bitmap);
    EXPECT_EQ(shown.Alpha(), bitmap.Alpha());

    PxBitmap moved;
    moved.MoveFrom(copy);
    EXPECT_FALSE(copy.HasAlpha());
    ASSERT_TRUE(moved.HasAlpha());
    EXPECT_EQ(moved.Alpha()[5], 17);

    // A fresh store, or one written over by a transform of an opaque
    // picture, starts opaque.
    ASSERT_EQ(moved.CreatePixelStore(), 0);
    EXPECT_FALSE(moved.HasAlpha());
    PxBitmap turned;
    ASSERT_EQ(moved.Rotate(2, &turned), 0);
    ASSERT_EQ(turned.CreateAlphaPlane(), 0);
    ASSERT_EQ(moved.Rotate(2, &turned), 0);
    EXPECT_FALSE(turned.HasAlpha());
}

TEST(PxBitmap, RowTableAddressesEveryRow)
{
    PxBitmap bitmap;
    bitmap.SetDimensions(5, 4, 24);
    ASSERT_EQ(bitmap.CreatePixelStore(), 0);
    std::uint8_t** rows = bitmap.GetRows();
    ASSERT_NE(rows, nullptr);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(rows[i], bitmap.Pixels() + i * 16);
    }
    // A new store needs a new table; the rebuilt one points into it.
    ASSERT_EQ(bitmap.CreatePixelStore(), 0);
    rows = bitmap.GetRows();
    EXPECT_EQ(rows[3], bitmap.Pixels() + 48);
}

TEST(PxBitmap, FormatNames)
{
    const std::pair<int, const char*> names[] = {
        {0, "Unknown"}, {1, "BMP"},     {2, "Unknown"}, {3, "TARGA"},    {4, "TIFF"},     {5, "JPEG"},
        {6, "PNG"},     {7, "Unknown"}, {10, "PCX"},    {12, "GIF"},     {13, "Unknown"}, {14, "PSD"},
        {15, "WebP"},   {16, "AVIF"},   {17, "HEIF"},   {18, "JPEG XL"}, {19, "Unknown"}, {-1, "Unknown"}};
    for (const auto& [id, name] : names) {
        PxBitmap bitmap;
        bitmap.SetFormatId(id);
        char buffer[8];
        std::memset(buffer, 'x', sizeof buffer);
        bitmap.GetFormatName(buffer);
        EXPECT_STREQ(buffer, name) << id;
    }
}

class RecordingTarget : public PxDrawTarget {
public:
    int DrawPixels(int px, int py, int w, int h, const std::uint8_t* p, std::int32_t s, std::uint32_t r) override
    {
        ++calls;
        x = px;
        y = py;
        width = w;
        height = h;
        pixels = p;
        stride = s;
        rop = r;
        return 1;
    }
    int calls = 0;
    int x = 0, y = 0, width = 0, height = 0;
    const std::uint8_t* pixels = nullptr;
    std::int32_t stride = 0;
    std::uint32_t rop = 0;
};

TEST(PxBitmap, DrawHandsTheStoreOverUnscaled)
{
    PxBitmap bitmap;
    bitmap.SetDimensions(5, 3, 24);
    ASSERT_EQ(bitmap.CreatePixelStore(), 0);
    RecordingTarget target;
    EXPECT_NE(bitmap.Draw(&target, 250, 200, kPxSourceCopy), 0);
    EXPECT_EQ(target.calls, 1);
    EXPECT_EQ(target.x, 250);
    EXPECT_EQ(target.y, 200);
    EXPECT_EQ(target.width, 5);
    EXPECT_EQ(target.height, 3);
    EXPECT_EQ(target.pixels, bitmap.Pixels());
    EXPECT_EQ(target.stride, 16);
    EXPECT_EQ(target.rop, 0x00CC0020u);

    PxBitmap empty;
    empty.SetDimensions(5, 3, 24);
    RecordingTarget untouched;
    EXPECT_EQ(empty.Draw(&untouched, 0, 0, kPxSourceCopy), 0);
    EXPECT_EQ(untouched.calls, 0);
}

}  // namespace

}  // namespace brelvix
