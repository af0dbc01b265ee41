#include "imaging/animation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imaging/format_detect.h"
#include "imaging/pixel_memory.h"
#include "support/apng_writer.h"
#include "support/avif_writer.h"
#include "support/decode_bytes.h"
#include "support/gif_writer.h"
#include "support/jxl_writer.h"
#include "support/pixels.h"
#include "support/png_writer.h"
#include "support/raw_picture.h"
#include "support/sample_picture.h"
#include "support/temp_dir.h"
#include "support/webp_writer.h"

namespace brelvix {

namespace {

using Step = PxAnimation::Step;

// A file written to a folder of its own and opened as an animation.
struct Opened {
    TempDir dir;
    std::unique_ptr<PxAnimation> animation;
};

std::unique_ptr<Opened> Open(const std::vector<std::uint8_t>& bytes)
{
    auto opened = std::make_unique<Opened>();
    opened->animation = PxAnimation::Open(opened->dir.Write("picture", bytes).c_str());
    return opened;
}

// Red, green, blue, alpha of the frame, top row first (alpha 255 without a plane).
std::vector<std::uint8_t> Rgba(const PxBitmap& frame)
{
    std::vector<std::uint8_t> out;
    for (int y = 0; y < frame.Height(); ++y) {
        for (int x = 0; x < frame.Width(); ++x) {
            const Rgb c = PixelAt(frame, x, y);
            const int row = frame.Height() - 1 - y;
            out.insert(out.end(),
                       {c.r, c.g, c.b, frame.HasAlpha() ? frame.Alpha()[row * frame.Width() + x] : std::uint8_t{255}});
        }
    }
    return out;
}

// The frame as letters, rows top first and separated by '/': each pixel is
// the letter its colour has in `names` ('?' for another colour), '.' where
// it is transparent and the letter in lower case where it is partly so.
std::string Grid(const PxBitmap& frame, const std::map<std::uint32_t, char>& names)
{
    std::string out;
    const std::vector<std::uint8_t> rgba = Rgba(frame);
    for (int y = 0; y < frame.Height(); ++y) {
        if (y > 0) {
            out += '/';
        }
        for (int x = 0; x < frame.Width(); ++x) {
            const std::uint8_t* p = &rgba[4 * (static_cast<std::size_t>(y) * frame.Width() + x)];
            if (p[3] == 0) {
                out += '.';
                continue;
            }
            const auto name = names.find(std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2]);
            const char letter = name != names.end() ? name->second : '?';
            out += p[3] == 255 ? letter : static_cast<char>(std::tolower(letter));
        }
    }
    return out;
}

// Colours with letters: the tables of the worked examples.
const std::vector<Rgb> kColors = {{255, 0, 255}, {200, 0, 0},   {0, 200, 0},  {0, 0, 200},
                                  {200, 200, 0}, {0, 200, 200}, {90, 90, 90}, {250, 250, 250}};
const char kLetters[] = "TABCDEFG";

std::map<std::uint32_t, char> Names()
{
    std::map<std::uint32_t, char> names;
    for (std::size_t i = 0; i < kColors.size(); ++i) {
        names[std::uint32_t{kColors[i].r} << 16 | std::uint32_t{kColors[i].g} << 8 | kColors[i].b] = kLetters[i];
    }
    return names;
}

// Plays the whole animation and returns each frame's grid.
std::vector<std::string> Play(PxAnimation& animation)
{
    std::vector<std::string> grids;
    while (animation.Next() == Step::kComposed) {
        grids.push_back(Grid(animation.Frame(), Names()));
    }
    return grids;
}

GifFrame Frame(int left, int top, int width, int height, std::vector<std::uint8_t> indices, int disposal,
               int delayCs = 10, int transparent = -1)
{
    GifFrame frame;
    frame.left = left;
    frame.top = top;
    frame.width = width;
    frame.height = height;
    frame.indices = std::move(indices);
    frame.graphicsControl = true;
    frame.disposal = disposal;
    frame.delayCs = delayCs;
    frame.transparentIndex = transparent;
    return frame;
}

// Index 0 (T) is the transparent value where a frame has one; A to G are 1 to 7.
GifPicture DisposalExample()
{
    GifPicture gif;
    gif.width = 4;
    gif.height = 4;
    gif.globalTable = kColors;
    gif.frames = {
        Frame(0, 0, 4, 4, std::vector<std::uint8_t>(16, 1), 1, 10),
        Frame(1, 1, 2, 2, {2, 2, 2, 2}, 2, 0),
        Frame(0, 0, 1, 1, {3}, 3, 1),
        Frame(2, 0, 2, 1, {4, 4}, 0, 65535),
        Frame(0, 3, 4, 1, {5, 0, 5, 0}, 1, 5, 0),
        Frame(1, 1, 2, 2, {0, 6, 6, 0}, 1, 2, 0),
        Frame(2, 2, 3, 3, std::vector<std::uint8_t>(9, 7), 1, 3),  // reaches past the canvas
    };
    return gif;
}

TEST(PxAnimationGif, DisposalTransparencyAndClippingAsWorkedOut)
{
    const auto opened = Open(GifBytes(DisposalExample()));
    ASSERT_NE(opened->animation, nullptr);
    PxAnimation& animation = *opened->animation;
    EXPECT_TRUE(animation.HasFrames());
    EXPECT_EQ(animation.FrameCount(), -1) << "counted as the frames are read";
    std::vector<std::int32_t> delays;
    std::vector<std::string> grids;
    std::vector<bool> alpha;
    while (animation.Next() == Step::kComposed) {
        grids.push_back(Grid(animation.Frame(), Names()));
        delays.push_back(animation.FrameDelayMs());
        alpha.push_back(animation.Frame().HasAlpha());
    }
    const std::vector<std::string> expected = {
        "AAAA/AAAA/AAAA/AAAA",  // keep
        "AAAA/ABBA/ABBA/AAAA",  // then back to transparent
        "CAAA/A..A/A..A/AAAA",  // then back to what was under it
        "AADD/A..A/A..A/AAAA",  // left alone
        "AADD/A..A/A..A/EAEA",  // transparent pixels leave what is under them
        "AADD/A.FA/AF.A/EAEA",  // also where that is transparent
        "AADD/A.FA/AFGG/EAGG",  // the part outside the canvas is left out
    };
    EXPECT_EQ(grids, expected);
    EXPECT_EQ(delays, (std::vector<std::int32_t>{100, 0, 10, 655350, 50, 20, 30}));
    EXPECT_EQ(animation.FrameCount(), 7);
    EXPECT_EQ(animation.Next(), Step::kEnd);
    EXPECT_EQ(Grid(animation.Frame(), Names()), expected.back()) << "the last frame stays";
    EXPECT_EQ(alpha, (std::vector<bool>{false, false, true, true, true, true, true})) << "a plane only while needed";

    ASSERT_EQ(animation.Rewind(), 0);
    EXPECT_EQ(Play(animation), expected) << "played again from the start";
}

TEST(PxAnimationGif, RepeatCountsPlayOnceMoreThanStored)
{
    const struct {
        int repeats;
        std::int32_t plays;
    } cases[] = {{-1, 1}, {0, 0}, {1, 2}, {3, 4}, {65535, 65536}};
    for (const auto& c : cases) {
        GifPicture gif = DisposalExample();
        gif.repeats = c.repeats;
        const std::vector<std::uint8_t> bytes = GifBytes(gif);
        ASSERT_FALSE(bytes.empty());
        const auto opened = Open(bytes);
        ASSERT_NE(opened->animation, nullptr);
        EXPECT_EQ(opened->animation->LoopCount(), c.plays) << "repeats " << c.repeats;
    }
}

TEST(PxAnimationGif, InterlacedFramesWithTablesOfTheirOwn)
{
    // Row r of a 3 x 9 frame is value r % 8 of a table of its own (the
    // global one is all grey); the interlaced frame comes out as stored.
    GifPicture gif;
    gif.width = 3;
    gif.height = 9;
    gif.globalTable = std::vector<Rgb>(8, Rgb{90, 90, 90});
    std::vector<std::uint8_t> rows;
    for (int r = 0; r < 9; ++r) {
        rows.insert(rows.end(), 3, static_cast<std::uint8_t>(r % 8));
    }
    for (const bool interlace : {true, false}) {
        GifFrame frame = Frame(0, 0, 3, 9, rows, 1);
        frame.interlace = interlace;
        frame.localTable = kColors;
        gif.frames.push_back(frame);
    }
    const auto opened = Open(GifBytes(gif));
    ASSERT_NE(opened->animation, nullptr);
    const std::string expected = "TTT/AAA/BBB/CCC/DDD/EEE/FFF/GGG/TTT";
    EXPECT_EQ(Play(*opened->animation), (std::vector<std::string>{expected, expected}));
}

TEST(PxAnimationGif, ADamagedFrameEndsTheAnimationAtTheLastGoodOne)
{
    GifPicture gif = DisposalExample();
    gif.frames.resize(3);
    std::vector<std::uint8_t> bytes = GifBytes(gif);
    gif.frames.resize(2);
    // Cut in the middle of the third frame: after its control extension and descriptor.
    bytes.resize(GifBytes(gif).size() - 1 + 8 + 10 + 2);
    const auto opened = Open(bytes);
    ASSERT_NE(opened->animation, nullptr);
    PxAnimation& animation = *opened->animation;
    EXPECT_EQ(Play(animation), (std::vector<std::string>{"AAAA/AAAA/AAAA/AAAA", "AAAA/ABBA/ABBA/AAAA"}));
    EXPECT_EQ(Grid(animation.Frame(), Names()), "AAAA/ABBA/ABBA/AAAA");
    EXPECT_EQ(animation.FrameCount(), 2);
    EXPECT_EQ(animation.Next(), Step::kEnd);
}

TEST(PxAnimation, CancelledFramesLeaveTheCanvasUntilRewound)
{
    const auto opened = Open(GifBytes(DisposalExample()));
    ASSERT_NE(opened->animation, nullptr);
    PxAnimation& animation = *opened->animation;
    ASSERT_EQ(animation.Next(), Step::kComposed);
    PxLoadControl control;
    control.Cancel();
    EXPECT_EQ(animation.Next(&control), Step::kCancelled);
    EXPECT_EQ(animation.Next(), Step::kCancelled) << "until rewound";
    EXPECT_EQ(Grid(animation.Frame(), Names()), "AAAA/AAAA/AAAA/AAAA");
    EXPECT_EQ(animation.FrameIndex(), 0);
    ASSERT_EQ(animation.Rewind(), 0);
    EXPECT_EQ(Play(animation).size(), 7U);
    EXPECT_EQ(PxAnimation::Open("/nonexistent/picture.gif"), nullptr);
}

// Memory stays that of one canvas however many frames play, and a file of
// very many frames starts at once.
TEST(PxAnimation, ComposesWithinTheMemoryOfAStillPicture)
{
    GifPicture gif;
    gif.width = 1920;
    gif.height = 1080;
    gif.globalTable = kColors;
    std::vector<std::uint8_t> full(1920 * 1080);
    for (std::size_t i = 0; i < full.size(); ++i) {
        full[i] = static_cast<std::uint8_t>(1 + i % 7);
    }
    gif.frames.push_back(Frame(0, 0, 1920, 1080, full, 1));
    for (int i = 1; i < 300; ++i) {
        std::vector<std::uint8_t> patch(64 * 64, static_cast<std::uint8_t>(i % 8));
        gif.frames.push_back(Frame(i * 6, i * 3, 64, 64, patch, 1 + i % 3, 4, i % 5 == 0 ? 0 : -1));
    }
    const std::vector<std::uint8_t> bytes = GifBytes(gif);
    ASSERT_FALSE(bytes.empty());

    auto peakWhile = [](auto&& work) {
        const std::uint64_t before = PxPixelMemoryInUse();
        PxResetPixelMemoryPeak();
        work();
        return PxPixelMemoryPeak() - before;
    };
    const std::uint64_t still = peakWhile([&] {
        PxBitmap bitmap;
        ASSERT_EQ(DecodeBytes(bytes, &bitmap), 0);
    });
    int frames = 0;
    const std::uint64_t animated = peakWhile([&] {
        const auto opened = Open(bytes);
        ASSERT_NE(opened->animation, nullptr);
        while (opened->animation->Next() == Step::kComposed) {
            ++frames;
        }
        EXPECT_LE(opened->animation->HeldBytes(), still * 3 / 2);
    });
    EXPECT_EQ(frames, 300);
    EXPECT_LE(animated, still * 3 / 2) << "still " << still;

    GifPicture tiny;
    tiny.width = 16;
    tiny.height = 16;
    tiny.globalTable = kColors;
    for (int i = 0; i < 10000; ++i) {
        tiny.frames.push_back(Frame(i % 16, i / 16 % 16, 1, 1, {static_cast<std::uint8_t>(1 + i % 7)}, 1, 2));
    }
    const auto opened = Open(GifBytes(tiny));
    ASSERT_NE(opened->animation, nullptr);
    ASSERT_EQ(opened->animation->Next(), Step::kComposed);
    EXPECT_EQ(opened->animation->FrameCount(), -1) << "the first frame comes before the rest is read";
    int count = 1;
    while (opened->animation->Next() == Step::kComposed) {
        ++count;
    }
    EXPECT_EQ(count, 10000);
    EXPECT_EQ(opened->animation->FrameCount(), 10000);
}

PngPicture RgbaPng(int width, int height, std::vector<std::array<std::uint16_t, 4>> pixels)
{
    PngPicture png;
    png.width = width;
    png.height = height;
    png.colorType = 6;
    for (std::size_t i = 0; i < static_cast<std::size_t>(width * height); ++i) {
        const auto& p = pixels[pixels.size() == 1 ? 0 : i];
        png.samples.insert(png.samples.end(), p.begin(), p.end());
    }
    return png;
}

std::array<std::uint16_t, 4> Pixel(int color, int alpha = 255)
{
    const Rgb c = kColors[static_cast<std::size_t>(color)];
    return {c.r, c.g, c.b, static_cast<std::uint16_t>(alpha)};
}

ApngFrame Apng(int left, int top, PngPicture picture, int dispose, int blend, int numerator = 1, int denominator = 10)
{
    return ApngFrame{left, top, std::move(picture), numerator, denominator, dispose, blend};
}

TEST(PxAnimationPng, DisposeAndBlendOpsAsWorkedOut)
{
    enum { T, A, B, C, D, E, F };
    const auto none = Pixel(T, 0);
    ApngPicture apng;
    apng.width = 4;
    apng.height = 4;
    apng.plays = 3;
    apng.frames = {
        Apng(0, 0, RgbaPng(4, 4, {Pixel(A)}), 0, 0),
        Apng(1, 1, RgbaPng(2, 2, {Pixel(B)}), 1, 0, 0, 0),  // back to transparent after it
        Apng(0, 0, RgbaPng(1, 1, {Pixel(C)}), 2, 0, 3, 0),  // back to what was under it
        Apng(2, 2, RgbaPng(2, 2, {Pixel(D, 128), none, Pixel(E), none}), 0, 1, 65535, 1),  // over
        Apng(0, 0, RgbaPng(2, 1, {none, Pixel(F)}), 0, 0, 1, 1000),                        // source
        Apng(3, 3, RgbaPng(1, 1, {Pixel(D, 128)}), 0, 1),                                  // half of D over A
    };
    const auto opened = Open(EncodeApng(apng));
    ASSERT_NE(opened->animation, nullptr);
    PxAnimation& animation = *opened->animation;
    EXPECT_TRUE(animation.HasFrames());
    EXPECT_EQ(animation.FrameCount(), 6);
    EXPECT_EQ(animation.LoopCount(), 3);
    std::vector<std::string> grids;
    std::vector<std::int32_t> delays;
    while (animation.Next() == Step::kComposed) {
        grids.push_back(Grid(animation.Frame(), Names()));
        delays.push_back(animation.FrameDelayMs());
    }
    // The last frame's corner mixes A (200, 0, 0) and D (200, 200, 0) half and half.
    EXPECT_EQ(grids, (std::vector<std::string>{"AAAA/AAAA/AAAA/AAAA", "AAAA/ABBA/ABBA/AAAA", "CAAA/A..A/A..A/AAAA",
                                               "AAAA/A..A/A.dA/AAEA", ".FAA/A..A/A.dA/AAEA", ".FAA/A..A/A.dA/AAE?"}));
    EXPECT_EQ(delays, (std::vector<std::int32_t>{100, 0, 30, 65535000, 1, 100}));
    const std::vector<std::uint8_t> last = Rgba(animation.Frame());
    const std::uint8_t* corner = &last[4 * 15];
    EXPECT_EQ(corner[0], 200);
    EXPECT_NEAR(corner[1], 100, 1);
    EXPECT_EQ(corner[2], 0);
    EXPECT_EQ(corner[3], 255);
    const std::uint8_t* half = &last[4 * 10];  // D at alpha 128 over nothing keeps its colour
    EXPECT_EQ(std::vector<std::uint8_t>(half, half + 4), (std::vector<std::uint8_t>{200, 200, 0, 128}));
}

TEST(PxAnimationPng, PaletteTransparencyAndADefaultImageOutsideTheAnimation)
{
    PngPicture frame0;
    frame0.width = 3;
    frame0.height = 2;
    frame0.colorType = 3;
    frame0.bitDepth = 2;
    frame0.palette = {{200, 0, 0}, {0, 200, 0}, {255, 0, 255}};
    frame0.paletteAlpha = {255, 255, 0};
    frame0.samples = {0, 0, 0, 0, 0, 0};
    PngPicture frame1 = frame0;
    frame1.samples = {2, 1, 2, 1, 2, 1};
    ApngPicture apng;
    apng.width = 3;
    apng.height = 2;
    apng.defaultIsFrame = false;
    apng.defaultImage = frame0;
    apng.defaultImage.samples = {1, 1, 1, 1, 1, 1};
    apng.frames = {Apng(0, 0, frame0, 0, 0), Apng(0, 0, frame1, 0, 1)};
    const std::vector<std::uint8_t> bytes = EncodeApng(apng);
    const auto opened = Open(bytes);
    ASSERT_NE(opened->animation, nullptr);
    EXPECT_EQ(Play(*opened->animation), (std::vector<std::string>{"AAA/AAA", "ABA/BAB"}));

    // A frame whose data is damaged ends the animation before it.
    std::vector<std::uint8_t> damaged = bytes;
    const std::size_t data = FindPngChunk(damaged, "fdAT", 1);
    ASSERT_NE(data, 0U);
    damaged[data + 14] ^= 0x55;
    const auto broken = Open(damaged);
    ASSERT_NE(broken->animation, nullptr);
    EXPECT_EQ(broken->animation->FrameCount(), 2);
    EXPECT_EQ(Play(*broken->animation), (std::vector<std::string>{"AAA/AAA"}));
    EXPECT_EQ(broken->animation->FrameCount(), 1);
}

RawPicture Sample(int width, int height, bool alpha, int variant)
{
    RawPicture raw = RawFromSample(RenderSamplePicture(width, height), alpha);
    // Each frame differs from the one before in a part of the picture only.
    for (int y = variant * 3; y < height && y < variant * 3 + 8; ++y) {
        for (int x = variant * 5; x < width && x < variant * 5 + 9; ++x) {
            raw.samples[(static_cast<std::size_t>(y) * width + x) * raw.channels] =
                static_cast<std::uint16_t>(40 * variant);
        }
    }
    return raw;
}

// Compares every frame with another decoder's frames, red-green-blue-alpha:
// colours only where a pixel is not transparent.
void ExpectFrames(PxAnimation& animation, const std::vector<std::vector<std::uint8_t>>& reference, int tolerance)
{
    for (std::size_t i = 0; i < reference.size(); ++i) {
        ASSERT_EQ(animation.Next(), Step::kComposed) << "frame " << i;
        const std::vector<std::uint8_t> got = Rgba(animation.Frame());
        ASSERT_EQ(got.size(), reference[i].size());
        int worst = 0;
        for (std::size_t p = 0; p < got.size(); p += 4) {
            for (std::size_t c = 0; c < 4; ++c) {
                if (c == 3 || reference[i][p + 3] != 0) {
                    worst = std::max(worst, std::abs(got[p + c] - reference[i][p + c]));
                }
            }
        }
        EXPECT_LE(worst, tolerance) << "frame " << i;
    }
    EXPECT_EQ(animation.Next(), Step::kEnd);
    EXPECT_EQ(animation.FrameCount(), static_cast<std::int32_t>(reference.size()));
}

TEST(PxAnimation, NewerFormatsComposeAsTheirLibrariesDo)
{
    const std::vector<RawPicture> frames = {Sample(37, 29, true, 0), Sample(37, 29, true, 1), Sample(37, 29, true, 2)};
    std::vector<RawPicture> opaque;
    for (int i = 0; i < 3; ++i) {
        opaque.push_back(Sample(37, 29, false, i));
    }

    // WebP: what the encoder was given comes back, losslessly.
    std::vector<std::vector<std::uint8_t>> given;
    for (const RawPicture& frame : frames) {
        given.emplace_back(frame.samples.begin(), frame.samples.end());
    }
    const auto webp = Open(EncodeWebpAnimation(frames, true, {50, 120, 30}, 3));
    ASSERT_NE(webp->animation, nullptr);
    EXPECT_TRUE(webp->animation->HasFrames());
    EXPECT_EQ(webp->animation->LoopCount(), 3);
    ExpectFrames(*webp->animation, given, 0);
    ASSERT_EQ(webp->animation->Rewind(), 0);
    std::vector<std::int32_t> delays;
    while (webp->animation->Next() == Step::kComposed) {
        delays.push_back(webp->animation->FrameDelayMs());
    }
    EXPECT_EQ(delays, (std::vector<std::int32_t>{50, 120, 30}));

    // JPEG XL and AVIF: the libraries' own frames.
    const std::vector<std::uint8_t> jxl = EncodeJxl(frames);
    std::vector<std::vector<std::uint8_t>> reference;
    ASSERT_TRUE(DecodeJxlFramesReference(jxl, &reference));
    const auto jxlOpened = Open(jxl);
    ASSERT_NE(jxlOpened->animation, nullptr);
    EXPECT_TRUE(jxlOpened->animation->HasFrames());
    EXPECT_EQ(jxlOpened->animation->LoopCount(), 0);
    ExpectFrames(*jxlOpened->animation, reference, 0);
    EXPECT_EQ(jxlOpened->animation->FrameDelayMs(), 100);

    const std::vector<std::uint8_t> avif = EncodeAvifSequence(opaque);
    ASSERT_TRUE(DecodeAvifFramesReference(avif, &reference));
    const auto avifOpened = Open(avif);
    ASSERT_NE(avifOpened->animation, nullptr);
    EXPECT_TRUE(avifOpened->animation->HasFrames());
    EXPECT_EQ(avifOpened->animation->FrameCount(), 3);
    ExpectFrames(*avifOpened->animation, reference, 1);
    EXPECT_EQ(avifOpened->animation->FrameDelayMs(), 100);
}

TEST(PxAnimation, AFileCutShortPlaysTheFramesThatArrived)
{
    std::vector<RawPicture> frames;
    for (int i = 0; i < 3; ++i) {
        frames.push_back(Sample(37, 29, false, i));
    }
    GifPicture gif = DisposalExample();
    gif.frames.resize(3);
    ApngPicture apng;
    apng.width = 4;
    apng.height = 4;
    for (int i = 1; i <= 3; ++i) {
        apng.frames.push_back(Apng(0, 0, RgbaPng(4, 4, {Pixel(i)}), 0, 0));
    }
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
    } files[] = {
        {"GIF", GifBytes(gif)},
        {"PNG", EncodeApng(apng)},
        {"WebP", EncodeWebpAnimation(frames, false)},
        {"JPEG XL", EncodeJxl(frames)},
        {"AVIF", EncodeAvifSequence(frames)},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        // The last 16 bytes of each file hold part of its last frame's data
        // (in a PNG: the end chunk and the data's check value).
        std::vector<std::uint8_t> cut = file.file;
        cut.resize(cut.size() - 16);
        const auto opened = Open(cut);
        ASSERT_NE(opened->animation, nullptr);
        ASSERT_EQ(opened->animation->Next(), Step::kComposed);
        ASSERT_EQ(opened->animation->Next(), Step::kComposed);
        const std::vector<std::uint8_t> second = Rgba(opened->animation->Frame());
        EXPECT_EQ(opened->animation->Next(), Step::kEnd);
        EXPECT_EQ(opened->animation->FrameCount(), 2);
        EXPECT_EQ(Rgba(opened->animation->Frame()), second) << "the last good frame stays";
    }
}

