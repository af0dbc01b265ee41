#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/alpha.h"
#include "imaging/bitmap.h"
#include "imaging/orientation.h"
#include "support/avif_writer.h"
#include "support/byte_builder.h"
#include "support/decode_bytes.h"
#include "support/exif_writer.h"
#include "support/gif_writer.h"
#include "support/heif_writer.h"
#include "support/jpeg_writer.h"
#include "support/jxl_writer.h"
#include "support/pixels.h"
#include "support/png_writer.h"
#include "support/raw_picture.h"
#include "support/sample_picture.h"
#include "support/temp_dir.h"
#include "support/tga_writer.h"
#include "support/tiff_writer.h"
#include "support/webp_writer.h"

namespace brelvix {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kWidth = 12;
constexpr int kHeight = 5;

// The plane top row first, as the files list their pixels.
Bytes TopDownAlpha(const PxBitmap& bitmap)
{
    Bytes alpha;
    for (int y = bitmap.Height() - 1; bitmap.HasAlpha() && y >= 0; --y) {
        const std::uint8_t* row = bitmap.Alpha() + static_cast<std::ptrdiff_t>(y) * bitmap.Width();
        alpha.insert(alpha.end(), row, row + bitmap.Width());
    }
    return alpha;
}

// A one-row picture of one colour with the given alpha per pixel.
void Fill(PxBitmap* bitmap, Rgb color, std::initializer_list<std::uint8_t> alphas)
{
    bitmap->SetDimensions(static_cast<int>(alphas.size()), 1, 24);
    ASSERT_EQ(bitmap->CreatePixelStore(), 0);
    ASSERT_EQ(bitmap->CreateAlphaPlane(), 0);
    int x = 0;
    for (const std::uint8_t a : alphas) {
        std::uint8_t* p = bitmap->Pixels() + 3 * x;
        p[0] = color.b;
        p[1] = color.g;
        p[2] = color.r;
        bitmap->Alpha()[x++] = a;
    }
}

RawPicture Transparent()
{
    return RawFromSample(RenderSamplePicture(kWidth, kHeight), true);
}

Bytes AlphaOf(const RawPicture& raw)
{
    Bytes alpha;
    for (std::size_t i = 3; i < raw.samples.size(); i += 4) {
        alpha.push_back(static_cast<std::uint8_t>(raw.samples[i]));
    }
    return alpha;
}

Bytes ReadFile(const std::string& path)
{
    FILE* in = std::fopen(path.c_str(), "rb");
    Bytes bytes;
    for (int c; in != nullptr && (c = std::fgetc(in)) != EOF;) {
        bytes.push_back(static_cast<std::uint8_t>(c));
    }
    if (in != nullptr) {
        std::fclose(in);
    }
    return bytes;
}

Bytes Tiff(const TiffPage& page)
{
    TempDir dir;
    const std::string path = (dir.Path() / "alpha.tif").string();
    return WriteTiff(path, {page}) ? ReadFile(path) : Bytes{};
}

// A 32-bit BMP (no bit fields) whose fourth bytes are `alpha`.
Bytes Bmp32(const RawPicture& raw, bool keepAlpha)
{
    ByteBuilder file;
    const std::uint32_t pixels = 4 * kWidth * kHeight;
    file.Text("BM").U32(54 + pixels).U32(0).U32(54);
    file.U32(40).I32(kWidth).I32(kHeight).U16(1).U16(32).U32(0).U32(pixels).U32(0).U32(0).U32(0).U32(0);
    for (int y = kHeight - 1; y >= 0; --y) {
        for (int x = 0; x < kWidth; ++x) {
            const std::uint16_t* p = &raw.samples[4 * (static_cast<std::size_t>(y) * kWidth + x)];
            file.U8(p[2]).U8(p[1]).U8(p[0]).U8(keepAlpha ? p[3] : 0);
        }
    }
    return file.Bytes();
}

}  // namespace

TEST(PxAlpha, BlendsOverAColourAsBrowsersDo)
{
    // (a * c + (255 - a) * background + 127) / 255, worked by hand.
    const struct {
        Rgb color;
        std::uint32_t background;  // red in the low byte
        Rgb expected[3];           // at alpha 0, 128 and 255
    } cases[] = {
        // A half-transparent red over white is pink.
        {{255, 0, 0}, 0xFFFFFF, {{255, 255, 255}, {255, 127, 127}, {255, 0, 0}}},
        {{10, 200, 30}, 0xFFFFFF, {{255, 255, 255}, {132, 227, 142}, {10, 200, 30}}},
        {{255, 0, 0}, 0x604020, {{32, 64, 96}, {144, 32, 48}, {255, 0, 0}}},
        {{10, 200, 30}, 0x604020, {{32, 64, 96}, {21, 132, 63}, {10, 200, 30}}},
    };
    for (const auto& c : cases) {
        PxBitmap bitmap;
        Fill(&bitmap, c.color, {0, 128, 255});
        PxBlendOverColor(bitmap, c.background);
        EXPECT_FALSE(bitmap.HasAlpha());
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(PixelAt(bitmap, x, 0), c.expected[x]) << c.color << " alpha pixel " << x;
        }
    }
    // Colours already multiplied by alpha: red at 128 keeps 128 of its 255.
    PxBitmap premultiplied;
    Fill(&premultiplied, {128, 0, 0}, {128});
    PxBlendOverColor(premultiplied, 0xFFFFFF, true);
    EXPECT_EQ(PixelAt(premultiplied, 0, 0), (Rgb{255, 127, 127}));
}

