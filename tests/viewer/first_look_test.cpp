// A large picture shown fitted first as a reduced first look, then as
// itself; and a held key's repeats. The decode of the picture itself is held
// at the gate of imaging/load_control.h (its first look, labelled apart,
// passes), so the first look is on screen when the test looks, however fast
// the machine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "imaging/load_control.h"
#include "support/jpeg_writer.h"
#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

// Halved, still larger than the fixture's 804 x 604 window.
constexpr int kWidth = 1700;
constexpr int kHeight = 1250;

std::vector<std::uint8_t> PhotoJpeg(int width, int height, int tint)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 255 / (width - 1));
            p[1] = static_cast<std::uint8_t>((y * 255 / (height - 1) + tint) % 256);
            p[2] = static_cast<std::uint8_t>(((x / 37 + y / 53) % 3) * 90 + 20);
        }
    }
    return EncodeJpeg(width, height, rgb);
}

// The decode of the picture at `path` itself, not its first look.
PxLoadHold HoldPictureOf(const std::string& path)
{
    return PxLoadHold([path](const std::string& label) { return label == path; });
}

// The working copy's rows, without the padding at their ends.
std::vector<std::uint8_t> Bytes(const PxBitmap& picture)
{
    std::vector<std::uint8_t> bytes;
    const std::size_t row = static_cast<std::size_t>(picture.Width()) * 3;
    for (int y = 0; y < picture.Height() && picture.Pixels() != nullptr; ++y) {
        const std::uint8_t* start = picture.Pixels() + static_cast<std::size_t>(y) * picture.Stride();
        bytes.insert(bytes.end(), start, start + row);
    }
    return bytes;
}

struct Screen {
    WorkingCopySize display;
    std::vector<std::uint8_t> pixels;
    std::string status;
    int horizontal = 0;
    int vertical = 0;
};

Screen ScreenOf(const ViewFixture& f)
{
    return {f.view.Document().Display(), Bytes(*WholeWorkingCopy(f.view.Document())), f.frame.status,
            f.window.Bar(ScrollAxis::Horizontal).position, f.window.Bar(ScrollAxis::Vertical).position};
}

void ExpectSameScreen(const Screen& shown, const Screen& expected)
{
    EXPECT_EQ(shown.display.Width(), expected.display.Width());
    EXPECT_EQ(shown.display.Height(), expected.display.Height());
    EXPECT_EQ(shown.status, expected.status);
    EXPECT_EQ(shown.horizontal, expected.horizontal);
    EXPECT_EQ(shown.vertical, expected.vertical);
    EXPECT_TRUE(shown.pixels == expected.pixels) << "the final screen differs from the one decoded at once";
}

}  // namespace

