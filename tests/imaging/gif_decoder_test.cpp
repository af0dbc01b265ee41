#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/format_detect.h"
#include "support/gif_writer.h"
#include "support/pixels.h"
#include "support/temp_dir.h"

namespace brelvix {

namespace {

const Rgb kBlack{0, 0, 0};

struct Loaded {
    int result = -1;
    std::string message;  // what the decoder wrote to standard error
};

Loaded LoadBytes(const std::vector<std::uint8_t>& bytes, PxBitmap* bitmap)
{
    TempDir dir;
    const std::string path = dir.Write("picture.gif", bytes);
    testing::internal::CaptureStderr();
    Loaded loaded;
    loaded.result = bitmap->CreateFromFile(path.c_str());
    loaded.message = testing::internal::GetCapturedStderr();
    return loaded;
}

int Load(const GifPicture& picture, PxBitmap* bitmap)
{
    const std::vector<std::uint8_t> bytes = GifBytes(picture);
    EXPECT_FALSE(bytes.empty()) << "giflib refused the fixture";
    return LoadBytes(bytes, bitmap).result;
}

// A full-screen picture whose pixel values all differ from their neighbours.
GifPicture FullScreen(int width, int height, bool interlace)
{
    GifPicture picture;
    picture.width = width;
    picture.height = height;
    picture.globalTable = GifTestTable();
    GifFrame frame;
    frame.width = width;
    frame.height = height;
    frame.interlace = interlace;
    frame.indices = GifTestIndices(width, height);
    picture.frames.push_back(frame);
    return picture;
}

void ExpectImageAt(const PxBitmap& bitmap, const GifFrame& frame, const std::vector<Rgb>& table)
{
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const std::uint8_t index = frame.indices[static_cast<size_t>(y) * frame.width + x];
            ASSERT_EQ(PixelAt(bitmap, frame.left + x, frame.top + y), table[index]) << "image pixel " << x << "," << y;
        }
    }
}

TEST(PxDecoderGIF, DecodesEveryPixelThroughTheGlobalTable)
{
    const GifPicture picture = FullScreen(7, 5, false);
    PxBitmap bitmap;
    ASSERT_EQ(Load(picture, &bitmap), 0);
    EXPECT_EQ(bitmap.FormatId(), kPxFormatGIF);
    ASSERT_EQ(bitmap.Width(), 7);
    ASSERT_EQ(bitmap.Height(), 5);
    EXPECT_EQ(bitmap.BitsPerPixel(), 24);
    // Top-left and bottom-right pixels spelled out: the store is bottom-up.
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{7, 248, 49}));
    EXPECT_EQ(PixelAt(bitmap, 6, 4), (Rgb{25, 230, 175}));
    ExpectImageAt(bitmap, picture.frames[0], picture.globalTable);
}

TEST(PxDecoderGIF, InterlacedEqualsNonInterlaced)
{
    // Heights around the pass boundaries, where a wrong table shows first.
    for (int height : {1, 2, 3, 4, 5, 7, 8, 9, 12, 16, 17, 33}) {
        PxBitmap plain;
        PxBitmap interlaced;
        ASSERT_EQ(Load(FullScreen(6, height, false), &plain), 0);
        ASSERT_EQ(Load(FullScreen(6, height, true), &interlaced), 0);
        EXPECT_EQ(TopDownRgb(interlaced), TopDownRgb(plain)) << "height " << height;
        ExpectImageAt(interlaced, FullScreen(6, height, true).frames[0], GifTestTable());
    }
}

