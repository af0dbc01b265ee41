// The working copy is made part by part; every part must be the same place of
// the whole working copy built in the order scale, turn, mirror left-right,
// mirror top-bottom, and the view must put the parts where they belong.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include "view_fakes.h"

namespace brelvix {

namespace {

void RandomPicture(PxBitmap& bitmap, int width, int height, std::uint32_t seed)
{
    bitmap.SetDimensions(width, height, 24);
    ASSERT_EQ(bitmap.CreatePixelStore(), 0);
    std::mt19937 random(seed);
    for (std::int64_t i = 0; i < bitmap.Stride() * height; ++i) {
        bitmap.Pixels()[i] = static_cast<std::uint8_t>(random());
    }
}

// The whole working copy the long way: one whole scale, then whole turns and
// mirrors, each into a fresh bitmap.
void WholeTheLongWay(const PxBitmap& decoded, double zoom, int rotation, bool flipH, bool flipV, PxBitmap* out)
{
    PxBitmap result;
    ASSERT_EQ(
        decoded.Scale(static_cast<int>(decoded.Width() * zoom), static_cast<int>(decoded.Height() * zoom), &result), 0);
    if (rotation != 0) {
        PxBitmap turned;
        ASSERT_EQ(result.Rotate(rotation / 90, &turned), 0);
        result.MoveFrom(turned);
    }
    for (const bool vertical : {false, true}) {
        if (vertical ? flipV : flipH) {
            PxBitmap mirrored;
            ASSERT_EQ(result.Flip(vertical, &mirrored), 0);
            result.MoveFrom(mirrored);
        }
    }
    out->MoveFrom(result);
}

// Rows of `part` against the same place of `whole`.
::testing::AssertionResult SamePlace(const PxBitmap& part, const PxBitmap& whole, int x, int y)
{
    for (int row = 0; row < part.Height(); ++row) {
        const std::uint8_t* a = part.Pixels() + (part.Height() - 1 - row) * part.Stride();
        const std::uint8_t* b = whole.Pixels() + (whole.Height() - 1 - (y + row)) * whole.Stride() + 3 * x;
        if (std::memcmp(a, b, 3 * static_cast<std::size_t>(part.Width())) != 0) {
            return ::testing::AssertionFailure() << "row " << row << " differs";
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(WorkingCopy, EveryPartIsTheSamePlaceOfTheWholeAtEveryZoomTurnAndMirror)
{
    DecodedPicture random37x23;
    random37x23.bitmap = std::make_unique<PxBitmap>();
    RandomPicture(*random37x23.bitmap, 37, 23, 5);
    random37x23.result = 0;
    ImageDocument document;
    document.Install("", std::move(random37x23), false);
    std::mt19937 random(11);
    for (const double zoom : {1.0, 0.35, 0.5, 1.1, 2.0, 3.7000000000000006, 10.099999999999982}) {
        for (const int rotation : {0, 90, 180, 270}) {
            for (const int flips : {0, 1, 2, 3}) {
                SCOPED_TRACE(::testing::Message() << "zoom " << zoom << ", turned " << rotation << ", flips " << flips);
                const bool flipHorizontal = (flips & 1) != 0;
                const bool flipVertical = (flips & 2) != 0;
                document.ApplyZoom(zoom);
                document.ApplyRotation(rotation);
                document.ApplyFlips(flipHorizontal, flipVertical);
                PxBitmap whole;
                WholeTheLongWay(*document.Decoded(), zoom, rotation, flipHorizontal, flipVertical, &whole);
                ASSERT_EQ(document.Display().Width(), whole.Width());
                ASSERT_EQ(document.Display().Height(), whole.Height());
                const int w = whole.Width();
                const int h = whole.Height();
                std::vector<std::array<int, 4>> parts = {
                    {0, 0, w, h},         {0, 0, 1, 1},     {w - 1, 0, 1, 1}, {0, h - 1, 1, 1},
                    {w - 1, h - 1, 1, 1}, {0, h - 1, w, 1}, {w - 1, 0, 1, h}, {w / 2, h / 3, w - w / 2, h - h / 3}};
                for (int i = 0; i < 6; ++i) {
                    const int x = std::uniform_int_distribution<int>(0, w - 1)(random);
                    const int y = std::uniform_int_distribution<int>(0, h - 1)(random);
                    parts.push_back({x, y, std::uniform_int_distribution<int>(1, w - x)(random),
                                     std::uniform_int_distribution<int>(1, h - y)(random)});
                }
                for (const auto& [x, y, pw, ph] : parts) {
                    // Into a fresh bitmap, and into one that holds another
                    // picture of the part's size, as a view's recycled tile does.
                    PxBitmap part;
                    ASSERT_TRUE(document.RenderPart(x, y, pw, ph, &part)) << x << "," << y << " " << pw << "x" << ph;
                    EXPECT_TRUE(SamePlace(part, whole, x, y)) << x << "," << y << " " << pw << "x" << ph;
                    RandomPicture(part, pw, ph, static_cast<std::uint32_t>(x + y));
                    ASSERT_TRUE(document.RenderPart(x, y, pw, ph, &part));
                    ASSERT_EQ(part.Width(), pw);
                    ASSERT_EQ(part.Height(), ph);
                    EXPECT_TRUE(SamePlace(part, whole, x, y)) << x << "," << y << " " << pw << "x" << ph;
                }
                // Rectangles reaching outside are refused.
                PxBitmap outside;
                EXPECT_FALSE(document.RenderPart(w - 1, 0, 2, 1, &outside));
                EXPECT_FALSE(document.RenderPart(0, -1, 1, 1, &outside));
                EXPECT_FALSE(document.RenderPart(0, 0, 0, 1, &outside));
            }
        }
    }
}

// A canvas that keeps what is drawn on it, pixel by pixel, as top-down RGB,
// between paints; it takes paint only inside `clip`, as a window repainting
// part of itself does.
class PixelCanvas : public FakeCanvas {
public:
    PixelCanvas(int clientWidth, int clientHeight)
        : width(clientWidth),
          height(clientHeight),
          rgb(std::size_t(clientWidth) * clientHeight * 3, 0),
          clip{0, 0, clientWidth, clientHeight}
    {
    }
    void FillRect(int left, int top, int right, int bottom, std::uint32_t colour) override
    {
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                Put(x, y, colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
            }
        }
    }
    int DrawPixels(int x, int y, int w, int h, const std::uint8_t* pixels, std::int32_t stride,
                   std::uint32_t rop) override
    {
        FakeCanvas::DrawPixels(x, y, w, h, pixels, stride, rop);
        for (int row = 0; row < h; ++row) {
            for (int column = 0; column < w; ++column) {
                const std::uint8_t* p = pixels + std::int64_t(h - 1 - row) * stride + 3 * column;
                Put(x + column, y + row, p[2], p[1], p[0]);
            }
        }
        return 1;
    }
    Rgb At(int x, int y) const
    {
        const std::uint8_t* q = &rgb[(std::size_t(y) * width + x) * 3];
        return Rgb{q[0], q[1], q[2]};
    }
    // Erases and paints what `part` of the client area shows.
    void Repaint(ImageView& view, const ViewRect& part)
    {
        clip = part;
        view.EraseBackground(*this);
        view.Paint(*this);
    }
    int width;
    int height;
    std::vector<std::uint8_t> rgb;
    ViewRect clip;

private:
    void Put(int x, int y, std::uint32_t r, std::uint32_t g, std::uint32_t b)
    {
        if (x < std::max(clip.left, 0) || x >= std::min(clip.right, width) || y < std::max(clip.top, 0) ||
            y >= std::min(clip.bottom, height)) {
            return;
        }
        std::uint8_t* q = &rgb[(std::size_t(y) * width + x) * 3];
        q[0] = static_cast<std::uint8_t>(r);
        q[1] = static_cast<std::uint8_t>(g);
        q[2] = static_cast<std::uint8_t>(b);
    }
};

// What the client area must show: the working copy at its placement, less
// the scroll offset.
void ExpectScreenShows(const ImageView& view, const PixelCanvas& canvas, const PxBitmap& whole)
{
    const ViewPoint at = view.PicturePosition();
    int wrong = 0;
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            const int px = x - at.x + view.Geometry().OffsetX();
            const int py = y - at.y + view.Geometry().OffsetY();
            if (px < 0 || py < 0 || px >= whole.Width() || py >= whole.Height()) {
                continue;
            }
            if (!(canvas.At(x, y) == PixelAt(whole, px, py)) && ++wrong <= 3) {
                ADD_FAILURE() << "client " << x << "," << y << " shows " << canvas.At(x, y) << " instead of "
                              << PixelAt(whole, px, py);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(WorkingCopy, ScreenShowsThePictureAtEveryZoomStepAndScrollPosition)
{
    ViewFixture f;
    f.Resize(150, 110);
    PxBitmap picture;
    RandomPicture(picture, 37, 23, 9);
    f.ShowPicture(picture);
    f.view.RotateRight();
    f.view.FlipVertical();
    // Every factor Zoom In reaches from 100 %, then a few back down.
    for (int step = 0; step <= 94; ++step) {
        if (step > 0) {
            step <= 91 ? f.view.ZoomIn() : f.view.ZoomOutByOne();
        }
        const ImageDocument& document = f.view.Document();
        const double zoom = f.view.Geometry().Zoom();
        SCOPED_TRACE(::testing::Message() << "zoom " << zoom);
        PxBitmap whole;
        WholeTheLongWay(*document.Decoded(), zoom, 90, false, true, &whole);
        // Top-left, then scrolled to the far corner and part way back.
        for (const double where : {0.0, 1.0, 0.37}) {
            const int x =
                static_cast<int>(std::max(0, f.view.Geometry().ExtentX() - f.view.Geometry().ClientWidth()) * where);
            const int y =
                static_cast<int>(std::max(0, f.view.Geometry().ExtentY() - f.view.Geometry().ClientHeight()) * where);
            f.view.ScrollTo(x, y, true);
            PixelCanvas canvas(f.view.Geometry().ClientWidth(), f.view.Geometry().ClientHeight());
            f.view.Paint(canvas);
            ExpectScreenShows(f.view, canvas, whole);
        }
    }
}

// Stepping between pictures that leave bands around them repaints only
// where either picture lies; the screen ends up as a whole repaint leaves it.
TEST(WorkingCopy, StepsBetweenSmallPicturesRepaintOnlyWhereTheyLie)
{
    ViewFixture f;
    f.Resize(61, 40);
    f.ShowPicture(20, 10);
    PixelCanvas screen(61, 40);
    screen.Repaint(f.view, {0, 0, 61, 40});
    // Odd and even free space, a picture as wide as the area, one wider.
    const int sizes[][2] = {{21, 11}, {30, 30}, {3, 2}, {61, 5}, {8, 39}, {20, 10}, {70, 12}, {9, 9}};
    std::uint32_t seed = 1;
    for (const auto& [w, h] : sizes) {
        SCOPED_TRACE(::testing::Message() << w << " x " << h);
        const std::size_t before = f.window.parts.size();
        const int invalidations = f.window.invalidations;
        PxBitmap picture;
        RandomPicture(picture, w, h, ++seed);
        f.ShowPicture(picture);
        ASSERT_GT(f.window.parts.size(), before);
        ASSERT_EQ(f.window.invalidations - invalidations, int(f.window.parts.size() - before)) << "a whole repaint";
        ViewRect marked = f.window.parts[before];
        for (std::size_t i = before + 1; i < f.window.parts.size(); ++i) {
            marked = BoundingRect(marked, f.window.parts[i]);
        }
        screen.Repaint(f.view, marked);
        PixelCanvas whole(61, 40);
        whole.Repaint(f.view, {0, 0, 61, 40});
        EXPECT_EQ(screen.rgb, whole.rgb);
    }
    // A new background colour repaints everything.
    const std::size_t before = f.window.parts.size();
    f.Set(&ViewerSettings::backgroundColor, 0x102030);
    f.view.ZoomIn();
    EXPECT_EQ(f.window.parts.size(), before);
}

// Unturned, the tiles of one zoom step are made again in the stores of the
// step before; whatever those held must not show through.
TEST(WorkingCopy, TilesMadeInTheMemoryOfAnEarlierZoomShowThePicture)
{
    ViewFixture f;
    f.Resize(700, 500);
    PxBitmap picture;
    RandomPicture(picture, 420, 300, 13);
    f.ShowPicture(picture);
    for (int step = 1; step <= 12; ++step) {
        step <= 10 ? f.view.ZoomIn() : f.view.ZoomOut();
        const ImageDocument& document = f.view.Document();
        const double zoom = f.view.Geometry().Zoom();
        SCOPED_TRACE(::testing::Message() << "zoom " << zoom);
        PxBitmap whole;
        WholeTheLongWay(*document.Decoded(), zoom, 0, false, false, &whole);
        for (const double where : {0.0, 0.6}) {
            f.view.ScrollTo(
                static_cast<int>(std::max(0, f.view.Geometry().ExtentX() - f.view.Geometry().ClientWidth()) * where),
                static_cast<int>(std::max(0, f.view.Geometry().ExtentY() - f.view.Geometry().ClientHeight()) * where),
                true);
            PixelCanvas canvas(f.view.Geometry().ClientWidth(), f.view.Geometry().ClientHeight());
            f.view.Paint(canvas);
            ExpectScreenShows(f.view, canvas, whole);
        }
    }
}

// A picture whose working copy at the highest factor would need more than
// the store cap holds: every part still shows, wherever the view scrolls.
TEST(WorkingCopy, PictureZoomedBeyondTheStoreCapShowsEverywhere)
{
    const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};
    ViewFixture f;
    PxBitmap decoded;
    decoded.SetDimensions(2000, 1800, 24);
    ASSERT_EQ(decoded.CreatePixelStore(), 0);
    for (int y = 0; y < 1800; ++y) {
        for (int x = 0; x < 2000; ++x) {
            const Rgb c = y < 900 ? (x < 1000 ? kRed : kGreen) : (x < 1000 ? kBlue : kWhite);
            std::uint8_t* p = decoded.Pixels() + std::int64_t(1799 - y) * decoded.Stride() + 3 * x;
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        }
    }
    f.ShowPicture(decoded);
    f.view.ZoomTo(9.0);
    f.view.ZoomInByOne();  // 1000 %: 20000 x 18000, 1.08 GB as a whole
    ASSERT_EQ(f.view.Document().Display().Width(), 20000);
    ASSERT_GT(std::uint64_t(20000) * 18000 * 3, kPxMaxStoreBytes);
    const struct {
        int x, y;
        Rgb colour;
    } places[] = {{0, 0, kRed}, {20000 - 800, 0, kGreen}, {0, 18000 - 600, kBlue}, {20000 - 800, 18000 - 600, kWhite}};
    for (const auto& place : places) {
        f.view.ScrollTo(place.x, place.y, true);
        PixelCanvas canvas(800, 600);
        f.view.Paint(canvas);
        EXPECT_EQ(canvas.At(0, 0), place.colour) << place.x << "," << place.y;
        EXPECT_EQ(canvas.At(799, 599), place.colour) << place.x << "," << place.y;
    }
}

}  // namespace

}  // namespace brelvix
