// Targa files of the public suites against their reference renderings.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/format_detect.h"
#include "support/pixels.h"
#include "support/png_reference.h"
#include "support/shared_testdata.h"

namespace brelvix {

namespace {

const std::string kSuite = SharedTestdata("image-rs-image/tga-testsuite/");
const std::string kPillow = SharedTestdata("pillow/tga/");

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

Picture Reference(const std::string& path)
{
    Picture picture;
    EXPECT_TRUE(ReadPngReference(path, &picture.width, &picture.height, &picture.rgb)) << path;
    return picture;
}

Picture Decoded(const std::string& path)
{
    PxBitmap bitmap;
    EXPECT_EQ(bitmap.CreateFromFile(path.c_str()), 0) << path;
    EXPECT_EQ(bitmap.FormatId(), kPxFormatTGA);
    return Picture{bitmap.Width(), bitmap.Height(), TopDownRgb(bitmap)};
}

// 5-bit channels are shown as value << 3; references widen them to 8 bits.
Picture FiveBit(Picture picture)
{
    for (auto& value : picture.rgb) {
        value &= 0xF8;
    }
    return picture;
}

void ExpectSame(const Picture& actual, const Picture& expected, const std::string& name)
{
    ASSERT_EQ(actual.width, expected.width) << name;
    ASSERT_EQ(actual.height, expected.height) << name;
    int differing = 0;
    for (std::size_t i = 0; i < actual.rgb.size(); ++i) {
        differing += actual.rgb[i] != expected.rgb[i];
    }
    EXPECT_EQ(differing, 0) << name << ": " << differing << " of " << actual.rgb.size() << " channel values differ";
}

TEST(TgaConformance, SuiteFilesMatchTheirReferences)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    for (const char* name : {"utc24", "utc32", "ctc24", "ubw8", "cbw8", "cmap_offset"}) {
        ExpectSame(Decoded(kSuite + name + ".tga"), Reference(kSuite + "reference/" + name + ".tga.png"), name);
    }
    for (const char* name : {"b5-attrib", "b5-noattrib", "b5-unused-cmap", "b5-cmap"}) {
        ExpectSame(Decoded(kSuite + name + ".tga"), FiveBit(Reference(kSuite + "reference/" + name + ".tga.png")),
                   name);
    }
    // 16-bit pixels and maps of 16-bit entries: the true-colour picture in 5 bits.
    const Picture truth = FiveBit(Reference(kSuite + "reference/utc24.tga.png"));
    for (const char* name : {"utc16", "ucm8", "ccm8"}) {
        ExpectSame(Decoded(kSuite + name + ".tga"), truth, name);
    }
}

// The four origin files are coded with packets that run across row ends,
// which this viewer cuts at the row end; only the rows the file stores
// before the first such packet takes effect (the first three) look like the
// reference. The right-to-left bit is not honoured: right-origin files show
// their rows as stored.
TEST(TgaConformance, OriginFilesMatchTheirReferencesUpToTheFirstCrossingPacket)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    for (const std::string name : {"top_left", "top_right", "bottom_left", "bottom_right"}) {
        const Picture reference = Reference(kSuite + "reference/" + name + ".tga.png");
        const Picture decoded = Decoded(kSuite + name + ".tga");
        ASSERT_EQ(decoded.width, reference.width) << name;
        ASSERT_EQ(decoded.height, reference.height) << name;
        const bool topFirst = name.starts_with("top");
        const bool mirrored = name.ends_with("right");
        const int width = reference.width;
        for (int k = 0; k < 3; ++k) {
            const int y = topFirst ? k : reference.height - 1 - k;
            for (int x = 0; x < width; ++x) {
                const int source = mirrored ? width - 1 - x : x;
                for (int c = 0; c < 3; ++c) {
                    ASSERT_EQ(decoded.rgb[(y * width + x) * 3 + c], reference.rgb[(y * width + source) * 3 + c])
                        << name << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(TgaConformance, PillowCommonFilesMatchTheirReferences)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    const std::string folder = kPillow + "common/";
    int compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string file = entry.path().filename().string();
        if (entry.path().extension() != ".tga") {
            continue;
        }
        // {W}x{H}_{mode}_{origin}_{compression}.tga shows {W}x{H}_{mode}.png.
        const std::string stem = file.substr(0, file.find('_', file.find('_') + 1));
        ExpectSame(Decoded(folder + file), Reference(folder + stem + ".png"), file);
        ++compared;
    }
    EXPECT_EQ(compared, 24);
}

TEST(TgaConformance, PillowFilesMatchTheirReferences)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    const std::string common = kPillow + "common/";
    ExpectSame(Decoded(kPillow + "200x32_p_bl_raw_origin.tga"), Reference(common + "200x32_p.png"), "origin");
    // The two files differ only in the descriptor (0x00 and 0x30): the same
    // rows shown bottom-up and top-down; the right-to-left bit changes nothing.
    const Picture bottom = Decoded(kPillow + "rgb32rle.tga");
    Picture top = Decoded(kPillow + "rgb32rle_top_right.tga");
    ASSERT_EQ(top.rgb.size(), bottom.rgb.size());
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(top.width);
    for (int y = 0; y < top.height / 2; ++y) {
        std::swap_ranges(top.rgb.begin() + y * rowBytes, top.rgb.begin() + (y + 1) * rowBytes,
                         top.rgb.end() - (y + 1) * rowBytes);
    }
    ExpectSame(top, bottom, "rgb32rle_top_right");
}

TEST(TgaConformance, PacketsCrossingRowsAreCutAtTheRowEnd)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    // 2 x 2 grey, bottom row first: a raw packet of 3 pixels (0, 255, 255)
    // gives the bottom row 0, 255 and drops the third pixel; the top row
    // starts with a fresh packet header (0: one pixel, 0), then another.
    PxBitmap bitmap;
    ASSERT_EQ(bitmap.CreateFromFile((kPillow + "cross_scan_line.tga").c_str()), 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 1), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(bitmap, 1, 1), (Rgb{255, 255, 255}));
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(bitmap, 1, 0), (Rgb{0, 0, 0}));
}

TEST(TgaConformance, OtherFilesLoadOrFailWithoutHarm)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    struct Case {
        std::string path;
        int result;
    };
    const std::string regression = SharedTestdata("image-rs-image/tga-regression/");
    const std::vector<Case> cases = {
        {regression + "bad-color-map.tga", 1},              // width 0
        {regression + "flip-zero-height.tga", 1},           // not a plausible header
        {regression + "flip-zero-height2.tga", 1},          // not a plausible header
        {regression + "orientation-zero-width.tga", 1},     // width 0
        {regression + "overfull-image.tga", 1},             // not a plausible header
        {regression + "sixteen-bit-gray-colormap.tga", 1},  // 41792 x 25443 exceeds the store cap
        {regression + "sixteen-bit-gray-colormap2.tga", 0},
        {regression + "slice-copy-length.tga", 0},  // 8224 x 32 from 18 bytes: zeros
        {kPillow + "cross_scan_line_truncated.tga", 0},
        {kPillow + "p_8.tga", 0},  // header only
        {kPillow + "la.tga", 0},
        {kPillow + "p_16.tga", 0},
        {kPillow + "rgba16.tga", 0},
        {kPillow + "tga_id_field.tga", 0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(std::filesystem::exists(c.path)) << c.path;
        PxBitmap bitmap;
        EXPECT_EQ(bitmap.CreateFromFile(c.path.c_str()), c.result) << c.path;
    }
}

}  // namespace

}  // namespace brelvix
