#include <gtest/gtest.h>

#include "support/gif_writer.h"
#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

const Rgb kRed{255, 0, 0};
const Rgb kGreen{0, 255, 0};
const Rgb kBlue{0, 0, 255};

// Three frames of 8 x 6 (red, green, blue), 100 ms each, for ever; the
// first frame's top-left quarter is white, so turns show where it went.
std::vector<std::uint8_t> ThreeFrames()
{
    GifPicture picture;
    picture.width = 8;
    picture.height = 6;
    picture.globalTable = {kRed, kGreen, kBlue, {255, 255, 255}};
    picture.repeats = 0;
    for (std::uint8_t i = 0; i < 3; ++i) {
        GifFrame frame;
        frame.width = 8;
        frame.height = 6;
        frame.indices.assign(48, i);
        frame.graphicsControl = true;
        picture.frames.push_back(frame);
    }
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            picture.frames[0].indices[static_cast<std::size_t>(y * 8 + x)] = 3;
        }
    }
    return GifBytes(picture);
}

struct Playing : ViewFixture {
    TempDir dir;
    std::string moving = dir.Write("a.gif", ThreeFrames());
    std::string still = dir.Write("b.bmp", Bmp24Header(8, 6));
    std::int64_t now = 1000;

    Playing()
    {
        Set(&ViewerSettings::playAnimations, true);
        view.SetClock([this] { return now; });
    }
    // The timer of the animation expires at `at`.
    void Expire(std::int64_t at)
    {
        now = at;
        view.OnTimer(kAnimationTimerId);
    }
    Rgb Shown() const { return PixelAt(*view.Document().Decoded(), 4, 3); }
    bool TimerRuns() const { return timer.running.count(kAnimationTimerId) != 0; }
    bool StatusEndsWith(const std::string& tail) const
    {
        return frame.status.size() >= tail.size() &&
               frame.status.compare(frame.status.size() - tail.size(), tail.size(), tail) == 0;
    }
};

TEST(ViewAnimation, FramesGoThroughTheWorkingCopyAndRepaintOnlyThePicture)
{
    Playing f;
    f.view.OpenImage(f.moving, true);
    ASSERT_NE(f.view.Animation(), nullptr);
    EXPECT_EQ(f.Shown(), kRed);
    EXPECT_EQ(f.timer.running[kAnimationTimerId], 100);

    f.view.ZoomTo(2.0);
    f.view.RotateRight();
    f.window.parts.clear();
    f.window.invalidations = 0;
    f.Expire(1100);
    EXPECT_EQ(f.Shown(), kGreen);
    // 16 x 12 turned to 12 x 16, centred in 800 x 600: only its place.
    EXPECT_EQ(f.window.parts, (std::vector<ViewRect>{{394, 292, 406, 308}}));
    EXPECT_EQ(f.window.invalidations, 1);
    const std::unique_ptr<PxBitmap> working = WholeWorkingCopy(f.view.Document());
    ASSERT_EQ(working->Width(), 12);
    EXPECT_EQ(PixelAt(*working, 11, 0), kGreen);
    EXPECT_TRUE(f.StatusEndsWith("Zoom: 200%    Frame 2 of 3"));

    f.Expire(1200);
    EXPECT_EQ(f.Shown(), kBlue);
    f.Expire(1300);
    EXPECT_EQ(f.Shown(), kRed);
    // The first frame's white quarter, turned with the picture to the top
    // right: zoom and turns stayed as they were.
    EXPECT_EQ(PixelAt(*WholeWorkingCopy(f.view.Document()), 9, 2), (Rgb{255, 255, 255}));
}

