#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/decoder.h"
#include "imaging/load_control.h"
#include "support/avif_writer.h"
#include "support/bmp_writer.h"
#include "support/gif_writer.h"
#include "support/heif_writer.h"
#include "support/jpeg_writer.h"
#include "support/jxl_writer.h"
#include "support/pcx_writer.h"
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

// Big enough that every decoder works for a while, and tall, so that there
// are many rows to stop between.
constexpr int kWidth = 1024;
constexpr int kHeight = 4096;

// A picture in one format and one of its decoder's routes, written once
// for every test here. `step` is the most the progress may move from the
// moment of a cancel to the end of the load: one unit of the decoder's
// work, in permille of the picture.
struct Fixture {
    std::string name;
    std::string path;
    int step = 0;
    // Decodes in a millisecond or two: too fast to be caught reliably from
    // another thread on a busy machine.
    bool quick = false;
};

// One row of the picture in permille, rounded up, plus one for rounding.
constexpr int kRowStep = 1000 / kHeight + 2;

// Bands of colour that compress well, with no black pixel anywhere, so
// that every decoded row differs from an empty store.
SamplePicture Pattern(int width, int height)
{
    SamplePicture picture{width, height, std::vector<std::uint8_t>(std::size_t{3} * width * height)};
    std::uint8_t* p = picture.rgb.data();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, p += 3) {
            p[0] = static_cast<std::uint8_t>(32 + (x / 64) % 200);
            p[1] = static_cast<std::uint8_t>(40 + y % 200);
            p[2] = static_cast<std::uint8_t>(64 + (x / 64 + y / 64) % 2 * 120);
        }
    }
    return picture;
}

std::vector<std::uint8_t> Green(const SamplePicture& picture)
{
    std::vector<std::uint8_t> grey(picture.rgb.size() / 3);
    for (std::size_t i = 0; i < grey.size(); ++i) {
        grey[i] = picture.rgb[3 * i + 1];
    }
    return grey;
}

