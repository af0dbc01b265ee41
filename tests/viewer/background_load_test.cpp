// The picture asked for decoding in the background, and decodes left
// before they are done. A decode that must still be running when the test
// looks is held at the gate of imaging/load_control.h until the test opens
// it, however fast the machine.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "imaging/load_control.h"
#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

// A hold that takes the decodes of `path` only.
PxLoadHold HoldOf(const std::string& path)
{
    return PxLoadHold([path](const std::string& label) { return label == path; });
}

// Opened first, it leaves the window empty (no failure box, no list) until
// it is done; a step meanwhile goes on in its folder's list, and closing
// leaves it for good.
TEST(BackgroundLoad, OpenedFirstItCanBeLeftByAStepOrByClosing)
{
    TempDir dir;
    const std::vector<std::string> paths = {dir.Write("1.bmp", Bmp24Header(4, 3, 90)),
                                            dir.Write("2.bmp", Bmp24Header(4, 3, 90)),
                                            dir.Write("3.bmp", Bmp24Header(4, 3, 90))};
    for (const bool stepOn : {true, false}) {
        SCOPED_TRACE(stepOn ? "step" : "close");
        // Only its first decode: the step decodes it again ahead, as a
        // neighbour.
        int decodes = 0;
        const PxLoadHold hold([&](const std::string& label) { return label == paths[0] && decodes++ == 0; });
        ViewFixture f;
        f.view.SetBackgroundLoading(true);
        ASSERT_TRUE(f.view.OpenImage(paths[0], true));
        ASSERT_TRUE(hold.WaitUntilHeld(1));
        ASSERT_TRUE(f.view.Loading());
        FakeCanvas canvas;
        f.view.EraseBackground(canvas);
        f.view.Paint(canvas);
        EXPECT_TRUE(canvas.frames.empty() && canvas.texts.empty());
        EXPECT_TRUE(f.view.Navigation().Files().Entries().empty());
        if (stepOn) {
            f.view.ShowNext();
        } else {
            f.view.CancelLoading();
        }
        EXPECT_FALSE(f.view.Navigation().Cache().Holds(paths[0]));
        EXPECT_TRUE(PollUntil(f, [&] { return !f.view.Loading(); }));
        f.view.OnTimer(kLoadPollTimerId);
        const ImageDocument& document = f.view.Document();
        EXPECT_EQ(document.Path(), stepOn ? paths[1] : std::string());
        EXPECT_EQ(document.Loaded(), stepOn) << "a cancelled decode is never shown";
        EXPECT_EQ(f.view.Navigation().Files().Entries(), stepOn ? paths : std::vector<std::string>());
        EXPECT_EQ(f.view.Navigation().Files().CurrentIndex(), stepOn ? 1 : 0);
        // The held decode went on because it was cancelled, not because the
        // gate opened.
        EXPECT_TRUE(hold.WaitUntilNoneHeld());
        EXPECT_FALSE(hold.Expired());
    }
}

// A step to a picture decoded ahead shows it at once and leaves the cursor
// alone; one to a picture still decoding shows the wait cursor until it is
// there, and a slide show's steps show it whatever the cache holds.
TEST(BackgroundLoad, OnlyAStepThatWaitsShowsTheWaitCursor)
{
    TempDir dir;
    const std::vector<std::string> paths = {dir.Write("1.bmp", Bmp24Header(4, 3, 90)),
                                            dir.Write("2.bmp", Bmp24Header(5, 3, 90)),
                                            dir.Write("3.bmp", Bmp24Header(6, 3, 90))};
    PxLoadHold hold = HoldOf(paths[2]);
    ViewFixture f;
    f.view.SetBackgroundLoading(true);
    f.window.cursor = ViewCursor::Hand;
    const PictureCache& cache = f.view.Navigation().Cache();
    ASSERT_TRUE(f.view.OpenImage(paths[0], true));
    ASSERT_TRUE(PollUntil(f, [&] { return !f.view.Loading() && cache.Finished(paths[1]); }));
    f.window.cursorHistory.clear();
    f.view.ShowNext();
    EXPECT_EQ(f.view.Document().Path(), paths[1]);
    EXPECT_TRUE(f.window.cursorHistory.empty());

    ASSERT_TRUE(hold.WaitUntilHeld(1));
    f.view.ShowNext();
    EXPECT_TRUE(f.view.Loading());
    EXPECT_EQ(f.window.cursor, ViewCursor::Wait);
    hold.Open();
    ASSERT_TRUE(PollUntil(f, [&] { return !f.view.Loading(); }));
    EXPECT_EQ(f.view.Document().Path(), paths[2]);
    EXPECT_EQ(f.window.cursorHistory, (std::vector<ViewCursor>{ViewCursor::Wait, ViewCursor::Hand}));

    f.view.ToggleSlideShow();
    f.window.cursorHistory.clear();
    f.view.OnTimer(kSlideShowTimerId);
    ASSERT_TRUE(PollUntil(f, [&] { return !f.view.Loading(); }));
    EXPECT_EQ(f.view.Document().Path(), paths[0]);
    EXPECT_EQ(f.window.cursorHistory,
              (std::vector<ViewCursor>{ViewCursor::Wait, ViewCursor::Blank, ViewCursor::Blank}));
}

// However the cache lets go of a picture still decoding, the decode ends
// without the gate opening, and nothing of it is handed out.
TEST(BackgroundLoad, DroppingItsDecodeCancelsIt)
{
    TempDir dir;
    const std::string path = dir.Write("held.bmp", Bmp24Header(40, 30));
    struct Way {
        const char* name;
        void (*drop)(std::optional<PictureCache>& cache, const std::string& path);
    };
    const Way ways[] = {
        {"cancel", [](std::optional<PictureCache>& cache, const std::string& p) { cache->Cancel(p); }},
        {"replace", [](std::optional<PictureCache>& cache, const std::string&) { *cache = PictureCache(); }},
        {"destroy", [](std::optional<PictureCache>& cache, const std::string&) { cache.reset(); }},
        // At exit: the decode ends within the wait, and is never handed out.
        {"cancel all",
         [](std::optional<PictureCache>& cache, const std::string&) { EXPECT_TRUE(cache->CancelAll(60000)); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        const PxLoadHold hold = HoldOf(path);
        std::optional<PictureCache> cache(std::in_place);
        cache->Prefetch(path);
        ASSERT_TRUE(hold.WaitUntilHeld(1));
        ASSERT_FALSE(cache->Finished(path));
        way.drop(cache, path);
        EXPECT_TRUE(hold.WaitUntilNoneHeld());
        EXPECT_FALSE(hold.Expired());
        if (cache) {
            EXPECT_EQ(cache->Holds(path), std::string(way.name) == "cancel all");
            int result = 0;
            EXPECT_EQ(cache->Take(path, &result, nullptr), nullptr);
        }
    }
}

}  // namespace

}  // namespace brelvix
