#include "imaging/exif_block.h"

#include <gtest/gtest.h>

#include "imaging/exif_info.h"
#include "support/avif_writer.h"
#include "support/byte_builder.h"
#include "support/exif_writer.h"
#include "support/heif_writer.h"
#include "support/jpeg_writer.h"
#include "support/png_writer.h"
#include "support/raw_picture.h"
#include "support/temp_dir.h"
#include "support/webp_writer.h"

namespace brelvix {

namespace {

ExifDirectories Dated(const char* make)
{
    ExifDirectories block;
    block.primary = {ExifText(0x010F, make)};
    block.exif = {ExifText(0x9003, "2021:03:04 05:06:07")};
    return block;
}

std::vector<std::uint8_t> BigEndian(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

// A JPEG segment of `length` payload bytes.
std::vector<std::uint8_t> Segment(std::uint8_t code, std::size_t length)
{
    std::vector<std::uint8_t> segment = {0xFF, code, static_cast<std::uint8_t>((length + 2) >> 8),
                                         static_cast<std::uint8_t>(length + 2)};
    segment.resize(4 + length, 0x20);
    return segment;
}

std::vector<std::uint8_t> Inserted(std::vector<std::uint8_t> file, std::size_t at,
                                   const std::vector<std::uint8_t>& part)
{
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), part.begin(), part.end());
    return file;
}

// The JPEG XL container: signature box, file type, a large-size box, the
// Exif box (an offset of 0, then the TIFF structure) and a codestream box.
std::vector<std::uint8_t> JxlContainer(const std::vector<std::uint8_t>& tiff)
{
    ByteBuilder file;
    file.Raw({0, 0, 0, 12}).Text("JXL ").Raw({0x0D, 0x0A, 0x87, 0x0A});
    file.Raw(BigEndian(20)).Text("ftypjxl ").Raw({0, 0, 0, 0}).Text("jxl ");
    file.Raw(BigEndian(1)).Text("free").Raw({0, 0, 0, 0}).Raw(BigEndian(16 + 3)).Fill(3, 0);
    file.Raw(BigEndian(static_cast<std::uint32_t>(8 + 4 + tiff.size()))).Text("Exif").Raw(BigEndian(0)).Raw(tiff);
    file.Raw(BigEndian(0)).Text("jxlc").Raw({0xFF, 0x0A, 0, 0});
    return file.Bytes();
}

std::vector<std::uint8_t> TinyPng()
{
    PngPicture png;
    png.width = 1;
    png.height = 1;
    png.samples = {1, 2, 3};
    return EncodePng(png);
}

std::vector<std::uint8_t> Patched(std::vector<std::uint8_t> file, std::initializer_list<std::pair<int, int>> bytes)
{
    for (const auto& [at, value] : bytes) {
        file.at(static_cast<std::size_t>(at)) = static_cast<std::uint8_t>(value);
    }
    return file;
}

TEST(PxReadExifBlockOfFile, FindsTheBlockOfEveryFormatThatCarriesOne)
{
    const TempDir folder;
    const RawPicture picture = RawFromSample(RenderSamplePicture(16, 12));
    const std::vector<std::uint8_t> pixels = HighBytesRgb(picture);
    const std::vector<std::uint8_t> jpeg = EncodeJpeg(16, 12, pixels);
    const std::vector<std::uint8_t> block = MakeExifBlock(Dated("Fuji"));
    const std::vector<std::uint8_t> tiff = ExifWithoutHeader(block);

    WebpWriterOptions webp;
    webp.exif = block;
    HeifWriterOptions heif;
    heif.exif = block;
    AvifWriterOptions avif;
    avif.exif = block;
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
    } cases[] = {
        {"a.jpg", JpegWithExif(jpeg, block)},
        // Behind two large segments, beyond the first read of the file.
        {"late.jpg", Inserted(JpegWithExif(jpeg, block), 2, Inserted(Segment(0xE2, 60000), 0, Segment(0xED, 60000)))},
        {"a.png", PngWithExif(TinyPng(), block)},
        {"a.webp", EncodeWebp(picture, webp)},
        {"little.tif", tiff},
        {"big.tif", ExifWithoutHeader(MakeExifBlock(Dated("Fuji"), true))},
        // Its directories far behind the pixels, as libtiff writes them.
        {"far.tif", ExifWithoutHeader(MakeExifBlock(Dated("Fuji"), false, 300000))},
        {"a.jxl", JxlContainer(tiff)},
        {"a.heic", EncodeHeif(picture, heif)},
        {"a.avif", EncodeAvif(picture, avif)},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.file.empty()) << c.name;
        const std::string path = folder.Write(c.name, c.file);
        std::vector<std::uint8_t> found;
        ASSERT_TRUE(PxReadExifBlockOfFile(path, &found)) << c.name;
        const PxExifInfo info = PxReadExifInfo(found.data(), found.size());
        EXPECT_EQ(info.cameraMake, "Fuji") << c.name;
        ASSERT_TRUE(info.taken) << c.name;
        EXPECT_EQ(PxFormatIsoDate(*info.taken), "2021-03-04T05:06:07") << c.name;
    }
}

TEST(PxReadExifBlockOfFile, NothingWhereThereIsNoneOrTheFileLies)
{
    const TempDir folder;
    const std::vector<std::uint8_t> jpeg = EncodeJpeg(8, 8, std::vector<std::uint8_t>(8 * 8 * 3, 90));
    const std::vector<std::uint8_t> block = MakeExifBlock(Dated("Fuji"));
    std::vector<std::uint8_t> cutJxl = JxlContainer(ExifWithoutHeader(block));
    cutJxl.resize(60);  // inside the Exif box
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
    } cases[] = {
        {"plain.jpg", jpeg},
        {"zero.jpg", Patched(JpegWithExif(jpeg, block), {{4, 0}, {5, 0}})},  // a segment length of 0
        {"endless.jpg", Patched(JpegWithExif(jpeg, block), {{4, 0xFF}})},    // a length past the end
        {"huge.png", Patched(PngWithExif(TinyPng(), block), {{33, 0x7F}})},  // an eXIf of two gigabytes
        {"loop.tif", Patched(ExifWithoutHeader(block), {{4, 0}})},           // first directory in the header
        {"none.tif", Patched(ExifWithoutHeader(block), {{8, 0}, {9, 0}})},   // first directory without entries
        {"empty.jpg", {}},
        {"cut.jxl", cutJxl},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> found = {1};
        EXPECT_FALSE(PxReadExifBlockOfFile(folder.Write(c.name, c.file), &found)) << c.name;
        EXPECT_TRUE(found.empty()) << c.name;
    }
    std::vector<std::uint8_t> found;
    EXPECT_FALSE(PxReadExifBlockOfFile((folder.Path() / "missing.jpg").string(), &found));
    EXPECT_FALSE(PxReadExifBlockOfFile(folder.Path().string(), &found));
}

}  // namespace

}  // namespace brelvix
