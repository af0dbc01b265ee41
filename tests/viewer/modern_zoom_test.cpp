// The view with the modern zoom on: steps between round factors that keep
// their place, best fit that follows the window, scrolling by screen
// distance.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

struct ModernFixture : ViewFixture {
    ModernFixture() { Set(&ViewerSettings::modernZoom, true); }
    ViewPoint Offset() const { return {view.Geometry().OffsetX(), view.Geometry().OffsetY()}; }
};

TEST(ModernZoom, LadderStepsKeepTheMiddleOrThePointer)
{
    enum Op { In, Out, InMore, OutMore, WheelIn, WheelOut };
    struct Case {
        double zoom;
        ViewPoint offset;
        Op op;
        ViewPoint pointer;
        double zoomAfter;
        ViewPoint offsetAfter;
    };
    // A 1600 x 1200 picture in an 800 x 600 client area.
    // clang-format off
    const Case cases[] = {
        {1.0, {400, 300}, In, {}, 1.5, {800, 600}},             // the middle stays the middle
        {1.0, {800, 600}, In, {}, 1.5, {1400, 1050}},           // a point three quarters along
        {1.5, {800, 600}, OutMore, {}, 2.0 / 3, {133, 100}},    // two rungs
        {2.0 / 3, {133, 100}, Out, {}, 0.5, {0, 0}},            // fits: centred
        {0.7, {0, 0}, In, {}, 1.0, {171, 129}},                 // between rungs: the next one
        {0.7, {0, 0}, Out, {}, 2.0 / 3, {0, 0}},
        {0.33333333333, {0, 0}, In, {}, 0.5, {0, 0}},           // within rounding of a rung: that rung
        {0.1, {0, 0}, Out, {}, 0.1, {0, 0}},                    // the bottom
        {0.125, {0, 0}, OutMore, {}, 0.1, {0, 0}},
        {32, {5, 5}, In, {}, 32, {5, 5}},                       // the top
        {24, {0, 0}, InMore, {}, 32, {133, 100}},
        {1.0, {400, 300}, WheelIn, {0, 0}, 1.5, {600, 450}},    // under the pointer
        {1.5, {600, 450}, WheelOut, {800, 600}, 1.0, {133, 100}},
    };
    // clang-format on
    for (const Case& c : cases) {
        ModernFixture f;
        f.ShowPicture(1600, 1200);
        f.view.ZoomTo(c.zoom);
        f.view.ScrollTo(c.offset.x, c.offset.y, false);
        switch (c.op) {
            case In:
                f.view.ZoomIn();
                break;
            case Out:
                f.view.ZoomOut();
                break;
            case InMore:
                f.view.ZoomInByOne();
                break;
            case OutMore:
                f.view.ZoomOutByOne();
                break;
            case WheelIn:
            case WheelOut:
                // Half notches add up.
                for (int half = 0; half < 2; ++half) {
                    f.view.OnWheel(0, c.op == WheelIn ? 60 : -60, kViewKeyControl, c.pointer.x, c.pointer.y);
                }
                break;
        }
        EXPECT_EQ(f.view.Geometry().Zoom(), c.zoomAfter) << c.zoom << " " << c.op;
        EXPECT_EQ(f.Offset(), c.offsetAfter) << c.zoom << " " << c.op;
        EXPECT_EQ(f.window.Bar(ScrollAxis::Vertical).position, c.offsetAfter.y);
    }

    // Without the setting Ctrl+wheel scrolls, and the zoom steps as always.
    ViewFixture f;
    f.ShowPicture(1600, 1200);
    f.view.OnWheel(0, -120, kViewKeyControl, 0, 0);
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.0);
    EXPECT_EQ(f.view.Geometry().OffsetY(), 36);  // three lines of 12
    f.view.ZoomIn();
    EXPECT_EQ(f.view.Geometry().Zoom(), 1.1);
    EXPECT_EQ(f.view.Geometry().OffsetY(), 0);
}

