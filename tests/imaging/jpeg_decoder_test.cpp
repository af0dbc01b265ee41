#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/decoder_jpeg.h"
#include "imaging/file_stream.h"
#include "imaging/load_control.h"
#include "support/jpeg_writer.h"
#include "support/pixels.h"
#include "support/png_reference.h"
#include "support/shared_testdata.h"
#include "support/temp_dir.h"

namespace brelvix {

namespace {

const std::string kTestdata = SharedTestdata();

std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A picture with gradients in every channel and a few hard edges, so that
// chroma subsampling, upsampling and the IDCT all leave their mark.
std::vector<std::uint8_t> Photo(int width, int height)
{
    std::vector<std::uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1));
            p[1] = static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1));
            p[2] = static_cast<std::uint8_t>(((x / 5 + y / 7) % 2) * 200 + 20);
        }
    }
    return rgb;
}

// Four flat 16 x 16 quadrants (whole MCUs, so the colours survive coding):
// top-left, top-right, bottom-left, bottom-right.
template <std::size_t N>
std::vector<std::uint8_t> Quadrants(const std::uint8_t (&colors)[4][N])
{
    std::vector<std::uint8_t> samples;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const int quadrant = (y / 16) * 2 + x / 16;
            samples.insert(samples.end(), colors[quadrant], colors[quadrant] + N);
        }
    }
    return samples;
}

struct Loaded {
    int result = -1;
    std::string messages;  // what the libraries wrote to standard error
};

Loaded LoadBytes(const std::vector<std::uint8_t>& bytes, PxBitmap& bitmap, const std::string& name = "p.jpg")
{
    TempDir dir;
    const std::string path = dir.Write(name, bytes);
    testing::internal::CaptureStderr();
    Loaded loaded;
    loaded.result = bitmap.CreateFromFile(path.c_str());
    loaded.messages = testing::internal::GetCapturedStderr();
    return loaded;
}

int Count(const std::string& text, const std::string& needle)
{
    int count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

void ExpectNear(const Rgb& actual, int r, int g, int b, int tolerance, const char* what)
{
    EXPECT_NEAR(actual.r, r, tolerance) << what << " " << actual;
    EXPECT_NEAR(actual.g, g, tolerance) << what << " " << actual;
    EXPECT_NEAR(actual.b, b, tolerance) << what << " " << actual;
}

// Expects the loaded picture to be exactly what libjpeg alone makes of the
// same bytes with the same settings.
void ExpectSameAsLibrary(const PxBitmap& bitmap, const std::vector<std::uint8_t>& file)
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> expected;
    ASSERT_TRUE(DecodeJpegReference(file, &width, &height, &expected));
    ASSERT_EQ(bitmap.Width(), width);
    ASSERT_EQ(bitmap.Height(), height);
    EXPECT_TRUE(TopDownRgb(bitmap) == expected);
}

double MeanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sum += std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i]));
    }
    return a.empty() ? 0 : sum / static_cast<double>(a.size());
}

// Offset of the first marker `code` (FF code) after the SOI.
std::size_t FindMarker(const std::vector<std::uint8_t>& file, std::uint8_t code)
{
    for (std::size_t i = 2; i + 1 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == code) {
            return i;
        }
    }
    return std::string::npos;
}

TEST(PxDecoderJPEG, BaselineDecodesExactlyAsTheLibraryDoes)
{
    // Odd sizes leave partial MCUs at the right and bottom edges.
    for (const bool subsample : {true, false}) {
        JpegWriterOptions options;
        options.subsample = subsample;
        const auto file = EncodeJpeg(67, 45, Photo(67, 45), options);
        PxBitmap bitmap;
        ASSERT_EQ(LoadBytes(file, bitmap).result, 0);
        EXPECT_EQ(bitmap.FormatId(), 5);
        EXPECT_EQ(bitmap.BitsPerPixel(), 24);
        ExpectSameAsLibrary(bitmap, file);
    }
}