TEST(ViewAnimation, PauseAndStepsShowInTheStatus)
{
    Playing f;
    f.view.OpenImage(f.moving, true);
    f.Expire(1100);
    f.view.ToggleAnimationPause();
    EXPECT_FALSE(f.TimerRuns());
    EXPECT_TRUE(f.StatusEndsWith("    Frame 2 of 3 (paused)"));
    f.view.NextFrame();
    EXPECT_EQ(f.Shown(), kBlue);
    f.view.PreviousFrame();
    f.view.PreviousFrame();
    EXPECT_EQ(f.Shown(), kRed);
    f.view.ToggleAnimationPause();
    EXPECT_TRUE(f.StatusEndsWith("    Frame 1 of 3"));
    f.Expire(1200);
    EXPECT_EQ(f.Shown(), kGreen);
}

TEST(ViewAnimation, SteppingAwayStopsAtOnceAndComingBackStartsAtTheFirstFrame)
{
    Playing f;
    f.view.OpenImage(f.moving, true);
    f.Expire(1100);
    ASSERT_EQ(f.Shown(), kGreen);

    f.view.ShowNext();
    EXPECT_EQ(f.view.Animation(), nullptr);
    EXPECT_FALSE(f.TimerRuns());
    EXPECT_EQ(f.frame.status.find("Frame"), std::string::npos);

    // Coming back plays from the first frame.
    f.view.ShowPrevious();
    EXPECT_EQ(f.Shown(), kRed);
    ASSERT_NE(f.view.Animation(), nullptr);
}

TEST(ViewAnimation, TheSettingShowsTheFirstFrameOnly)
{
    Playing f;
    f.view.OpenImage(f.moving, true);
    f.Expire(1100);
    f.Set(&ViewerSettings::playAnimations, false);
    EXPECT_EQ(f.view.Animation(), nullptr);
    EXPECT_FALSE(f.TimerRuns());
    EXPECT_EQ(f.Shown(), kRed);
    EXPECT_EQ(f.frame.status.find("Frame"), std::string::npos);

    f.view.ShowNext();
    f.view.ShowPrevious();
    EXPECT_EQ(f.view.Animation(), nullptr);
    f.Set(&ViewerSettings::playAnimations, true);
    EXPECT_NE(f.view.Animation(), nullptr);
    EXPECT_TRUE(f.TimerRuns());
}

// Frames keep their transparency, as the still picture of the file keeps
// its own: each frame is clear at one pixel of the top row (the first at
// x = 0, the second at x = 1) and cleared away after it is shown.
TEST(ViewAnimation, TransparentFramesKeepTheirAlpha)
{
    GifPicture picture;
    picture.width = 8;
    picture.height = 6;
    picture.globalTable = {kRed, kGreen, kBlue, {255, 255, 255}};
    picture.repeats = 0;
    for (std::uint8_t i = 0; i < 2; ++i) {
        GifFrame frame;
        frame.width = 8;
        frame.height = 6;
        frame.indices.assign(48, i);
        frame.indices[i] = 3;
        frame.graphicsControl = true;
        frame.transparentIndex = 3;
        frame.disposal = 2;
        picture.frames.push_back(frame);
    }
    Playing f;
    f.view.OpenImage(f.dir.Write("clear.gif", GifBytes(picture)), true);
    ASSERT_NE(f.view.Animation(), nullptr);
    struct Step {
        std::int64_t at;
        Rgb colour;
        int clear;
    };
    for (const Step step : {Step{1000, kRed, 0}, Step{1100, kGreen, 1}, Step{1200, kRed, 0}}) {
        SCOPED_TRACE(step.at);
        if (step.at > 1000) {
            f.Expire(step.at);
        }
        const PxBitmap& shown = *f.view.Document().Decoded();
        EXPECT_EQ(f.Shown(), step.colour);
        ASSERT_TRUE(shown.HasAlpha());
        // Rows are stored bottom up: the top row comes last.
        const std::uint8_t* top = shown.Alpha() + 40;
        EXPECT_EQ(top[step.clear], 0);
        EXPECT_EQ(top[1 - step.clear], 255);
        EXPECT_EQ(shown.Alpha()[0], 255);
    }
}

}  // namespace

}  // namespace brelvix
