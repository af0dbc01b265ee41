#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/format_detect.h"
#include "imaging/load_error.h"
#include "support/bmp_writer.h"
#include "support/jpeg_writer.h"
#include "support/sample_picture.h"
#include "support/shared_testdata.h"
#include "support/temp_dir.h"

namespace brelvix {

namespace {

std::vector<std::uint8_t> Header(std::initializer_list<std::uint8_t> start)
{
    std::vector<std::uint8_t> bytes(start);
    bytes.resize(20, 0);
    return bytes;
}

int Classify(const std::vector<std::uint8_t>& bytes)
{
    std::vector<std::uint8_t> padded = bytes;
    padded.resize(20, 0);
    return PxClassifyFormat(padded.data());
}

TEST(DetectFormat, Signatures)
{
    EXPECT_EQ(Classify({'B', 'M'}), kPxFormatBMP);
    EXPECT_EQ(Classify({'B', 'A'}), kPxFormatBMP);
    EXPECT_EQ(Classify({'I', 'C'}), kPxFormatBMP);
    EXPECT_EQ(Classify({'C', 'I'}), kPxFormatBMP);
    EXPECT_EQ(Classify({'C', 'P'}), kPxFormatBMP);
    EXPECT_EQ(Classify({'G', 'I', 'F', '8'}), kPxFormatGIF);
    EXPECT_EQ(Classify({0x49, 0x49, 0x2A, 0x00}), kPxFormatTIFF);
    EXPECT_EQ(Classify({0x4D, 0x4D, 0x00, 0x2A}), kPxFormatTIFF);
    EXPECT_EQ(Classify({0xFF, 0xD8, 0xFF}), kPxFormatJPEG);
    EXPECT_EQ(Classify({0x89, 'P', 'N', 'G'}), kPxFormatPNG);
    EXPECT_EQ(Classify({0x0A, 0x05, 0x01}), kPxFormatPCX);
    EXPECT_EQ(Classify({'8', 'B', 'P', 'S'}), kPxFormatPSD);
    EXPECT_EQ(Classify({}), kPxFormatUnknown);
}

std::vector<std::uint8_t> IsoMedia(const char* major, const char* firstCompatible, std::uint8_t boxSize = 28)
{
    std::vector<std::uint8_t> bytes = {0, 0, 0, boxSize, 'f', 't', 'y', 'p'};
    bytes.insert(bytes.end(), major, major + 4);
    bytes.insert(bytes.end(), {0, 0, 0, 0});
    bytes.insert(bytes.end(), firstCompatible, firstCompatible + 4);
    return bytes;
}

TEST(DetectFormat, NewerFormatsByTheirSignatures)
{
    EXPECT_EQ(Classify({'R', 'I', 'F', 'F', 9, 9, 9, 9, 'W', 'E', 'B', 'P'}), kPxFormatWebP);
    EXPECT_EQ(Classify({'R', 'I', 'F', 'F', 9, 9, 9, 9, 'W', 'A', 'V', 'E'}), kPxFormatUnknown);
    EXPECT_EQ(Classify({0xFF, 0x0A}), kPxFormatJXL);
    EXPECT_EQ(Classify({0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A}), kPxFormatJXL);
    EXPECT_EQ(Classify({0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0B}), kPxFormatUnknown);
    EXPECT_EQ(Classify(IsoMedia("avif", "mif1")), kPxFormatAVIF);
    EXPECT_EQ(Classify(IsoMedia("avis", "msf1")), kPxFormatAVIF);
    // The generic image brand tells by the first compatible brand.
    EXPECT_EQ(Classify(IsoMedia("mif1", "avif")), kPxFormatAVIF);
    EXPECT_EQ(Classify(IsoMedia("mif1", "heic")), kPxFormatHEIF);
    EXPECT_EQ(Classify(IsoMedia("heic", "mif1")), kPxFormatHEIF);
    EXPECT_EQ(Classify(IsoMedia("heix", "mif1")), kPxFormatHEIF);
    EXPECT_EQ(Classify(IsoMedia("msf1", "hevc")), kPxFormatHEIF);
    // Video files share the box, not the brands; a box too short to hold a
    // brand holds none.
    EXPECT_EQ(Classify(IsoMedia("isom", "mp41")), kPxFormatUnknown);
    EXPECT_EQ(Classify(IsoMedia("heic", "mif1", 12)), kPxFormatUnknown);
    EXPECT_EQ(Classify(IsoMedia("mif1", "avif", 16)), kPxFormatHEIF);
}

TEST(DetectFormat, NearMissesAreUnknown)
{
    // "MM" with the little-endian magic is no TIFF.
    EXPECT_EQ(Classify({0x4D, 0x4D, 0x2A, 0x00}), kPxFormatUnknown);
    EXPECT_EQ(Classify({0x49, 0x49, 0x00, 0x2A}), kPxFormatUnknown);
    EXPECT_EQ(Classify({'B', 'B'}), kPxFormatUnknown);
    EXPECT_EQ(Classify({0xFF, 0xD8, 0xFE}), kPxFormatUnknown);
    EXPECT_EQ(Classify({'G', 'I', 'F', '9'}), kPxFormatUnknown);
}

TEST(DetectFormat, TargaIsTestedBeforePcx)
{
    // A version-0 PCX header whose palette starts with 24 passes the Targa test.
    std::vector<std::uint8_t> pcx = Header({0x0A, 0x00, 0x01});
    pcx[16] = 24;
    EXPECT_EQ(Classify(pcx), kPxFormatTGA);
    pcx[16] = 7;
    EXPECT_EQ(Classify(pcx), kPxFormatPCX);

    std::vector<std::uint8_t> tga = Header({0, 0, 2});
    tga[16] = 24;
    EXPECT_EQ(Classify(tga), kPxFormatTGA);
    tga[1] = 2;  // colour-map type 2 is implausible
    EXPECT_EQ(Classify(tga), kPxFormatUnknown);
    tga[1] = 1;
    tga[7] = 12;  // colour-map entry size 12 is implausible
    EXPECT_EQ(Classify(tga), kPxFormatUnknown);
    tga[7] = 0;
    tga[2] = 4;
    EXPECT_EQ(Classify(tga), kPxFormatUnknown);
}

TEST(CreateFromFile, MissingFileFailsAndStaysEmpty)
{
    PxBitmap bitmap;
    EXPECT_EQ(bitmap.CreateFromFile("/nonexistent/brelvix/picture.bmp"), 1);
    EXPECT_EQ(bitmap.FormatId(), 0);
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.CreateFromFile(nullptr), 1);
}

TEST(CreateFromFile, EmptyAndUnknownFilesFail)
{
    TempDir dir;
    PxBitmap empty;
    EXPECT_EQ(empty.CreateFromFile(dir.Write("empty.jpg", std::vector<std::uint8_t>{}).c_str()), 1);
    EXPECT_EQ(empty.FormatId(), 0);
    PxBitmap text;
    EXPECT_EQ(text.CreateFromFile(dir.Write("notes.png", std::string("hello, world\n")).c_str()), 1);
    EXPECT_EQ(text.FormatId(), 0);
}

TEST(CreateFromFile, PsdIsRecognisedButNeverLoads)
{
    TempDir dir;
    const std::string path = dir.Write("layers.psd", Header({'8', 'B', 'P', 'S', 0, 1}));
    PxBitmap bitmap;
    EXPECT_EQ(bitmap.CreateFromFile(path.c_str()), 1);
    EXPECT_EQ(bitmap.FormatId(), kPxFormatPSD);
    char name[8];
    bitmap.GetFormatName(name);
    EXPECT_STREQ(name, "PSD");
    EXPECT_EQ(bitmap.Pixels(), nullptr);
}

TEST(CreateFromFile, FileIsClosedAfterAFailedLoad)
{
    TempDir dir;
    const std::string path = dir.Write("broken.gif", Header({'G', 'I', 'F', '8'}));
    const auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    const auto before = openFiles();
    PxBitmap bitmap;
    EXPECT_EQ(bitmap.CreateFromFile(path.c_str()), 1);
    EXPECT_EQ(bitmap.FormatId(), kPxFormatGIF);
    EXPECT_EQ(openFiles(), before);
    EXPECT_TRUE(std::filesystem::remove(path));
}

// A small JPEG whose frame header names the lossless process, which the
// library does not decode.
std::vector<std::uint8_t> LosslessJpeg()
{
    std::vector<std::uint8_t> bytes = EncodeJpeg(8, 8, std::vector<std::uint8_t>(8 * 8 * 3, 128));
    const std::uint8_t frame[2] = {0xFF, 0xC0};
    const auto at = std::search(bytes.begin(), bytes.end(), frame, frame + 2);
    if (at != bytes.end()) {
        at[1] = 0xC3;
    }
    return bytes;
}

TEST(CreateFromFile, AFailedLoadSaysWhy)
{
    TempDir dir;
    const std::string folder = dir.Path().string();
    const std::string bmp = dir.Write("header-only.bmp", Header({'B', 'M'}));
    const std::string pipe = folder + "/pipe.png";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::vector<std::uint8_t> hugeTga = Header({0, 0, 2});  // 65535 x 65535 at 24 bits
    hugeTga.resize(18, 0);
    hugeTga[12] = hugeTga[13] = hugeTga[14] = hugeTga[15] = 0xFF;
    hugeTga[16] = 24;
    std::vector<std::uint8_t> pcxTwoPlanes = Header({10, 5, 1, 8});
    pcxTwoPlanes.resize(128, 0);
    pcxTwoPlanes[65] = 2;
    const struct {
        const char* what;
        std::string path;
        PxLoadError reason;
        const char* word;
    } cases[] = {
        {"missing folder", "/nonexistent/brelvix/picture.bmp", PxLoadError::NotFound, "not-found"},
        {"missing file", folder + "/absent.png", PxLoadError::NotFound, "not-found"},
        {"file used as a folder", bmp + "/picture.png", PxLoadError::NotFound, "not-found"},
        {"folder", folder, PxLoadError::Unreadable, "unreadable"},
        {"named pipe", pipe, PxLoadError::Unreadable, "unreadable"},
        {"empty file", dir.Write("empty.jpg", std::vector<std::uint8_t>{}), PxLoadError::NotAPicture, "not-a-picture"},
        {"text", dir.Write("notes.png", std::string("hello, world\n")), PxLoadError::NotAPicture, "not-a-picture"},
        {"PSD", dir.Write("layers.psd", Header({'8', 'B', 'P', 'S', 0, 1})), PxLoadError::Unsupported, "unsupported"},
        {"PCX of two planes", dir.Write("planes.pcx", pcxTwoPlanes), PxLoadError::Unsupported, "unsupported"},
        {"lossless JPEG", dir.Write("lossless.jpg", LosslessJpeg()), PxLoadError::Unsupported, "unsupported"},
        {"BMP without a size", bmp, PxLoadError::Damaged, "damaged"},
        {"BMP array of no bitmap", dir.Write("array.bmp", Header({'B', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'X'})),
         PxLoadError::Damaged, "damaged"},
        {"PNG cut in its header", dir.Write("cut.png", Header({0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13})),
         PxLoadError::Damaged, "damaged"},
        {"GIF cut in its header", dir.Write("cut.gif", std::string("GIF89a")), PxLoadError::Damaged, "damaged"},
        {"TIFF without a directory", dir.Write("cut.tif", Header({'I', 'I', 42, 0, 200})), PxLoadError::Damaged,
         "damaged"},
        {"TGA beyond the store cap", dir.Write("huge.tga", hugeTga), PxLoadError::TooLarge, "too-large"},
    };
    for (const auto& c : cases) {
        PxBitmap bitmap;
        EXPECT_EQ(bitmap.CreateFromFile(c.path.c_str()), 1) << c.what;
        EXPECT_EQ(bitmap.LoadError(), c.reason) << c.what;
        EXPECT_STREQ(PxLoadErrorWord(bitmap.LoadError()), c.word) << c.what;
    }
}

TEST(CreateFromFile, TheReasonBelongsToTheLastLoadNotToTheStore)
{
    TempDir dir;
    const std::string good = dir.Write("good.bmp", EncodeBmp(RenderSamplePicture(4, 3), BmpKind::Rgb24));
    PxBitmap loaded;
    ASSERT_EQ(loaded.CreateFromFile(good.c_str()), 0);
    PxBitmap bitmap;
    EXPECT_EQ(bitmap.CreateFromFile(nullptr), 1);
    EXPECT_EQ(bitmap.LoadError(), PxLoadError::NotFound);
    bitmap.CopyFrom(loaded);
    EXPECT_EQ(bitmap.LoadError(), PxLoadError::NotFound);
    ASSERT_EQ(bitmap.CreateFromFile(good.c_str()), 0);
    EXPECT_EQ(bitmap.LoadError(), PxLoadError::None);
    EXPECT_STREQ(PxLoadErrorWord(PxLoadError::None), "");
    EXPECT_STREQ(PxLoadErrorText(PxLoadError::None), "");
}

TEST(CreateFromFile, SharedFilesFailForTheirOwnReasons)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    const struct {
        const char* file;
        PxLoadError reason;
    } cases[] = {
        {"libjpeg-turbo/monkey12.jpg", PxLoadError::Unsupported},
        {"jpeg-decoder/crashtest/max_size.jpg", PxLoadError::TooLarge},
        {"jpeg-decoder/crashtest/missing-sof.jpg", PxLoadError::Damaged},
        {"bmpsuite/b/reallybig.bmp", PxLoadError::TooLarge},
        {"bmpsuite/b/badwidth.bmp", PxLoadError::Damaged},
        {"pngsuite/xcrn0g04.png", PxLoadError::Damaged},
        {"pillow/gif/decompression_bomb.gif", PxLoadError::Damaged},
    };
    for (const auto& c : cases) {
        PxBitmap bitmap;
        EXPECT_EQ(bitmap.CreateFromFile(SharedTestdata(c.file).c_str()), 1) << c.file;
        EXPECT_EQ(bitmap.LoadError(), c.reason) << c.file;
    }
}