TEST(PxDecoderJPEG, ProgressiveEqualsBaselineOfTheSamePicture)
{
    const auto picture = Photo(83, 61);
    JpegWriterOptions options;
    const auto baseline = EncodeJpeg(83, 61, picture, options);
    options.progressive = true;
    const auto progressive = EncodeJpeg(83, 61, picture, options);
    ASSERT_NE(baseline, progressive);

    PxBitmap fromBaseline;
    PxBitmap fromProgressive;
    ASSERT_EQ(LoadBytes(baseline, fromBaseline).result, 0);
    const Loaded loaded = LoadBytes(progressive, fromProgressive);
    ASSERT_EQ(loaded.result, 0);
    EXPECT_EQ(loaded.messages, "");
    // Progressive coding only reorders the same quantised coefficients.
    EXPECT_TRUE(TopDownRgb(fromProgressive) == TopDownRgb(fromBaseline));
    ExpectSameAsLibrary(fromProgressive, progressive);
}

TEST(PxDecoderJPEG, FirstScanlineIsTheTopRow)
{
    const std::uint8_t colors[4][3] = {{255, 0, 0}, {255, 0, 0}, {0, 0, 255}, {0, 0, 255}};
    JpegWriterOptions options;
    options.quality = 100;
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(EncodeJpeg(32, 32, Quadrants(colors), options), bitmap).result, 0);
    ASSERT_EQ(bitmap.Width(), 32);
    ASSERT_EQ(bitmap.Height(), 32);
    for (const int x : {0, 31}) {
        ExpectNear(PixelAt(bitmap, x, 0), 255, 0, 0, 3, "top row");
        ExpectNear(PixelAt(bitmap, x, 31), 0, 0, 255, 3, "bottom row");
    }
}

TEST(PxDecoderJPEG, GreyscaleFillsAllThreeChannels)
{
    std::vector<std::uint8_t> grey(40 * 24);
    for (std::size_t i = 0; i < grey.size(); ++i) {
        grey[i] = static_cast<std::uint8_t>((i * 7) % 256);
    }
    JpegWriterOptions options;
    options.space = JpegSpace::kGray;
    const auto file = EncodeJpeg(40, 24, grey, options);
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(file, bitmap).result, 0);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 40; ++x) {
            const Rgb c = PixelAt(bitmap, x, y);
            ASSERT_TRUE(c.r == c.g && c.g == c.b) << x << "," << y << " " << c;
        }
    }
    ExpectSameAsLibrary(bitmap, file);
}

// Records the depth the header step gives the bitmap (the store creation
// that follows makes every bitmap 24-bit).
class HeaderDepthProbe : public PxDecoderJPEG {
public:
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override
    {
        const int result = PxDecoderJPEG::ReadHeader(stream, bitmap);
        depth = bitmap.BitsPerPixel();
        return result;
    }
    int depth = -1;
};

TEST(PxDecoderJPEG, HeaderDepthIsEightForGreyAndThirtyTwoForColour)
{
    JpegWriterOptions grey;
    grey.space = JpegSpace::kGray;
    JpegWriterOptions cmyk;
    cmyk.space = JpegSpace::kCmyk;
    const struct {
        std::vector<std::uint8_t> file;
        int depth;
    } cases[] = {
        {EncodeJpeg(8, 8, std::vector<std::uint8_t>(64, 100), grey), 8},
        {EncodeJpeg(8, 8, Photo(8, 8)), 32},
        {EncodeJpeg(8, 8, std::vector<std::uint8_t>(256, 100), cmyk), 32},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = dir.Write("p.jpg", c.file);
        PxFileStream stream;
        ASSERT_EQ(stream.Open(path.c_str()), 0);
        HeaderDepthProbe decoder;
        PxBitmap bitmap;
        ASSERT_EQ(decoder.Decode(stream, bitmap), 0);
        EXPECT_EQ(decoder.depth, c.depth);
        EXPECT_EQ(bitmap.BitsPerPixel(), 24);
    }
}

TEST(PxDecoderJPEG, RgbCodedFileShowsItsColours)
{
    const std::uint8_t colors[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {250, 240, 10}};
    JpegWriterOptions options;
    options.space = JpegSpace::kRgb;
    options.quality = 100;
    const auto file = EncodeJpeg(32, 32, Quadrants(colors), options);
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(file, bitmap).result, 0);
    ExpectNear(PixelAt(bitmap, 0, 0), 255, 0, 0, 2, "top-left");
    ExpectNear(PixelAt(bitmap, 31, 0), 0, 255, 0, 2, "top-right");
    ExpectNear(PixelAt(bitmap, 0, 31), 0, 0, 255, 2, "bottom-left");
    ExpectNear(PixelAt(bitmap, 31, 31), 250, 240, 10, 2, "bottom-right");
    ExpectSameAsLibrary(bitmap, file);
}

