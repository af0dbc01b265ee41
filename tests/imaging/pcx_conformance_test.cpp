// PCX files of the public suites.
#include <gtest/gtest.h>

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

const std::string kExtras = SharedTestdata("image-extras/pcx/");
const std::string kPillow = SharedTestdata("pillow/pcx/");

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};

TEST(PcxConformance, FilesMatchTheirReferences)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    // 8 bits with the palette at the end (one pad byte per line), and the
    // same picture in three 8-bit planes (odd line length, no padding).
    for (const std::string name : {"256-palette", "24bit"}) {
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> expected;
        ASSERT_TRUE(ReadPngReference(kExtras + name + ".png", &width, &height, &expected)) << name;
        PxBitmap bitmap;
        ASSERT_EQ(bitmap.CreateFromFile((kExtras + name + ".pcx").c_str()), 0) << name;
        EXPECT_EQ(bitmap.FormatId(), kPxFormatPCX);
        ASSERT_EQ(bitmap.Width(), width);
        ASSERT_EQ(bitmap.Height(), height);
        EXPECT_TRUE(TopDownRgb(bitmap) == expected) << name;
    }
}

TEST(PcxConformance, PillowPictures)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    // 1 x 1, four 1-bit planes: bits 0 and 1 set, header colour 3 is red.
    PxBitmap planes;
    ASSERT_EQ(planes.CreateFromFile((kPillow + "p_4_planes.pcx").c_str()), 0);
    EXPECT_EQ(PixelAt(planes, 0, 0), (Rgb{255, 0, 0}));

    // A black signature on white, 1 bit.
    PxBitmap mono;
    ASSERT_EQ(mono.CreateFromFile((kPillow + "pil184.pcx").c_str()), 0);
    ASSERT_EQ(mono.Width(), 447);
    ASSERT_EQ(mono.Height(), 144);
    EXPECT_EQ(PixelAt(mono, 0, 0), kWhite);
    EXPECT_EQ(PixelAt(mono, 446, 143), kWhite);
    EXPECT_EQ(PixelAt(mono, 6, 130), kBlack);  // the foot of the first stroke

    // 8 bits, an odd line length of 371 bytes: white page with rows of
    // pictures and captions; lines that slipped would tilt the white margin.
    PxBitmap odd;
    ASSERT_EQ(odd.CreateFromFile((kPillow + "odd_stride.pcx").c_str()), 0);
    ASSERT_EQ(odd.Width(), 371);
    ASSERT_EQ(odd.Height(), 150);
    for (int y = 0; y < 150; ++y) {
        ASSERT_EQ(PixelAt(odd, 0, y), kWhite) << y;
        ASSERT_EQ(PixelAt(odd, 370, y), kWhite) << y;
    }
}

TEST(PcxConformance, MalformedFilesFailOrLoadWithoutHarm)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    struct Case {
        std::string name;
        int result;
    };
    const std::vector<Case> cases = {
        {"01r_00.pcx", 0},                    // bytes per line 12 for 88 pixels: unpadded lines
        {"ossfuzz-4836216264589312.pcx", 1},  // encoding 32: not recognised
        {"pcx_overrun.bin", 0},               // bytes per line 52 for 447 1-bit pixels
        {"pcx_overrun2.bin", 0},              // 2 planes, bytes per line 2 for 256 pixels
    };
    for (const Case& c : cases) {
        const std::string path = kPillow + c.name;
        ASSERT_TRUE(std::filesystem::exists(path)) << path;
        PxBitmap bitmap;
        EXPECT_EQ(bitmap.CreateFromFile(path.c_str()), c.result) << c.name;
    }
}

}  // namespace

}  // namespace brelvix
