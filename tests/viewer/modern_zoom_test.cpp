// Zoom that keeps its place, best fit that follows the window, and scrolling
// by screen distance: the view with the modern zoom setting on.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

struct ModernFixture : ViewFixture {
    ModernFixture() { Set(&ViewerSettings::modernZoom, true); }
    ViewPoint Offset() const { return {view.Geometry().OffsetX(), view.Geometry().OffsetY()}; }
};

TEST(ModernZoom, LadderSteps)
{
    struct Case {
        double from;
        int rungs;
        std::optional<double> to;
    };
    const Case cases[] = {
        {1.0, 1, 1.5},
        {1.0, -1, 2.0 / 3},
        {0.7, 1, 1.0},
        {0.7, -1, 2.0 / 3},
        {0.33333333333, 1, 0.5},  // within rounding of a third: that rung
        {1.0, 2, 2.0},
        {1.0, -2, 0.5},
        {24, 2, 32},
        {0.125, -2, 0.1},
        {0.05, 1, 0.1},
        {0.05, -1, {}},
        {0.1, -1, {}},
        {32, 1, {}},
        {40, -1, 32},
        {10.099999999999982, 1, 12},
        {0.10000000000000014, -1, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LadderZoom(c.from, c.rungs), c.to) << c.from << " by " << c.rungs;
    }
}

TEST(ModernZoom, KeptOffsetHoldsThePointUnderTheAnchor)
{
    struct Case {
        int anchor, client, oldOffset, oldExtent, newExtent;
        int offset;
    };
    const Case cases[] = {
        {400, 800, 400, 1600, 2400, 800},                                     // the middle of a 1600 copy: 1200 of 2400
        {400, 800, 800, 1600, 2400, 1400},                                    // a point three quarters along
        {0, 800, 400, 1600, 2400, 600},                                       // under the pointer at the left edge
        {400, 800, 400, 1600, 800, 0},                                        // fits now: centred
        {400, 800, 0, 1600, 1000000, 249600}, {790, 800, 0, 400, 1600, 800},  // right of a centred copy: its right edge
        {400, 800, 0, 400, 1600, 400},                                        // was centred at 200: its middle stays
        {100, 800, 0, 400, 1600, 0},                                          // left of a centred copy: its left edge
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeptOffset(c.anchor, c.client, c.oldOffset, c.oldExtent, c.newExtent), c.offset)
            << c.anchor << " " << c.oldOffset << " " << c.oldExtent << " -> " << c.newExtent;
    }
}

TEST(ModernZoom, KeysKeepTheMiddleAndCtrlWheelThePointer)
{
    ModernFixture f;  // client 800 x 600
    f.ShowPicture(1600, 1200);
    f.view.ScrollTo(400, 300, false);  // the picture's middle in the view's middle
    f.view.ZoomIn();
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.5);
    EXPECT_EQ(f.Offset(), (ViewPoint{800, 600}));
    EXPECT_EQ(f.window.Bar(ScrollAxis::Horizontal).position, 800);
    f.view.ZoomOutByOne();  // two rungs: 1.0, 2/3
    EXPECT_EQ(f.view.Geometry().Zoom(), 2.0 / 3);
    EXPECT_EQ(f.Offset(), (ViewPoint{133, 100}));  // 1066 x 800 wide, its middle kept
    f.view.ZoomOut();
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.5);
    EXPECT_EQ(f.Offset(), (ViewPoint{0, 0}));

    // Ctrl+wheel: the point under the pointer, a notch a rung, half notches
    // adding up; without Ctrl the wheel scrolls.
    f.view.ZoomTo100();
    f.view.ScrollTo(400, 300, false);
    f.view.OnWheel(0, 60, kViewKeyControl, 0, 0);
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.0);
    f.view.OnWheel(0, 60, kViewKeyControl, 0, 0);
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.5);
    EXPECT_EQ(f.Offset(), (ViewPoint{600, 450}));
    f.view.OnWheel(0, -120, kViewKeyControl, 800, 600);  // the bottom-right corner
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.0);
    EXPECT_EQ(f.Offset(), (ViewPoint{133, 100}));

    // Without the setting Ctrl+wheel scrolls, and the zoom steps as always.
    f.Set(&ViewerSettings::modernZoom, false);
    f.view.OnWheel(0, -120, kViewKeyControl, 0, 0);
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.0);
    EXPECT_EQ(f.Offset(), (ViewPoint{133, 136}));  // three lines of 12
    f.view.ZoomIn();
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.1);
    EXPECT_EQ(f.Offset(), (ViewPoint{0, 0}));
}