TEST(PxDecoderJPEG, FourComponentFilesShowTrueColours)
{
    // Ink amounts of red, green, blue and a 50 % grey made of black only.
    const std::uint8_t ink[4][4] = {{0, 255, 255, 0}, {255, 0, 255, 0}, {255, 255, 0, 0}, {0, 0, 0, 128}};
    std::uint8_t inverted[4][4];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            inverted[i][j] = static_cast<std::uint8_t>(255 - ink[i][j]);
        }
    }
    struct Case {
        const char* name;
        JpegSpace space;
        bool adobeMarker;
        std::vector<std::uint8_t> samples;
    };
    // Without an Adobe marker the values are the ink; with one (always so
    // for YCCK) they are stored inverted.
    const Case cases[] = {
        {"plain CMYK", JpegSpace::kCmyk, false, Quadrants(ink)},
        {"Adobe CMYK", JpegSpace::kCmyk, true, Quadrants(inverted)},
        {"YCCK", JpegSpace::kYcck, true, Quadrants(inverted)},
    };
    for (const Case& c : cases) {
        JpegWriterOptions options;
        options.space = c.space;
        options.adobeMarker = c.adobeMarker;
        options.quality = 100;
        PxBitmap bitmap;
        ASSERT_EQ(LoadBytes(EncodeJpeg(32, 32, c.samples, options), bitmap).result, 0) << c.name;
        ExpectNear(PixelAt(bitmap, 0, 0), 255, 0, 0, 3, c.name);
        ExpectNear(PixelAt(bitmap, 31, 0), 0, 255, 0, 3, c.name);
        ExpectNear(PixelAt(bitmap, 0, 31), 0, 0, 255, 3, c.name);
        ExpectNear(PixelAt(bitmap, 31, 31), 127, 127, 127, 3, c.name);
    }
}

TEST(PxDecoderJPEG, UninterpretedComponentsShowTheFirstAsGrey)
{
    // Two components fill less than the four bytes a pixel of a colour row;
    // five to ten would need more (this libjpeg refuses to decode their
    // scans, which must then fail cleanly). The row buffer holds whatever
    // the library delivers, and the first component is shown as grey.
    for (const int components : {2, 5, 10}) {
        std::vector<std::uint8_t> samples;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                for (int c = 0; c < components; ++c) {
                    samples.push_back(static_cast<std::uint8_t>(c == 0 ? (y < 16 ? 40 : 220) : 255 - 20 * c));
                }
            }
        }
        JpegWriterOptions options;
        options.space = JpegSpace::kOther;
        options.otherComponents = components;
        options.quality = 100;
        const auto file = EncodeJpeg(32, 32, samples, options);
        ASSERT_FALSE(file.empty());
        PxBitmap bitmap;
        const int result = LoadBytes(file, bitmap).result;
        if (components == 2) {
            ASSERT_EQ(result, 0);
        } else if (result != 0) {
            EXPECT_EQ(result, 1);
            continue;
        }
        ExpectNear(PixelAt(bitmap, 0, 0), 40, 40, 40, 2, "top");
        ExpectNear(PixelAt(bitmap, 31, 31), 220, 220, 220, 2, "bottom");
    }
}

TEST(PxDecoderJPEG, YcckPhotographShowsItsColours)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    // A YCCK file from an image editor: red at the top left, black at the
    // bottom right.
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(ReadBytes(kTestdata + "pillow/jpeg/pil_sample_cmyk.jpg"), bitmap).result, 0);
    ASSERT_EQ(bitmap.Width(), 100);
    ASSERT_EQ(bitmap.Height(), 100);
    ExpectNear(PixelAt(bitmap, 0, 0), 255, 13, 25, 12, "top left");
    ExpectNear(PixelAt(bitmap, 99, 99), 0, 0, 0, 12, "bottom right");
}