TEST(PxAlpha, CheckerboardSquaresAreAnchoredWhereTheCallerSays)
{
    const Rgb white{255, 255, 255};
    const Rgb grey{204, 204, 204};
    const struct {
        int originX;
        int originY;
        int x;
        int y;
        Rgb expected;
    } cases[] = {
        {0, 0, 0, 0, white},   {0, 0, 7, 7, white},  {0, 0, 8, 0, grey},   {0, 0, 0, 8, grey},
        {0, 0, 8, 8, white},   {0, 0, 16, 9, grey},  {4, 0, 3, 0, white},  {4, 0, 4, 0, grey},
        {-1, -1, 0, 0, white}, {-1, -1, 1, 0, grey}, {-9, 3, 0, 4, white}, {-9, 3, 0, 5, grey},
    };
    for (const auto& c : cases) {
        PxBitmap bitmap;
        bitmap.SetDimensions(20, 20, 24);
        ASSERT_EQ(bitmap.CreatePixelStore(), 0);
        ASSERT_EQ(bitmap.CreateAlphaPlane(), 0);
        std::memset(bitmap.Alpha(), 0, 400);
        PxBlendOverCheckerboard(bitmap, c.originX, c.originY);
        EXPECT_EQ(PixelAt(bitmap, c.x, c.y), c.expected)
            << c.originX << "," << c.originY << " at " << c.x << "," << c.y;
    }
    // Half-transparent red on either square.
    PxBitmap red;
    Fill(&red, {255, 0, 0}, {128, 128});
    PxBlendOverCheckerboard(red, 7, 0);
    EXPECT_EQ(PixelAt(red, 0, 0), (Rgb{255, 127, 127}));
    EXPECT_EQ(PixelAt(red, 1, 0), (Rgb{230, 102, 102}));
}

