#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <png.h>
#include <zlib.h>

#include "imaging/bitmap.h"
#include "imaging/decoder_png.h"
#include "imaging/jump_guard.h"
#include "support/pixels.h"
#include "support/png_writer.h"
#include "support/shared_testdata.h"
#include "support/temp_dir.h"

namespace brelvix {

namespace {

const std::string kSuite = SharedTestdata("pngsuite/");

struct Loaded {
    int result = -1;
    std::string messages;  // what libpng wrote to standard error
};

Loaded LoadBytes(const std::vector<std::uint8_t>& bytes, PxBitmap& bitmap)
{
    TempDir dir;
    const std::string path = dir.Write("p.png", bytes);
    testing::internal::CaptureStderr();
    Loaded loaded;
    loaded.result = bitmap.CreateFromFile(path.c_str());
    loaded.messages = testing::internal::GetCapturedStderr();
    return loaded;
}

Loaded LoadFile(const std::string& path, PxBitmap& bitmap)
{
    testing::internal::CaptureStderr();
    Loaded loaded;
    loaded.result = bitmap.CreateFromFile(path.c_str());
    loaded.messages = testing::internal::GetCapturedStderr();
    return loaded;
}

// What the viewer shows for a picture, worked out from its samples alone:
// grey levels spread over 0..255, 16-bit samples cut to their high byte,
// palette indices past the palette black, alpha and tRNS ignored.
std::vector<std::uint8_t> Expected(const PngPicture& picture)
{
    const int channels = PngChannels(picture.colorType);
    auto eight = [&](unsigned value) {
        if (picture.bitDepth == 16) {
            return value >> 8;
        }
        return value * 255 / ((1u << picture.bitDepth) - 1);
    };
    std::vector<std::uint8_t> rgb;
    for (std::size_t i = 0; i < picture.samples.size(); i += static_cast<std::size_t>(channels)) {
        const std::uint16_t* s = &picture.samples[i];
        if (picture.colorType == 3) {
            const std::array<std::uint8_t, 3> black{};
            const auto& entry = s[0] < picture.palette.size() ? picture.palette[s[0]] : black;
            rgb.insert(rgb.end(), entry.begin(), entry.end());
        } else if (picture.colorType == 0 || picture.colorType == 4) {
            rgb.insert(rgb.end(), 3, static_cast<std::uint8_t>(eight(s[0])));
        } else {
            for (int c = 0; c < 3; ++c) {
                rgb.push_back(static_cast<std::uint8_t>(eight(s[c])));
            }
        }
    }
    return rgb;
}

PngPicture RandomPicture(int colorType, int bitDepth, int width, int height, unsigned seed)
{
    PngPicture picture;
    picture.width = width;
    picture.height = height;
    picture.colorType = colorType;
    picture.bitDepth = bitDepth;
    std::mt19937 random(seed);
    const unsigned top = (1u << bitDepth) - 1;
    picture.samples.resize(static_cast<std::size_t>(width) * height * PngChannels(colorType));
    for (auto& sample : picture.samples) {
        sample = static_cast<std::uint16_t>(random() % (top + 1));
    }
    if (colorType == 3) {
        for (unsigned i = 0; i <= top; ++i) {
            picture.palette.push_back({static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                                       static_cast<std::uint8_t>(random())});
        }
    }
    return picture;
}

void Quiet(png_structp /*png*/, png_const_charp /*message*/) {}

// A second opinion from libpng through other transformations than the
// decoder's (full expansion to 8-bit RGB, alpha stripped, tRNS left out),
// for files whose pictures are not known sample by sample.
bool DecodeUnderViewerRules(const std::string& path, int* width, int* height, std::vector<std::uint8_t>* rgb)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, Quiet);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    bool ok = PxGuarded(png_jmpbuf(png), [&] {
        png_read_info(png, info);
        const int type = png_get_color_type(png, info);
        if (type == PNG_COLOR_TYPE_PALETTE) {
            png_set_palette_to_rgb(png);
        }
        if (type == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
        png_set_strip_16(png);
        png_set_strip_alpha(png);
        png_set_gray_to_rgb(png);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
    });
    *width = static_cast<int>(png_get_image_width(png, info));
    *height = static_cast<int>(png_get_image_height(png, info));
    ok = ok && png_get_rowbytes(png, info) == static_cast<std::size_t>(*width) * 3;
    if (ok) {
        rgb->assign(static_cast<std::size_t>(*width) * *height * 3, 0);
        std::vector<png_bytep> rows(static_cast<std::size_t>(*height));
        for (std::size_t y = 0; y < rows.size(); ++y) {
            rows[y] = rgb->data() + y * static_cast<std::size_t>(*width) * 3;
        }
        ok = PxGuarded(png_jmpbuf(png), [&] { png_read_image(png, rows.data()); });
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return ok;
}

// Rewrites the IHDR's width and height and its checksum.
void SetDimensions(std::vector<std::uint8_t>& file, std::uint32_t width, std::uint32_t height)
{
    for (int i = 0; i < 4; ++i) {
        file[16 + i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
        file[20 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
    }
    const uLong crc = crc32(0, &file[12], 17);  // chunk type and data
    for (int i = 0; i < 4; ++i) {
        file[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    }
}

TEST(PxDecoderPNG, EveryColourTypeAndDepthInBothLayouts)
{
    const int combinations[][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                                   {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
    unsigned seed = 1;
    for (const auto& [type, depth] : combinations) {
        // Odd sizes: partial bytes at the row ends, Adam7 passes that miss
        // whole columns or rows.
        PngPicture picture = RandomPicture(type, depth, 13, 11, seed++);
        const std::vector<std::uint8_t> expected = Expected(picture);
        for (const bool interlaced : {false, true}) {
            picture.interlaced = interlaced;
            PxBitmap bitmap;
            const Loaded loaded = LoadBytes(EncodePng(picture), bitmap);
            ASSERT_EQ(loaded.result, 0) << type << "/" << depth;
            EXPECT_EQ(loaded.messages, "");
            EXPECT_EQ(bitmap.FormatId(), 6);
            ASSERT_EQ(bitmap.Width(), 13);
            ASSERT_EQ(bitmap.Height(), 11);
            EXPECT_TRUE(TopDownRgb(bitmap) == expected)
                << "colour type " << type << ", depth " << depth << (interlaced ? ", interlaced" : "");
        }
    }
}

// Records the depth the header step gives the bitmap: it chooses the row
// layout (the store creation that follows makes every bitmap 24-bit).
class HeaderDepthProbe : public PxDecoderPNG {
public:
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override
    {
        const int result = PxDecoderPNG::ReadHeader(stream, bitmap);
        depth = bitmap.BitsPerPixel();
        return result;
    }
    int depth = -1;
};

TEST(PxDecoderPNG, HeaderDepthChoosesTheRowLayout)
{
    const int cases[][3] = {{0, 1, 8}, {0, 16, 8}, {3, 4, 8}, {2, 8, 32}, {2, 16, 32}, {4, 8, 32}, {6, 16, 32}};
    for (const auto& [type, depth, layout] : cases) {
        TempDir dir;
        const std::string path = dir.Write("p.png", EncodePng(RandomPicture(type, depth, 3, 2, 1)));
        PxFileStream stream;
        ASSERT_EQ(stream.Open(path.c_str()), 0);
        HeaderDepthProbe decoder;
        PxBitmap bitmap;
        ASSERT_EQ(decoder.Decode(stream, bitmap), 0);
        EXPECT_EQ(decoder.depth, layout) << type << "/" << depth;
        EXPECT_EQ(bitmap.BitsPerPixel(), 24);
    }
}

TEST(PxDecoderPNG, GreyLevelsAndTheHighByte)
{
    PngPicture twoBit;
    twoBit.width = 4;
    twoBit.height = 2;
    twoBit.colorType = 0;
    twoBit.bitDepth = 2;
    twoBit.samples = {0, 1, 2, 3, 3, 2, 1, 0};
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(EncodePng(twoBit), bitmap).result, 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(bitmap, 1, 0), (Rgb{85, 85, 85}));
    EXPECT_EQ(PixelAt(bitmap, 2, 0), (Rgb{170, 170, 170}));
    EXPECT_EQ(PixelAt(bitmap, 3, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(PixelAt(bitmap, 0, 1), (Rgb{255, 255, 255}));

    // 0x12FF shows 0x12, not the rounded 0x13.
    PngPicture deep;
    deep.width = 1;
    deep.height = 2;
    deep.bitDepth = 16;
    deep.samples = {0x12FF, 0x3480, 0xFFFF, 0x00FF, 0x0100, 0x8000};
    PxBitmap deepBitmap;
    ASSERT_EQ(LoadBytes(EncodePng(deep), deepBitmap).result, 0);
    EXPECT_EQ(PixelAt(deepBitmap, 0, 0), (Rgb{0x12, 0x34, 0xFF}));
    EXPECT_EQ(PixelAt(deepBitmap, 0, 1), (Rgb{0x00, 0x01, 0x80}));
}

TEST(PxDecoderPNG, AlphaAndTransparencyAreIgnored)
{
    // A fully transparent pixel shows its stored colour, unblended.
    PngPicture rgba;
    rgba.width = 2;
    rgba.height = 1;
    rgba.colorType = 6;
    rgba.samples = {200, 100, 50, 0, 10, 20, 30, 128};
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(EncodePng(rgba), bitmap).result, 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{200, 100, 50}));
    EXPECT_EQ(PixelAt(bitmap, 1, 0), (Rgb{10, 20, 30}));

    // A palette with tRNS is shown opaque.
    PngPicture indexed;
    indexed.width = 2;
    indexed.height = 1;
    indexed.colorType = 3;
    indexed.palette = {{{255, 0, 0}}, {{0, 0, 255}}};
    indexed.paletteAlpha = {0, 64};
    indexed.samples = {0, 1};
    PxBitmap indexedBitmap;
    ASSERT_EQ(LoadBytes(EncodePng(indexed), indexedBitmap).result, 0);
    EXPECT_EQ(PixelAt(indexedBitmap, 0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(PixelAt(indexedBitmap, 1, 0), (Rgb{0, 0, 255}));
}

TEST(PxDecoderPNG, IndexBeyondThePaletteIsBlack)
{
    PngPicture picture;
    picture.width = 3;
    picture.height = 2;
    picture.colorType = 3;
    picture.palette = {{{10, 20, 30}}, {{250, 240, 230}}};
    picture.samples = {0, 1, 2, 255, 1, 0};
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(EncodePng(picture), bitmap).result, 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(PixelAt(bitmap, 1, 0), (Rgb{250, 240, 230}));
    EXPECT_EQ(PixelAt(bitmap, 2, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(bitmap, 0, 1), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(bitmap, 2, 1), (Rgb{10, 20, 30}));
}

TEST(PxDecoderPNG, PngSuiteShowsWhatTheRulesImply)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kSuite)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".png" || name[0] == 'x') {
            continue;
        }
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> expected;
        ASSERT_TRUE(DecodeUnderViewerRules(entry.path().string(), &width, &height, &expected)) << name;
        PxBitmap bitmap;
        const Loaded loaded = LoadFile(entry.path().string(), bitmap);
        ASSERT_EQ(loaded.result, 0) << name;
        EXPECT_EQ(loaded.messages, "") << name;
        ASSERT_EQ(bitmap.Width(), width) << name;
        ASSERT_EQ(bitmap.Height(), height) << name;
        EXPECT_TRUE(TopDownRgb(bitmap) == expected) << name;
        ++checked;
    }
    EXPECT_EQ(checked, 161);
}

TEST(PxDecoderPNG, PngSuiteInterlacedPairsAreIdentical)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    for (const auto& entry : std::filesystem::directory_iterator(kSuite)) {
        const std::string name = entry.path().filename().string();
        const std::size_t at = name.find('i');
        if (!(name.rfind("basi", 0) == 0 || (name[0] == 's' && at == 3))) {
            continue;
        }
        std::string plain = name;
        plain[3] = 'n';
        PxBitmap interlaced;
        PxBitmap progressive;
        ASSERT_EQ(LoadFile(entry.path().string(), interlaced).result, 0) << name;
        ASSERT_EQ(LoadFile(kSuite + plain, progressive).result, 0) << plain;
        EXPECT_TRUE(TopDownRgb(interlaced) == TopDownRgb(progressive)) << name;
    }
}

TEST(PxDecoderPNG, PngSuiteCorruptFilesNeverCrash)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    // Broken signatures and headers fail; a damaged image checksum may
    // leave a partial picture.
    const char* mustFail[] = {"xs1n0g01", "xs2n0g01", "xs4n0g01", "xs7n0g01", "xcrn0g04", "xlfn0g04",
                              "xhdn0g08", "xc1n0g08", "xc9n2c08", "xd0n2c08", "xd3n2c08", "xd9n2c08"};
    for (const char* name : mustFail) {
        PxBitmap bitmap;
        const Loaded loaded = LoadFile(kSuite + name + ".png", bitmap);
        EXPECT_EQ(loaded.result, 1) << name;
        if (bitmap.FormatId() == 6) {
            // Signatures broken in the first four bytes are not even PNG.
            EXPECT_NE(loaded.messages.find("libpng error: "), std::string::npos) << name;
        }
    }
    for (const char* name : {"xcsn0g01", "xdtn0g01"}) {
        PxBitmap bitmap;
        const Loaded loaded = LoadFile(kSuite + name + ".png", bitmap);
        EXPECT_TRUE(loaded.result == 0 || loaded.result == 1) << name;
        EXPECT_NE(loaded.messages.find("libpng error: "), std::string::npos) << name;
    }
}

// How many bytes of filtered rows the image data of a (possibly cut) file
// inflates to.
std::size_t InflatableBytes(const std::vector<std::uint8_t>& file)
{
    std::vector<std::uint8_t> data;
    for (std::size_t at = 8; at + 8 <= file.size();) {
        const std::size_t length =
            (std::size_t{file[at]} << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
        const bool imageData = std::equal(file.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                          file.begin() + static_cast<std::ptrdiff_t>(at + 8), "IDAT");
        const std::size_t end = std::min(file.size(), at + 8 + length);
        if (imageData) {
            data.insert(data.end(), file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                        file.begin() + static_cast<std::ptrdiff_t>(end));
        }
        at += 12 + length;
    }
    z_stream z{};
    inflateInit(&z);
    std::vector<std::uint8_t> out(1 << 20);
    z.next_in = data.data();
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    inflate(&z, Z_SYNC_FLUSH);
    const std::size_t produced = z.total_out;
    inflateEnd(&z);
    return produced;
}

TEST(PxDecoderPNG, TruncatedFileKeepsTheRowsThatArrived)
{
    // Random samples hardly compress: every cut loses rows, and the file is
    // longer than the stretch at its end that is read in small blocks.
    const PngPicture picture = RandomPicture(2, 8, 200, 150, 7);
    const auto file = EncodePng(picture);
    ASSERT_GT(file.size(), 80000u);
    const auto full = Expected(picture);
    const std::size_t rowBytes = 200 * 3;
    for (std::size_t length = 1; length < file.size(); length += file.size() / 37) {
        const std::vector<std::uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        PxBitmap bitmap;
        const Loaded loaded = LoadBytes(cut, bitmap);
        if (length < 41) {
            // Cut inside the signature or the header.
            EXPECT_EQ(loaded.result, 1) << length;
            continue;
        }
        ASSERT_EQ(loaded.result, 0) << length;
        const std::vector<std::uint8_t> shown = TopDownRgb(bitmap);
        // Some rows from the top are complete, everything below is black.
        std::size_t rows = 0;
        while (rows < 150 && std::equal(full.begin() + static_cast<std::ptrdiff_t>(rows * rowBytes),
                                        full.begin() + static_cast<std::ptrdiff_t>((rows + 1) * rowBytes),
                                        shown.begin() + static_cast<std::ptrdiff_t>(rows * rowBytes))) {
            ++rows;
        }
        for (std::size_t i = rows * rowBytes; i < shown.size(); ++i) {
            ASSERT_EQ(shown[i], 0) << "cut at " << length << ", complete rows " << rows;
        }
        // At most the row that the cut runs through and one more are lost.
        const std::size_t arrived = InflatableBytes(cut) / (rowBytes + 1);
        EXPECT_GE(rows + 2, arrived) << "cut at " << length;
    }
}

TEST(PxDecoderPNG, TruncatedInterlacedFileIsSafe)
{
    for (const int type : {3, 6}) {
        PngPicture picture = RandomPicture(type, 8, 37, 29, 9);
        picture.interlaced = true;
        const auto file = EncodePng(picture);
        const auto full = Expected(picture);
        for (std::size_t length = 1; length < file.size(); length += 29) {
            PxBitmap bitmap;
            const Loaded loaded = LoadBytes(
                std::vector<std::uint8_t>(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length)), bitmap);
            ASSERT_TRUE(loaded.result == 0 || loaded.result == 1);
            if (loaded.result == 0) {
                // The top-left pixel arrives in the first pass.
                ASSERT_EQ(bitmap.Width(), 37);
            }
        }
    }
}

TEST(PxDecoderPNG, CutInTheLastChecksumStillShowsEveryRow)
{
    for (const bool interlaced : {false, true}) {
        PngPicture picture = RandomPicture(2, 8, 21, 17, 3);
        picture.interlaced = interlaced;
        auto file = EncodePng(picture);
        // Drop the end chunk (12 bytes) and the image data's checksum (4).
        file.erase(file.end() - 16, file.end());
        PxBitmap bitmap;
        const Loaded loaded = LoadBytes(file, bitmap);
        ASSERT_EQ(loaded.result, 0);
        EXPECT_NE(loaded.messages.find("libpng error: "), std::string::npos);
        EXPECT_TRUE(TopDownRgb(bitmap) == Expected(picture)) << (interlaced ? "interlaced" : "plain");
    }
}

TEST(PxDecoderPNG, HugeDimensionsAreRefused)
{
    PngPicture picture = RandomPicture(2, 8, 4, 4, 5);
    auto file = EncodePng(picture);
    // Beyond libpng's own limit of a million pixels a side.
    SetDimensions(file, 2000000, 1);
    PxBitmap beyondLibrary;
    EXPECT_EQ(LoadBytes(file, beyondLibrary).result, 1);
    // A store beyond the cap.
    SetDimensions(file, 20000, 20000);
    PxBitmap beyondCap;
    EXPECT_EQ(LoadBytes(file, beyondCap).result, 1);
}

TEST(PxDecoderPNG, InterlacedRowBuffersAreCappedToo)
{
    // The store fits (867 MB), but a buffer of four bytes a pixel for every
    // row would exceed the cap: the rows are not read and the picture
    // stays black instead of taking that memory.
    PngPicture picture = RandomPicture(6, 8, 4, 4, 6);
    picture.interlaced = true;
    auto file = EncodePng(picture);
    SetDimensions(file, 17000, 17000);
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(file, bitmap).result, 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(bitmap, 16999, 16999), (Rgb{0, 0, 0}));
}

}  // namespace

}  // namespace brelvix
