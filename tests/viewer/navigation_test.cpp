#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <memory>
#include <string>

#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

using Command = void (ImageView::*)();

// A folder of `count` listed files that fail to load (empty), in list
// order, beside one file the list leaves out.
struct Folder {
    TempDir dir;
    std::vector<std::string> entries;
    std::string unlisted;
    explicit Folder(int count)
    {
        for (int i = 0; i < count; ++i) {
            entries.push_back(dir.Write(NumberedName("p", 100 + i, ".bmp"), ""));
        }
        unlisted = dir.Write("other.pcx", "");
    }
    // Opens the entry at `position` with the list; the list's length opens
    // the unlisted file.
    void OpenAt(ImageView& view, int position) const
    {
        ASSERT_TRUE(view.OpenImage(position < static_cast<int>(entries.size()) ? entries[position] : unlisted, true));
        ASSERT_EQ(view.Navigation().Files().CurrentIndex(), position);
    }
};

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
    std::map<int, std::unique_ptr<Folder>> folders;
    for (const Step& step : steps) {
        std::unique_ptr<Folder>& folder = folders[step.count];
        if (!folder) {
            folder = std::make_unique<Folder>(step.count);
        }
        ViewFixture f;
        folder->OpenAt(f.view, step.start);
        f.Set(&ViewerSettings::fastForwardSkip, step.skip);
        (f.view.*step.command)();
        const FileList& files = f.view.Navigation().Files();
        EXPECT_EQ(files.CurrentIndex(), step.expected) << step.name;
        // The entry is opened (and fails here: an empty file) and shown.
        EXPECT_EQ(f.view.Document().Path(), folder->entries[step.expected]) << step.name;
        EXPECT_FALSE(f.view.Document().Loaded()) << step.name;
        EXPECT_EQ(f.frame.title, folder->entries[step.expected] + " - Brelvix") << step.name;
        // Navigation never rebuilds the list.
        EXPECT_EQ(files.Count(), step.count) << step.name;
    }
}

TEST(Navigation, EmptyListChangesNothing)
{
    const Command commands[] = {&ImageView::ShowNext, &ImageView::ShowPrevious, &ImageView::ShowFirst,
                                &ImageView::ShowLast, &ImageView::FastForward,  &ImageView::Rewind};
    for (Command command : commands) {
        ViewFixture f;
        f.view.OpenImage("/brelvix-nowhere/else.png", true);  // a folder that cannot be read
        ASSERT_EQ(f.view.Navigation().Files().Count(), 0);
        const std::int32_t index = f.view.Navigation().Files().CurrentIndex();
        const std::string title = f.frame.title;
        f.window.cursorHistory.clear();
        (f.view.*command)();
        EXPECT_EQ(f.view.Navigation().Files().CurrentIndex(), index);
        EXPECT_EQ(f.view.Document().Path(), "/brelvix-nowhere/else.png");
        EXPECT_TRUE(f.window.cursorHistory.empty());
        EXPECT_EQ(f.frame.title, title);
    }
}

TEST(Navigation, ShowsTheWaitCursorAndRestoresIt)
{
    const Folder folder(3);
    ViewFixture f;
    folder.OpenAt(f.view, 0);
    f.window.cursor = ViewCursor::Hand;
    f.window.cursorHistory.clear();
    f.view.ShowNext();
    EXPECT_EQ(f.window.cursorHistory, (std::vector<ViewCursor>{ViewCursor::Wait, ViewCursor::Hand}));
    // Its own cursor changes do not count as the view's remembered cursor.
    EXPECT_EQ(f.view.SavedCursor(), ViewCursor::None);
    // A failed load keeps the new position: the next step goes on from there.
    f.view.ShowNext();
    EXPECT_EQ(f.view.Navigation().Files().CurrentIndex(), 2);
}

TEST(Navigation, RefreshRebuildsTheListButKeepsThePicture)
{
    TempDir dir;
    const std::string shown = dir.Write("b.bmp", Bmp24Header(4, 2));
    dir.Write("c.bmp", Bmp24Header(4, 2));
    ViewFixture f;
    ASSERT_TRUE(f.view.OpenImage(shown, true));
    ASSERT_TRUE(f.view.Document().Loaded());
    f.view.RotateRight();
    f.view.ZoomInByOne();
    ASSERT_EQ(f.view.Navigation().Files().Count(), 2);

    dir.Write("a.bmp", Bmp24Header(4, 2));
    f.view.RefreshFileList();
    EXPECT_EQ(f.view.Navigation().Files().Count(), 3);
    EXPECT_EQ(f.view.Navigation().Files().CurrentIndex(), 1);
    EXPECT_EQ(f.view.Geometry().Rotation(), 90);
    EXPECT_DOUBLE_EQ(f.view.Geometry().Zoom(), 2.0);
    EXPECT_EQ(f.frame.status.rfind(" File 2 of 3 ", 0), 0u) << f.frame.status;
}

}  // namespace

}  // namespace brelvix