std::vector<Fixture> MakeFixtures(const TempDir& dir)
{
    const SamplePicture picture = Pattern(kWidth, kHeight);
    std::vector<Fixture> fixtures;
    auto add = [&](const std::string& name, const std::vector<std::uint8_t>& bytes, int step = kRowStep) {
        EXPECT_FALSE(bytes.empty()) << name;
        fixtures.push_back({name, dir.Write(name, bytes), step});
    };

    add("bmp-24", EncodeBmp(Pattern(kWidth, kHeight / 8), BmpKind::Rgb24));
    fixtures.back().quick = true;
    add("bmp-rle8", EncodeBmp(picture, BmpKind::RunLength8));

    TgaOptions tga;
    tga.imageType = 10;
    add("tga-rle24", WriteTga(kWidth, kHeight, TgaPixelsFromRgb(picture.rgb, 24), tga));

    PcxOptions pcx;
    pcx.planes = 3;
    add("pcx-rgb", WritePcx(kWidth, kHeight, PcxLines(kWidth, kHeight, picture.rgb, pcx), pcx));

    for (const bool interlaced : {false, true}) {
        PngPicture png;
        png.width = kWidth;
        png.height = kHeight;
        png.interlaced = interlaced;
        png.samples.assign(picture.rgb.begin(), picture.rgb.end());
        add(interlaced ? "png-adam7" : "png-rgb", EncodePng(png));

        GifPicture gif;
        gif.width = kWidth;
        gif.height = kHeight;
        gif.globalTable = GifTestTable();
        gif.frames.push_back({0, 0, kWidth, kHeight, interlaced, {}, Green(picture), false});
        add(interlaced ? "gif-interlaced" : "gif", GifBytes(gif));
    }

    add("jpeg-baseline", EncodeJpeg(kWidth, kHeight, picture.rgb));
    JpegWriterOptions progressive;
    progressive.progressive = true;
    add("jpeg-progressive", EncodeJpeg(kWidth, kHeight, picture.rgb, progressive));
    // 64 scans over every block: slow to decode, as hostile files are.
    JpegWriterOptions perCoefficient;
    perCoefficient.space = JpegSpace::kGray;
    perCoefficient.progressive = true;
    perCoefficient.stepsPerCoefficient = 1;
    add("jpeg-scan-per-coefficient", EncodeJpeg(kWidth, kHeight, Green(picture), perCoefficient));

    // The RGBA route decodes bands of about 1 MB of raster.
    TiffPage rgb;
    rgb.width = kWidth;
    rgb.height = kHeight;
    rgb.samplesPerPixel = 3;
    rgb.photometric = PHOTOMETRIC_RGB;
    rgb.compression = COMPRESSION_LZW;
    rgb.rowsPerStrip = 16;
    rgb.samples = picture.rgb;
    const int bandRows = (1 << 20) / (4 * kWidth);
    fixtures.push_back({"tiff-rgb", (dir.Path() / "tiff-rgb").string(), bandRows * 1000 / kHeight + 2});
    EXPECT_TRUE(WriteTiff(fixtures.back().path, {rgb}));
    // Grey goes scanline by scanline.
    TiffPage grey = rgb;
    grey.samplesPerPixel = 1;
    grey.photometric = PHOTOMETRIC_MINISBLACK;
    grey.samples = Green(picture);
    fixtures.push_back({"tiff-grey", (dir.Path() / "tiff-grey").string(), kRowStep});
    EXPECT_TRUE(WriteTiff(fixtures.back().path, {grey}));

    // The newer formats' libraries decode in a few large calls: `step` is
    // the largest stage between two looks at the control. libwebp and libjxl
    // take the file in about 32 steps; libavif and libheif decode the whole
    // picture in one call.
    // Smaller, so that writing them stays quick, and grainy, so that their
    // files are long enough to come in many steps.
    RawPicture raw = RawFromSample(Pattern(kWidth / 2, kHeight / 2));
    std::uint32_t grain = 1;
    for (std::uint16_t& value : raw.samples) {
        grain = grain * 1103515245U + 12345U;
        value = static_cast<std::uint16_t>(value ^ (grain >> 28));
    }
    add("webp-lossy", EncodeWebp(raw), 1000 / 8);
    WebpWriterOptions webpLossless;
    webpLossless.lossless = true;
    add("webp-lossless", EncodeWebp(raw, webpLossless), 1000 / 8);
    add("jxl", EncodeJxl({raw}), 1000 / 8);
    add("avif", EncodeAvif(raw), 800);
    add("heif", EncodeHeif(raw), 900);
    return fixtures;
}

const std::vector<Fixture>& Fixtures()
{
    static const TempDir dir;
    static const std::vector<Fixture> fixtures = MakeFixtures(dir);
    return fixtures;
}

TEST(PxLoadControl, ProgressOnlyMovesForwardWithinItsRange)
{
    PxLoadControl control;
    const struct {
        int set;
        int expected;
    } steps[] = {{-5, 0}, {300, 300}, {200, 300}, {301, 301}, {2000, 1000}, {999, 1000}};
    for (const auto& step : steps) {
        control.SetProgress(step.set);
        EXPECT_EQ(control.Progress(), step.expected) << "after " << step.set;
    }
    EXPECT_FALSE(control.Cancelled());
    control.Cancel();
    control.Cancel();
    EXPECT_TRUE(control.Cancelled());
}

TEST(PxLoadControl, CancelledBeforeTheLoadBeginsNothingIsOpened)
{
    PxLoadControl control;
    control.Cancel();
    PxBitmap bitmap;
    EXPECT_EQ(bitmap.CreateFromFile(Fixtures().front().path.c_str(), &control), 1);
    EXPECT_EQ(bitmap.FormatId(), 0);
    EXPECT_EQ(bitmap.Pixels(), nullptr);
    EXPECT_EQ(bitmap.LoadError(), PxLoadError::Cancelled);
    // Not even a missing file is noticed: the cancel is the reason.
    EXPECT_EQ(bitmap.CreateFromFile("/nonexistent/brelvix/picture.bmp", &control), 1);
    EXPECT_EQ(bitmap.LoadError(), PxLoadError::Cancelled);
}