// The first look stands where the picture will, in its size, with the
// file's dimensions in the status bar; what the user asks for meanwhile
// acts on the picture, and the screen it ends on is the one a decode
// without a first look gives, byte for byte.
TEST(FirstLook, ShowsInThePicturesPlaceAndLeavesItsExactScreen)
{
    TempDir dir;
    const std::string path = dir.Write("photo.jpg", PhotoJpeg(kWidth, kHeight, 0));
    struct Case {
        const char* name;
        void (*meanwhile)(ImageView& view);
    };
    const Case cases[] = {
        {"nothing", [](ImageView&) {}},
        {"a turn", [](ImageView& view) { view.RotateRight(); }},
        {"a mirror and a turn",
         [](ImageView& view) {
             view.FlipHorizontal();
             view.RotateRight();
         }},
        {"a zoom to 100 %", [](ImageView& view) { view.ZoomTo100(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ViewFixture at;
        at.frame.bestFit = true;
        ASSERT_TRUE(at.view.OpenImage(path, true));
        ASSERT_FALSE(at.view.Document().ShowsFirstLook());
        const Screen fitted = ScreenOf(at);
        c.meanwhile(at.view);
        const Screen expected = ScreenOf(at);

        PxLoadHold hold = HoldPictureOf(path);
        ViewFixture f;
        f.frame.bestFit = true;
        f.view.SetBackgroundLoading(true);
        ASSERT_TRUE(f.view.OpenImage(path, true));
        ASSERT_TRUE(PollUntil(f, [&] { return f.view.Document().ShowsFirstLook(); }));
        ASSERT_TRUE(hold.WaitUntilHeld(1));
        const ImageDocument& document = f.view.Document();
        ASSERT_NE(document.Decoded(), nullptr);
        EXPECT_EQ(document.Decoded()->Width(), (kWidth + 1) / 2) << "halved: the least that fills the window";
        EXPECT_EQ(document.DecodedWidth(), kWidth);
        EXPECT_EQ(document.DecodedHeight(), kHeight);
        const Screen first = ScreenOf(f);
        EXPECT_EQ(first.display.Width(), fitted.display.Width());
        EXPECT_EQ(first.display.Height(), fitted.display.Height());
        EXPECT_EQ(first.status, fitted.status);
        EXPECT_FALSE(first.pixels == fitted.pixels) << "the first look's pixels are the reduced picture's";

        c.meanwhile(f.view);
        EXPECT_TRUE(document.ShowsFirstLook());
        hold.Open();
        ASSERT_TRUE(PollUntil(f, [&] { return !f.view.Loading(); }));
        EXPECT_FALSE(document.ShowsFirstLook());
        ExpectSameScreen(ScreenOf(f), expected);
    }
}

// A file replaced after its first look was decoded: the first look is not
// handed out when the file changed before it was taken, and a picture
// decoded from the old file never replaces a first look; the screen ends on
// the file as it is now.
TEST(FirstLook, AFileReplacedBetweenTheTwoDecodesShowsAsItIsNow)
{
    TempDir dir;
    const std::vector<std::uint8_t> before = PhotoJpeg(kWidth, kHeight, 0);
    const std::vector<std::uint8_t> after = PhotoJpeg(kWidth - 100, kHeight - 50, 120);
    {
        const std::string path = dir.Write("cache.jpg", before);
        for (const bool replaced : {false, true}) {
            SCOPED_TRACE(replaced ? "replaced" : "as it was");
            dir.Write("cache.jpg", before);
            const PxLoadHold hold = HoldPictureOf(path);
            PictureCache cache;
            ASSERT_TRUE(cache.Start(path, {804, 604, true}));
            ASSERT_TRUE(hold.WaitUntilHeld(1));
            ASSERT_TRUE(cache.FirstLookReady(path));
            if (replaced) {
                dir.Write("cache.jpg", after);
            }
            const auto look = cache.TakeFirstLook(path);
            EXPECT_EQ(look != nullptr, !replaced);
            EXPECT_EQ(cache.TakeFirstLook(path), nullptr) << "a first look is taken once";
        }
    }

    const std::string path = dir.Write("photo.jpg", before);
    PxBitmap now;
    ASSERT_EQ(now.CreateFromFile(dir.Write("now.jpg", after).c_str()), 0);
    PxLoadHold hold = HoldPictureOf(path);
    ViewFixture f;
    f.frame.bestFit = true;
    f.view.SetBackgroundLoading(true);
    ASSERT_TRUE(f.view.OpenImage(path, true));
    ASSERT_TRUE(PollUntil(f, [&] { return f.view.Document().ShowsFirstLook(); }));
    ASSERT_TRUE(hold.WaitUntilHeld(1));
    dir.Write("photo.jpg", after);
    hold.Open();
    ASSERT_TRUE(PollUntil(f, [&] { return !f.view.Loading(); }));
    const ImageDocument& document = f.view.Document();
    EXPECT_FALSE(document.ShowsFirstLook());
    ASSERT_NE(document.Decoded(), nullptr);
    EXPECT_EQ(document.DecodedWidth(), now.Width());
    EXPECT_EQ(document.DecodedHeight(), now.Height());
    EXPECT_TRUE(Bytes(*document.Decoded()) == Bytes(now)) << "decoded again, as the file is now";
}

// While a key is held, a repeated step waits for the step before it to
// show something (its first look at least): the steps never run ahead of
// the screen, and none are left to go on once the key is let go. Steps
// that are not repeats are all taken.
TEST(HeldKey, RepeatsAreDroppedUntilTheStepBeforeShowsSomething)
{
    TempDir dir;
    const std::vector<std::uint8_t> photo = PhotoJpeg(kWidth, kHeight, 0);
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
        paths.push_back(dir.Write(NumberedName("p", i, ".jpg"), photo));
    }
    struct Case {
        const char* name;
        bool repeating;
        bool bestFit;  // the steps then show first looks
        int shownBeforeOpening;
        int shownAtTheEnd;
    };
    const Case cases[] = {
        {"held, nothing shows", true, false, 0, 1},
        {"held, first looks show", true, true, 3, 3},
        {"pressed each time", false, false, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Every later picture's own decode waits at the gate, those begun
        // ahead included; their first looks pass.
        PxLoadHold hold([&](const std::string& label) {
            return label != paths[0] && label.find(kFirstLookLabel) == std::string::npos;
        });
        ViewFixture f;
        f.frame.bestFit = c.bestFit;
        f.view.SetBackgroundLoading(true);
        ASSERT_TRUE(f.view.OpenImage(paths[0], true));
        ASSERT_TRUE(PollUntil(f, [&] { return !f.view.Loading(); }));
        f.view.SetKeyRepeating(c.repeating);
        for (std::size_t step = 1; step <= 3; ++step) {
            f.view.ShowNext();
            if (c.bestFit) {
                ASSERT_TRUE(PollUntil(f, [&] { return f.view.Document().Path() == paths[step]; }));
                EXPECT_TRUE(f.view.Document().ShowsFirstLook());
            }
        }
        EXPECT_EQ(f.view.Document().Path(), paths[static_cast<std::size_t>(c.shownBeforeOpening)]);
        f.view.SetKeyRepeating(false);
        hold.Open();
        ASSERT_TRUE(PollUntil(f, [&] { return !f.view.Loading(); }));
        EXPECT_EQ(f.view.Document().Path(), paths[static_cast<std::size_t>(c.shownAtTheEnd)]);
        EXPECT_EQ(f.view.Navigation().Files().CurrentIndex(), c.shownAtTheEnd);
        EXPECT_FALSE(f.view.Document().ShowsFirstLook());
    }
}

}  // namespace brelvix
