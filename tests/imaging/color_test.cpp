#include <gtest/gtest.h>
#include <jpeglib.h>
#include <lcms2.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/color_convert.h"
#include "imaging/color_profile.h"
#include "imaging/orientation.h"
#include "support/avif_writer.h"
#include "support/decode_bytes.h"
#include "support/exif_writer.h"
#include "support/heif_writer.h"
#include "support/icc_profiles.h"
#include "support/jpeg_writer.h"
#include "support/jxl_writer.h"
#include "support/pixels.h"
#include "support/png_writer.h"
#include "support/raw_picture.h"
#include "support/sample_picture.h"
#include "support/temp_dir.h"
#include "support/tiff_writer.h"
#include "support/webp_writer.h"

namespace brelvix {

namespace {

using Bytes = std::vector<std::uint8_t>;

// An odd width, so that the store's rows carry padding.
constexpr int kWidth = 61;
constexpr int kHeight = 37;

PngPicture SamplePng(int width = kWidth, int height = kHeight)
{
    const SamplePicture sample = RenderSamplePicture(width, height);
    PngPicture png;
    png.width = width;
    png.height = height;
    png.samples.assign(sample.rgb.begin(), sample.rgb.end());
    return png;
}

Bytes SampleJpeg(const Bytes& profile)
{
    const SamplePicture sample = RenderSamplePicture(kWidth, kHeight);
    JpegWriterOptions options;
    options.iccProfile = profile;
    return EncodeJpeg(kWidth, kHeight, sample.rgb, options);
}

PxColorProfile Srgb()
{
    PxColorProfile target;
    PxSetSrgbProfile(&target);
    return target;
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

Bytes TiffWithProfile(const Bytes& profile)
{
    const SamplePicture sample = RenderSamplePicture(kWidth, kHeight);
    TiffPage page;
    page.width = kWidth;
    page.height = kHeight;
    page.samplesPerPixel = 3;
    page.photometric = PHOTOMETRIC_RGB;
    page.samples = sample.rgb;
    page.iccProfile = profile;
    TempDir dir;
    const std::string path = (dir.Path() / "profile.tif").string();
    return WriteTiff(path, {page}) ? ReadFile(path) : Bytes{};
}

// CMYK samples as libjpeg delivers them with the decoder's settings, as
// amounts of ink (files with an Adobe marker store them inverted).
Bytes DecodeCmykReference(const Bytes& file)
{
    jpeg_decompress_struct decompressor{};
    jpeg_error_mgr errors{};
    decompressor.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&decompressor);
    jpeg_mem_src(&decompressor, file.data(), file.size());
    jpeg_read_header(&decompressor, TRUE);
    decompressor.dct_method = JDCT_FLOAT;
    decompressor.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&decompressor);
    Bytes samples(std::size_t{decompressor.output_width} * decompressor.output_height * 4);
    for (JSAMPROW row = samples.data(); decompressor.output_scanline < decompressor.output_height;
         row += 4 * decompressor.output_width) {
        jpeg_read_scanlines(&decompressor, &row, 1);
    }
    const bool inverted = decompressor.saw_Adobe_marker != FALSE;
    jpeg_finish_decompress(&decompressor);
    jpeg_destroy_decompress(&decompressor);
    for (std::uint8_t& value : samples) {
        value = inverted ? static_cast<std::uint8_t>(255 - value) : value;
    }
    return samples;
}

// The largest difference of two pictures' bytes; 256 for different sizes.
int MaxDifference(const Bytes& a, const Bytes& b)
{
    int most = a.size() == b.size() ? 0 : 256;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        most = std::max(most, std::abs(a[i] - b[i]));
    }
    return most;
}

}  // namespace