TEST(ModernZoom, BestFitFollowsTheViewAndTurns)
{
    TempDir dir;
    const std::string next = dir.Write("next.bmp", Bmp24Header(3000, 1000));
    ModernFixture f;
    f.frame.bestFit = true;
    f.ShowPicture(1600, 1200);
    EXPECT_EQ(f.view.Geometry().Zoom(), 0.5);

    using Act = void (*)(ModernFixture&);
    struct Step {
        const char* what;
        Act act;
        double zoom;
    };
    // clang-format off
    const Step steps[] = {
        {"smaller view", [](ModernFixture& g) { g.Resize(400, 300); }, 0.25},
        {"a bar went: the room stays", [](ModernFixture& g) { g.view.OnSize(420, 300); }, 0.25},
        {"turned", [](ModernFixture& g) { g.view.RotateRight(); }, 0.1875},  // 1200 x 1600 in 400 x 300
        {"turned back", [](ModernFixture& g) { g.view.RotateLeft(); }, 0.25},
        {"larger than the picture", [](ModernFixture& g) { g.Resize(2000, 2000); }, 1.0},
        {"window changed", [](ModernFixture& g) { g.window.rect = {0, 0, 804, 604}; g.view.OnWindowPositionChanged(); }, 0.5},
        {"zoomed by hand", [](ModernFixture& g) { g.view.ZoomIn(); }, 2.0 / 3},
        {"the fit has stopped", [](ModernFixture& g) { g.Resize(400, 300); }, 2.0 / 3},
        {"best fit off", [](ModernFixture& g) { g.frame.bestFit = false; g.view.ApplyBestFit(); g.Resize(200, 150); }, 0.25},
    };
    // clang-format on
    for (const Step& step : steps) {
        step.act(f);
        EXPECT_EQ(f.view.Geometry().Zoom(), step.zoom) << step.what;
    }
    f.frame.bestFit = true;
    f.view.OpenImage(next, false);
    EXPECT_EQ(f.view.Geometry().Zoom(), 200.0 / 3000) << "the next picture is fitted";
    EXPECT_FALSE(FakeWindow::Shows(f.window.Bar(ScrollAxis::Horizontal)));
}

TEST(ModernZoom, ScrollingByScreenDistance)
{
    ModernFixture f;  // client 800 x 600: lines of 80 and 60
    f.ShowPicture(4000, 3000);
    EXPECT_EQ(f.view.Geometry().PageSizeY(), 600);
    struct Case {
        int lines;  // the desktop's lines a notch
        int dx, dy;
        unsigned keys;
        ViewPoint moved;
    };
    const Case cases[] = {
        {3, 0, -120, 0, {0, 180}},  {1, 0, -120, 0, {0, 60}},           {10, 0, -120, 0, {0, 180}},
        {-1, 0, -120, 0, {0, 180}}, {3, 0, 120, 0, {0, -180}},          {3, 0, -120, kViewKeyShift, {240, 0}},
        {3, -120, 0, 0, {240, 0}},  {3, 0, -40, 0, {0, 60}},  // a third of a notch
    };
    for (const Case& c : cases) {
        f.view.OnSettingsChange(c.lines);
        f.view.ScrollTo(1000, 1000, false);
        f.view.OnWheel(c.dx, c.dy, c.keys, 10, 10);
        EXPECT_EQ(f.Offset(), (ViewPoint{1000 + c.moved.x, 1000 + c.moved.y})) << c.lines << " " << c.keys;
    }
    // Less than a pixel waits for the next movement.
    f.view.OnSettingsChange(3);
    f.view.ScrollTo(0, 0, false);
    f.view.OnWheel(0, -7, 0, 0, 0);  // 10.5 pixels
    f.view.OnWheel(0, -7, 0, 0, 0);
    EXPECT_EQ(f.view.Geometry().OffsetY(), 21);

    // Up and Down scroll a line, which follows the view's size.
    f.view.ScrollLineDown();
    EXPECT_EQ(f.view.Geometry().OffsetY(), 81);
    f.Resize(300, 200);
    f.view.ScrollLineUp();
    EXPECT_EQ(f.view.Geometry().OffsetY(), 61);

    // Without the setting the keys do nothing and the lines are the picture's.
    f.Set(&ViewerSettings::modernZoom, false);
    f.view.ScrollLineDown();
    EXPECT_EQ(f.view.Geometry().OffsetY(), 61);
    EXPECT_EQ(f.view.Geometry().LineSizeY(), 30);
}

}  // namespace

}  // namespace brelvix
