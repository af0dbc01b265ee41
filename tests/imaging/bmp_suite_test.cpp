// The public bitmap conformance files in ../shared/testdata: every good file
// against its reference rendering, every questionable and bad file for a
// clean result, and what this viewer's own rules show where they differ from
// a general-purpose decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
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

const std::string kSuite = SharedTestdata("bmpsuite/");
const std::string kImageRs = SharedTestdata("image-rs-image/");

enum class Expect {
    // The reference rendering, colour channels exactly.
    Reference,
    // The reference within one step per channel: channels wider than 8 bits,
    // which the reference rounds through 16-bit samples.
    ReferenceWithin1,
    // The reference with every channel taken back to 5 bits and shifted
    // left by 3: 16-bit 5-5-5 pixels show white as 248 here.
    Reference555,
    // The reference with red and green exchanged: colour profiles are not
    // applied, and this file relies on one to swap them back.
    ReferenceRedGreenSwapped,
    // A black picture of the reference's size: a depth this viewer does not
    // interpret.
    Black,
    // Loads (result 0) with the header's size; what it shows is not fixed.
    Loads,
    // The load fails with 1.
    Fails,
};

struct SuiteFile {
    std::string file;
    std::string reference;  // under bmpsuite/html unless it names a folder
    Expect expect;
};

std::uint8_t To555(std::uint8_t value)
{
    return static_cast<std::uint8_t>(((value * 31 + 127) / 255) << 3);
}

// Checks a loaded picture against the reference rendering after `expect`'s
// transformation; reports the number of differing pixels and the first one.
// Pixels the reference makes fully transparent are not compared: it does not
// keep their colour, while this viewer shows the stored one.
void ExpectMatchesReference(const PxBitmap& bitmap, const std::string& referencePath, Expect expect)
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
    ASSERT_TRUE(ReadPngReferenceRgba(referencePath, &width, &height, &rgba)) << "cannot read " << referencePath;
    ASSERT_EQ(bitmap.Width(), width);
    ASSERT_EQ(bitmap.Height(), height);
    const auto shown = [expect](Rgb want) {
        switch (expect) {
            case Expect::Reference555:
                return Rgb{To555(want.r), To555(want.g), To555(want.b)};
            case Expect::ReferenceRedGreenSwapped:
                return Rgb{want.g, want.r, want.b};
            case Expect::Black:
                return Rgb{};
            default:
                return want;
        }
    };
    const ReferenceComparison comparison =
        CompareWithReference(bitmap, rgba, 1, shown, expect == Expect::ReferenceWithin1 ? 1 : 0);
    EXPECT_GE(comparison.compared, width * height / 2) << "too few opaque reference pixels";
    EXPECT_EQ(comparison.differing, 0) << comparison.first;
}

void Check(const std::string& folder, const SuiteFile& entry)
{
    SCOPED_TRACE(folder + entry.file);
    PxBitmap bitmap;
    const int result = bitmap.CreateFromFile((folder + entry.file).c_str());
    EXPECT_EQ(bitmap.FormatId(), kPxFormatBMP);
    if (entry.expect == Expect::Fails) {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(bitmap.Pixels(), nullptr);
        return;
    }
    ASSERT_EQ(result, 0);
    ASSERT_NE(bitmap.Pixels(), nullptr);
    if (entry.expect == Expect::Loads) {
        return;
    }
    const std::string reference =
        entry.reference.find('/') == std::string::npos ? kSuite + "html/" + entry.reference : entry.reference;
    ExpectMatchesReference(bitmap, reference, entry.expect);
}

// Every .bmp file directly in `folder`, by name.
std::set<std::string> FilesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        if (item.path().extension() == ".bmp") {
            names.insert(item.path().filename().string());
        }
    }
    return names;
}

// Fails when the folder holds a file the table does not cover (or the other
// way round), so that no file of the suite goes unchecked.
void ExpectCoversFolder(const std::string& folder, const std::vector<SuiteFile>& table)
{
    std::set<std::string> listed;
    for (const SuiteFile& entry : table) {
        listed.insert(entry.file);
    }
    EXPECT_EQ(FilesIn(folder), listed) << folder;
}