TEST(PxDecoderJPEG, TruncatedFileLoadsWithOneWarning)
{
    for (const bool progressive : {false, true}) {
        JpegWriterOptions options;
        options.progressive = progressive;
        auto file = EncodeJpeg(64, 64, Photo(64, 64), options);
        file.resize(file.size() * 2 / 3);
        PxBitmap bitmap;
        const Loaded loaded = LoadBytes(file, bitmap);
        ASSERT_EQ(loaded.result, 0);
        EXPECT_EQ(Count(loaded.messages, "Premature end of JPEG file"), 1) << loaded.messages;
        EXPECT_EQ(Count(loaded.messages, "\n"), 1) << loaded.messages;
        // The missing part is whatever the library makes of absent data.
        ExpectSameAsLibrary(bitmap, file);
    }
}

TEST(PxDecoderJPEG, FileThatShrinksWhileLoadingIsReadAsTruncated)
{
    // The size is taken when the file is opened; what the read then cannot
    // deliver must not reach the library as data.
    const auto file = EncodeJpeg(64, 64, Photo(64, 64));
    const std::vector<std::uint8_t> kept(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() / 2));
    TempDir dir;
    const std::string path = dir.Write("shrinking.jpg", file);
    PxFileStream stream;
    ASSERT_EQ(stream.Open(path.c_str()), 0);
    ASSERT_EQ(stream.Size(), file.size());
    std::filesystem::resize_file(path, kept.size());
    PxDecoderJPEG decoder;
    PxBitmap bitmap;
    testing::internal::CaptureStderr();
    const int result = decoder.Decode(stream, bitmap);
    const std::string messages = testing::internal::GetCapturedStderr();
    ASSERT_EQ(result, 0);
    EXPECT_EQ(Count(messages, "Premature end of JPEG file"), 1) << messages;
    ExpectSameAsLibrary(bitmap, kept);
}

TEST(PxDecoderJPEG, FileLargerThanTheCapIsNotRead)
{
    // A good picture followed by zeros up to just past the cap: sparse, so
    // it costs no disk, but a decoder that trusted the size would allocate
    // and read all of it (and then show the picture).
    TempDir dir;
    const std::string path = dir.Write("huge.jpg", EncodeJpeg(8, 8, Photo(8, 8)));
    std::filesystem::resize_file(path, kPxMaxStoreBytes + 1);
    PxBitmap bitmap;
    EXPECT_EQ(bitmap.CreateFromFile(path.c_str()), 1);
    EXPECT_EQ(bitmap.FormatId(), 5);
}

TEST(PxDecoderJPEG, FatalErrorFailsTheLoadAndTheProcessLivesOn)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    struct Case {
        std::vector<std::uint8_t> file;
        const char* message;
    };
    const Case cases[] = {
        {{0xFF, 0xD8, 0xFF}, "JPEG datastream contains no image"},
        {ReadBytes(kTestdata + "libjpeg-turbo/monkey12.jpg"), "Unsupported JPEG data precision 12"},
    };
    for (const Case& c : cases) {
        ASSERT_GT(c.file.size(), 0u);
        PxBitmap bitmap;
        const Loaded loaded = LoadBytes(c.file, bitmap);
        EXPECT_EQ(loaded.result, 1);
        EXPECT_EQ(bitmap.FormatId(), 5);
        EXPECT_EQ(bitmap.Pixels(), nullptr);
        EXPECT_EQ(Count(loaded.messages, c.message), 1) << loaded.messages;
    }
    // The library is still usable afterwards.
    const auto good = EncodeJpeg(8, 8, Photo(8, 8));
    PxBitmap bitmap;
    EXPECT_EQ(LoadBytes(good, bitmap).result, 0);
}

TEST(PxDecoderJPEG, ErrorAfterTheLastScanlineKeepsThePicture)
{
    const auto file = EncodeJpeg(24, 16, Photo(24, 16));
    // Replace the end-of-image marker by a second frame header.
    std::vector<std::uint8_t> damaged(file.begin(), file.end() - 2);
    const std::uint8_t secondFrame[] = {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x10, 0x00,
                                        0x10, 0x01, 0x01, 0x11, 0x00, 0xFF, 0xD9};
    damaged.insert(damaged.end(), std::begin(secondFrame), std::end(secondFrame));
    PxBitmap bitmap;
    const Loaded loaded = LoadBytes(damaged, bitmap);
    EXPECT_EQ(loaded.result, 0);
    EXPECT_EQ(Count(loaded.messages, "two SOF markers"), 1) << loaded.messages;
    ExpectSameAsLibrary(bitmap, file);
}

