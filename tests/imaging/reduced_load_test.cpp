#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/reduced_load.h"
#include "support/exif_writer.h"
#include "support/jpeg_writer.h"
#include "support/pixels.h"
#include "support/png_writer.h"
#include "support/temp_dir.h"

namespace brelvix {

namespace {

constexpr int kWidth = 801;
constexpr int kHeight = 603;

// Smooth gradients with a coarse checker: a picture that looks the same at
// every scale, so that a reduced decode can be held against the full one.
std::vector<std::uint8_t> Photo()
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 255 / (kWidth - 1));
            p[1] = static_cast<std::uint8_t>(y * 255 / (kHeight - 1));
            p[2] = static_cast<std::uint8_t>(((x / 100 + y / 100) % 2) * 180 + 40);
        }
    }
    return rgb;
}

// Mean difference per channel between `reduced` and the full picture
// scaled to its size by the viewer's own scaler, over the picture rows
// [0, rows).
double MeanDifference(const PxBitmap& reduced, const PxBitmap& full, int rows)
{
    PxBitmap scaled;
    if (full.Scale(reduced.Width(), reduced.Height(), &scaled) != 0) {
        return 1e9;
    }
    double sum = 0;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < reduced.Width(); ++x) {
            const Rgb a = PixelAt(reduced, x, y);
            const Rgb b = PixelAt(scaled, x, y);
            sum += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
        }
    }
    return sum / (3.0 * rows * reduced.Width());
}

}  // namespace

TEST(ReducedLoad, JpegTakesTheSmallestScaleThatKeepsTheSizeAskedFor)
{
    TempDir dir;
    const std::string path = dir.Write("photo.jpg", EncodeJpeg(kWidth, kHeight, Photo()));
    PxBitmap full;
    ASSERT_EQ(full.CreateFromFile(path.c_str()), 0);

    struct Case {
        int atLeastWidth, atLeastHeight;
        int width, height;  // 0 x 0: no reduction keeps the size
    };
    // Each side is divided and rounded up, as libjpeg does.
    const Case cases[] = {
        {1, 1, 101, 76},     {100, 75, 101, 76},   {101, 76, 101, 76}, {102, 10, 201, 151},     {200, 150, 201, 151},
        {10, 152, 401, 302}, {401, 302, 401, 302}, {402, 10, 0, 0},    {kWidth, kHeight, 0, 0}, {5000, 5000, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.atLeastWidth) + " x " + std::to_string(c.atLeastHeight));
        PxReducedPicture picture;
        const int result = PxLoadReduced(path.c_str(), c.atLeastWidth, c.atLeastHeight, &picture);
        EXPECT_EQ(picture.fileWidth, kWidth);
        EXPECT_EQ(picture.fileHeight, kHeight);
        EXPECT_EQ(picture.reduced.FormatId(), full.FormatId());
        if (c.width == 0) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(picture.reduced.LoadError(), PxLoadError::Unsupported);
            EXPECT_EQ(picture.reduced.Pixels(), nullptr);
            continue;
        }
        ASSERT_EQ(result, 0);
        EXPECT_EQ(picture.reduced.Width(), c.width);
        EXPECT_EQ(picture.reduced.Height(), c.height);
        // The same picture, upright and unmirrored, as the full decode
        // shrunk: any row or channel out of place differs by far more.
        EXPECT_LT(MeanDifference(picture.reduced, full, picture.reduced.Height()), 8.0);
    }
}

TEST(ReducedLoad, WhatOnlyTheFullDecodeCanShowIsNotDecodedTwice)
{
    TempDir dir;
    PngPicture png;
    png.width = 64;
    png.height = 48;
    png.samples.assign(64 * 48 * 3, 90);
    const struct {
        const char* name;
        std::string path;
        PxLoadError error;
    } cases[] = {
        {"a format without a reduced decode", dir.Write("flat.png", EncodePng(png)), PxLoadError::Unsupported},
        {"a missing file", (dir.Path() / "none.jpg").string(), PxLoadError::NotFound},
        {"not a picture", dir.Write("text.jpg", std::string("plain text, no picture")), PxLoadError::NotAPicture},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PxReducedPicture picture;
        EXPECT_EQ(PxLoadReduced(c.path.c_str(), 8, 8, &picture), 1);
        EXPECT_EQ(picture.reduced.LoadError(), c.error);
        EXPECT_EQ(picture.reduced.Pixels(), nullptr);
    }
}

TEST(ReducedLoad, KeepsTheOrientationAndWhatADamagedFileDelivers)
{
    TempDir dir;
    const std::vector<std::uint8_t> jpeg = EncodeJpeg(kWidth, kHeight, Photo());
    const std::string turned = dir.Write("turned.jpg", JpegWithExif(jpeg, ExifWithOrientation(6)));
    PxReducedPicture picture;
    ASSERT_EQ(PxLoadReduced(turned.c_str(), 200, 150, &picture), 0);
    EXPECT_EQ(picture.reduced.Orientation(), 6);
    // A quarter turn shows the stored width as the height: a size asked for
    // upright is turned before the scale is chosen.
    struct Asked {
        bool upright;
        int width;  // of the reduced picture, as stored
    };
    for (const Asked asked : {Asked{true, 201}, Asked{false, 401}}) {
        SCOPED_TRACE(asked.upright ? "upright" : "as stored");
        PxReducedPicture shown;
        ASSERT_EQ(PxLoadReduced(turned.c_str(), 150, 200, &shown, nullptr, asked.upright), 0);
        EXPECT_EQ(shown.reduced.Width(), asked.width);
        EXPECT_EQ(shown.fileWidth, kWidth);
        EXPECT_EQ(shown.fileHeight, kHeight);
    }

    // Cut in the middle of its scan: the top rows are the picture, as the
    // full decode of the same file has them.
    const std::string cut =
        dir.Write("cut.jpg", std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(jpeg.size() / 2)));
    PxBitmap full;
    testing::internal::CaptureStderr();
    ASSERT_EQ(full.CreateFromFile(cut.c_str()), 0);
    PxReducedPicture damaged;
    ASSERT_EQ(PxLoadReduced(cut.c_str(), 200, 150, &damaged), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(damaged.reduced.Width(), 201);
    EXPECT_LT(MeanDifference(damaged.reduced, full, damaged.reduced.Height() / 4), 8.0);
}

}  // namespace brelvix