TEST(PxDecoderGIF, ImageIsPlacedAtItsOffsetOnTheScreen)
{
    // Rows above and below the image are black; columns beside it show the
    // global table's background colour, or black without a global table or
    // with a background index beyond it.
    struct Case {
        bool globalTable;
        int background;
        bool backgroundShows;
    };
    for (const Case c : {Case{true, 200, true}, Case{false, 200, false}, Case{true, 40, false}}) {
        GifPicture picture;
        picture.width = 10;
        picture.height = 8;
        picture.background = c.background;
        GifFrame frame;
        frame.left = 5;
        frame.top = 2;
        frame.width = 4;
        frame.height = 3;
        frame.indices = GifTestIndices(4, 3);
        std::vector<Rgb> table = GifTestTable();
        if (!c.globalTable) {
            frame.localTable = table;
        } else if (c.background == 40) {
            table.resize(16);  // written as a 16-entry table
            for (std::uint8_t& index : frame.indices) {
                index &= 15;
            }
            picture.globalTable = table;
        } else {
            picture.globalTable = table;
        }
        picture.frames.push_back(frame);
        PxBitmap bitmap;
        ASSERT_EQ(Load(picture, &bitmap), 0);
        ASSERT_EQ(bitmap.Width(), 10);
        ASSERT_EQ(bitmap.Height(), 8);
        ExpectImageAt(bitmap, frame, table);
        const Rgb beside = c.backgroundShows ? table[static_cast<size_t>(c.background)] : kBlack;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 10; ++x) {
                const bool imageRow = y >= 2 && y < 5;
                const bool imageColumn = x >= 5 && x < 9;
                if (!imageRow) {
                    EXPECT_EQ(PixelAt(bitmap, x, y), kBlack) << x << "," << y;
                } else if (!imageColumn) {
                    EXPECT_EQ(PixelAt(bitmap, x, y), beside) << x << "," << y << " background " << c.background;
                }
            }
        }
    }
}

TEST(PxDecoderGIF, ImageOneOutsideTheScreenFailsWithAMessage)
{
    struct Case {
        int left, top, width, height;
        int result;
    };
    const Case cases[] = {
        {2, 1, 8, 7, 0},  // touches the right and bottom edges exactly
        {3, 1, 8, 7, 1},  // one column too far right
        {2, 2, 8, 7, 1},  // one row too far down
        {0, 0, 11, 8, 1}, {0, 0, 10, 9, 1},
    };
    for (const Case& c : cases) {
        GifPicture picture;
        picture.width = 10;
        picture.height = 8;
        picture.globalTable = GifTestTable();
        GifFrame frame;
        frame.left = c.left;
        frame.top = c.top;
        frame.width = c.width;
        frame.height = c.height;
        frame.indices = GifTestIndices(c.width, c.height);
        picture.frames.push_back(frame);
        PxBitmap bitmap;
        const Loaded loaded = LoadBytes(GifBytes(picture), &bitmap);
        EXPECT_EQ(loaded.result, c.result) << c.left << "," << c.top << " " << c.width << "x" << c.height;
        EXPECT_EQ(loaded.message, c.result == 0 ? "" : "Image 1 is not confined to screen dimension, aborted.\n");
    }
}

TEST(PxDecoderGIF, AnimationShowsItsFirstFrame)
{
    GifPicture picture = FullScreen(8, 6, false);
    picture.frames[0].graphicsControl = true;
    GifFrame second;
    second.left = 2;
    second.top = 1;
    second.width = 3;
    second.height = 3;
    second.indices.assign(9, 250);
    second.graphicsControl = true;
    picture.frames.push_back(second);
    PxBitmap bitmap;
    ASSERT_EQ(Load(picture, &bitmap), 0);
    ExpectImageAt(bitmap, picture.frames[0], picture.globalTable);
}

TEST(PxDecoderGIF, LocalTableWinsOverTheGlobalOne)
{
    GifPicture picture = FullScreen(5, 4, false);
    std::vector<Rgb> local(256);
    for (int i = 0; i < 256; ++i) {
        local[static_cast<size_t>(i)] = Rgb{static_cast<std::uint8_t>(255 - i), 17, static_cast<std::uint8_t>(i)};
    }
    picture.frames[0].localTable = local;
    PxBitmap bitmap;
    ASSERT_EQ(Load(picture, &bitmap), 0);
    ExpectImageAt(bitmap, picture.frames[0], local);
}

TEST(PxDecoderGIF, ExtensionsAndTrailerOnlyLoadAsBlack)
{
    GifPicture picture;
    picture.width = 6;
    picture.height = 3;
    picture.globalTable = GifTestTable();
    picture.background = 100;  // not used: no image rows exist
    picture.comments = {"first", "second comment"};
    PxBitmap bitmap;
    ASSERT_EQ(Load(picture, &bitmap), 0);
    ASSERT_EQ(bitmap.Width(), 6);
    ASSERT_EQ(bitmap.Height(), 3);
    for (std::uint8_t byte : TopDownRgb(bitmap)) {
        ASSERT_EQ(byte, 0);
    }
}

// A picture that LZW cannot shrink much, so its data spans many blocks.
GifPicture NoisyPicture(int width, int height)
{
    GifPicture picture = FullScreen(width, height, false);
    std::uint32_t state = 12345;
    for (std::uint8_t& index : picture.frames[0].indices) {
        state = state * 1103515245u + 12345u;
        index = static_cast<std::uint8_t>(state >> 24);
    }
    return picture;
}