TEST(BmpSuite, GoodFilesMatchTheirReferences)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    const std::vector<SuiteFile> good = {
        {"pal1.bmp", "pal1.png", Expect::Reference},
        {"pal1wb.bmp", "pal1.png", Expect::Reference},
        {"pal1bg.bmp", "pal1bg.png", Expect::Reference},
        {"pal4.bmp", "pal4.png", Expect::Reference},
        {"pal4gs.bmp", "pal4gs.png", Expect::Reference},
        {"pal4rle.bmp", "pal4.png", Expect::Reference},
        {"pal8.bmp", "pal8.png", Expect::Reference},
        {"pal8-0.bmp", "pal8.png", Expect::Reference},
        {"pal8gs.bmp", "pal8gs.png", Expect::Reference},
        {"pal8rle.bmp", "pal8.png", Expect::Reference},
        {"pal8w124.bmp", "pal8w124.png", Expect::Reference},
        {"pal8w125.bmp", "pal8w125.png", Expect::Reference},
        {"pal8w126.bmp", "pal8w126.png", Expect::Reference},
        {"pal8topdown.bmp", "pal8.png", Expect::Reference},
        // Pixels are shown as stored; the resolution fields are not used to stretch.
        {"pal8nonsquare.bmp", "pal8nonsquare-e.png", Expect::Reference},
        {"pal8os2.bmp", "pal8.png", Expect::Reference},
        {"pal8v4.bmp", "pal8.png", Expect::Reference},
        {"pal8v5.bmp", "pal8.png", Expect::Reference},
        // 5-5-5 without bit fields and with the default masks: white is 248.
        {"rgb16.bmp", "rgb16.png", Expect::Reference555},
        {"rgb16bfdef.bmp", "rgb16.png", Expect::Reference555},
        {"rgb16-565.bmp", "rgb16-565.png", Expect::Reference},
        {"rgb16-565pal.bmp", "rgb16-565.png", Expect::Reference},
        {"rgb24.bmp", "rgb24.png", Expect::Reference},
        {"rgb24pal.bmp", "rgb24.png", Expect::Reference},
        {"rgb32.bmp", "rgb24.png", Expect::Reference},
        {"rgb32bfdef.bmp", "rgb24.png", Expect::Reference},
        {"rgb32bf.bmp", "rgb24.png", Expect::Reference},
    };
    ExpectCoversFolder(kSuite + "g", good);
    for (const SuiteFile& entry : good) {
        Check(kSuite + "g/", entry);
    }
}

TEST(BmpSuite, BitmapArrayWrapper)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    Check(kSuite + "x/", {"ba-bm.bmp", "pal8.png", Expect::Reference});
}

TEST(BmpSuite, QuestionableFiles)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    const std::vector<SuiteFile> questionable = {
        // A 1-entry palette: index 1 is not covered and shows black.
        {"pal1p1.bmp", "pal1p1.png", Expect::Reference},
        {"pal2.bmp", "pal2.png", Expect::Black},
        {"pal2color.bmp", "pal2color.png", Expect::Black},
        // Run-length pictures whose skipped pixels stay black.
        {"pal4rletrns.bmp", "pal4rletrns-b.png", Expect::Reference},
        {"pal8rletrns.bmp", "pal8rletrns-b.png", Expect::Reference},
        {"pal4rlecut.bmp", "pal4rlecut-b.png", Expect::Reference},
        {"pal8rlecut.bmp", "pal8rlecut-b.png", Expect::Reference},
        {"pal8offs.bmp", "pal8.png", Expect::Reference},
        {"pal8oversizepal.bmp", "pal8.png", Expect::Reference},
        {"pal8os2-sz.bmp", "pal8.png", Expect::Reference},
        {"pal8os2-hs.bmp", "pal8.png", Expect::Reference},
        // A core header always has a full 256-entry table, so a shorter one
        // takes the first pixel rows with it.
        {"pal8os2sp.bmp", "pal8.png", Expect::Loads},
        {"pal8os2v2.bmp", "pal8.png", Expect::Reference},
        {"pal8os2v2-16.bmp", "pal8.png", Expect::Reference},
        {"pal8os2v2-sz.bmp", "pal8.png", Expect::Reference},
        {"pal8os2v2-40sz.bmp", "pal8.png", Expect::Reference},
        // OS/2 run-length 24-bit and Huffman 1-bit data are read as plain pixels.
        {"rgb24rle24.bmp", "pal8.png", Expect::Loads},
        {"pal1huffmsb.bmp", "pal1.png", Expect::Loads},
        {"rgb16faketrns.bmp", "rgb16.png", Expect::Reference555},
        {"rgb16-231.bmp", "rgb16-231.png", Expect::Reference},
        {"rgb16-3103.bmp", "rgb16-3103.png", Expect::Reference},
        {"rgba16-4444.bmp", "rgba16-4444.png", Expect::Reference},
        // Colour masks of the 5-5-5 layout plus an alpha bit.
        {"rgba16-5551.bmp", "rgba16-5551.png", Expect::Reference555},
        {"rgba16-1924.bmp", "rgba16-1924.png", Expect::Reference},
        {"rgb24largepal.bmp", "rgb24.png", Expect::Reference},
        {"rgb24prof.bmp", "rgb24.png", Expect::Reference},
        {"rgb24prof2.bmp", "rgb24.png", Expect::ReferenceRedGreenSwapped},
        {"rgb24lprof.bmp", "rgb24.png", Expect::Reference},
        // Embedded JPEG and PNG data have depth 0.
        {"rgb24jpeg.bmp", "rgb24.png", Expect::Black},
        {"rgb24png.bmp", "rgb24.png", Expect::Black},
        {"rgb32h52.bmp", "rgb24.png", Expect::Reference},
        {"rgb32-xbgr.bmp", "rgb24.png", Expect::Reference},
        // The unused byte is not alpha here.
        {"rgb32fakealpha.bmp", "rgb24.png", Expect::Reference},
        // 11-bit channels made from the 8-bit picture with rounding of their own.
        {"rgb32-111110.bmp", "rgb24.png", Expect::ReferenceWithin1},
        {"rgb32-7187.bmp", "rgb32-7187.png", Expect::Reference},
        {"rgba32-1.bmp", "rgba32.png", Expect::Reference},
        {"rgba32-2.bmp", "rgba32.png", Expect::Reference},
        {"rgba32-1010102.bmp", "rgba32-1010102.png", Expect::Reference},
        {"rgba32-81284.bmp", "rgba32-81284.png", Expect::Reference},
        {"rgba32-61754.bmp", "rgba32-61754.png", Expect::Reference},
        {"rgba32abf.bmp", "rgba32.png", Expect::Reference},
        {"rgba32h56.bmp", "rgba32.png", Expect::Reference},
        {"rgba64.bmp", "rgba32.png", Expect::Black},
    };
    ExpectCoversFolder(kSuite + "q", questionable);
    for (const SuiteFile& entry : questionable) {
        Check(kSuite + "q/", entry);
    }
}