TEST(PxDecoderJPEG, ArithmeticCodingDecodesLikeTheLibrary)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    const auto file = ReadBytes(kTestdata + "libjpeg-turbo/testimgari.jpg");
    ASSERT_GT(file.size(), 0u);
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(file, bitmap).result, 0);
    EXPECT_EQ(bitmap.Width(), 227);
    EXPECT_EQ(bitmap.Height(), 149);
    ExpectSameAsLibrary(bitmap, file);
}

TEST(PxDecoderJPEG, ReferenceRenderingsMatch)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    // Renderings made by another decoder (its own IDCT, smooth upsampling):
    // equal where no chroma is subsampled, close elsewhere. False colours
    // from a wrong CMYK or RGB reading would be off by tens of levels.
    struct Case {
        const char* name;
        double meanDifference;  // largest accepted, per sample
    };
    const Case cases[] = {
        {"jpeg-decoder/reftest/rgb", 0.1},
        {"jpeg-decoder/reftest/mozilla/jpg-cmyk-1", 0.5},
        {"jpeg-decoder/reftest/mozilla/jpg-cmyk-2", 1.0},
        {"jpeg-decoder/reftest/mozilla/jpg-gray", 0.1},
        {"jpeg-decoder/reftest/mozilla/jpg-progressive", 4.0},
        {"jpeg-decoder/reftest/mozilla/jpg-size-1x1", 0.1},
        {"jpeg-decoder/reftest/mozilla/jpg-size-17x17", 6.0},
        {"jpeg-decoder/reftest/mozilla/jpg-size-33x33", 4.0},
        {"jpeg-decoder/reftest/restarts", 0.1},
        {"jpeg-decoder/reftest/non-interleaved-mcu", 0.1},
        {"jpeg-decoder/reftest/grayscale_16x24_sampling2x2", 0.2},
        {"jpeg-decoder/reftest/16bit-qtables", 0.1},
    };
    for (const Case& c : cases) {
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> expected;
        ASSERT_TRUE(ReadPngReference(kTestdata + c.name + ".png", &width, &height, &expected)) << c.name;
        PxBitmap bitmap;
        ASSERT_EQ(LoadBytes(ReadBytes(kTestdata + c.name + ".jpg"), bitmap).result, 0) << c.name;
        ASSERT_EQ(bitmap.Width(), width) << c.name;
        ASSERT_EQ(bitmap.Height(), height) << c.name;
        EXPECT_LE(MeanDifference(TopDownRgb(bitmap), expected), c.meanDifference) << c.name;
    }
}

TEST(PxDecoderJPEG, DamagedFilesNeverCrash)
{
    SKIP_WITHOUT_SHARED_TESTDATA();
    std::vector<std::string> paths;
    for (const char* folder : {"jpeg-decoder/crashtest", "image-rs-image/jpeg-regression", "pillow/jpeg"}) {
        for (const auto& entry : std::filesystem::directory_iterator(kTestdata + folder)) {
            paths.push_back(entry.path().string());
        }
    }
    ASSERT_GT(paths.size(), 90u);
    int loaded = 0;
    for (const std::string& path : paths) {
        PxBitmap bitmap;
        testing::internal::CaptureStderr();
        const int result = bitmap.CreateFromFile(path.c_str());
        testing::internal::GetCapturedStderr();
        ASSERT_TRUE(result == 0 || result == 1) << path;
        if (result == 0) {
            ++loaded;
            ASSERT_NE(bitmap.Pixels(), nullptr) << path;
            ASSERT_GT(bitmap.Width(), 0) << path;
        }
    }
    // Damage that the library repairs with a warning still shows a picture.
    EXPECT_GT(loaded, 20);
}