TEST(PxAlpha, DecodersKeepTheTransparencyTheyRead)
{
    const RawPicture raw = Transparent();
    const Bytes alpha = AlphaOf(raw);
    RawPicture opaque = raw;
    for (std::size_t i = 3; i < opaque.samples.size(); i += 4) {
        opaque.samples[i] = 255;
    }
    auto png = [](const RawPicture& picture, int type) {
        PngPicture p;
        p.width = picture.width;
        p.height = picture.height;
        p.colorType = type;
        for (std::size_t i = 0; i < picture.samples.size(); i += 4) {
            p.samples.insert(p.samples.end(), picture.samples.begin() + static_cast<long>(i),
                             picture.samples.begin() + static_cast<long>(i) + (type == 6 ? 4 : 3));
            if (type == 4) {
                p.samples.resize(p.samples.size() - 3);
                p.samples.push_back(picture.samples[i + 1]);
                p.samples.push_back(picture.samples[i + 3]);
            }
        }
        return EncodePng(p);
    };
    // Palette, grey and RGB pictures whose column x has value x % 4, and one
    // transparent entry or value.
    auto indexed = [](int type, int bits, int clearValue) {
        PngPicture p;
        p.width = kWidth;
        p.height = kHeight;
        p.colorType = type;
        p.bitDepth = bits;
        for (int i = 0; i < kWidth * kHeight; ++i) {
            const int v = i % kWidth % 4;
            // 16 bits: values sharing their high byte with the clear one.
            const int value = bits == 16 ? clearValue + v - 1 : v;
            p.samples.insert(p.samples.end(), type == 2 ? 3 : 1, static_cast<std::uint16_t>(value));
        }
        if (type == 3) {
            p.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}};
            p.paletteAlpha = {0, 128};
        } else {
            p.transparentValue = clearValue;
        }
        return EncodePng(p);
    };
    auto columns = [](std::initializer_list<std::uint8_t> byColumn) {
        Bytes result;
        for (int i = 0; i < kWidth * kHeight; ++i) {
            result.push_back(byColumn.begin()[i % kWidth % 4]);
        }
        return result;
    };
    GifPicture gif;
    gif.width = kWidth;
    gif.height = kHeight;
    gif.globalTable = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    GifFrame frame;
    frame.width = kWidth;
    frame.height = kHeight;
    frame.graphicsControl = true;
    frame.transparentIndex = 2;
    for (int i = 0; i < kWidth * kHeight; ++i) {
        frame.indices.push_back(static_cast<std::uint8_t>(i % kWidth % 4));
    }
    gif.frames = {frame};
    GifPicture inset = gif;
    inset.frames[0] = GifFrame{};
    inset.frames[0].left = 2;
    inset.frames[0].top = 1;
    inset.frames[0].width = 4;
    inset.frames[0].height = 3;
    inset.frames[0].indices = Bytes(12, 1);
    Bytes insetAlpha(kWidth * kHeight, 0);
    for (int y = 1; y < 4; ++y) {
        std::memset(insetAlpha.data() + y * kWidth + 2, 255, 4);
    }
    Bytes bgra;
    for (std::size_t i = 0; i < raw.samples.size(); i += 4) {
        bgra.insert(bgra.end(),
                    {static_cast<std::uint8_t>(raw.samples[i + 2]), static_cast<std::uint8_t>(raw.samples[i + 1]),
                     static_cast<std::uint8_t>(raw.samples[i]), static_cast<std::uint8_t>(raw.samples[i + 3])});
    }
    TgaOptions tga;
    tga.depth = 32;
    tga.descriptorBits = 8;
    TiffPage page;
    page.width = kWidth;
    page.height = kHeight;
    page.samplesPerPixel = 4;
    page.photometric = PHOTOMETRIC_RGB;
    page.extraSamples = {EXTRASAMPLE_UNASSALPHA};
    for (const std::uint16_t sample : raw.samples) {
        page.samples.push_back(static_cast<std::uint8_t>(sample));
    }
    TiffPage grey = page;
    grey.samplesPerPixel = 2;
    grey.photometric = PHOTOMETRIC_MINISBLACK;
    grey.samples.clear();
    for (std::size_t i = 0; i < raw.samples.size(); i += 4) {
        grey.samples.push_back(static_cast<std::uint8_t>(raw.samples[i]));
        grey.samples.push_back(static_cast<std::uint8_t>(raw.samples[i + 3]));
    }
    WebpWriterOptions webp;
    webp.lossless = true;
    AvifWriterOptions avif;
    avif.lossless = true;
    JxlWriterOptions jxl;
    jxl.lossless = true;

    const struct {
        const char* name;
        Bytes file;
        Bytes alpha;  // top row first; empty: no plane
        int tolerance;
    } cases[] = {
        {"PNG RGBA", png(raw, 6), alpha, 0},
        {"PNG grey and alpha", png(raw, 4), alpha, 0},
        {"PNG opaque RGBA", png(opaque, 6), {}, 0},
        {"PNG palette with tRNS", indexed(3, 8, 0), columns({0, 128, 255, 255}), 0},
        {"PNG grey with tRNS", indexed(0, 8, 2), columns({255, 255, 0, 255}), 0},
        {"PNG 16-bit grey with tRNS", indexed(0, 16, 0x1234), columns({255, 0, 255, 255}), 0},
        {"PNG RGB with tRNS", indexed(2, 8, 3), columns({255, 255, 255, 0}), 0},
        {"GIF transparent index", GifBytes(gif), columns({255, 255, 0, 255}), 0},
        {"GIF image inside the screen", GifBytes(inset), insetAlpha, 0},
        {"TGA 32-bit", WriteTga(kWidth, kHeight, bgra, tga), alpha, 0},
        {"BMP 32-bit", Bmp32(raw, true), alpha, 0},
        {"BMP 32-bit, zero fourth bytes", Bmp32(raw, false), {}, 0},
        {"TIFF RGBA", Tiff(page), alpha, 0},
        {"TIFF grey and alpha", Tiff(grey), alpha, 0},
        {"WebP", EncodeWebp(raw, webp), alpha, 0},
        {"AVIF", EncodeAvif(raw, avif), alpha, 0},
        {"HEIF", EncodeHeif(raw), alpha, 12},
        {"JPEG XL", EncodeJxl({raw}, jxl), alpha, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.file.empty());
        PxBitmap bitmap;
        ASSERT_EQ(DecodeBytes(c.file, &bitmap), 0);
        const Bytes kept = TopDownAlpha(bitmap);
        ASSERT_EQ(kept.size(), c.alpha.size());
        for (std::size_t i = 0; i < kept.size(); ++i) {
            ASSERT_LE(std::abs(kept[i] - c.alpha[i]), c.tolerance) << "pixel " << i;
        }
    }
}