// A still of any format is one frame, the picture its decoder gives.
TEST(PxAnimation, StillsAreOneFrameAsTheirDecodersShowThem)
{
    const RawPicture raw = Sample(21, 13, false, 0);
    GifPicture gif;
    gif.width = 5;
    gif.height = 3;
    gif.globalTable = GifTestTable();
    gif.frames = {Frame(0, 0, 5, 3, GifTestIndices(5, 3), 1)};
    PngPicture png;
    png.width = 21;
    png.height = 13;
    png.samples.assign(raw.samples.begin(), raw.samples.end());
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
    } stills[] = {
        {"GIF", GifBytes(gif)},        {"PNG", EncodePng(png)},   {"WebP", EncodeWebp(raw)},
        {"JPEG XL", EncodeJxl({raw})}, {"AVIF", EncodeAvif(raw)},
    };
    for (const auto& still : stills) {
        SCOPED_TRACE(still.name);
        const auto opened = Open(still.file);
        ASSERT_NE(opened->animation, nullptr);
        EXPECT_FALSE(opened->animation->HasFrames());
        ASSERT_EQ(opened->animation->Next(), Step::kComposed);
        PxBitmap decoded;
        ASSERT_EQ(DecodeBytes(still.file, &decoded), 0);
        EXPECT_EQ(TopDownRgb(opened->animation->Frame()), TopDownRgb(decoded));
        EXPECT_FALSE(opened->animation->Frame().HasAlpha());
        EXPECT_EQ(opened->animation->Next(), Step::kEnd);
        EXPECT_EQ(opened->animation->FrameCount(), 1);
    }
}

}  // namespace

}  // namespace brelvix