// Matrix profiles go through tables of the library's own, which come within
// a step of lcms2's (each rounds linear light to 14 bits in its own way).
TEST(PxConvertColors, GivesWhatLcms2ItselfComputesForTheSamePixels)
{
    const Bytes p3 = MakeTestProfile(TestProfile::kDisplayP3);
    for (const TestProfile kind : {TestProfile::kAdobeRgb, TestProfile::kDisplayP3, TestProfile::kProPhoto}) {
        for (const bool toP3 : {false, true}) {
            const Bytes profile = MakeTestProfile(kind);
            PngPicture png = SamplePng();
            png.iccProfile = profile;
            PxBitmap bitmap;
            ASSERT_EQ(DecodeBytes(EncodePng(png), &bitmap), 0);
            const Bytes stored = TopDownRgb(bitmap);
            PxColorProfile target = Srgb();
            ASSERT_TRUE(!toP3 || PxTargetFromIcc(p3.data(), p3.size(), &target));
            ASSERT_EQ(PxConvertColors(bitmap, target), 0);

            const Bytes expected =
                LcmsConvert(profile, TYPE_RGB_8, toP3 ? p3 : Bytes{}, TYPE_RGB_8, stored.data(), stored.size() / 3);
            const bool same = kind == TestProfile::kDisplayP3 && toP3;
            EXPECT_LE(MaxDifference(TopDownRgb(bitmap), same ? stored : expected), 1)
                << static_cast<int>(kind) << " " << toP3;
            EXPECT_TRUE(same || stored != expected);
        }
    }
}

TEST(PxConvertColors, GreyPicturesConvertThroughAGreyProfile)
{
    const Bytes profile = MakeTestProfile(TestProfile::kGrey);
    PngPicture png = SamplePng();
    png.colorType = 0;
    png.samples.resize(kWidth * kHeight);
    Bytes grey;
    for (std::size_t i = 0; i < png.samples.size(); ++i) {
        png.samples[i] = static_cast<std::uint16_t>(i % 256);
        grey.push_back(static_cast<std::uint8_t>(i % 256));
    }
    png.iccProfile = profile;
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(EncodePng(png), &bitmap), 0);
    ASSERT_EQ(bitmap.Meta().profile.description, "Test grey");
    ASSERT_EQ(PxConvertColors(bitmap, Srgb()), 0);
    EXPECT_LE(
        MaxDifference(TopDownRgb(bitmap), LcmsConvert(profile, TYPE_GRAY_8, {}, TYPE_RGB_8, grey.data(), grey.size())),
        1);
}

TEST(PxConvertColors, ProPhotoRedShowsAsTheProfileMeansIt)
{
    // (200, 60, 40) in ProPhoto RGB is a red beyond sRGB's reach, shown
    // as sRGB's nearest.
    PngPicture png = SamplePng(1, 1);
    png.samples = {200, 60, 40};
    png.iccProfile = MakeTestProfile(TestProfile::kProPhoto);
    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(EncodePng(png), &bitmap), 0);
    ASSERT_EQ(PxConvertColors(bitmap, Srgb()), 0);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Rgb{255, 0, 43}));
}

TEST(PxConvertColors, UntaggedAndSrgbPicturesOnAnSrgbTargetStayAsTheyAre)
{
    PngPicture named = SamplePng();
    named.srgb = true;
    // sRGB saved as a profile of its own, under its own name.
    cmsHPROFILE builtIn = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(builtIn, nullptr, &size);
    Bytes saved(size);
    cmsSaveProfileToMem(builtIn, saved.data(), &size);
    cmsCloseProfile(builtIn);
    PngPicture embedded = SamplePng();
    embedded.iccProfile = saved;
    for (const PngPicture& png : {SamplePng(), named, embedded}) {
        PxBitmap bitmap;
        ASSERT_EQ(DecodeBytes(EncodePng(png), &bitmap), 0);
        EXPECT_EQ(bitmap.Meta().profile.srgb, png.srgb || !png.iccProfile.empty());
        const Bytes stored = TopDownRgb(bitmap);
        EXPECT_EQ(PxConvertColors(bitmap, Srgb()), 0);
        EXPECT_EQ(TopDownRgb(bitmap), stored);
    }
}