TEST(PxAlpha, FollowsThePictureUpright)
{
    // Alpha equal to each pixel's red, so that wherever a pixel goes its
    // alpha must have gone too.
    PngPicture png;
    png.width = 5;
    png.height = 3;
    png.colorType = 6;
    for (int i = 0; i < 15; ++i) {
        const auto red = static_cast<std::uint16_t>(10 + 16 * i);
        png.samples.insert(png.samples.end(), {red, 7, 9, red});
    }
    for (int orientation = 1; orientation <= 8; ++orientation) {
        PxBitmap bitmap;
        ASSERT_EQ(DecodeBytes(PngWithExif(EncodePng(png), ExifWithOrientation(orientation)), &bitmap), 0);
        ASSERT_EQ(PxApplyOrientation(bitmap), 0);
        ASSERT_TRUE(bitmap.HasAlpha());
        EXPECT_EQ(bitmap.Width(), orientation >= 5 ? 3 : 5);
        const Bytes alpha = TopDownAlpha(bitmap);
        const Bytes rgb = TopDownRgb(bitmap);
        for (std::size_t i = 0; i < alpha.size(); ++i) {
            EXPECT_EQ(alpha[i], rgb[3 * i]) << "orientation " << orientation << " pixel " << i;
        }
    }
}

TEST(PxAlpha, APartOfTheScaledPictureHasTheAlphaOfTheSamePlace)
{
    const RawPicture raw = RawFromSample(RenderSamplePicture(37, 23), true);
    PngPicture png;
    png.width = 37;
    png.height = 23;
    png.colorType = 6;
    png.samples = raw.samples;
    PxBitmap source;
    ASSERT_EQ(DecodeBytes(EncodePng(png), &source), 0);
    ASSERT_TRUE(source.HasAlpha());
    for (const auto& size : {std::pair{90, 50}, std::pair{20, 11}}) {
        PxBitmap whole;
        ASSERT_EQ(source.Scale(size.first, size.second, &whole), 0);
        PxBitmap part;
        const int x = size.first / 4;
        const int y = size.second / 3;
        const int w = size.first / 2;
        const int h = size.second / 2;
        ASSERT_EQ(source.ScalePart(size.first, size.second, x, y, w, h, &part), 0);
        const Bytes all = TopDownAlpha(whole);
        const Bytes some = TopDownAlpha(part);
        ASSERT_EQ(some.size(), static_cast<std::size_t>(w * h));
        for (int row = 0; row < h; ++row) {
            for (int column = 0; column < w; ++column) {
                ASSERT_EQ(some[static_cast<std::size_t>(row * w + column)],
                          all[static_cast<std::size_t>((y + row) * size.first + x + column)]);
                ASSERT_EQ(PixelAt(part, column, row), PixelAt(whole, x + column, y + row));
            }
        }
    }
}

TEST(PxPictureMeta, KeepsTheExifBlock)
{
    const SamplePicture sample = RenderSamplePicture(kWidth, kHeight);
    const Bytes exif = ExifWithOrientation(6);
    PngPicture png;
    png.width = kWidth;
    png.height = kHeight;
    png.samples.assign(sample.rgb.begin(), sample.rgb.end());
    WebpWriterOptions webp;
    webp.exif = ExifWithoutHeader(exif);
    AvifWriterOptions avif;
    avif.exif = ExifWithoutHeader(exif);
    TiffPage tiff;
    tiff.width = kWidth;
    tiff.height = kHeight;
    tiff.samplesPerPixel = 3;
    tiff.photometric = PHOTOMETRIC_RGB;
    tiff.samples = sample.rgb;
    tiff.orientation = 6;
    tiff.make = "Brelvix test camera";
    const RawPicture raw = RawFromSample(sample);
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"JPEG", JpegWithExif(EncodeJpeg(kWidth, kHeight, sample.rgb), exif)},
        {"PNG", PngWithExif(EncodePng(png), exif)},
        {"WebP", EncodeWebp(raw, webp)},
        {"AVIF", EncodeAvif(raw, avif)},
        {"TIFF", Tiff(tiff)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PxBitmap bitmap;
        ASSERT_EQ(DecodeBytes(c.file, &bitmap), 0);
        const Bytes& kept = bitmap.Meta().exif;
        ASSERT_GE(kept.size(), 8u);
        EXPECT_TRUE(kept[0] == 'I' || kept[0] == 'M');
        EXPECT_EQ(PxExifOrientation(kept.data(), kept.size()), 6);
    }
    PxBitmap tiffBitmap;
    ASSERT_EQ(DecodeBytes(Tiff(tiff), &tiffBitmap), 0);
    const std::string text(tiffBitmap.Meta().exif.begin(), tiffBitmap.Meta().exif.end());
    EXPECT_NE(text.find("Brelvix test camera"), std::string::npos);
}

}  // namespace brelvix