TEST(PxDecoderJPEG, HugeFrameSizesFailQuickly)
{
    JpegWriterOptions options;
    options.subsample = false;
    struct Case {
        bool progressive;
        int width;
        int height;
    };
    // 20000 x 20000 needs a store beyond the cap; 65500 x 65500 is the
    // library's largest; 16000 x 16000 fits the store, but a progressive
    // file would need 1.5 GB of coefficients in the library.
    const Case cases[] = {{false, 20000, 20000}, {false, 65500, 65500}, {true, 16000, 16000}};
    for (const Case& c : cases) {
        options.progressive = c.progressive;
        auto file = EncodeJpeg(16, 16, Photo(16, 16), options);
        const std::size_t frame = FindMarker(file, c.progressive ? 0xC2 : 0xC0);
        ASSERT_NE(frame, std::string::npos);
        file[frame + 5] = static_cast<std::uint8_t>(c.height >> 8);
        file[frame + 6] = static_cast<std::uint8_t>(c.height);
        file[frame + 7] = static_cast<std::uint8_t>(c.width >> 8);
        file[frame + 8] = static_cast<std::uint8_t>(c.width);
        PxBitmap bitmap;
        EXPECT_EQ(LoadBytes(file, bitmap).result, 1) << c.width << "x" << c.height;
    }
}

TEST(PxDecoderJPEG, HugeFrameWithLittleDataShowsWhatArrived)
{
    // Found by fuzzing: a hundred bytes claiming a picture of hundreds of
    // megapixels. It loads (the library fills what is missing), in time and
    // memory bounded by the store cap. Here at a size tests can afford.
    const std::uint8_t colors[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    JpegWriterOptions options;
    options.quality = 100;
    auto file = EncodeJpeg(32, 32, Quadrants(colors), options);
    const std::size_t frame = FindMarker(file, 0xC0);
    ASSERT_NE(frame, std::string::npos);
    file[frame + 5] = 0x08;  // height 2048
    file[frame + 6] = 0x00;
    file[frame + 7] = 0x06;  // width 1536
    file[frame + 8] = 0x00;
    PxBitmap bitmap;
    const Loaded loaded = LoadBytes(file, bitmap);
    ASSERT_EQ(loaded.result, 0);
    EXPECT_EQ(bitmap.Width(), 1536);
    EXPECT_EQ(bitmap.Height(), 2048);
    // The first MCU row holds real data; the file's blocks then run out.
    ExpectNear(PixelAt(bitmap, 0, 0), 255, 0, 0, 3, "top left");
    ExpectSameAsLibrary(bitmap, file);
}

TEST(PxDecoderJPEG, EndlessScansAreCutShort)
{
    JpegWriterOptions options;
    options.progressive = true;
    const auto file = EncodeJpeg(16, 16, Photo(16, 16), options);
    // Repeat the last scan (from its SOS marker to the EOI) over and over.
    std::size_t lastScan = std::string::npos;
    for (std::size_t i = 2; i + 1 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == 0xDA) {
            lastScan = i;
        }
    }
    ASSERT_NE(lastScan, std::string::npos);
    std::vector<std::uint8_t> hostile(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(lastScan));
    for (int i = 0; i < 1500; ++i) {
        hostile.insert(hostile.end(), file.begin() + static_cast<std::ptrdiff_t>(lastScan), file.end() - 2);
    }
    hostile.push_back(0xFF);
    hostile.push_back(0xD9);
    PxBitmap bitmap;
    const Loaded loaded = LoadBytes(hostile, bitmap);
    EXPECT_EQ(loaded.result, 1);
    EXPECT_EQ(Count(loaded.messages, "more than 1000 scans"), 1) << loaded.messages.substr(0, 500);
}

// What a decoder with a given block limit makes of a file.
struct LimitedDecode {
    int result = -1;
    int progress = -1;     // of the load control it reported to
    std::string messages;  // what the library wrote to standard error
};

LimitedDecode DecodeWithLimit(const std::vector<std::uint8_t>& file, std::uint64_t limit, PxBitmap& bitmap)
{
    TempDir dir;
    PxFileStream stream;
    EXPECT_EQ(stream.Open(dir.Write("p.jpg", file).c_str()), 0);
    PxDecoderJPEG decoder(limit);
    PxLoadControl control;
    decoder.SetLoadControl(&control);
    testing::internal::CaptureStderr();
    LimitedDecode decoded;
    decoded.result = decoder.Decode(stream, bitmap);
    decoded.messages = testing::internal::GetCapturedStderr();
    decoded.progress = control.Progress();
    return decoded;
}