TEST(PxPictureMeta, EveryFormatFindsItsProfile)
{
    const Bytes adobe = MakeTestProfile(TestProfile::kAdobeRgb);
    const Bytes p3 = MakeTestProfile(TestProfile::kDisplayP3);
    // Two APP2 segments.
    const Bytes large = MakeTestProfile(TestProfile::kProPhoto, 80000);
    ASSERT_GT(large.size(), 65519u);
    const RawPicture raw = RawFromSample(RenderSamplePicture(32, 24));
    const RawPicture deep = Widened(raw, 10);

    PngPicture iccp = SamplePng();
    iccp.iccProfile = p3;
    PngPicture named = SamplePng();
    named.srgb = true;
    PngPicture gamma = SamplePng();
    gamma.gamma = 0.45455;
    PngPicture primaries = gamma;
    primaries.chromaticities = {0.3127, 0.3290, 0.64, 0.33, 0.21, 0.71, 0.15, 0.06};
    PngPicture cicp = SamplePng();
    cicp.cicp = {12, 13, 0, 1};
    // cICP comes before iCCP.
    PngPicture both = iccp;
    both.cicp = {9, 16, 0, 1};
    PngPicture wide = SamplePng();
    wide.bitDepth = 16;
    for (std::uint16_t& sample : wide.samples) {
        sample = static_cast<std::uint16_t>(sample * 257);
    }
    WebpWriterOptions webp;
    webp.iccProfile = adobe;
    AvifWriterOptions avifIcc;
    avifIcc.iccProfile = adobe;
    AvifWriterOptions avifNclx;
    avifNclx.primaries = 12;
    avifNclx.transfer = 16;
    HeifWriterOptions heifIcc;
    heifIcc.iccProfile = p3;
    HeifWriterOptions heifNclx;
    heifNclx.primaries = 9;
    heifNclx.transfer = 18;
    JxlWriterOptions jxlIcc;
    jxlIcc.lossless = true;
    jxlIcc.iccProfile = adobe;
    JxlWriterOptions jxlP3;
    jxlP3.lossless = true;
    jxlP3.displayP3 = true;

    struct Case {
        const char* name;
        Bytes file;
        const Bytes* icc;  // the profile the file embeds, or null
        std::string description;
        int bits;
    };
    const Case cases[] = {
        {"JPEG", SampleJpeg(adobe), &adobe, "Test Adobe RGB", 8},
        {"JPEG, several segments", SampleJpeg(large), &large, "Test ProPhoto RGB", 8},
        {"JPEG, none", SampleJpeg({}), nullptr, "", 8},
        {"PNG iCCP", EncodePng(iccp), &p3, "Test Display P3", 8},
        {"PNG sRGB", EncodePng(named), nullptr, "sRGB IEC61966-2.1", 8},
        {"PNG gAMA", EncodePng(gamma), nullptr, "gamma 2.20", 8},
        {"PNG gAMA and cHRM", EncodePng(primaries), nullptr, "gamma 2.20, file's primaries", 8},
        {"PNG cICP", EncodePng(cicp), nullptr, "Display P3 primaries, sRGB transfer", 8},
        {"PNG cICP before iCCP", EncodePng(both), nullptr, "BT.2020 primaries, PQ transfer", 8},
        {"PNG, none, 16 bits", EncodePng(wide), nullptr, "", 16},
        {"TIFF", TiffWithProfile(adobe), &adobe, "Test Adobe RGB", 8},
        {"WebP", EncodeWebp(raw, webp), &adobe, "Test Adobe RGB", 8},
        {"AVIF ICC", EncodeAvif(deep, avifIcc), &adobe, "Test Adobe RGB", 10},
        {"AVIF nclx", EncodeAvif(raw, avifNclx), nullptr, "Display P3 primaries, PQ transfer", 8},
        {"HEIF ICC", EncodeHeif(raw, heifIcc), &p3, "Test Display P3", 8},
        {"HEIF nclx", EncodeHeif(raw, heifNclx), nullptr, "BT.2020 primaries, HLG transfer", 8},
        {"JPEG XL ICC", EncodeJxl({raw}, jxlIcc), &adobe, "Test Adobe RGB", 8},
        {"JPEG XL encoded", EncodeJxl({raw}, jxlP3), nullptr, "Display P3 primaries, sRGB transfer", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.file.empty());
        PxBitmap bitmap;
        ASSERT_EQ(DecodeBytes(c.file, &bitmap), 0);
        const PxPictureMeta& meta = bitmap.Meta();
        EXPECT_EQ(meta.profile.description, c.description);
        EXPECT_EQ(meta.profile.Tagged(), !c.description.empty());
        if (c.icc != nullptr) {
            EXPECT_EQ(meta.profile.icc, *c.icc);
        }
        EXPECT_EQ(meta.bitsPerSample, c.bits);
    }
}

