// Bitmaps written by the test writer from the sample picture, read back:
// every row padding, every palette depth and run-length coding at sizes the
// hand-made files do not reach.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "support/bmp_writer.h"
#include "support/pixels.h"
#include "support/sample_picture.h"
#include "support/temp_dir.h"

namespace brelvix {

namespace {

std::vector<std::uint8_t> Decoded(const std::vector<std::uint8_t>& file, int* width, int* height)
{
    TempDir dir;
    PxBitmap bitmap;
    if (bitmap.CreateFromFile(dir.Write("sample.bmp", file).c_str()) != 0) {
        return {};
    }
    *width = bitmap.Width();
    *height = bitmap.Height();
    return TopDownRgb(bitmap);
}

TEST(BmpRoundTrip, EveryKindReadsBackAsWritten)
{
    const BmpKind kinds[] = {BmpKind::Rgb24, BmpKind::Palette1, BmpKind::Palette4, BmpKind::Palette8,
                             BmpKind::RunLength8};
    const char* names[] = {"Rgb24", "Palette1", "Palette4", "Palette8", "RunLength8"};
    for (int k = 0; k < 5; ++k) {
        for (int width : {1, 2, 3, 4, 5, 7, 9, 31, 33, 301}) {
            for (int height : {1, 2, 23}) {
                SCOPED_TRACE(std::string(names[k]) + " " + std::to_string(width) + "x" + std::to_string(height));
                const SamplePicture picture = RenderSamplePicture(width, height);
                int gotWidth = 0;
                int gotHeight = 0;
                const std::vector<std::uint8_t> got = Decoded(EncodeBmp(picture, kinds[k]), &gotWidth, &gotHeight);
                ASSERT_EQ(gotWidth, width);
                ASSERT_EQ(gotHeight, height);
                ASSERT_EQ(got, ReduceForBmp(picture, kinds[k]).rgb);
            }
        }
    }
}

TEST(BmpRoundTrip, SampleCornersShowTheOrientation)
{
    const SamplePicture picture = RenderSamplePicture(120, 80);
    int width = 0;
    int height = 0;
    const std::vector<std::uint8_t> got = Decoded(EncodeBmp(picture, BmpKind::RunLength8), &width, &height);
    ASSERT_EQ(got.size(), 120u * 80 * 3);
    auto at = [&](int x, int y) {
        const std::uint8_t* p = got.data() + 3 * (y * width + x);
        return Rgb{p[0], p[1], p[2]};
    };
    EXPECT_EQ(at(0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(at(119, 0), (Rgb{0, 255, 0}));
    EXPECT_EQ(at(0, 79), (Rgb{0, 0, 255}));
    EXPECT_EQ(at(119, 79), (Rgb{255, 255, 255}));
}

}  // namespace

}  // namespace brelvix