TEST(PxLoadControl, ACompleteLoadReachesAThousandAndGivesThePlainPicture)
{
    for (const Fixture& fixture : Fixtures()) {
        PxBitmap plain;
        ASSERT_EQ(plain.CreateFromFile(fixture.path.c_str()), 0) << fixture.name;
        PxLoadControl control;
        PxBitmap followed;
        EXPECT_EQ(followed.CreateFromFile(fixture.path.c_str(), &control), 0) << fixture.name;
        EXPECT_EQ(control.Progress(), 1000) << fixture.name;
        EXPECT_FALSE(control.Cancelled()) << fixture.name;
        EXPECT_TRUE(TopDownRgb(followed) == TopDownRgb(plain)) << fixture.name;
    }
}

// Straight at the decoder, past the loader's own check: a cancelled
// control stops every decoder before its first row, band or scan.
TEST(PxLoadControl, EveryDecoderStopsBeforeItsFirstRowOnceCancelled)
{
    for (const Fixture& fixture : Fixtures()) {
        PxFileStream stream;
        ASSERT_EQ(stream.Open(fixture.path.c_str()), 0) << fixture.name;
        const std::unique_ptr<PxDecoder> decoder = PxCreateDecoder(stream.DetectFormat());
        ASSERT_NE(decoder, nullptr) << fixture.name;
        PxLoadControl control;
        control.Cancel();
        decoder->SetLoadControl(&control);
        stream.SeekToStart();
        PxBitmap bitmap;
        EXPECT_EQ(decoder->Decode(stream, bitmap), 1) << fixture.name;
        // Whatever a library stopped half-way reported, the reason is the cancel.
        EXPECT_EQ(decoder->Error(), PxLoadError::Cancelled) << fixture.name;
        EXPECT_EQ(control.Progress(), 0) << fixture.name;
        if (bitmap.Pixels() != nullptr) {
            const std::uint8_t* store = bitmap.Pixels();
            const std::uint8_t* end = store + bitmap.Stride() * bitmap.Height();
            EXPECT_TRUE(std::all_of(store, end, [](std::uint8_t b) { return b == 0; }))
                << fixture.name << ": rows were decoded after the cancel";
        }
    }
}

// What one load cancelled from another thread did.
struct CancelledLoad {
    int result = -1;
    bool cancelled = false;
    int atCancel = -1;  // progress right after Cancel()
    int atEnd = -1;     // progress when the load returned
};

// Cancels the load on another thread as soon as it reports any progress.
// The loading thread runs at the lowest priority, so that on a busy machine
// it is the one that waits, not the one that cancels.
CancelledLoad CancelAtFirstProgress(const std::string& path)
{
    PxLoadControl control;
    std::atomic<bool> finished{false};
    CancelledLoad load;
    PxBitmap bitmap;
    std::thread loader([&] {
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
        load.result = bitmap.CreateFromFile(path.c_str(), &control);
        finished.store(true);
    });
    while (control.Progress() == 0 && !finished.load()) {
        std::this_thread::yield();
    }
    control.Cancel();
    load.atCancel = control.Progress();
    loader.join();
    load.cancelled = control.Cancelled();
    load.atEnd = control.Progress();
    return load;
}

TEST(PxLoadControl, ACancelFromAnotherThreadEndsTheLoadAtTheNextRow)
{
    for (const Fixture& fixture : Fixtures()) {
        if (fixture.quick) {
            continue;  // its row loop stops all the same: see the test above
        }
        // A load can finish before this thread gets to cancel it (on a busy
        // machine): it has then reached 1000 and is tried again.
        CancelledLoad load;
        for (int attempt = 0; attempt < 5 && (attempt == 0 || load.atCancel == 1000); ++attempt) {
            load = CancelAtFirstProgress(fixture.path);
        }
        ASSERT_LT(load.atCancel, 1000) << fixture.name << " reported no progress before it was complete";
        EXPECT_EQ(load.result, 1) << fixture.name;
        EXPECT_TRUE(load.cancelled) << fixture.name;
        // After a cancel a decoder finishes at most the unit of work it is in.
        EXPECT_LE(load.atEnd - load.atCancel, fixture.step) << fixture.name;
    }
}

}  // namespace

}  // namespace brelvix
