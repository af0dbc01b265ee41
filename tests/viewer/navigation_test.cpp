#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

using Command = void (ImageView::*)();

std::vector<std::string> Entries(int count)
{
    std::vector<std::string> list;
    for (int i = 0; i < count; ++i) {
        list.push_back("/brelvix-nowhere/" + std::to_string(i) + ".bmp");
    }
    return list;
}

struct Step {
    const char* name;
    Command command;
    int count;
    int start;
    int skip;
    int expected;
};

TEST(Navigation, WrapsAndStopsAtTheEnds)
{
    const Step steps[] = {
        {"next wraps", &ImageView::ShowNext, 12, 11, 20, 0},
        {"next", &ImageView::ShowNext, 12, 4, 20, 5},
        {"previous wraps", &ImageView::ShowPrevious, 12, 0, 20, 11},
        {"previous", &ImageView::ShowPrevious, 12, 4, 20, 3},
        {"first", &ImageView::ShowFirst, 12, 7, 20, 0},
        {"last", &ImageView::ShowLast, 12, 3, 20, 11},
        {"last of one", &ImageView::ShowLast, 1, 0, 20, 0},
        {"next of one", &ImageView::ShowNext, 1, 0, 20, 0},
        {"previous of one", &ImageView::ShowPrevious, 1, 0, 20, 0},
        {"forward stops", &ImageView::FastForward, 12, 5, 20, 11},
        {"rewind stops", &ImageView::Rewind, 12, 5, 20, 0},
        {"rewind", &ImageView::Rewind, 100, 25, 20, 5},
        {"forward", &ImageView::FastForward, 100, 25, 20, 45},
        {"rewind to exactly 0", &ImageView::Rewind, 100, 20, 20, 0},
        // Not listed (position = length): next starts over, previous is last.
        {"next unlisted", &ImageView::ShowNext, 5, 5, 20, 0},
        {"previous unlisted", &ImageView::ShowPrevious, 5, 5, 20, 4},
        // Skips from the stored settings may be anything.
        {"forward huge", &ImageView::FastForward, 5, 3, INT_MAX, 4},
        {"rewind huge", &ImageView::Rewind, 5, 3, INT_MAX, 0},
        {"forward negative", &ImageView::FastForward, 5, 3, -5, 4},
        {"rewind negative", &ImageView::Rewind, 5, 3, -5, 4},
        {"rewind most negative", &ImageView::Rewind, 5, 3, INT_MIN, 4},
    };
    for (const Step& step : steps) {
        ViewFixture f;
        f.view.document.fileList = Entries(step.count);
        f.view.document.currentIndex = step.start;
        f.view.document.fastForwardSkip = step.skip;
        (f.view.*step.command)();
        EXPECT_EQ(f.view.document.currentIndex, step.expected) << step.name;
        // The entry is opened (and fails here: no such file) and shown.
        EXPECT_EQ(f.view.document.path, f.view.document.fileList[step.expected]) << step.name;
        EXPECT_FALSE(f.view.document.loaded) << step.name;
        EXPECT_EQ(f.frame.title, f.view.document.fileList[step.expected] + " - Brelvix") << step.name;
        // Navigation never rebuilds the list.
        EXPECT_EQ(f.view.document.fileList.size(), static_cast<std::size_t>(step.count)) << step.name;
    }
}

TEST(Navigation, EmptyListChangesNothing)
{
    const Command commands[] = {&ImageView::ShowNext, &ImageView::ShowPrevious, &ImageView::ShowFirst,
                                &ImageView::ShowLast, &ImageView::FastForward,  &ImageView::Rewind};
    for (Command command : commands) {
        ViewFixture f;
        f.view.document.path = "/somewhere/else.png";
        f.view.document.currentIndex = 3;
        (f.view.*command)();
        EXPECT_EQ(f.view.document.currentIndex, 3);
        EXPECT_EQ(f.view.document.path, "/somewhere/else.png");
        EXPECT_TRUE(f.window.cursorHistory.empty());
        EXPECT_TRUE(f.frame.title.empty());
    }
}

TEST(Navigation, ShowsTheWaitCursorAndRestoresIt)
{
    ViewFixture f;
    f.view.document.fileList = Entries(3);
    f.window.cursor = ViewCursor::Hand;
    f.view.ShowNext();
    EXPECT_EQ(f.window.cursorHistory, (std::vector<ViewCursor>{ViewCursor::Wait, ViewCursor::Hand}));
    // Its own cursor changes do not count as the view's remembered cursor.
    EXPECT_EQ(f.view.savedCursor, ViewCursor::None);
    // A failed load keeps the new position: the next step goes on from there.
    f.view.ShowNext();
    EXPECT_EQ(f.view.document.currentIndex, 2);
}

TEST(Navigation, RefreshRebuildsTheListButKeepsThePicture)
{
    TempDir dir;
    const std::string shown = dir.Write("b.bmp", Bmp24Header(4, 2));
    dir.Write("c.bmp", Bmp24Header(4, 2));
    ViewFixture f;
    ASSERT_TRUE(f.view.OpenImage(shown, true));
    ASSERT_TRUE(f.view.document.loaded);
    f.view.RotateRight();
    f.view.ZoomInByOne();
    ASSERT_EQ(f.view.document.fileList.size(), 2u);

    dir.Write("a.bmp", Bmp24Header(4, 2));
    f.view.RefreshFileList();
    EXPECT_EQ(f.view.document.fileList.size(), 3u);
    EXPECT_EQ(f.view.document.currentIndex, 1);
    EXPECT_EQ(f.view.document.rotation, 90);
    EXPECT_DOUBLE_EQ(f.view.document.zoom, 2.0);
    EXPECT_EQ(f.frame.status.rfind(" File 2 of 3 ", 0), 0u) << f.frame.status;
}

}  // namespace

}  // namespace brelvix
