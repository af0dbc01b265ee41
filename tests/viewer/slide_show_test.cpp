#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

// A folder of `count` listed files that fail to load (empty), opened at
// `position`.
struct Folder {
    TempDir dir;
    explicit Folder(int count)
    {
        for (int i = 0; i < count; ++i) {
            dir.Write(NumberedName("", i, ".png"), "");
        }
    }
    void OpenAt(ImageView& view, int position) const
    {
        ASSERT_TRUE(view.OpenImage(NumberedName(dir.Path().string() + "/", position, ".png"), true));
        ASSERT_EQ(view.Navigation().Files().CurrentIndex(), position);
    }
};

std::int32_t Position(const ImageView& view)
{
    return view.Navigation().Files().CurrentIndex();
}

TEST(SlideShow, StartStepAndStop)
{
    const Folder folder(3);
    ViewFixture f;
    folder.OpenAt(f.view, 2);

    f.view.ToggleSlideShow();
    EXPECT_TRUE(f.view.Slides().Running());
    EXPECT_TRUE(f.frame.slideShowChecked);
    EXPECT_EQ(f.timer.running, (std::map<unsigned, int>{{kSlideShowTimerId, 5000}}));
    EXPECT_EQ(f.view.Slides().TimerId(), kSlideShowTimerId);
    EXPECT_EQ(f.window.cursor, ViewCursor::Blank);
    EXPECT_EQ(Position(f.view), 2) << "starting does not change the picture";
    EXPECT_NE(f.frame.status.find("     Slideshow (delay 5.00 s)"), std::string::npos);

    // The timer's step wraps from the last entry and arms a full period anew.
    f.view.OnTimer(f.view.Slides().TimerId());
    EXPECT_EQ(Position(f.view), 0);
    EXPECT_EQ(f.timer.periods.size(), 2u);
    // A command during the show steps at once and postpones the next step.
    f.view.ShowLast();
    EXPECT_EQ(Position(f.view), 2);
    EXPECT_EQ(f.timer.periods.size(), 3u);
    // A new delay applies from the next arming.
    f.Set(&ViewerSettings::slideShowDelay, 2.5);
    EXPECT_EQ(f.timer.periods.size(), 3u);
    f.view.OnTimer(99);  // any id steps
    EXPECT_EQ(Position(f.view), 0);
    EXPECT_EQ(f.timer.periods.back(), 2500);

    f.view.ToggleSlideShow();
    EXPECT_FALSE(f.view.Slides().Running());
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
        f.Set(&ViewerSettings::slideShowDelay, c.delay);
        f.view.RestartSlideShowTimer();
        EXPECT_EQ(f.timer.periods.back(), c.period) << c.delay;
    }
}

TEST(SlideShow, CursorSequence)
{
    const Folder folder(4);
    ViewFixture f;
    folder.OpenAt(f.view, 0);
    f.window.cursor = ViewCursor::Arrow;

    f.view.ToggleSlideShow();
    EXPECT_EQ(f.window.cursor, ViewCursor::Blank);
    EXPECT_EQ(f.view.SavedCursor(), ViewCursor::Arrow);

    // A step without mouse movement: wait, blank (remembering wait), then
    // the cursor from before the step: still hidden.
    f.window.cursorHistory.clear();
    f.view.OnTimer(kSlideShowTimerId);
    EXPECT_EQ(f.window.cursorHistory,
              (std::vector<ViewCursor>{ViewCursor::Wait, ViewCursor::Blank, ViewCursor::Blank}));
    EXPECT_EQ(f.window.cursor, ViewCursor::Blank);
    EXPECT_EQ(f.view.SavedCursor(), ViewCursor::Wait);

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
