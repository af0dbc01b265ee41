#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

std::string ZoomField(const std::string& status)
{
    const std::size_t at = status.find("Zoom: ");
    return at == std::string::npos ? std::string() : status.substr(at + 6, status.find('%', at) - at - 5);
}

TEST(Zoom, FixedStepsAreRepeatedAdditions)
{
    ViewFixture f;  // no picture: the factor and the status text still change
    f.view.ZoomIn();
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.1);
    f.view.ZoomIn();
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.2000000000000002);
    for (int i = 2; i < 90; ++i) {
        f.view.ZoomIn();
    }
    EXPECT_EQ(f.view.Geometry().Zoom(), 9.999999999999982);
    f.view.ZoomIn();  // still below 10: one more step
    EXPECT_EQ(f.view.Geometry().Zoom(), 10.099999999999982);
    EXPECT_EQ(ZoomField(f.frame.status), "1009%");
    const int repaints = f.window.invalidations;
    f.view.ZoomIn();
    f.view.ZoomInByOne();
    EXPECT_EQ(f.view.Geometry().Zoom(), 10.099999999999982);
    EXPECT_EQ(f.window.invalidations, repaints) << "a zoom at its bound does nothing";

    f.view.ZoomTo(1.0);
    f.view.ZoomOut();
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.9);
    f.view.ZoomOut();
    f.view.ZoomOut();
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.7000000000000001);
    for (int i = 3; i < 9; ++i) {
        f.view.ZoomOut();
    }
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.10000000000000014);
    EXPECT_EQ(ZoomField(f.frame.status), "10%");
    // Still above 0.1, but the step would leave about 1.4e-16, a picture of
    // no pixels at all: it is not taken, and neither is any step that would
    // go below 0.1, the Ctrl step's included.
    f.view.ZoomOut();
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.10000000000000014);
    struct Refused {
        double from;
        double step;
        double to;
    };
    const Refused steps[] = {
        {0.15, -0.1, 0.15}, {1.05, -1.0, 1.05}, {1.1, -1.0, 0.10000000000000009}, {0.2, -0.1, 0.1}};
    for (const Refused& refused : steps) {
        f.view.ZoomTo(refused.from);
        f.view.ZoomStep(refused.step);
        EXPECT_EQ(f.view.Geometry().Zoom(), refused.to) << refused.from << " " << refused.step;
    }

    f.view.ZoomTo(9.5);
    f.view.ZoomInByOne();
    EXPECT_EQ(f.view.Geometry().Zoom(), 10.5);
    f.view.ZoomTo(1.5);
    f.view.ZoomOutByOne();
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.5);
    f.view.ZoomTo(1.0);
    f.view.ZoomOutByOne();
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.0);
    f.view.ZoomTo(3.7);
    f.view.ZoomTo100();
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.0);
}

TEST(Zoom, WorkingCopyIsScaledThenTurned)
{
    ViewFixture f;
    f.ShowPicture(101, 40);
    f.view.ZoomTo(0.35);
    EXPECT_EQ(f.view.Document().Display().Width(), 35);  // 35.35 truncated
    EXPECT_EQ(f.view.Document().Display().Height(), 14);

    f.ShowPicture(640, 480);
    EXPECT_EQ(f.view.Document().Display().Width(), 640);
    f.view.ZoomTo(0.5);
    f.view.RotateRight();
    EXPECT_EQ(f.view.Document().Display().Width(), 240);
    EXPECT_EQ(f.view.Document().Display().Height(), 320);
    // The status names the decoded size; the scroll extents follow the copy.
    EXPECT_NE(f.frame.status.find("Dimensions: 640 x 480"), std::string::npos);
    EXPECT_EQ(f.view.Geometry().ExtentX(), 240);
    EXPECT_EQ(f.view.Geometry().ExtentY(), 320);
}

