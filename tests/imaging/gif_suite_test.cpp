// The public GIF conformance files in ../shared/testdata: valid files against
// their reference renderings under this viewer's rules (first image only,
// transparency ignored), images outside the screen failing, and hostile
// files ending cleanly.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/format_detect.h"
#include "support/pixels.h"
#include "support/png_reference.h"
#include "support/shared_testdata.h"

namespace brelvix {

namespace {

const std::string kData = SharedTestdata();

struct Loaded {
    int result = -1;
    std::string message;
};

Loaded LoadFile(const std::string& path, PxBitmap* bitmap)
{
    testing::internal::CaptureStderr();
    Loaded loaded;
    loaded.result = bitmap->CreateFromFile(path.c_str());
    loaded.message = testing::internal::GetCapturedStderr();
    return loaded;
}

// Compares the picture with a reference rendering of its first frame. The
// pixels the reference leaves transparent are not compared: there this
// viewer shows the stored colour (or, outside the first image, black or the
// background colour). Returns the number of pixels compared.
int ExpectMatchesReference(const PxBitmap& bitmap, const std::string& referencePath)
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
    EXPECT_TRUE(ReadPngReferenceRgba(referencePath, &width, &height, &rgba)) << "cannot read " << referencePath;
    EXPECT_EQ(bitmap.Width(), width);
    EXPECT_EQ(bitmap.Height(), height);
    if (bitmap.Width() != width || bitmap.Height() != height) {
        return 0;
    }
    const ReferenceComparison comparison = CompareWithReference(bitmap, rgba, 255, [](Rgb want) { return want; });
    EXPECT_EQ(comparison.differing, 0) << comparison.first;
    return comparison.compared;
}

TEST(GifSuite, FirstFramesMatchTheReferences)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    struct Entry {
        std::string file;
        std::string reference;
        bool covered;  // the first frame covers the whole screen opaquely
    };
    const Entry entries[] = {
        {"gif-test-suite/static_nontransparent.gif", "gif-test-suite/frames/static_nontransparent.png", true},
        {"gif-test-suite/static_transparent.gif", "gif-test-suite/frames/static_transparent.png", false},
        {"gif-test-suite/animated_loop.gif", "gif-test-suite/frames/animated_loop-0.png", true},
        {"gif-test-suite/animated_noloop.gif", "gif-test-suite/frames/animated_noloop-0.png", true},
        {"gif-test-suite/animated_loop_variable_delay.gif", "gif-test-suite/frames/animated_loop_variable_delay-0.png",
         true},
        {"gif-test-suite/animated_loop_interlaced.gif", "gif-test-suite/frames/animated_loop_interlaced-0.png", true},
        {"gif-test-suite/animated_transparent_loop.gif", "gif-test-suite/frames/animated_transparent_loop-0.png",
         false},
        {"gif-test-suite/animated_transparent_restoreprev_loop.gif",
         "gif-test-suite/frames/animated_transparent_restoreprev_loop-0.png", false},
        {"gif-test-suite/animated_transparent_frame_norestore_loop.gif",
         "gif-test-suite/frames/animated_transparent_frame_norestore_loop-0.png", false},
        {"gif-test-suite/animated_transparent_frame_restorebackground_loop.gif",
         "gif-test-suite/frames/animated_transparent_frame_restorebackground_loop-0.png", false},
        {"gif-test-suite/animated_transparent_frame_restoreprev_loop.gif",
         "gif-test-suite/frames/animated_transparent_frame_restoreprev_loop-0.png", false},
        {"gif-test-suite/animated_transparent_firstframerestoreprev_loop.gif",
         "gif-test-suite/frames/animated_transparent_firstframerestoreprev_loop-0.png", false},
        {"image-rs-image/gif/simple/sample_1.gif", "image-rs-image/gif/reference/simple/sample_1.gif.png", true},
        {"image-rs-image/gif/simple/alpha_gif_a.gif", "image-rs-image/gif/reference/simple/alpha_gif_a.gif.png", false},
    };
    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.file);
        PxBitmap bitmap;
        ASSERT_EQ(LoadFile(kData + entry.file, &bitmap).result, 0);
        EXPECT_EQ(bitmap.FormatId(), kPxFormatGIF);
        const int compared = ExpectMatchesReference(bitmap, kData + entry.reference);
        if (entry.covered) {
            EXPECT_EQ(compared, bitmap.Width() * bitmap.Height());
        } else {
            EXPECT_GT(compared, 0);
        }
    }
}

