#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

using Fill = FakeCanvas::Fill;
using Text = FakeCanvas::Text;
using Blit = FakeCanvas::Blit;

TEST(Painting, BandsSurroundThePicture)
{
    ViewFixture f;
    f.Resize(801, 600);
    f.ShowPicture(300, 200);
    FakeCanvas canvas;
    f.view.EraseBackground(canvas);
    f.view.Paint(canvas);
    const std::uint32_t white = 0xFFFFFF;
    EXPECT_EQ(
        canvas.fills,
        (std::vector<Fill>{
            {0, 0, 250, 600, white}, {0, 0, 801, 200, white}, {0, 399, 801, 600, white}, {550, 0, 801, 600, white}}));
    EXPECT_EQ(canvas.blits, (std::vector<Blit>{{250, 200, 300, 200}}));
    EXPECT_TRUE(canvas.texts.empty());
}

TEST(Painting, LargePictureScrollsAndLeavesNoBandsOnItsAxis)
{
    ViewFixture f;
    f.Set(&ViewerSettings::backgroundColor, 0x0000C8);
    f.ShowPicture(1000, 300);
    f.view.ScrollTo(120, 0, true);
    FakeCanvas canvas;
    f.view.EraseBackground(canvas);
    f.view.Paint(canvas);
    // bx = -100: the left and right bands are inverted and fill nothing.
    EXPECT_EQ(canvas.fills, (std::vector<Fill>{{0, 0, -100, 600, 0x0000C8},
                                               {0, 0, 800, 150, 0x0000C8},
                                               {0, 449, 800, 600, 0x0000C8},
                                               {899, 0, 800, 600, 0x0000C8}}));
    EXPECT_EQ(canvas.blits, (std::vector<Blit>{{-120, 150, 1000, 300}}));
}

TEST(Painting, FailureBoxIsCentredInTheWindow)
{
    ViewFixture f;  // window 804 x 604
    const std::string path = "/brelvix-nowhere/broken.png";
    f.view.OpenImage(path, false);
    ASSERT_FALSE(f.view.Document().Loaded());
    FakeCanvas canvas;
    canvas.extents[kCannotDisplayText] = {120, 13};
    canvas.extents[path] = {300, 13};
    f.view.EraseBackground(canvas);
    f.view.Paint(canvas);
    EXPECT_EQ(canvas.fills, (std::vector<Fill>{{0, 0, 800, 600, 0xFFFFFF}}));
    EXPECT_TRUE(canvas.blits.empty());
    EXPECT_EQ(canvas.frames, (std::vector<ViewRect>{{237, 281, 567, 322}}));
    EXPECT_EQ(canvas.texts, (std::vector<Text>{{252, 287, "Cannot display file", 0}, {252, 303, path, 0}}));

    // After a scrolled picture the box keeps that picture's offset.
    f.ShowPicture(2000, 2000);
    f.view.ScrollTo(100, 50, true);
    f.view.OpenImage(path, false);
    canvas.frames.clear();
    f.view.Paint(canvas);
    EXPECT_EQ(canvas.frames, (std::vector<ViewRect>{{137, 231, 467, 272}}));
}