TEST(PxPictureMeta, ProfilesThatCannotBeUsedAreIgnored)
{
    const Bytes adobe = MakeTestProfile(TestProfile::kAdobeRgb);
    Bytes damaged = adobe;
    // Every tag's data said to lie far beyond the profile.
    for (std::size_t tag = 0; tag < damaged[131]; ++tag) {
        damaged[132 + 12 * tag + 4] = 0x7F;
    }
    Bytes truncated(adobe.begin(), adobe.begin() + static_cast<long>(adobe.size() / 2));
    Bytes text(600, 'x');
    // A whole profile that says it is 4 MiB and a byte long.
    Bytes huge = adobe;
    huge.resize((std::size_t{4} << 20) + 1);
    huge[0] = 0x00;
    huge[1] = 0x40;
    huge[2] = 0x00;
    huge[3] = 0x01;

    const Bytes untagged = SampleJpeg({});
    PxBitmap reference;
    ASSERT_EQ(DecodeBytes(untagged, &reference), 0);
    const struct {
        const char* name;
        Bytes profile;
    } cases[] = {
        {"damaged", damaged},
        {"truncated", truncated},
        {"not a profile", text},
        {"grey on colour", MakeTestProfile(TestProfile::kGrey)},
        {"CMYK on colour", MakeTestProfile(TestProfile::kCmyk)},
        {"over 4 MiB", huge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PxBitmap bitmap;
        ASSERT_EQ(DecodeBytes(SampleJpeg(c.profile), &bitmap), 0);
        EXPECT_FALSE(bitmap.Meta().profile.Tagged());
        EXPECT_EQ(PxConvertColors(bitmap, Srgb()), 0);
        EXPECT_EQ(TopDownRgb(bitmap), TopDownRgb(reference));
    }
    // The same file with the whole profile is tagged.
    PxBitmap tagged;
    ASSERT_EQ(DecodeBytes(SampleJpeg(adobe), &tagged), 0);
    EXPECT_TRUE(tagged.Meta().profile.Tagged());
}

TEST(PxConvertColors, CmykConvertsThroughItsProfileAndTurnsWithThePicture)
{
    const SamplePicture sample = RenderSamplePicture(kWidth, kHeight);
    Bytes cmyk;
    for (std::size_t i = 0; i < sample.rgb.size(); i += 3) {
        cmyk.insert(cmyk.end(), {sample.rgb[i], sample.rgb[i + 1], sample.rgb[i + 2],
                                 static_cast<std::uint8_t>(sample.rgb[i] / 4)});
    }
    const Bytes profile = MakeTestProfile(TestProfile::kCmyk);
    JpegWriterOptions options;
    options.space = JpegSpace::kCmyk;
    options.iccProfile = profile;
    const Bytes file = EncodeJpeg(kWidth, kHeight, cmyk, options);

    PxBitmap bitmap;
    ASSERT_EQ(DecodeBytes(file, &bitmap), 0);
    EXPECT_EQ(bitmap.Meta().profile.description, "Test CMYK");
    ASSERT_EQ(PxConvertColors(bitmap, Srgb()), 0);
    const Bytes samples = DecodeCmykReference(file);
    EXPECT_EQ(TopDownRgb(bitmap),
              LcmsConvert(profile, TYPE_CMYK_8, {}, TYPE_RGB_8, samples.data(), samples.size() / 4));
    EXPECT_FALSE(bitmap.Meta().cmyk);

    // Turned upright first (a quarter turn), then converted: the same
    // picture as converted, then turned.
    PxBitmap turned;
    ASSERT_EQ(DecodeBytes(JpegWithExif(file, ExifWithOrientation(6)), &turned), 0);
    ASSERT_EQ(PxApplyOrientation(turned), 0);
    ASSERT_EQ(PxConvertColors(turned, Srgb()), 0);
    PxBitmap expected;
    ASSERT_EQ(bitmap.Rotate(1, &expected), 0);
    EXPECT_EQ(TopDownRgb(turned), TopDownRgb(expected));
}

}  // namespace brelvix
