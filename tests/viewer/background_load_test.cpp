// The picture asked for decoding in the background, and decodes left
// before they are done.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "imaging/bitmap.h"
#include "support/slow_jpeg.h"
#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

using Clock = std::chrono::steady_clock;

class SlowPicture : public ::testing::Test {
protected:
    // Written once: making it takes longer than decoding it.
    static void SetUpTestSuite()
    {
        slowJpeg = new std::vector<std::uint8_t>(SlowJpeg(1200, 1200, 11));
        TempDir dir;
        const std::string path = dir.Write("slow.jpg", *slowJpeg);
        PxBitmap bitmap;
        const auto start = Clock::now();
        ASSERT_EQ(bitmap.CreateFromFile(path.c_str()), 0);
        wholeDecode = Clock::now() - start;
    }
    static void TearDownTestSuite() { delete slowJpeg; }

    static std::vector<std::uint8_t>* slowJpeg;
    static Clock::duration wholeDecode;
    TempDir dir;
};

std::vector<std::uint8_t>* SlowPicture::slowJpeg = nullptr;
Clock::duration SlowPicture::wholeDecode{};

// Opened first, it leaves the window empty (no failure box, no list) until
// it is done; a step meanwhile goes on in its folder's list, and closing
// leaves it for good.
TEST_F(SlowPicture, OpenedFirstItCanBeLeftByAStepOrByClosing)
{
    const std::vector<std::string> paths = {dir.Write("1.jpg", *slowJpeg), dir.Write("2.bmp", Bmp24Header(4, 3, 90)),
                                            dir.Write("3.bmp", Bmp24Header(4, 3, 90))};
    for (const bool stepOn : {true, false}) {
        ViewFixture f;
        f.view.loadInBackground = true;
        ASSERT_TRUE(f.view.OpenImage(paths[0], true));
        ASSERT_TRUE(f.view.Loading());
        FakeCanvas canvas;
        f.view.EraseBackground(canvas);
        f.view.Paint(canvas);
        EXPECT_TRUE(canvas.frames.empty() && canvas.texts.empty());
        EXPECT_TRUE(f.view.document.fileList.empty());
        if (stepOn) {
            f.view.ShowNext();
        } else {
            f.view.CancelLoading();
        }
        EXPECT_FALSE(f.view.document.cache.Holds(paths[0]));
        const auto limit = Clock::now() + std::chrono::seconds(60);
        while (f.view.Loading() && Clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            f.view.OnTimer(kLoadPollTimerId);
        }
        f.view.OnTimer(kLoadPollTimerId);
        EXPECT_EQ(f.view.document.path, stepOn ? paths[1] : std::string());
        EXPECT_EQ(f.view.document.loaded, stepOn) << "a cancelled decode is never shown";
        EXPECT_EQ(f.view.document.fileList, stepOn ? paths : std::vector<std::string>());
        EXPECT_EQ(f.view.document.currentIndex, stepOn ? 1 : 0);
    }
}

// A step to a picture decoded ahead shows it at once and leaves the cursor
// alone; one to a picture still decoding shows the wait cursor until it is
// there, and a slide show's steps show it whatever the cache holds.
TEST_F(SlowPicture, OnlyAStepThatWaitsShowsTheWaitCursor)
{
    const std::vector<std::string> paths = {dir.Write("1.bmp", Bmp24Header(4, 3, 90)),
                                            dir.Write("2.bmp", Bmp24Header(5, 3, 90)), dir.Write("3.jpg", *slowJpeg)};
    ViewFixture f;
    f.view.loadInBackground = true;
    f.window.cursor = ViewCursor::Hand;
    // Until the step is done and, when a path is given, that picture decoded.
    const auto settle = [&](const std::string& path) {
        const auto limit = Clock::now() + std::chrono::seconds(60);
        while ((f.view.Loading() || !(path.empty() || f.view.document.cache.Finished(path))) && Clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            f.view.OnTimer(kLoadPollTimerId);
        }
    };
    ASSERT_TRUE(f.view.OpenImage(paths[0], true));
    settle(paths[1]);
    f.window.cursorHistory.clear();
    f.view.ShowNext();
    EXPECT_EQ(f.view.document.path, paths[1]);
    EXPECT_TRUE(f.window.cursorHistory.empty());

    ASSERT_FALSE(f.view.document.cache.Finished(paths[2])) << "decoded too fast to be caught";
    f.view.ShowNext();
    EXPECT_TRUE(f.view.Loading());
    EXPECT_EQ(f.window.cursor, ViewCursor::Wait);
    settle({});
    EXPECT_EQ(f.view.document.path, paths[2]);
    EXPECT_EQ(f.window.cursorHistory, (std::vector<ViewCursor>{ViewCursor::Wait, ViewCursor::Hand}));

    f.view.ToggleSlideShow();
    f.window.cursorHistory.clear();
    f.view.OnTimer(kSlideShowTimerId);
    settle({});
    EXPECT_EQ(f.view.document.path, paths[0]);
    EXPECT_EQ(f.window.cursorHistory,
              (std::vector<ViewCursor>{ViewCursor::Wait, ViewCursor::Blank, ViewCursor::Blank}));
}

// However the cache lets go of a picture still decoding, the decode ends
// long before it would have finished, and nothing of it is handed out.
TEST_F(SlowPicture, DroppingItsDecodeCancelsIt)
{
    const std::string path = dir.Write("slow.jpg", *slowJpeg);
    struct Way {
        const char* name;
        void (*drop)(std::optional<PictureCache>& cache, const std::string& path);
    };
    const Way ways[] = {
        {"cancel", [](std::optional<PictureCache>& cache, const std::string& p) { cache->Cancel(p); }},
        {"replace", [](std::optional<PictureCache>& cache, const std::string&) { *cache = PictureCache(); }},
        {"destroy", [](std::optional<PictureCache>& cache, const std::string&) { cache.reset(); }},
        // At exit: the decode ends well within the wait, and is never handed out.
        {"cancel all",
         [](std::optional<PictureCache>& cache, const std::string&) { EXPECT_TRUE(cache->CancelAll(60000)); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        std::optional<PictureCache> cache(std::in_place);
        cache->Prefetch(path);
        ASSERT_TRUE(cache->Holds(path));
        const auto limit = Clock::now() + std::chrono::seconds(30);
        while (cache->Progress(path) == 0 && Clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_FALSE(cache->Finished(path)) << "decoded too fast to be caught";
        const auto start = Clock::now();
        way.drop(cache, path);
        EXPECT_LT(Clock::now() - start, wholeDecode / 2);
        if (cache) {
            EXPECT_EQ(cache->Holds(path), std::string(way.name) == "cancel all");
            int result = 0;
            EXPECT_EQ(cache->Take(path, &result, nullptr), nullptr);
        }
    }
}

}  // namespace

}  // namespace brelvix