TEST(BmpSuite, BadFiles)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    const std::vector<SuiteFile> bad = {
        {"badbitcount.bmp", "pal1.png", Expect::Black},
        // Wrong fields that nothing here reads.
        {"badbitssize.bmp", "pal1.png", Expect::Reference},
        {"baddens1.bmp", "pal1.png", Expect::Reference},
        {"baddens2.bmp", "pal1.png", Expect::Reference},
        {"badfilesize.bmp", "pal1.png", Expect::Reference},
        {"badplanes.bmp", "pal1.png", Expect::Reference},
        // A 66-byte header: its 26 extra bytes are passed over, and the
        // colour table is read from there.
        {"badheadersize.bmp", "pal1.png", Expect::Loads},
        {"badpalettesize.bmp", "pal8.png", Expect::Black},
        {"badrle.bmp", "", Expect::Loads},
        {"badrlebis.bmp", "", Expect::Loads},
        {"badrleter.bmp", "", Expect::Loads},
        {"badrle4.bmp", "", Expect::Loads},
        {"badrle4bis.bmp", "", Expect::Loads},
        {"badrle4ter.bmp", "", Expect::Loads},
        {"badwidth.bmp", "", Expect::Fails},
        {"pal8badindex.bmp", "", Expect::Loads},
        {"reallybig.bmp", "", Expect::Fails},
        {"rgb16-880.bmp", "rgb16-880.png", Expect::Reference},
        // Run-length rows may go top-down here.
        {"rletopdown.bmp", "pal8.png", Expect::Reference},
        {"shortfile.bmp", "", Expect::Loads},
    };
    ExpectCoversFolder(kSuite + "b", bad);
    for (const SuiteFile& entry : bad) {
        Check(kSuite + "b/", entry);
    }
}