TEST(Texts, StatusAndOverlayOfOnePicture)
{
    // The third of seventeen pictures.
    TempDir dir;
    const std::string picture = dir.Write("c.bmp", Bmp24Header(1920, 1080, 345678));
    for (const char* other : {"a", "b", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p", "q"}) {
        dir.Write(std::string(other) + ".bmp", "");
    }
    ViewFixture f;
    ASSERT_TRUE(f.view.OpenImage(picture, true));
    f.view.ZoomTo(0.5);
    EXPECT_EQ(f.frame.title, picture + " - Brelvix");
    EXPECT_EQ(f.frame.status, " File 3 of 17    Dimensions: 1920 x 1080    Size: 337 Kb    Zoom: 50%");
    EXPECT_EQ(f.view.OverlayLines(), (std::vector<std::string>{picture, "File 3 of 17", "Size: 960 x 540 (50%)",
                                                               "File size: 337 Kb (345678 bytes)"}));

    f.Set(&ViewerSettings::slideShowDelay, 2.5);
    f.view.ToggleSlideShow();
    EXPECT_EQ(f.frame.status,
              " File 3 of 17    Dimensions: 1920 x 1080    Size: 337 Kb    Zoom: 50%     Slideshow (delay 2.50 s)");
    EXPECT_EQ(f.view.OverlayLines().back(), "Slideshow (delay 2.5 s)");
    f.view.ToggleSlideShow();
    EXPECT_EQ(f.frame.status.find("Slideshow"), std::string::npos);

    // Turned, the status keeps the decoded size and the overlay shows the copy.
    f.view.RotateRight();
    EXPECT_NE(f.frame.status.find("Dimensions: 1920 x 1080"), std::string::npos);
    EXPECT_EQ(f.view.OverlayLines()[2], "Size: 540 x 960 (50%)");

    f.view.ZoomTo(1.1);
    EXPECT_NE(f.frame.status.find("Zoom: 110%"), std::string::npos);
    f.view.ZoomTo(0.29);
    EXPECT_NE(f.frame.status.find("Zoom: 28%"), std::string::npos);
}

// Only a listed picture has a number; one the list does not hold (a missing
// file given on the command line) never shows a place beyond the count.
TEST(Texts, PictureOutsideTheListHasNoNumber)
{
    TempDir dir;
    for (int i = 1; i <= 11; ++i) {
        dir.Write(NumberedName("p", i, ".bmp"), Bmp24Header(4, 4));
    }
    ViewFixture f;
    const std::string missing = dir.Path().string() + "/gone.bmp";
    ASSERT_TRUE(f.view.OpenImage(missing, true));
    ASSERT_EQ(f.view.Navigation().Files().Entries().size(), 11u);
    EXPECT_EQ(f.frame.status.substr(0, 16), " File - of 11   ");
    EXPECT_EQ(f.view.OverlayLines()[1], "File - of 11");
    f.view.ShowLast();
    EXPECT_EQ(f.frame.status.substr(0, 17), " File 11 of 11   ");
    EXPECT_EQ(f.view.OverlayLines()[1], "File 11 of 11");
}

TEST(Texts, UnreadableSizeAndHugeFiles)
{
    ViewFixture f;
    f.view.OpenImage("/brelvix-nowhere/gone.jpg", false);
    EXPECT_EQ(f.frame.status, " File - of 0    Dimensions: 0 x 0    Size: 0 Kb    Zoom: 100%    File not found");
    EXPECT_EQ(f.view.OverlayLines()[3], "File size: 0 Kb (-1 bytes)");

    // A sparse file of 5 GiB plus 1000 bytes: exact bytes, no overflow.
    TempDir dir;
    const std::string big = dir.Write("big.bmp", Bmp24Header(4, 4));
    const long long size = 5LL * 1024 * 1024 * 1024 + 1000;
    ASSERT_EQ(::truncate(big.c_str(), size), 0);
    f.view.OpenImage(big, false);
    EXPECT_NE(f.frame.status.find("Size: 5242880 Kb"), std::string::npos) << f.frame.status;
    EXPECT_EQ(f.view.OverlayLines()[3], "File size: 5242880 Kb (5368710120 bytes)");
}

// A picture that fails says why after everything else the status shows;
// the window still shows the failure box.
TEST(Texts, FailedPictureSaysWhy)
{
    TempDir dir;
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {dir.Path().string() + "/gone.bmp", "    File not found"},
        {dir.Write("words.bmp", "just words"), "    Not a picture"},
        {dir.Write("flat.bmp", Bmp24Header(0, 3)), "    Picture is damaged"},
        {dir.Write("fine.bmp", Bmp24Header(4, 3)), ""},
    };
    ViewFixture f;
    f.view.ToggleSlideShow();
    for (const auto& c : cases) {
        f.view.OpenImage(c.path, false);
        EXPECT_EQ(f.frame.status.substr(f.frame.status.find(" s)") + 3), c.reason) << f.frame.status;
        FakeCanvas canvas;
        f.view.Paint(canvas);
        EXPECT_EQ(canvas.frames.size(), std::string(c.reason).empty() ? 0u : 1u) << c.path;
    }
}

TEST(Texts, OverlayIsDrawnOnlyInFullScreenInAReadableColour)
{
    ViewFixture f;
    const std::string path = f.ShowPicture(100, 100);
    f.Set(&ViewerSettings::showInfoInFullScreen, true);
    FakeCanvas windowed;
    f.view.Paint(windowed);
    EXPECT_TRUE(windowed.texts.empty());

    f.view.SetFullScreen(true);
    f.view.ToggleSlideShow();
    FakeCanvas canvas;
    f.view.Paint(canvas);
    ASSERT_EQ(canvas.texts.size(), 5u);
    for (std::size_t i = 0; i < canvas.texts.size(); ++i) {
        EXPECT_EQ(canvas.texts[i].x, 5);
        EXPECT_EQ(canvas.texts[i].y, 5 + 12 * static_cast<int>(i));
        EXPECT_EQ(canvas.texts[i].colour, 0u) << "black on white";
    }
    EXPECT_EQ(canvas.texts[0].text, path);
    EXPECT_EQ(canvas.texts[4].text, "Slideshow (delay 5.0 s)");

    // It is drawn at the picture's origin, so it scrolls with the picture.
    f.ShowPicture(3000, 3000);
    f.view.ScrollTo(10, 20, true);
    FakeCanvas scrolled;
    f.view.Paint(scrolled);
    ASSERT_FALSE(scrolled.texts.empty());
    EXPECT_EQ(scrolled.texts[0].x, -5);
    EXPECT_EQ(scrolled.texts[0].y, -15);

    f.Set(&ViewerSettings::showInfoInFullScreen, false);
    FakeCanvas without;
    f.view.Paint(without);
    EXPECT_TRUE(without.texts.empty());

    struct Case {
        std::uint32_t background;
        std::uint32_t text;
    };
    const Case cases[] = {{0xFFFFFF, 0}, {0x0000C8, 0}, {0x000000, 0xFFFFFF}, {0x633232, 0xFFFFFF},
                          {0x640000, 0}, {0x006400, 0}, {0x000064, 0},        {0x636363, 0xFFFFFF}};
    for (const Case& c : cases) {
        f.Set(&ViewerSettings::backgroundColor, c.background);
        EXPECT_EQ(f.view.OverlayTextColor(), c.text) << std::hex << c.background;
    }
}

}  // namespace

}  // namespace brelvix
