#include <gtest/gtest.h>

#include "view_fakes.h"

namespace brelvix {

namespace {

TEST(Scrolling, PlacementCentresWhatFitsAndScrollsWhatDoesNot)
{
    ViewFixture f;
    f.Resize(801, 600);
    f.ShowPicture(300, 200);
    EXPECT_EQ(f.view.PicturePosition(), (ViewPoint{250, 200}));
    EXPECT_FALSE(FakeWindow::Shows(f.window.Bar(ScrollAxis::Horizontal)));
    EXPECT_FALSE(FakeWindow::Shows(f.window.Bar(ScrollAxis::Vertical)));

    f.Resize(200, 100);
    EXPECT_EQ(f.view.PicturePosition(), (ViewPoint{0, 0}));
    EXPECT_EQ(f.window.Bar(ScrollAxis::Horizontal), (ScrollBarInfo{0, 299, 200, 0}));
    EXPECT_EQ(f.window.Bar(ScrollAxis::Vertical), (ScrollBarInfo{0, 199, 100, 0}));
    EXPECT_TRUE(FakeWindow::Shows(f.window.Bar(ScrollAxis::Horizontal)));
    EXPECT_TRUE(FakeWindow::Shows(f.window.Bar(ScrollAxis::Vertical)));
    EXPECT_EQ(f.view.Geometry().LineSizeX(), 3);
    EXPECT_EQ(f.view.Geometry().LineSizeY(), 2);
    EXPECT_EQ(f.view.Geometry().PageSizeX(), 30);
    EXPECT_EQ(f.view.Geometry().PageSizeY(), 20);

    // Tiny pictures still move by at least one pixel.
    f.ShowPicture(9, 250);
    EXPECT_EQ(f.view.Geometry().LineSizeX(), 1);
    EXPECT_EQ(f.view.Geometry().PageSizeX(), 1);
    EXPECT_EQ(f.view.Geometry().LineSizeY(), 2);
    EXPECT_EQ(f.view.Geometry().PageSizeY(), 25);
}

TEST(Scrolling, BarActionsStayInRange)
{
    ViewFixture f;
    f.Resize(200, 100);
    f.ShowPicture(300, 1000);  // vertical range 0..900
    f.window.scrolled.clear();
    struct Case {
        ScrollAction action;
        int track;
        int expected;
    };
    const Case cases[] = {
        {ScrollAction::LineDown, 0, 10},       {ScrollAction::LineDown, 0, 20},
        {ScrollAction::PageDown, 0, 120},      {ScrollAction::PageUp, 0, 20},
        {ScrollAction::PageUp, 0, 0},          {ScrollAction::LineUp, 0, 0},
        {ScrollAction::Bottom, 0, 900},        {ScrollAction::LineDown, 0, 900},
        {ScrollAction::ThumbTrack, 450, 450},  {ScrollAction::ThumbPosition, 455, 455},
        {ScrollAction::EndScroll, 0, 455},     {ScrollAction::Top, 0, 0},
        {ScrollAction::ThumbTrack, 5000, 900}, {ScrollAction::ThumbTrack, -7, 0},
    };
    for (const Case& c : cases) {
        f.view.OnScroll(ScrollAxis::Vertical, c.action, c.track);
        EXPECT_EQ(f.view.Geometry().OffsetY(), c.expected) << static_cast<int>(c.action);
        EXPECT_EQ(f.window.Bar(ScrollAxis::Vertical).position, c.expected);
    }
    // Contents move by the change, opposite to the offset; nothing moves
    // when the offset stays.
    ASSERT_GE(f.window.scrolled.size(), 3u);
    EXPECT_EQ(f.window.scrolled[0], (std::pair<int, int>{0, -10}));
    EXPECT_EQ(f.window.scrolled[2], (std::pair<int, int>{0, -100}));
    EXPECT_EQ(f.window.scrolled.size(), 11u);

    // An axis on which the picture fits never scrolls.
    f.Resize(400, 100);
    f.view.OnScroll(ScrollAxis::Horizontal, ScrollAction::Bottom, 0);
    EXPECT_EQ(f.view.Geometry().OffsetX(), 0);
}

TEST(Scrolling, WheelAccumulatesPartialNotches)
{
    ViewFixture f;
    f.Resize(200, 100);
    f.ShowPicture(300, 1000);  // line size 10
    const int updates = f.window.updates;
    f.view.OnMouseWheel(-120);
    EXPECT_EQ(f.view.Geometry().OffsetY(), 30);
    EXPECT_EQ(f.window.updates - updates, 3) << "each step is shown at once";
    EXPECT_EQ(f.view.Geometry().WheelAccumulator(), 0);

    f.view.OnMouseWheel(-60);  // half a notch: 180 -> two steps
    EXPECT_EQ(f.view.Geometry().OffsetY(), 50);
    EXPECT_EQ(f.view.Geometry().WheelAccumulator(), -60);
    f.view.OnMouseWheel(-60);  // the accumulator makes a whole notch again
    EXPECT_EQ(f.view.Geometry().OffsetY(), 80);
    EXPECT_EQ(f.view.Geometry().WheelAccumulator(), 0);

    f.view.OnMouseWheel(240);
    EXPECT_EQ(f.view.Geometry().OffsetY(), 20);

    // Page mode: one page a notch.
    f.view.OnSettingsChange(-1);
    f.view.OnMouseWheel(-120);
    EXPECT_EQ(f.view.Geometry().OffsetY(), 120);
    f.view.OnSettingsChange(5);
    EXPECT_EQ(f.view.Geometry().WheelLines(), 5);
    f.view.OnMouseWheel(-120);
    EXPECT_EQ(f.view.Geometry().OffsetY(), 170);

    // A delta far beyond any wheel ends at the edge without spinning.
    f.view.OnMouseWheel(-1999999920);  // whole notches: nothing left over
    EXPECT_EQ(f.view.Geometry().OffsetY(), 900);

    // Without a vertical bar the wheel scrolls sideways.
    f.Resize(200, 1000);
    f.view.OnSettingsChange(3);
    f.view.OnMouseWheel(-120);
    EXPECT_EQ(f.view.Geometry().OffsetX(), 9);
    EXPECT_EQ(f.view.Geometry().OffsetY(), 0);
}

TEST(Scrolling, EnlargingPullsTheOffsetBack)
{
    ViewFixture f;
    f.Resize(200, 100);
    f.ShowPicture(300, 200);
    f.view.OnScroll(ScrollAxis::Horizontal, ScrollAction::Bottom, 0);
    f.view.OnScroll(ScrollAxis::Vertical, ScrollAction::Bottom, 0);
    ASSERT_EQ(f.view.Geometry().OffsetX(), 100);
    ASSERT_EQ(f.view.Geometry().OffsetY(), 100);
    f.window.scrolled.clear();

    f.Resize(250, 180);
    EXPECT_EQ(f.view.Geometry().OffsetX(), 50);
    EXPECT_EQ(f.view.Geometry().OffsetY(), 20);
    EXPECT_EQ(f.window.scrolled, (std::vector<std::pair<int, int>>{{50, 0}, {0, 80}}));
    EXPECT_EQ(f.window.Bar(ScrollAxis::Horizontal), (ScrollBarInfo{0, 299, 250, 50}));

    f.Resize(1000, 1000);  // larger than the picture: back to 0
    EXPECT_EQ(f.view.Geometry().OffsetX(), 0);
    EXPECT_EQ(f.view.Geometry().OffsetY(), 0);
    // Shrinking keeps the offset.
    f.view.OnSize(100, 100);
    EXPECT_EQ(f.view.Geometry().OffsetX(), 0);
}

TEST(Scrolling, EveryRefreshReturnsToTheCorner)
{
    ViewFixture f;
    f.ShowPicture(2000, 2000);
    f.view.ScrollTo(300, 400, false);
    EXPECT_EQ(f.window.scrolled.back(), (std::pair<int, int>{-300, -400}));
    EXPECT_EQ(f.window.Bar(ScrollAxis::Vertical).position, 400);
    f.view.FlipHorizontal();
    EXPECT_EQ(f.view.Geometry().OffsetX(), 0);
    EXPECT_EQ(f.view.Geometry().OffsetY(), 0);
    EXPECT_EQ(f.window.Bar(ScrollAxis::Vertical), (ScrollBarInfo{0, 1999, 600, 0}));

    // A failed load keeps the previous picture's scrolling.
    f.view.ScrollTo(300, 400, true);
    f.view.OpenImage("/brelvix-nowhere/gone.bmp", false);
    EXPECT_EQ(f.view.Geometry().OffsetX(), 300);
    EXPECT_EQ(f.view.Geometry().ExtentX(), 2000);
}

}  // namespace

}  // namespace brelvix
