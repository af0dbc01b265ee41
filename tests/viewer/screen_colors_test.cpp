#include "viewer/screen_colors.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <string>
#include <vector>

#include "imaging/alpha.h"
#include "imaging/color_profile.h"
#include "support/icc_profiles.h"
#include "support/png_writer.h"
#include "support/temp_dir.h"
#include "view_fakes.h"
#include "viewer/picture_cache.h"

namespace brelvix {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Keeps what is drawn on it, for a client area of 800 x 600.
class PixelCanvas : public FakeCanvas {
public:
    std::vector<Rgb> screen = std::vector<Rgb>(800 * 600);

    int DrawPixels(int x, int y, int width, int height, const std::uint8_t* pixels, std::int32_t stride,
                   std::uint32_t) override
    {
        for (int row = 0; row < height; ++row) {
            for (int column = 0; column < width; ++column) {
                // The rows come bottom-up.
                const std::uint8_t* p = pixels + std::ptrdiff_t(height - 1 - row) * stride + 3 * column;
                screen.at(std::size_t((y + row) * 800 + x + column)) = Rgb{p[2], p[1], p[0]};
            }
        }
        return 1;
    }
};

// A 16 x 16 picture of one colour as a PNG, lossless, so the stored values
// are exactly these.
Bytes FlatPng(Rgb colour, const Bytes& profile)
{
    PngPicture png;
    png.width = png.height = 16;
    png.iccProfile = profile;
    for (int i = 0; i < 16 * 16; ++i) {
        png.samples.insert(png.samples.end(), {colour.r, colour.g, colour.b});
    }
    return EncodePng(png);
}

Rgb LcmsColour(const Bytes& from, const Bytes& to, Rgb colour)
{
    const std::uint8_t rgb[3] = {colour.r, colour.g, colour.b};
    const Bytes out = LcmsConvert(from, TYPE_RGB_8, to, TYPE_RGB_8, rgb, 1);
    return Rgb{out[0], out[1], out[2]};
}

bool Near(Rgb a, Rgb b)
{
    return std::abs(a.r - b.r) <= 1 && std::abs(a.g - b.g) <= 1 && std::abs(a.b - b.b) <= 1;
}

const Rgb kRed{200, 60, 40};

}  // namespace

// The decodes ahead convert on their own threads, and a picture converted
// for other colours than the screen's now is never handed out.
TEST(ScreenColors, DecodesAheadArriveInTheScreensColoursOrNotAtAll)
{
    const Bytes adobe = MakeTestProfile(TestProfile::kAdobeRgb);
    const Bytes p3 = MakeTestProfile(TestProfile::kDisplayP3);
    TempDir dir;
    const std::string path = dir.Write("adobe.png", FlatPng(kRed, adobe));
    ScreenColors colors{true, {}};
    ASSERT_TRUE(PxTargetFromIcc(p3.data(), p3.size(), &colors.target));
    SetScreenColors(colors);
    PictureCache cache;
    cache.Prefetch(path);
    cache.Wait();
    int result = 1;
    std::unique_ptr<PxBitmap> picture = cache.Take(path, &result, nullptr);
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(picture->Meta().colorsConverted);
    EXPECT_PRED2(Near, PixelAt(*picture, 5, 5), LcmsColour(adobe, p3, kRed)) << PixelAt(*picture, 5, 5);

    // Decoded for the display profile, then the display changed.
    cache.Prefetch(path);
    cache.Wait();
    PxSetSrgbProfile(&colors.target);
    SetScreenColors(colors);
    EXPECT_EQ(cache.Take(path, &result, nullptr), nullptr);
    EXPECT_EQ(cache.HeldBytes(), 0u);
    ClearScreenColors();
}

