#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "imaging/bitmap.h"
#include "imaging/format_detect.h"
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

}  // namespace

}  // namespace brelvix
