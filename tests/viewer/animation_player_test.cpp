#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/gif_writer.h"
#include "support/temp_dir.h"
#include "view_fakes.h"
#include "viewer/animation_player.h"

namespace brelvix {

namespace {

const std::vector<Rgb> kColours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};

// `frames` frames of 8 x 6, frame i all of kColours[i % 4], with the delays
// in hundredths of a second taken in turn; `repeats` as NETSCAPE2.0 stores
// it (negative: none, one play).
std::vector<std::uint8_t> Strip(int frames, int repeats, const std::vector<int>& delaysCs = {10})
{
    GifPicture picture;
    picture.width = 8;
    picture.height = 6;
    picture.globalTable = kColours;
    picture.repeats = repeats;
    for (int i = 0; i < frames; ++i) {
        GifFrame frame;
        frame.width = 8;
        frame.height = 6;
        frame.indices.assign(48, static_cast<std::uint8_t>(i % 4));
        frame.graphicsControl = true;
        frame.delayCs = delaysCs[static_cast<std::size_t>(i) % delaysCs.size()];
        picture.frames.push_back(frame);
    }
    return GifBytes(picture);
}

FrameComposer::Options OnCallersThread()
{
    FrameComposer::Options options;
    options.threaded = false;
    return options;
}

// Which of kColours a frame shows.
int ColourOf(const PxBitmap& picture)
{
    const Rgb pixel = PixelAt(picture, 0, 0);
    for (std::size_t i = 0; i < kColours.size(); ++i) {
        if (kColours[i] == pixel) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TEST(AnimationPlayer, FramesFollowAbsoluteDeadlines)
{
    struct Tick {
        std::int64_t now;
        int shown;  // the frame index put on screen, -1 for none
        int armed;  // the timer's period afterwards, 0 when stopped
    };
    struct Case {
        const char* what;
        int frames;
        int repeats;
        std::vector<int> delaysCs;
        std::vector<Tick> ticks;
    };
    const Case cases[] = {
        {"one play; 0 cs plays as 100 ms; the last frame stays",
         3,
         -1,
         {10, 0, 5},
         {{1000, 0, 100}, {1050, -1, 50}, {1100, 1, 100}, {1230, 2, 0}, {1500, -1, 0}}},
        {"late: frames whose time passed are dropped, the schedule keeps its deadlines; loops for ever",
         4,
         0,
         {10},
         {{1000, 0, 100}, {1350, 3, 50}, {1400, 0, 100}, {1500, 1, 100}}},
        {"absurd delays are harmless", 2, 0, {65535}, {{1000, 0, 655350}, {656350, 1, 655350}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        FakeTimer timer;
        AnimationPlayer player(dir.Write("a.gif", Strip(c.frames, c.repeats, c.delaysCs)), OnCallersThread(), timer);
        for (const Tick& tick : c.ticks) {
            SCOPED_TRACE(tick.now);
            const std::optional<ComposedFrame> shown = player.Tick(tick.now);
            ASSERT_EQ(shown ? shown->index : -1, tick.shown);
            if (shown) {
                EXPECT_EQ(ColourOf(*shown->picture), tick.shown % 4);
            }
            const auto armed = timer.running.find(kAnimationTimerId);
            EXPECT_EQ(armed == timer.running.end() ? 0 : armed->second, tick.armed);
        }
    }
}

TEST(AnimationPlayer, PauseAndStepBothWaysAcrossTheEnds)
{
    TempDir dir;
    FakeTimer timer;
    AnimationPlayer player(dir.Write("a.gif", Strip(4, 0)), OnCallersThread(), timer);
    EXPECT_EQ(player.PositionText(), "");
    ASSERT_EQ(player.Tick(1000)->index, 0);

    struct Step {
        int direction;
        int shown;
        const char* position;
    };
    const Step steps[] = {
        {1, 1, "Frame 2 of 4 (paused)"},  {-1, 0, "Frame 1 of 4 (paused)"},
        {-1, 3, "Frame 4 of 4 (paused)"},  // from the first frame to the last
        {1, 0, "Frame 1 of 4 (paused)"},   // and on into the next play
        {1, 1, "Frame 2 of 4 (paused)"},
    };
    for (const Step& step : steps) {
        const std::optional<ComposedFrame> shown = player.Step(step.direction, 1010);
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->index, step.shown);
        EXPECT_EQ(ColourOf(*shown->picture), step.shown);
        EXPECT_EQ(player.PositionText(), step.position);
        EXPECT_EQ(timer.running.count(kAnimationTimerId), 0u) << "nothing moves while paused";
    }
    // Playing on gives the stepped-to frame its whole time, then goes on in
    // order.
    player.Resume(2000);
    EXPECT_EQ(timer.running[kAnimationTimerId], 100);
    EXPECT_FALSE(player.Tick(2099));
    EXPECT_EQ(player.Tick(2100)->index, 2);
}

TEST(AnimationPlayer, OneFrameIsAStill)
{
    TempDir dir;
    FakeTimer timer;
    AnimationPlayer player(dir.Write("a.gif", Strip(1, 0)), OnCallersThread(), timer);
    EXPECT_FALSE(player.Tick(1000));
    EXPECT_TRUE(player.Still());
    EXPECT_TRUE(timer.running.empty());
}

// A long animation costs a few frames, never all of them: the composer
// stops a few frames ahead (fewer for large frames), whatever the length.
TEST(FrameComposer, ComposesAFewAheadNeverAll)
{
    TempDir dir;
    const std::string path = dir.Write("long.gif", Strip(120, -1));
    const std::uint64_t frameBytes = 8 * 3 * 6;  // 24-byte rows, no transparency

    FrameComposer composer(path, OnCallersThread());
    composer.Pump();
    EXPECT_EQ(composer.ReadyDelays().size(), 3u);
    std::uint64_t most = 0;
    int taken = 0;
    while (const std::optional<ComposedFrame> frame = composer.Take(1)) {
        EXPECT_EQ(frame->sequence, taken);
        ++taken;
        most = std::max(most, composer.HeldBytes());
        composer.Pump();
    }
    EXPECT_EQ(taken, 120);
    EXPECT_TRUE(composer.Finished());
    EXPECT_EQ(composer.FrameCount(), 120);
    EXPECT_LT(most, 5 * frameBytes) << "the canvas and three frames waiting";

    FrameComposer::Options small = OnCallersThread();
    small.bytesAhead = 1;
    FrameComposer large(path, small);
    large.Pump();
    EXPECT_EQ(large.ReadyDelays().size(), 1u);
}

// Frames are copied into pictures given back (memory already touched), but
// only into those that fit; dropped frames are kept the same way, and what
// is kept counts in the bytes held.
TEST(FrameComposer, FramesGoIntoPicturesGivenBackWhenTheyFit)
{
    TempDir dir;
    FrameComposer composer(dir.Write("a.gif", Strip(40, -1)), OnCallersThread());
    const std::uint64_t frameBytes = 8 * 3 * 6;
    composer.Pump();

    struct Case {
        const char* what;
        std::int32_t width;  // of the picture given back; 0 for none
        std::int32_t height;
        bool reused;
    };
    const Case cases[] = {
        {"the frame's own size", 8, 6, true},
        {"another size", 6, 8, false},
        {"nothing given back", 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<ComposedFrame> taken = composer.Take(1);
        ASSERT_TRUE(taken);
        std::unique_ptr<PxBitmap> back = std::move(taken->picture);
        if (c.width == 0) {
            back.reset();
        } else if (c.width != back->Width()) {
            back = std::make_unique<PxBitmap>();
            back->SetDimensions(c.width, c.height, 24);
            ASSERT_EQ(back->CreatePixelStore(), 0);
        }
        const std::uint8_t* store = back != nullptr ? back->Pixels() : nullptr;
        const std::uint64_t bytes = back != nullptr ? static_cast<std::uint64_t>(back->Stride()) * c.height : 0;
        const std::uint64_t before = composer.HeldBytes();
        composer.Recycle(std::move(back));
        EXPECT_EQ(composer.HeldBytes(), before + bytes);
        composer.Pump();  // composes the frame three ahead
        ASSERT_TRUE(composer.Take(2));
        const std::optional<ComposedFrame> next = composer.Take(1);
        ASSERT_TRUE(next);
        if (c.reused) {
            EXPECT_EQ(next->picture->Pixels(), store);
        }
        EXPECT_EQ(next->picture->Width(), 8);
        EXPECT_EQ(ColourOf(*next->picture), next->index % 4);
        // Start the next case with three frames waiting, and the pictures
        // dropped by Take(2) used up.
        composer.Pump();
    }

    // Of frames dropped by a take of several, no more are kept than
    // kSpares (2) in all.
    std::optional<ComposedFrame> shown = composer.Take(1);
    ASSERT_TRUE(shown);
    composer.Pump();
    composer.Recycle(std::move(shown->picture));
    const std::uint64_t before = composer.HeldBytes();
    ASSERT_TRUE(composer.Take(3));
    EXPECT_EQ(composer.HeldBytes(), before - 2 * frameBytes);
}

// The worker composes what the caller's thread composes, seeks included.
TEST(FrameComposer, OnAWorkerAsOnTheCallersThread)
{
    TempDir dir;
    const std::string path = dir.Write("a.gif", Strip(5, 1));  // two plays
    FrameComposer composer(path, FrameComposer::Options{});
    // Waits for the next frame; the bound only keeps a fault from hanging.
    const auto next = [&composer] {
        for (int i = 0; i < 60000 && !composer.FirstReady() && !composer.Finished(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return composer.Take(1);
    };
    std::vector<std::int32_t> indices;
    for (int i = 0; i < 3; ++i) {
        indices.push_back(next()->index);
    }
    composer.Seek(6);  // the second frame of the second play
    while (const std::optional<ComposedFrame> frame = next()) {
        indices.push_back(frame->index);
        EXPECT_EQ(ColourOf(*frame->picture), frame->index % 4);
    }
    EXPECT_EQ(indices, (std::vector<std::int32_t>{0, 1, 2, 1, 2, 3, 4}));
    EXPECT_EQ(composer.FrameCount(), 5);
}

}  // namespace

}  // namespace brelvix
