// The picture asked for decoding in the background, and decodes left
// before they are done.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "imaging/bitmap.h"
#include "support/bmp_writer.h"
#include "support/sample_picture.h"
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

    // Folder of `count` small pictures, the one at `slowAt` the slow JPEG.
    std::vector<std::string> WriteFolder(int count, int slowAt)
    {
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i) {
            const std::string name = std::to_string(i + 1);
            paths.push_back(i == slowAt ? dir.Write(name + ".jpg", *slowJpeg)
                                        : dir.Write(name + ".bmp", EncodeBmp(RenderSamplePicture(20 + i, 10),
                                                                             BmpKind::Rgb24)));
        }
        return paths;
    }

    // Lets the view's load timer fire until the picture asked for shows.
    static void Settle(ViewFixture& f)
    {
        const auto limit = Clock::now() + std::chrono::seconds(60);
        while (f.view.Loading() && Clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            f.view.OnTimer(kLoadPollTimerId);
        }
        ASSERT_FALSE(f.view.Loading());
    }

    static std::vector<std::uint8_t>* slowJpeg;
    static Clock::duration wholeDecode;
    TempDir dir;
};

std::vector<std::uint8_t>* SlowPicture::slowJpeg = nullptr;
Clock::duration SlowPicture::wholeDecode{};

TEST_F(SlowPicture, StepsTakenWhileItDecodesCancelItAndMoveOnInOrder)
{
    const std::vector<std::string> paths = WriteFolder(6, 1);
    ViewFixture f;
    f.view.loadInBackground = true;
    ASSERT_TRUE(f.view.OpenImage(paths[0], true));
    Settle(f);
    ASSERT_EQ(f.view.document.path, paths[0]);
    const ViewCursor before = f.window.cursor;

    // Right onto the slow picture: the window keeps what it shows, with the
    // wait cursor, which the pointer's moves do not take away.
    f.view.ShowNext();
    ASSERT_TRUE(f.view.Loading());
    EXPECT_EQ(f.view.document.path, paths[0]);
    EXPECT_EQ(f.view.document.currentIndex, 0);
    EXPECT_EQ(f.frame.title, paths[0] + " - Brelvix");
    f.view.OnCursorRequest(true);
    EXPECT_EQ(f.window.cursor, ViewCursor::Wait);

    // A third of a second on, the status bar shows how far it is.
    EXPECT_EQ(f.timer.running[kLoadProgressTimerId], kLoadProgressDelay);
    f.view.OnTimer(kLoadProgressTimerId);
    EXPECT_EQ(f.frame.status.rfind("Loading ", 0), 0u) << f.frame.status;
    EXPECT_EQ(f.frame.status.back(), '%') << f.frame.status;

    // Three more presses: the slow decode is given up at the first, and
    // every press counts.
    f.view.ShowNext();
    EXPECT_FALSE(f.view.document.cache.Holds(paths[1]));
    f.view.ShowNext();
    f.view.ShowNext();
    Settle(f);
    EXPECT_EQ(f.view.document.path, paths[4]);
    EXPECT_EQ(f.view.document.currentIndex, 4);
    EXPECT_TRUE(f.view.document.loaded);
    EXPECT_EQ(f.frame.status.rfind(" File 5 of 6 ", 0), 0u) << f.frame.status;
    EXPECT_EQ(f.window.cursor, before);
    EXPECT_EQ(f.timer.running.count(kLoadPollTimerId) + f.timer.running.count(kLoadProgressTimerId), 0u);

    // Left twice from there, the first onto a picture ready in the cache.
    f.view.ShowPrevious();
    f.view.ShowPrevious();
    Settle(f);
    EXPECT_EQ(f.view.document.path, paths[2]);
    EXPECT_EQ(f.view.document.currentIndex, 2);
}

TEST_F(SlowPicture, OpenedFirstItLeavesTheWindowEmptyUntilDoneOrLeft)
{
    const std::vector<std::string> paths = WriteFolder(3, 0);
    enum class Then { Wait, StepOn, Close };
    for (const Then then : {Then::Wait, Then::StepOn, Then::Close}) {
        SCOPED_TRACE(static_cast<int>(then));
        ViewFixture f;
        f.view.loadInBackground = true;
        ASSERT_TRUE(f.view.OpenImage(paths[0], true));
        ASSERT_TRUE(f.view.Loading());
        // Nothing to report yet: no failure box, and the document has
        // neither a picture nor a list until one shows.
        FakeCanvas canvas;
        f.view.EraseBackground(canvas);
        f.view.Paint(canvas);
        EXPECT_TRUE(canvas.frames.empty());
        EXPECT_TRUE(canvas.texts.empty());
        EXPECT_TRUE(f.view.document.fileList.empty());
        switch (then) {
            case Then::Wait:
                Settle(f);
                EXPECT_EQ(f.view.document.path, paths[0]);
                EXPECT_TRUE(f.view.document.loaded);
                EXPECT_EQ(f.view.document.fileList, paths);
                EXPECT_EQ(f.frame.status.rfind(" File 1 of 3 ", 0), 0u) << f.frame.status;
                break;
            case Then::StepOn:
                // Next goes on in the list of the picture asked for.
                f.view.ShowNext();
                EXPECT_FALSE(f.view.document.cache.Holds(paths[0]));
                Settle(f);
                EXPECT_EQ(f.view.document.path, paths[1]);
                EXPECT_EQ(f.view.document.currentIndex, 1);
                EXPECT_EQ(f.view.document.fileList, paths);
                break;
            case Then::Close:
                f.view.CancelLoading();
                EXPECT_FALSE(f.view.Loading());
                EXPECT_FALSE(f.view.document.cache.Holds(paths[0]));
                f.view.OnTimer(kLoadPollTimerId);
                EXPECT_TRUE(f.view.document.path.empty());
                EXPECT_FALSE(f.view.document.loaded) << "a cancelled decode is never shown";
                break;
        }
    }
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
            EXPECT_FALSE(cache->Holds(path));
            int result = 0;
            EXPECT_EQ(cache->Take(path, &result, nullptr), nullptr);
        }
    }
}

}  // namespace

}  // namespace brelvix