// What the user sees follows the display's profile and the setting at
// once, and a picture shown in other colours is not kept to be shown
// again.
TEST(ScreenColors, ThePictureOnScreenFollowsTheDisplayAndTheSetting)
{
    const Bytes adobe = MakeTestProfile(TestProfile::kAdobeRgb);
    const Bytes p3 = MakeTestProfile(TestProfile::kDisplayP3);
    ViewFixture f;
    TempDir dir;
    f.view.OpenImage(dir.Write("adobe.png", FlatPng(kRed, adobe)), false);

    struct Step {
        const char* what;
        bool manage;
        Bytes display;
        Rgb expected;
    };
    const Step steps[] = {
        {"managed, no display profile", true, {}, LcmsColour(adobe, {}, kRed)},
        {"the display's profile", true, p3, LcmsColour(adobe, p3, kRed)},
        {"a damaged display profile", true, Bytes(p3.begin(), p3.begin() + 200), LcmsColour(adobe, {}, kRed)},
        {"the display's profile again", true, p3, LcmsColour(adobe, p3, kRed)},
        {"unmanaged", false, p3, kRed},
        {"managed again", true, p3, LcmsColour(adobe, p3, kRed)},
    };
    for (const Step& step : steps) {
        f.Set(&ViewerSettings::manageColors, step.manage);
        f.view.SetDisplayProfile(step.display);
        ASSERT_TRUE(f.view.Document().Loaded()) << step.what;
        const std::unique_ptr<PxBitmap> shown = WholeWorkingCopy(f.view.Document());
        EXPECT_PRED2(Near, PixelAt(*shown, 3, 3), step.expected) << step.what << ": " << PixelAt(*shown, 3, 3);
    }
}

// A half-transparent red shows pink over white, a dark red over black and
// its squares over the checkerboard; each change shows at the next paint.
TEST(ScreenColors, TransparentPixelsShowTheBackgroundOrTheCheckerboard)
{
    // Columns 0-7 transparent, 8-15 half, 16-23 opaque red; 16 rows.
    PngPicture png;
    png.width = 24;
    png.height = 16;
    png.colorType = 6;
    const std::uint16_t alphas[] = {0, 128, 255};
    for (int y = 0; y < png.height; ++y) {
        for (int x = 0; x < png.width; ++x) {
            png.samples.insert(png.samples.end(), {255, 0, 0, alphas[x / 8]});
        }
    }
    ViewFixture f;
    TempDir dir;
    f.view.OpenImage(dir.Write("red.png", EncodePng(png)), false);
    ASSERT_TRUE(f.view.Document().HasTransparency());
    // Centred in the 800 x 600 client area.
    const int left = (800 - 24) / 2;
    const int top = (600 - 16) / 2;

    const Rgb white{255, 255, 255};
    const Rgb grey{kPxCheckerGrey, kPxCheckerGrey, kPxCheckerGrey};
    const Rgb pink{255, 127, 127};
    const Rgb darkRed{128, 0, 0};
    const Rgb red{255, 0, 0};
    struct Step {
        const char* what;
        std::uint32_t background;
        bool checkerboard;
        // At (2, 2) and (2, 10) of the transparent columns, then (10, 2),
        // (10, 10) of the half-transparent ones and (18, 2) of the opaque.
        Rgb expected[5];
    };
    const Step steps[] = {
        {"white", 0xFFFFFF, false, {white, white, pink, pink, red}},
        {"black", 0x000000, false, {{0, 0, 0}, {0, 0, 0}, darkRed, darkRed, red}},
        {"checkerboard", 0x000000, true, {white, grey, {230, 102, 102}, pink, red}},
        {"white again", 0xFFFFFF, false, {white, white, pink, pink, red}},
    };
    for (const Step& step : steps) {
        f.Set(&ViewerSettings::backgroundColor, step.background);
        f.Set(&ViewerSettings::transparencyChecker, step.checkerboard);
        PixelCanvas canvas;
        f.view.Paint(canvas);
        const int points[5][2] = {{2, 2}, {2, 10}, {10, 2}, {10, 10}, {18, 2}};
        for (int i = 0; i < 5; ++i) {
            const Rgb shown = canvas.screen[std::size_t((top + points[i][1]) * 800 + left + points[i][0])];
            EXPECT_EQ(shown, step.expected[i]) << step.what << " at " << points[i][0] << "," << points[i][1];
        }
    }
    // The decoded picture keeps its plane: the blends work on the parts.
    EXPECT_TRUE(f.view.Document().Decoded()->HasAlpha());
}

}  // namespace brelvix