TEST(ModernZoom, BestFitFollowsTheViewAndTurns)
{
    TempDir dir;
    const std::string next = dir.Write("next.bmp", Bmp24Header(3000, 1000));
    ModernFixture f;
    f.frame.bestFit = true;
    f.ShowPicture(1600, 1200);
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.5);
    EXPECT_TRUE(f.view.Fitted());

    struct Step {
        const char* what;
        std::function<void(ModernFixture&)> act;
        double zoom;
    };
    const Step steps[] = {
        {"smaller view", [](ModernFixture& g) { g.Resize(400, 300); }, 0.25},
        {"bars gone: the room stays", [](ModernFixture& g) { g.view.OnSize(420, 300); }, 0.25},
        {"turned", [](ModernFixture& g) { g.view.RotateRight(); }, 0.1875},  // 1200 x 1600 in 400 x 300
        {"turned back", [](ModernFixture& g) { g.view.RotateLeft(); }, 0.25},
        {"larger than the picture: never enlarged", [](ModernFixture& g) { g.Resize(2000, 2000); }, 1.0},
        {"window moved or full screen",
         [](ModernFixture& g) {
             g.window.rect = {0, 0, 804, 604};
             g.view.OnWindowPositionChanged();
         },
         0.5},
        {"by hand: the fit stops", [](ModernFixture& g) { g.view.ZoomIn(); }, 2.0 / 3},
        {"and stays stopped", [](ModernFixture& g) { g.Resize(400, 300); }, 2.0 / 3},
        {"the next picture fits again", [&next](ModernFixture& g) { g.view.OpenImage(next, false); }, 400.0 / 3000},
        {"best fit off",
         [](ModernFixture& g) {
             g.frame.bestFit = false;
             g.Resize(800, 600);
         },
         400.0 / 3000},
    };
    for (const Step& step : steps) {
        step.act(f);
        EXPECT_EQ(f.view.Geometry().Zoom(), step.zoom) << step.what;
    }
    EXPECT_FALSE(FakeWindow::Shows(f.window.Bar(ScrollAxis::Horizontal)));
}

TEST(ModernZoom, ScrollingByScreenDistance)
{
    ModernFixture f;  // client 800 x 600
    f.ShowPicture(4000, 3000);
    EXPECT_EQ(f.view.Geometry().LineSizeX(), 80);
    EXPECT_EQ(f.view.Geometry().LineSizeY(), 60);
    EXPECT_EQ(f.view.Geometry().PageSizeY(), 600);

    struct Case {
        const char* what;
        int lines;  // the desktop's lines a notch
        int dx, dy;
        unsigned keys;
        ViewPoint moved;
    };
    const Case cases[] = {
        {"a notch: three lines", 3, 0, -120, 0, {0, 180}},
        {"one line a notch", 1, 0, -120, 0, {0, 60}},
        {"ten lines: three at most", 10, 0, -120, 0, {0, 180}},
        {"a page a notch: still three lines", -1, 0, -120, 0, {0, 180}},
        {"up", 3, 0, 120, 0, {0, -180}},
        {"shift: sideways", 3, 0, -120, kViewKeyShift, {240, 0}},
        {"the sideways wheel", 3, -120, 0, 0, {240, 0}},
        {"a part of a notch", 3, 0, -40, 0, {0, 60}},
    };
    for (const Case& c : cases) {
        f.view.OnSettingsChange(c.lines);
        f.view.ScrollTo(1000, 1000, false);
        f.view.OnWheel(c.dx, c.dy, c.keys, 10, 10);
        EXPECT_EQ(f.Offset(), (ViewPoint{1000 + c.moved.x, 1000 + c.moved.y})) << c.what;
    }

    // Less than a pixel is kept for the next movement.
    f.view.OnSettingsChange(3);
    f.view.ScrollTo(0, 0, false);
    f.view.OnWheel(0, -7, 0, 0, 0);  // 10.5 pixels
    EXPECT_EQ(f.view.Geometry().OffsetY(), 10);
    f.view.OnWheel(0, -7, 0, 0, 0);
    EXPECT_EQ(f.view.Geometry().OffsetY(), 21);

    // Up and Down scroll a line; the lines follow the view's size.
    f.view.ScrollLineDown();
    EXPECT_EQ(f.view.Geometry().OffsetY(), 81);
    f.view.ScrollLineUp();
    f.view.ScrollLineUp();
    EXPECT_EQ(f.view.Geometry().OffsetY(), 0);
    f.Resize(300, 200);
    EXPECT_EQ(f.view.Geometry().LineSizeY(), 20);
    f.view.ScrollLineDown();
    EXPECT_EQ(f.view.Geometry().OffsetY(), 20);

    // Without the setting the keys do nothing and the lines are the picture's.
    f.Set(&ViewerSettings::modernZoom, false);
    f.view.ScrollLineDown();
    EXPECT_EQ(f.view.Geometry().OffsetY(), 20);
    f.ShowPicture(4000, 3000);
    EXPECT_EQ(f.view.Geometry().LineSizeY(), 30);
}

}  // namespace

}  // namespace brelvix