TEST(Zoom, FitUsesTheWindowLessItsBorder)
{
    ViewFixture f;  // window 804 x 604
    struct Case {
        int width, height;
        double zoom;
        int shownWidth, shownHeight;
    };
    const Case cases[] = {
        {1600, 1200, 0.5, 800, 600},
        {1000, 1000, 0.6, 600, 600},  // the height limits
        {200, 100, 4.0, 800, 400},    // small pictures are stretched
        {100, 300, 2.0, 200, 600},
    };
    for (const Case& c : cases) {
        f.ShowPicture(c.width, c.height);
        f.view.ZoomToFit();
        EXPECT_EQ(f.view.Geometry().Zoom(), c.zoom) << c.width << " x " << c.height;
        EXPECT_EQ(f.view.Document().Display().Width(), c.shownWidth);
        EXPECT_EQ(f.view.Document().Display().Height(), c.shownHeight);
    }

    // A turned picture is fitted as if it were not turned.
    f.ShowPicture(1600, 1200);
    f.view.RotateRight();
    f.view.ZoomToFit();
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.5);
    EXPECT_EQ(f.view.Document().Display().Width(), 600);
    EXPECT_EQ(f.view.Document().Display().Height(), 800);
}

TEST(Zoom, FitWithoutPictureSizeKeepsTheFactor)
{
    ViewFixture f;
    f.view.OpenImage("/brelvix-nowhere/missing.png", false);
    f.view.ZoomTo(0.7);
    f.view.ZoomToFit();
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.7);
    f.view.ApplyBestFit();
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.7);
    EXPECT_EQ(ZoomField(f.frame.status), "70%");

    // A window smaller than its border gives 0, not a negative factor.
    f.ShowPicture(50, 50);
    f.window.rect = {0, 0, 3, 3};
    f.view.ZoomToFit();
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.0);
    EXPECT_EQ(f.view.Document().Display().Width(), 0);
}

TEST(Zoom, BestFitShrinksButNeverEnlarges)
{
    ViewFixture f;
    f.ShowPicture(640, 480);
    f.view.ZoomTo(2.0);
    f.view.ApplyBestFit();
    EXPECT_EQ(f.view.Geometry().Zoom(), 2.0) << "an enlarged picture that fits stays";

    f.view.ZoomTo(0.5);
    f.view.ApplyBestFit();
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.0) << "a reduced picture that fits returns to 1.0";

    // Turned 90 at 2.0 the copy is 200 x 600: the decoded width 300 exceeds
    // the copy's width, which counts as reduced.
    f.ShowPicture(300, 100);
    f.view.ZoomTo(2.0);
    f.view.RotateRight();
    ASSERT_EQ(f.view.Document().Display().Width(), 200);
    f.view.ApplyBestFit();
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.0);

    f.ShowPicture(1600, 1200);
    f.view.ApplyBestFit();
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.5);
}

TEST(Zoom, OpeningAppliesTheInitialZoom)
{
    TempDir dir;
    const std::string small = dir.Write("small.bmp", Bmp24Header(640, 480));
    const std::string large = dir.Write("large.bmp", Bmp24Header(1600, 1200));
    const std::string wide = dir.Write("wide.bmp", Bmp24Header(802, 10));

    ViewFixture f;
    f.frame.bestFit = true;
    ASSERT_TRUE(f.view.OpenImage(small, true));
    ASSERT_TRUE(f.view.Document().Loaded());
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.0);
    ASSERT_TRUE(f.view.OpenImage(large, false));
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.5);
    EXPECT_EQ(f.view.Document().Display().Width(), 800);

    // Not wider than the window (804), so shown at 1.0 and scrolled in the
    // 800-pixel client area.
    ASSERT_TRUE(f.view.OpenImage(wide, false));
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.0);
    EXPECT_TRUE(FakeWindow::Shows(f.window.Bar(ScrollAxis::Horizontal)));
    EXPECT_FALSE(FakeWindow::Shows(f.window.Bar(ScrollAxis::Vertical)));

    // With the setting off every picture opens at 1.0, turns and mirrors gone.
    f.frame.bestFit = false;
    f.view.RotateLeft();
    f.view.FlipVertical();
    f.view.ZoomOut();
    ASSERT_TRUE(f.view.OpenImage(large, false));
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.0);
    EXPECT_EQ(f.view.Geometry().Rotation(), 0);
    EXPECT_FALSE(f.view.Geometry().FlippedVertically());
    EXPECT_EQ(f.view.Document().Display().Width(), 1600);
}

}  // namespace

}  // namespace brelvix