TEST(BmpSuite, ImageRsFilesMatchTheirReferences)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    const std::string folder = kImageRs + "bmp/";
    const std::string references = kImageRs + "bmp/reference/";
    // Every 6 x 6 picture of the set shows the same colours; its references
    // of files with an alpha channel are fully transparent, because the
    // origin applies the alpha this viewer ignores.
    const std::string sixBySix = references + "Info_8_Bit.bmp.png";
    auto own = [&](const std::string& name) { return references + name + ".png"; };
    const std::vector<SuiteFile> table = {
        {"Core_1_Bit.bmp", own("Core_1_Bit.bmp"), Expect::Reference},
        {"Core_4_Bit.bmp", own("Core_4_Bit.bmp"), Expect::Reference},
        {"Core_8_Bit.bmp", own("Core_8_Bit.bmp"), Expect::Reference},
        {"Info_1_Bit.bmp", own("Info_1_Bit.bmp"), Expect::Reference},
        {"Info_1_Bit_Top_Down.bmp", own("Info_1_Bit.bmp"), Expect::Reference},
        {"Info_4_Bit.bmp", sixBySix, Expect::Reference},
        {"Info_4_Bit_Top_Down.bmp", sixBySix, Expect::Reference},
        {"Info_8_Bit.bmp", sixBySix, Expect::Reference},
        {"Info_8_Bit_Top_Down.bmp", sixBySix, Expect::Reference},
        {"Info_A8_R8_G8_B8.bmp", sixBySix, Expect::Reference},
        {"Info_A8_R8_G8_B8_Top_Down.bmp", sixBySix, Expect::Reference},
        {"Info_R8_G8_B8.bmp", sixBySix, Expect::Reference},
        {"Info_R8_G8_B8_Top_Down.bmp", sixBySix, Expect::Reference},
        // 5-5-5 colour masks, with or without an alpha bit, show white as 248.
        {"Info_X1_R5_G5_B5.bmp", sixBySix, Expect::Reference555},
        {"Info_X1_R5_G5_B5_Top_Down.bmp", sixBySix, Expect::Reference555},
        {"V3_A1_R5_G5_B5.bmp", sixBySix, Expect::Reference555},
        {"V3_A1_R5_G5_B5_Top_Down.bmp", sixBySix, Expect::Reference555},
        {"V3_A4_R4_G4_B4.bmp", sixBySix, Expect::Reference},
        {"V3_A4_R4_G4_B4_Top_Down.bmp", sixBySix, Expect::Reference},
        {"V3_R5_G6_B5.bmp", sixBySix, Expect::Reference},
        {"V3_R5_G6_B5_Top_Down.bmp", sixBySix, Expect::Reference},
        {"V3_X4_R4_G4_B4.bmp", sixBySix, Expect::Reference},
        {"V3_X4_R4_G4_B4_Top_Down.bmp", sixBySix, Expect::Reference},
        {"V3_X8_R8_G8_B8.bmp", sixBySix, Expect::Reference},
        {"V3_X8_R8_G8_B8_Top_Down.bmp", sixBySix, Expect::Reference},
        {"V4_A8_R8_G8_B8.bmp", own("V4_A8_R8_G8_B8.bmp"), Expect::Reference},
        {"V4_R5_G6_B5.bmp", own("V4_R5_G6_B5.bmp"), Expect::Reference},
        {"V5_A1_R5_G5_B5.bmp", own("V5_A1_R5_G5_B5.bmp"), Expect::Reference555},
        {"V5_A8_R8_G8_B8_Rgb.bmp", own("V5_A8_R8_G8_B8_Rgb.bmp"), Expect::Reference},
    };
    ExpectCoversFolder(folder, table);
    for (const SuiteFile& entry : table) {
        Check(folder, entry);
    }
}

TEST(BmpSuite, ImageRsBadAndLenientFilesEndCleanly)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    const std::vector<SuiteFile> bad = {
        {"Bad_badbitcount.bmp", "", Expect::Loads}, {"Bad_clrsUsed.bmp", "", Expect::Loads},
        {"Bad_height.bmp", "", Expect::Fails},      {"Bad_reallybig.bmp", "", Expect::Fails},
        {"Bad_shortfile.bmp", "", Expect::Loads},   {"Bad_unusual_extend_buffer_usage.bmp", "", Expect::Loads},
        {"Bad_width.bmp", "", Expect::Fails},
    };
    ExpectCoversFolder(kImageRs + "bmp-bad", bad);
    for (const SuiteFile& entry : bad) {
        Check(kImageRs + "bmp-bad/", entry);
    }
    const std::vector<SuiteFile> lenient = {
        {"V5_A8_R8_G8_B8_Rgb_BadMask.bmp", "", Expect::Loads},
        {"rle_overflow.bmp", "", Expect::Loads},
    };
    ExpectCoversFolder(kImageRs + "bmp/lenient", lenient);
    for (const SuiteFile& entry : lenient) {
        Check(kImageRs + "bmp/lenient/", entry);
    }
}

}  // namespace

}  // namespace brelvix
