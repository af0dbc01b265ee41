#include <gtest/gtest.h>

#include "support/bmp_writer.h"
#include "support/exif_writer.h"
#include "support/jpeg_writer.h"
#include "support/pixels.h"
#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

// The sample picture marks its corners red, green, blue and white (top left,
// top right, bottom left, bottom right), so every turn and mirror shows.
std::string WriteSample(const TempDir& dir, int width, int height)
{
    return dir.Write("sample.bmp", EncodeBmp(RenderSamplePicture(width, height), BmpKind::Rgb24));
}

// Corners of the working copy: top-left, top-right, bottom-left, bottom-right.
std::vector<Rgb> Corners(const PxBitmap& bitmap)
{
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    return {PixelAt(bitmap, 0, 0), PixelAt(bitmap, w - 1, 0), PixelAt(bitmap, 0, h - 1), PixelAt(bitmap, w - 1, h - 1)};
}

const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};

TEST(ImageDocument, TransformsApplyInOrderScaleTurnMirror)
{
    TempDir dir;
    ImageDocument document;
    ASSERT_TRUE(document.Load(WriteSample(dir, 60, 40)));
    document.ApplyZoom();
    EXPECT_EQ(Corners(*WholeWorkingCopy(document)), (std::vector<Rgb>{kRed, kGreen, kBlue, kWhite}));

    // A quarter turn clockwise puts the left column on top, read upwards;
    // the mirror that follows then swaps what is now left and right.
    document.rotation = 90;
    document.flipHorizontal = true;
    document.ApplyZoom();
    document.ApplyRotation();
    document.ApplyFlips();
    ASSERT_EQ(document.display.Width(), 40);
    ASSERT_EQ(document.display.Height(), 60);
    EXPECT_EQ(Corners(*WholeWorkingCopy(document)), (std::vector<Rgb>{kRed, kBlue, kGreen, kWhite}));

    // Half a turn with both mirrors is the picture as it was.
    document.rotation = 180;
    document.flipVertical = true;
    document.ApplyZoom();
    document.ApplyRotation();
    document.ApplyFlips();
    const std::vector<std::uint8_t> turnedAndMirrored = TopDownRgb(*WholeWorkingCopy(document));
    document.ApplyZoom();
    EXPECT_EQ(turnedAndMirrored, TopDownRgb(*WholeWorkingCopy(document)));

    // Scaled by 2 and turned through every quarter back to 0: the scaled
    // picture exactly, rebuilt from the decoded one each time.
    document.zoom = 2.0;
    document.ApplyZoom();
    const std::vector<std::uint8_t> scaled = TopDownRgb(*WholeWorkingCopy(document));
    ASSERT_EQ(document.display.Width(), 120);
    for (int angle : {90, 180, 270, 0}) {
        document.rotation = angle;
        document.ApplyZoom();
        document.ApplyRotation();
    }
    EXPECT_EQ(TopDownRgb(*WholeWorkingCopy(document)), scaled);
    EXPECT_EQ(document.decoded->Width(), 60) << "the decoded picture never changes";
}

TEST(ImageDocument, LoadResetsViewStateButNotTheList)
{
    TempDir dir;
    const std::string first = WriteSample(dir, 60, 40);
    const std::string broken = dir.Write("broken.bmp", "BM not really");
    ImageDocument document;
    ASSERT_TRUE(document.Load(first));
    document.zoom = 3.0;
    document.rotation = 270;
    document.flipHorizontal = true;
    document.flipVertical = true;
    document.fileList = {"x", "y", "z"};
    document.currentIndex = 2;

    EXPECT_FALSE(document.Load(broken));
    EXPECT_FALSE(document.loaded);
    EXPECT_EQ(document.path, broken);
    EXPECT_EQ(document.zoom, 1.0);
    EXPECT_EQ(document.rotation, 0);
    EXPECT_FALSE(document.flipHorizontal);
    EXPECT_FALSE(document.flipVertical);
    EXPECT_EQ(document.fileList.size(), 3u);
    EXPECT_EQ(document.currentIndex, 2);
    // The old picture is gone: no fallback to it.
    EXPECT_EQ(WholeWorkingCopy(document)->Pixels(), nullptr);

    ASSERT_TRUE(document.Load(first));
    EXPECT_EQ(document.display.Width(), 60);
    EXPECT_EQ(PixelAt(*WholeWorkingCopy(document), 59, 39), kWhite);
}

TEST(ImageDocument, WorkingCopyWithoutPixelsStaysWithoutPixels)
{
    ImageDocument document;
    document.decoded = std::make_unique<PxBitmap>();
    document.decoded->SetDimensions(30, 20, 24);  // header read, no store
    document.zoom = 0.5;
    document.rotation = 90;
    document.flipHorizontal = true;
    document.ApplyZoom();
    document.ApplyRotation();
    document.ApplyFlips();
    EXPECT_EQ(WholeWorkingCopy(document)->Pixels(), nullptr);
    EXPECT_EQ(document.display.Width(), 10);
    EXPECT_EQ(document.display.Height(), 15);
}

TEST(ImageDocument, PhonePhotosShowUprightUnlessTheSettingIsOff)
{
    // A 40 x 30 picture that a camera held on its side stored as 30 x 40,
    // turned a quarter counter-clockwise, with orientation 6 (its first row is
    // the upright picture's right column).
    const SamplePicture upright = RenderSamplePicture(40, 30);
    std::vector<std::uint8_t> stored;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 30; ++x) {
            const std::uint8_t* p = upright.At(39 - y, x);
            stored.insert(stored.end(), p, p + 3);
        }
    }
    JpegWriterOptions options;
    options.quality = 100;
    options.subsample = false;
    TempDir dir;
    const std::string a = dir.Write("a.jpg", JpegWithExif(EncodeJpeg(30, 40, stored, options), ExifWithOrientation(6)));
    const std::string b = dir.Write("b.jpg", JpegWithExif(EncodeJpeg(30, 40, stored, options), ExifWithOrientation(6)));

    ViewFixture f;
    ASSERT_TRUE(f.view.document.Load(a));
    EXPECT_EQ(f.view.document.display.Width(), 40);
    EXPECT_EQ(f.view.document.display.Height(), 30);
    const std::vector<Rgb> corners = Corners(*f.view.document.decoded);
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const Rgb expected[] = {kRed, kGreen, kBlue, kWhite};
        EXPECT_NEAR(corners[i].r, expected[i].r, 40) << i;
        EXPECT_NEAR(corners[i].g, expected[i].g, 40) << i;
        EXPECT_NEAR(corners[i].b, expected[i].b, 40) << i;
    }

    // A picture decoded ahead of time is turned the same way.
    f.view.document.fileList = {a, b};
    f.view.document.currentIndex = 0;
    f.view.document.PrefetchNeighbours(1);
    ASSERT_TRUE(f.view.document.Load(b));
    EXPECT_EQ(f.view.document.display.Width(), 40);

    f.view.document.applyOrientation = false;
    ASSERT_TRUE(f.view.document.Load(a));
    EXPECT_EQ(f.view.document.display.Width(), 30);
    EXPECT_EQ(f.view.document.display.Height(), 40);
}

}  // namespace

}  // namespace brelvix
