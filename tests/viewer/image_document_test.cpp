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

// Rebuilds the working copy as the view's refresh does.
void Transform(ImageDocument& document, double zoom, int rotation, bool flipHorizontal, bool flipVertical)
{
    document.ApplyZoom(zoom);
    document.ApplyRotation(rotation);
    document.ApplyFlips(flipHorizontal, flipVertical);
}

TEST(ImageDocument, TransformsApplyInOrderScaleTurnMirror)
{
    TempDir dir;
    ImageDocument document;
    ASSERT_TRUE(document.Load(WriteSample(dir, 60, 40), true));
    document.ApplyZoom(1.0);
    EXPECT_EQ(Corners(*WholeWorkingCopy(document)), (std::vector<Rgb>{kRed, kGreen, kBlue, kWhite}));

    // A quarter turn clockwise puts the left column on top, read upwards;
    // the mirror that follows then swaps what is now left and right.
    Transform(document, 1.0, 90, true, false);
    ASSERT_EQ(document.Display().Width(), 40);
    ASSERT_EQ(document.Display().Height(), 60);
    EXPECT_EQ(Corners(*WholeWorkingCopy(document)), (std::vector<Rgb>{kRed, kBlue, kGreen, kWhite}));

    // Half a turn with both mirrors is the picture as it was.
    Transform(document, 1.0, 180, true, true);
    const std::vector<std::uint8_t> turnedAndMirrored = TopDownRgb(*WholeWorkingCopy(document));
    document.ApplyZoom(1.0);
    EXPECT_EQ(turnedAndMirrored, TopDownRgb(*WholeWorkingCopy(document)));

    // Scaled by 2 and turned through every quarter back to 0: the scaled
    // picture exactly, rebuilt from the decoded one each time.
    document.ApplyZoom(2.0);
    const std::vector<std::uint8_t> scaled = TopDownRgb(*WholeWorkingCopy(document));
    ASSERT_EQ(document.Display().Width(), 120);
    for (int angle : {90, 180, 270, 0}) {
        document.ApplyZoom(2.0);
        document.ApplyRotation(angle);
    }
    EXPECT_EQ(TopDownRgb(*WholeWorkingCopy(document)), scaled);
    EXPECT_EQ(document.Decoded()->Width(), 60) << "the decoded picture never changes";
}

TEST(ImageDocument, LoadResetsViewStateButNotTheList)
{
    TempDir dir;
    const std::string first = WriteSample(dir, 60, 40);
    const std::string broken = dir.Write("broken.bmp", "BM not really");
    dir.Write("c.bmp", "");
    ViewFixture f;
    ASSERT_TRUE(f.view.OpenImage(first, true));
    ASSERT_EQ(f.view.Navigation().Files().CurrentIndex(), 2);
    f.view.ZoomTo(3.0);
    f.view.RotateLeft();
    f.view.FlipHorizontal();
    f.view.FlipVertical();

    ASSERT_TRUE(f.view.OpenImage(broken, false));
    const ImageDocument& document = f.view.Document();
    EXPECT_FALSE(document.Loaded());
    EXPECT_EQ(document.Path(), broken);
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.0);
    EXPECT_EQ(f.view.Geometry().Rotation(), 0);
    EXPECT_FALSE(f.view.Geometry().FlippedHorizontally());
    EXPECT_FALSE(f.view.Geometry().FlippedVertically());
    EXPECT_EQ(f.view.Navigation().Files().Count(), 3);
    EXPECT_EQ(f.view.Navigation().Files().CurrentIndex(), 2);
    // The old picture is gone: no fallback to it.
    EXPECT_EQ(WholeWorkingCopy(document)->Pixels(), nullptr);

    ASSERT_TRUE(f.view.OpenImage(first, false));
    EXPECT_EQ(document.Display().Width(), 60);
    EXPECT_EQ(PixelAt(*WholeWorkingCopy(document), 59, 39), kWhite);
}

TEST(ImageDocument, WorkingCopyWithoutPixelsStaysWithoutPixels)
{
    ImageDocument document;
    DecodedPicture header;
    header.bitmap = std::make_unique<PxBitmap>();
    header.bitmap->SetDimensions(30, 20, 24);  // header read, no store
    document.Install("", std::move(header), false);
    Transform(document, 0.5, 90, true, false);
    EXPECT_EQ(WholeWorkingCopy(document)->Pixels(), nullptr);
    EXPECT_EQ(document.Display().Width(), 10);
    EXPECT_EQ(document.Display().Height(), 15);
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
    ASSERT_TRUE(f.view.OpenImage(a, true));
    ASSERT_TRUE(f.view.Document().Loaded());
    EXPECT_EQ(f.view.Document().Display().Width(), 40);
    EXPECT_EQ(f.view.Document().Display().Height(), 30);
    const std::vector<Rgb> corners = Corners(*f.view.Document().Decoded());
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const Rgb expected[] = {kRed, kGreen, kBlue, kWhite};
        EXPECT_NEAR(corners[i].r, expected[i].r, 40) << i;
        EXPECT_NEAR(corners[i].g, expected[i].g, 40) << i;
        EXPECT_NEAR(corners[i].b, expected[i].b, 40) << i;
    }

    // A picture decoded ahead of time is turned the same way.
    ASSERT_TRUE(f.view.Navigation().Cache().Holds(b));
    ASSERT_TRUE(f.view.OpenImage(b, false));
    EXPECT_EQ(f.view.Document().Display().Width(), 40);

    f.Set(&ViewerSettings::applyOrientation, false);
    ASSERT_TRUE(f.view.OpenImage(a, false));
    EXPECT_EQ(f.view.Document().Display().Width(), 30);
    EXPECT_EQ(f.view.Document().Display().Height(), 40);
}

}  // namespace

}  // namespace brelvix
