#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "view_fakes.h"

namespace brelvix {

namespace {

std::vector<std::string> Entries(int count)
{
    std::vector<std::string> list;
    for (int i = 0; i < count; ++i) {
        list.push_back("/brelvix-nowhere/" + std::to_string(i) + ".png");
    }
    return list;
}

TEST(SlideShow, StartStepAndStop)
{
    ViewFixture f;
    f.view.document.fileList = Entries(3);
    f.view.document.currentIndex = 2;
    f.view.document.path = f.view.document.fileList[2];

    f.view.ToggleSlideShow();
    EXPECT_TRUE(f.view.slideShowRunning);
    EXPECT_TRUE(f.frame.slideShowChecked);
    EXPECT_EQ(f.timer.running, (std::map<unsigned, int>{{kSlideShowTimerId, 5000}}));
    EXPECT_EQ(f.view.timerId, kSlideShowTimerId);
    EXPECT_EQ(f.window.cursor, ViewCursor::Blank);
    EXPECT_EQ(f.view.document.currentIndex, 2) << "starting does not change the picture";
    EXPECT_NE(f.frame.status.find("     Slideshow (delay 5.00 s)"), std::string::npos);

    // The timer's step wraps from the last entry and arms a full period anew.
    f.view.OnTimer(f.view.timerId);
    EXPECT_EQ(f.view.document.currentIndex, 0);
    EXPECT_EQ(f.timer.periods.size(), 2u);
    // A command during the show steps at once and postpones the next step.
    f.view.ShowLast();
    EXPECT_EQ(f.view.document.currentIndex, 2);
    EXPECT_EQ(f.timer.periods.size(), 3u);
    // A new delay applies from the next arming.
    f.view.document.slideShowDelay = 2.5;
    f.view.OnTimer(99);  // any id steps
    EXPECT_EQ(f.view.document.currentIndex, 0);
    EXPECT_EQ(f.timer.periods.back(), 2500);

    f.view.ToggleSlideShow();
    EXPECT_FALSE(f.view.slideShowRunning);
    EXPECT_FALSE(f.frame.slideShowChecked);
    EXPECT_TRUE(f.timer.running.empty());
    EXPECT_EQ(f.frame.status.find("Slideshow"), std::string::npos);

    // Navigation without a show arms nothing.
    f.view.ShowNext();
    EXPECT_TRUE(f.timer.running.empty());

    // The middle button toggles too, and the check mark follows.
    f.view.OnMiddleButtonUp(10, 10);
    EXPECT_TRUE(f.frame.slideShowChecked);
    f.view.OnMiddleButtonUp(10, 10);
    EXPECT_FALSE(f.frame.slideShowChecked);
}

TEST(SlideShow, TimerPeriod)
{
    ViewFixture f;
    struct Case {
        double delay;
        int period;
    };
    const Case cases[] = {
        {5.0, 5000},
        {2.5, 2500},
        {0.01, 10},
        {1.2345, 1234},
        // Only stored settings can hold these; none may step without pause.
        {0.0, 10},
        {-3.0, 10},
        {0.004, 10},
        {std::nan(""), 10},
        {1e300, std::numeric_limits<int>::max()},
    };
    for (const Case& c : cases) {
        f.view.document.slideShowDelay = c.delay;
        f.view.RestartSlideShowTimer();
        EXPECT_EQ(f.timer.periods.back(), c.period) << c.delay;
    }
}

TEST(SlideShow, CursorSequence)
{
    ViewFixture f;
    f.view.document.fileList = Entries(4);
    f.window.cursor = ViewCursor::Arrow;

    f.view.ToggleSlideShow();
    EXPECT_EQ(f.window.cursor, ViewCursor::Blank);
    EXPECT_EQ(f.view.savedCursor, ViewCursor::Arrow);

    // A step without mouse movement: wait, blank (remembering wait), then
    // the cursor from before the step: still hidden.
    f.window.cursorHistory.clear();
    f.view.OnTimer(kSlideShowTimerId);
    EXPECT_EQ(f.window.cursorHistory,
              (std::vector<ViewCursor>{ViewCursor::Wait, ViewCursor::Blank, ViewCursor::Blank}));
    EXPECT_EQ(f.window.cursor, ViewCursor::Blank);
    EXPECT_EQ(f.view.savedCursor, ViewCursor::Wait);

    // The mouse moves: the view asks for a cursor and shows the arrow; later
    // steps keep it visible.
    f.view.OnCursorRequest(true);
    EXPECT_EQ(f.window.cursor, ViewCursor::Arrow);
    f.view.OnTimer(kSlideShowTimerId);
    EXPECT_EQ(f.window.cursor, ViewCursor::Arrow);

    // Stopping right after a step restores what the last change replaced.
    f.view.ToggleSlideShow();
    EXPECT_EQ(f.window.cursor, ViewCursor::Wait);
}

}  // namespace

}  // namespace brelvix