TEST(PxLoadError, StoreFailuresAndTheWordsAndTextsOfEveryReason)
{
    EXPECT_EQ(PxStoreError(0, 5), PxLoadError::Damaged);
    EXPECT_EQ(PxStoreError(5, -1), PxLoadError::Damaged);
    EXPECT_EQ(PxStoreError(16000, 16000), PxLoadError::OutOfMemory);  // 768 MB, below the cap
    EXPECT_EQ(PxStoreError(20000, 20000), PxLoadError::TooLarge);
    EXPECT_EQ(PxStoreError(INT32_MAX, 1), PxLoadError::TooLarge);
    std::set<std::string> words;
    std::set<std::string> texts;
    for (int i = static_cast<int>(PxLoadError::NotFound); i <= static_cast<int>(PxLoadError::OutOfMemory); ++i) {
        words.insert(PxLoadErrorWord(static_cast<PxLoadError>(i)));
        texts.insert(PxLoadErrorText(static_cast<PxLoadError>(i)));
    }
    EXPECT_EQ(words.size(), 8u);
    EXPECT_EQ(texts.size(), 8u);
    EXPECT_EQ(words.count(""), 0u);
    EXPECT_EQ(texts.count(""), 0u);
    EXPECT_STREQ(PxLoadErrorText(PxLoadError::NotFound), "File not found");
}

}  // namespace

}  // namespace brelvix