TEST(GifSuite, InterlacedAndPlainFilesOfOnePictureAgree)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    PxBitmap plain;
    PxBitmap interlaced;
    ASSERT_EQ(LoadFile(kData + "gif-test-suite/animated_loop.gif", &plain).result, 0);
    ASSERT_EQ(LoadFile(kData + "gif-test-suite/animated_loop_interlaced.gif", &interlaced).result, 0);
    EXPECT_EQ(TopDownRgb(interlaced), TopDownRgb(plain));

    PxBitmap hopper;
    PxBitmap emptyComments;
    ASSERT_EQ(LoadFile(kData + "pillow/gif/hopper.gif", &hopper).result, 0);
    ASSERT_EQ(LoadFile(kData + "pillow/gif/hopper_zero_comment_subblocks.gif", &emptyComments).result, 0);
    EXPECT_EQ(TopDownRgb(emptyComments), TopDownRgb(hopper));
}

TEST(GifSuite, ImagesOutsideTheScreenFail)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    const char* files[] = {
        "gif-test-suite/animated_transparent_loop_frames_out_of_bounds.gif",
        "image-rs-image/gif/anim/oob.gif",
        "image-rs-image/gif/simple/issue_1455_oversized.gif",
        "pillow/gif/decompression_bomb.gif",
    };
    for (const char* file : files) {
        SCOPED_TRACE(file);
        PxBitmap bitmap;
        const Loaded loaded = LoadFile(kData + file, &bitmap);
        EXPECT_EQ(loaded.result, 1);
        EXPECT_EQ(loaded.message, "Image 1 is not confined to screen dimension, aborted.\n");
        EXPECT_EQ(bitmap.FormatId(), kPxFormatGIF);
    }
}

TEST(GifSuite, ColumnsBesideTheFirstImageShowTheBackgroundColour)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    // A 75 x 50 screen with a 50 x 50 first image at x = 25.
    const std::string path = kData + "pillow/gif/first_frame_transparency.gif";
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 13u + 3 * 256);
    ASSERT_EQ(bytes[10] & 0x80, 0x80) << "the file has a global table";
    const std::size_t entry = 13 + 3 * std::size_t{bytes[11]};  // the background index's colour
    const Rgb background{bytes[entry], bytes[entry + 1], bytes[entry + 2]};
    ASSERT_NE(background, (Rgb{0, 0, 0}));

    PxBitmap bitmap;
    ASSERT_EQ(LoadFile(path, &bitmap).result, 0);
    ASSERT_EQ(bitmap.Width(), 75);
    ASSERT_EQ(bitmap.Height(), 50);
    for (int y : {0, 25, 49}) {
        for (int x = 0; x < 25; ++x) {
            EXPECT_EQ(PixelAt(bitmap, x, y), background) << x << "," << y;
        }
    }
}

TEST(GifSuite, EveryOtherFileLoadsWithItsScreenSize)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    // Unusual but valid files among them: block and extension types giflib
    // skips, empty comment blocks, missing tables, a background index beyond
    // the table, later frames outside the screen, a second header appended
    // after the first image.
    const std::set<std::string> failing = {"animated_transparent_loop_frames_out_of_bounds.gif", "oob.gif",
                                           "issue_1455_oversized.gif", "decompression_bomb.gif", "zero_width.gif"};
    int count = 0;
    for (const char* folder : {"gif-test-suite", "image-gif/samples", "image-gif/regression", "image-rs-image/gif/anim",
                               "image-rs-image/gif/simple", "pillow/gif"}) {
        for (const auto& item : std::filesystem::directory_iterator(kData + folder)) {
            const std::string name = item.path().filename().string();
            if (item.path().extension() != ".gif" || failing.count(name) != 0) {
                continue;
            }
            SCOPED_TRACE(item.path().string());
            std::ifstream in(item.path(), std::ios::binary);
            unsigned char screen[10] = {};
            in.read(reinterpret_cast<char*>(screen), sizeof screen);
            PxBitmap bitmap;
            const Loaded loaded = LoadFile(item.path().string(), &bitmap);
            EXPECT_EQ(loaded.result, 0);
            EXPECT_EQ(loaded.message, "");
            EXPECT_EQ(bitmap.Width(), screen[6] | screen[7] << 8);
            EXPECT_EQ(bitmap.Height(), screen[8] | screen[9] << 8);
            ++count;
        }
    }
    EXPECT_GT(count, 45);
}

TEST(GifSuite, HostileFilesEndCleanly)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    struct Entry {
        const char* file;
        int result;
    };
    const Entry entries[] = {
        {"image-gif/crashtest/issue-117-out-of-range.gif", 1},
        {"image-gif/crashtest/issue-96-small-codesize.gif", 1},  // zero-height screen
        {"image-gif/crashtest/issue-96-small-codesize-2.gif", 1},
        {"image-gif/stall/issue-101-infinite-empty-loop.gif", 1},
        {"image-rs-image/gif-regression/zero-loop-count.gif", 1},
        {"pillow/gif/zero_width.gif", 1},
    };
    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.file);
        PxBitmap bitmap;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(LoadFile(kData + entry.file, &bitmap).result, entry.result);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(bitmap.FormatId(), kPxFormatGIF);
    }
}

}  // namespace

}  // namespace brelvix