TEST(PxDecoderGIF, TruncatedImageShowsTheLinesBeforeTheEnd)
{
    const GifPicture picture = NoisyPicture(64, 64);
    std::vector<std::uint8_t> bytes = GifBytes(picture);
    ASSERT_GT(bytes.size(), 3000u);
    bytes.resize(bytes.size() / 2);
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(bytes, &bitmap).result, 0);
    // About half of the rows arrived; the first are exact, the last is black.
    GifFrame top = picture.frames[0];
    top.height = 10;
    ExpectImageAt(bitmap, top, picture.globalTable);
    for (int x = 0; x < 64; ++x) {
        EXPECT_EQ(PixelAt(bitmap, x, 63), kBlack);
    }
}

TEST(PxDecoderGIF, TruncationAtEveryLengthEnds)
{
    GifPicture picture = NoisyPicture(12, 9);
    picture.globalTable.resize(16);  // a short table keeps the file, and the test, small
    picture.comments = {"a comment that spans some bytes"};
    picture.frames[0].graphicsControl = true;
    picture.frames[0].interlace = true;
    const std::vector<std::uint8_t> bytes = GifBytes(picture);
    for (size_t length = 1; length < bytes.size(); ++length) {
        PxBitmap bitmap;
        const int result = LoadBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + length), &bitmap).result;
        // Cut before the image data starts: no image, failure. Cut inside
        // it: a partial picture.
        EXPECT_TRUE(result == 0 || result == 1);
        if (result == 0) {
            EXPECT_EQ(bitmap.Width(), 12);
        }
    }
}

TEST(PxDecoderGIF, ValuesBeyondTheTableShowBlack)
{
    GifPicture picture = FullScreen(16, 16, false);
    for (int i = 0; i < 16; ++i) {
        picture.frames[0].indices[static_cast<size_t>(i)] = static_cast<std::uint8_t>(i);  // top row 0..15
    }
    std::vector<std::uint8_t> bytes = GifBytes(picture);
    ShrinkGlobalTable(&bytes, 4);  // the data still holds values up to 255
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(bytes, &bitmap).result, 0);
    int inTable = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const std::uint8_t index = picture.frames[0].indices[static_cast<size_t>(y) * 16 + x];
            const Rgb expected = index < 4 ? picture.globalTable[index] : kBlack;
            inTable += index < 4 ? 1 : 0;
            ASSERT_EQ(PixelAt(bitmap, x, y), expected) << x << "," << y;
        }
    }
    EXPECT_GT(inTable, 0);
}

TEST(PxDecoderGIF, NoColourTableAtAllShowsGrey)
{
    GifPicture picture = FullScreen(9, 4, false);
    std::vector<std::uint8_t> bytes = GifBytes(picture);
    ShrinkGlobalTable(&bytes, 0);
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(bytes, &bitmap).result, 0);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 9; ++x) {
            const std::uint8_t v = picture.frames[0].indices[static_cast<size_t>(y) * 9 + x];
            ASSERT_EQ(PixelAt(bitmap, x, y), (Rgb{v, v, v}));
        }
    }
}

TEST(PxDecoderGIF, RejectedHeadersAndScreens)
{
    const std::vector<std::vector<std::uint8_t>> files = {
        {'G', 'I', 'F', '8', '9', 'a'},                            // ends inside the screen descriptor
        {'G', 'I', 'F', '8', 'x', 'x', 4, 0, 4, 0, 0, 0, 0},       // ends before any record
        {'G', 'I', 'F', '8', '9', 'a', 0, 0, 4, 0, 0, 0, 0, ';'},  // zero-width screen
        {'G', 'I', 'F', '8', '9', 'a', 4, 0, 0, 0, 0, 0, 0, ';'},  // zero-height screen
        // 65535 x 65535 screen: the store would exceed the cap.
        {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, ';'},
        // An unknown record type ends the walk.
        {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0, 0, 0, 'x', ';'},
    };
    for (const auto& file : files) {
        PxBitmap bitmap;
        EXPECT_EQ(LoadBytes(file, &bitmap).result, 1) << std::string(file.begin(), file.end());
        EXPECT_EQ(bitmap.FormatId(), kPxFormatGIF);
    }
}

}  // namespace

}  // namespace brelvix