TEST(PxDecoderJPEG, CostLimitAddsTheBlocksOfEveryScan)
{
    JpegWriterOptions perCoefficient;
    perCoefficient.space = JpegSpace::kGray;
    perCoefficient.progressive = true;
    perCoefficient.stepsPerCoefficient = 2;
    JpegWriterOptions grey = perCoefficient;
    grey.stepsPerCoefficient = 0;
    JpegWriterOptions colour;
    colour.progressive = true;
    const struct {
        const char* name;
        int width;
        int height;
        JpegWriterOptions options;
        std::uint64_t blocks;
    } cases[] = {
        // 8 x 8 blocks, each coefficient in two scans: 128 scans.
        {"grey, a scan per coefficient and step", 64, 64, perCoefficient, 64 * 128},
        // libjpeg's grey progression has six scans.
        {"grey", 64, 64, grey, 64 * 6},
        // 4:2:0: luma 6 x 4 blocks in six scans, each chroma 3 x 2 in four.
        {"colour", 48, 32, colour, 24 * 6 + 2 * 6 * 4},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> samples = Photo(c.width, c.height);
        if (c.options.space == JpegSpace::kGray) {
            samples.resize(samples.size() / 3);
        }
        const auto file = EncodeJpeg(c.width, c.height, samples, c.options);
        PxBitmap inside;
        const LimitedDecode passed = DecodeWithLimit(file, c.blocks, inside);
        EXPECT_EQ(passed.result, 0) << c.name << ": " << passed.messages;
        ExpectSameAsLibrary(inside, file);
        // One block more than the limit allows fails before a single scan
        // is read: no progress was ever reported.
        PxBitmap beyond;
        const LimitedDecode failed = DecodeWithLimit(file, c.blocks - 1, beyond);
        EXPECT_EQ(failed.result, 1) << c.name;
        EXPECT_EQ(failed.progress, 0) << c.name;
        EXPECT_EQ(Count(failed.messages, "too costly to decode"), 1) << c.name << ": " << failed.messages;
    }
}

TEST(PxDecoderJPEG, FileWhoseScansWouldTakeMinutesFailsAtOnce)
{
    // 704 scans, under the scan limit: each coefficient in eleven steps.
    JpegWriterOptions options;
    options.space = JpegSpace::kGray;
    options.progressive = true;
    options.stepsPerCoefficient = 11;
    std::vector<std::uint8_t> grey = Photo(16, 16);
    grey.resize(16 * 16);
    auto file = EncodeJpeg(16, 16, grey, options);
    PxBitmap small;
    ASSERT_EQ(LoadBytes(file, small).result, 0) << "704 scans of 4 blocks are cheap";
    // The same scans over 8000 x 8000 pixels: a million blocks each.
    const std::size_t frame = FindMarker(file, 0xC2);
    ASSERT_NE(frame, std::string::npos);
    for (const std::size_t at : {frame + 5, frame + 7}) {
        file[at] = 8000 >> 8;
        file[at + 1] = 8000 & 0xFF;
    }
    PxBitmap bitmap;
    PxLoadControl control;
    TempDir dir;
    const std::string path = dir.Write("p.jpg", file);
    testing::internal::CaptureStderr();
    EXPECT_EQ(bitmap.CreateFromFile(path.c_str(), &control), 1);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Count(messages, "too costly to decode: 704 scans, 704000000 blocks"), 1) << messages;
    EXPECT_EQ(control.Progress(), 0);
}

TEST(PxDecoderJPEG, TruncationAtEveryCutPointIsSafe)
{
    for (const bool progressive : {false, true}) {
        JpegWriterOptions options;
        options.progressive = progressive;
        const auto file = EncodeJpeg(40, 30, Photo(40, 30), options);
        for (std::size_t length = 1; length < file.size(); length += 7) {
            const std::vector<std::uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
            PxBitmap bitmap;
            const Loaded loaded = LoadBytes(cut, bitmap);
            if (length < 3) {
                // Too short to be recognised as a JPEG at all.
                ASSERT_EQ(loaded.result, 1);
                continue;
            }
            ASSERT_TRUE(loaded.result == 0 || loaded.result == 1) << length;
            if (loaded.result == 0) {
                ASSERT_EQ(bitmap.Width(), 40) << length;
                ExpectSameAsLibrary(bitmap, cut);
            }
        }
    }
}

}  // namespace

}  // namespace brelvix
