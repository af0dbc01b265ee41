#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/format_detect.h"
#include "imaging/tiff_memory.h"
#include "support/pixels.h"
#include "support/temp_dir.h"
#include "support/tiff_writer.h"

namespace brelvix {

namespace {

const Rgb kBlack{0, 0, 0};

std::vector<std::uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::uint8_t> TiffBytes(const std::vector<TiffPage>& pages)
{
    TempDir dir;
    const std::string path = (dir.Path() / "fixture.tif").string();
    EXPECT_TRUE(WriteTiff(path, pages)) << "libtiff refused the fixture";
    return FileBytes(path);
}

int LoadBytes(const std::vector<std::uint8_t>& bytes, PxBitmap* bitmap)
{
    TempDir dir;
    const std::string path = dir.Write("picture.tif", bytes);
    return bitmap->CreateFromFile(path.c_str());
}

int Load(const std::vector<TiffPage>& pages, PxBitmap* bitmap)
{
    return LoadBytes(TiffBytes(pages), bitmap);
}

// The colour of pixel (x, y) of the synthetic RGB picture.
Rgb Synthetic(std::uint32_t x, std::uint32_t y)
{
    return Rgb{static_cast<std::uint8_t>(x * 19 + y), static_cast<std::uint8_t>(y * 23 + x),
               static_cast<std::uint8_t>(x * y * 7 + 5)};
}

// An 8-bit RGB page of the synthetic picture, with `extra` samples per pixel
// after the colour (their values from `extraValue`).
TiffPage RgbPage(std::uint32_t width, std::uint32_t height, std::uint16_t extra = 0,
                 std::uint8_t (*extraValue)(std::uint32_t, std::uint32_t) = nullptr)
{
    TiffPage page;
    page.width = width;
    page.height = height;
    page.samplesPerPixel = static_cast<std::uint16_t>(3 + extra);
    page.photometric = PHOTOMETRIC_RGB;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const Rgb c = Synthetic(x, y);
            page.samples.insert(page.samples.end(), {c.r, c.g, c.b});
            for (std::uint16_t e = 0; e < extra; ++e) {
                page.samples.push_back(extraValue(x, y));
            }
        }
    }
    return page;
}

void ExpectSynthetic(const PxBitmap& bitmap, std::uint32_t width, std::uint32_t height)
{
    ASSERT_EQ(bitmap.Width(), static_cast<int>(width));
    ASSERT_EQ(bitmap.Height(), static_cast<int>(height));
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            ASSERT_EQ(PixelAt(bitmap, static_cast<int>(x), static_cast<int>(y)), Synthetic(x, y))
                << "pixel " << x << "," << y;
        }
    }
}

// Packs one row of `bits`-bit samples, most significant bit first.
std::vector<std::uint8_t> PackRow(const std::vector<unsigned>& values, unsigned bits)
{
    std::vector<std::uint8_t> row((values.size() * bits + 7) / 8, 0);
    size_t bit = 0;
    for (unsigned v : values) {
        for (unsigned b = 0; b < bits; ++b, ++bit) {
            if ((v >> (bits - 1 - b)) & 1u) {
                row[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
            }
        }
    }
    return row;
}

// A page of `bits`-bit single samples: row 0 counts up through every value,
// row 1 counts down, row 2 counts up again.
TiffPage RampPage(unsigned bits, std::uint16_t photometric)
{
    const unsigned n = 1u << bits;
    TiffPage page;
    page.width = n;
    page.height = 3;
    page.bitsPerSample = static_cast<std::uint16_t>(bits);
    page.photometric = photometric;
    for (int y = 0; y < 3; ++y) {
        std::vector<unsigned> values;
        for (unsigned x = 0; x < n; ++x) {
            values.push_back(y == 1 ? n - 1 - x : x);
        }
        const std::vector<std::uint8_t> row = PackRow(values, bits);
        page.samples.insert(page.samples.end(), row.begin(), row.end());
    }
    return page;
}

TEST(PxDecoderTIFF, StripsTilesAndCompressionsGiveTheSamePicture)
{
    struct Case {
        std::uint16_t compression;
        std::uint16_t predictor;
    };
    const Case cases[] = {{COMPRESSION_NONE, 0},
                          {COMPRESSION_LZW, 0},
                          {COMPRESSION_LZW, PREDICTOR_HORIZONTAL},
                          {COMPRESSION_ADOBE_DEFLATE, 0},
                          {COMPRESSION_PACKBITS, 0}};
    for (const Case& c : cases) {
        for (bool tiled : {false, true}) {
            TiffPage page = RgbPage(37, 21);
            page.compression = c.compression;
            page.predictor = c.predictor;
            if (tiled) {
                page.tileWidth = 16;  // partial tiles at the right and bottom edges
                page.tileLength = 16;
            } else {
                page.rowsPerStrip = 4;
            }
            SCOPED_TRACE(testing::Message() << "compression " << c.compression << " predictor " << c.predictor
                                            << (tiled ? " tiled" : " strips"));
            PxBitmap bitmap;
            ASSERT_EQ(Load({page}, &bitmap), 0);
            EXPECT_EQ(bitmap.FormatId(), kPxFormatTIFF);
            ExpectSynthetic(bitmap, 37, 21);
        }
    }
}

TEST(PxDecoderTIFF, GreyHonoursMinIsBlackAndMinIsWhite)
{
    for (unsigned bits : {1u, 2u, 4u, 8u}) {
        for (std::uint16_t photometric : {PHOTOMETRIC_MINISBLACK, PHOTOMETRIC_MINISWHITE}) {
            const unsigned n = 1u << bits;
            PxBitmap bitmap;
            ASSERT_EQ(Load({RampPage(bits, photometric)}, &bitmap), 0);
            ASSERT_EQ(bitmap.Width(), static_cast<int>(n));
            for (int y = 0; y < 3; ++y) {
                for (unsigned x = 0; x < n; ++x) {
                    const unsigned v = y == 1 ? n - 1 - x : x;
                    const unsigned black0 = v * 255 / (n - 1);
                    const auto grey =
                        static_cast<std::uint8_t>(photometric == PHOTOMETRIC_MINISBLACK ? black0 : 255 - black0);
                    ASSERT_EQ(PixelAt(bitmap, static_cast<int>(x), y), (Rgb{grey, grey, grey}))
                        << bits << " bits, photometric " << photometric << ", pixel " << x << "," << y;
                }
            }
        }
    }
}

TEST(PxDecoderTIFF, GreyWithAlphaShowsTheGrey)
{
    struct Case {
        unsigned bits;
        std::uint16_t planar;
    };
    for (const Case c : {Case{8, PLANARCONFIG_CONTIG}, Case{4, PLANARCONFIG_CONTIG}, Case{2, PLANARCONFIG_CONTIG},
                         Case{8, PLANARCONFIG_SEPARATE}}) {
        const unsigned n = 1u << c.bits;
        TiffPage page;
        page.width = 11;
        page.height = 5;
        page.samplesPerPixel = 2;
        page.bitsPerSample = static_cast<std::uint16_t>(c.bits);
        page.planar = c.planar;
        page.extraSamples = {EXTRASAMPLE_UNASSALPHA};
        std::vector<unsigned> grey;
        std::vector<unsigned> alpha;
        for (std::uint32_t y = 0; y < page.height; ++y) {
            for (std::uint32_t x = 0; x < page.width; ++x) {
                grey.push_back((x * 3 + y) % n);
                alpha.push_back((x + 2 * y + 1) % n);
            }
        }
        if (c.planar == PLANARCONFIG_CONTIG) {
            for (std::uint32_t y = 0; y < page.height; ++y) {
                std::vector<unsigned> row;
                for (std::uint32_t x = 0; x < page.width; ++x) {
                    row.push_back(grey[y * page.width + x]);
                    row.push_back(alpha[y * page.width + x]);
                }
                const auto packed = PackRow(row, c.bits);
                page.samples.insert(page.samples.end(), packed.begin(), packed.end());
            }
        } else {
            for (const auto* plane : {&grey, &alpha}) {
                for (unsigned v : *plane) {
                    page.samples.push_back(static_cast<std::uint8_t>(v));
                }
            }
        }
        PxBitmap bitmap;
        ASSERT_EQ(Load({page}, &bitmap), 0);
        for (std::uint32_t y = 0; y < page.height; ++y) {
            for (std::uint32_t x = 0; x < page.width; ++x) {
                const auto g = static_cast<std::uint8_t>(grey[y * page.width + x] * 255 / (n - 1));
                ASSERT_EQ(PixelAt(bitmap, static_cast<int>(x), static_cast<int>(y)), (Rgb{g, g, g}))
                    << c.bits << " bits, planar " << c.planar << ", pixel " << x << "," << y;
            }
        }
    }
}

TiffPage PalettePage(unsigned bits, const std::vector<std::uint16_t>& colormap)
{
    TiffPage page = RampPage(bits, PHOTOMETRIC_PALETTE);
    page.colormap = colormap;
    return page;
}

TEST(PxDecoderTIFF, PaletteMapsAreTakenAsEightOrSixteenBits)
{
    // A map with no value above 255 is used as it is; any larger value makes
    // it a 16-bit map, scaled so that 65535 becomes 255. The pixel's value
    // selects its own entry at every depth.
    for (bool sixteenBit : {false, true}) {
        for (unsigned bits : {1u, 4u, 8u}) {
            const unsigned n = 1u << bits;
            std::vector<std::uint16_t> map;
            for (unsigned channel = 0; channel < 3; ++channel) {
                for (unsigned i = 0; i < n; ++i) {
                    const unsigned eight = channel == 0 ? 255 - i * 255 / (n - 1) : channel == 1 ? i % 256 : 128;
                    map.push_back(
                        static_cast<std::uint16_t>(sixteenBit ? eight * 257 - (channel == 2 ? 257 : 0) : eight));
                }
            }
            PxBitmap bitmap;
            ASSERT_EQ(Load({PalettePage(bits, map)}, &bitmap), 0);
            for (int y = 0; y < 3; ++y) {
                for (unsigned x = 0; x < n; ++x) {
                    const unsigned i = y == 1 ? n - 1 - x : x;
                    const auto shown = [&](unsigned v) {
                        return static_cast<std::uint8_t>(sixteenBit ? v * 255u / 65535u : v);
                    };
                    const Rgb expected{shown(map[i]), shown(map[n + i]), shown(map[2 * n + i])};
                    ASSERT_EQ(PixelAt(bitmap, static_cast<int>(x), y), expected)
                        << (sixteenBit ? "16" : "8") << "-bit map, " << bits << " bits, " << x << "," << y;
                }
            }
        }
    }
}

TEST(PxDecoderTIFF, SixteenBitSamplesAreReducedToEightBits)
{
    // libtiff's RGBA interface shows a grey sample's high byte and scales
    // colour samples to the nearest 8-bit value; the two differ by at most 1.
    const std::uint16_t values[] = {0x0000, 0x00FF, 0x0180, 0x1234, 0x7F01, 0x80FE, 0xABCD, 0xFEFF, 0xFFFF};
    TiffPage grey;
    grey.width = std::size(values);
    grey.height = 2;
    grey.bitsPerSample = 16;
    TiffPage rgb = grey;
    rgb.samplesPerPixel = 3;
    rgb.photometric = PHOTOMETRIC_RGB;
    for (int y = 0; y < 2; ++y) {
        for (std::uint16_t v : values) {
            PushSample16(&grey.samples, v);
            PushSample16(&rgb.samples, v);
            PushSample16(&rgb.samples, static_cast<std::uint16_t>(65535 - v));
            PushSample16(&rgb.samples, static_cast<std::uint16_t>(v / 2));
        }
    }
    PxBitmap greyBitmap;
    PxBitmap rgbBitmap;
    ASSERT_EQ(Load({grey}, &greyBitmap), 0);
    ASSERT_EQ(Load({rgb}, &rgbBitmap), 0);
    const auto high = [](unsigned v) { return static_cast<std::uint8_t>(v >> 8); };
    const auto nearest = [](unsigned v) { return static_cast<std::uint8_t>((v * 255 + 32767) / 65535); };
    for (int y = 0; y < 2; ++y) {
        for (size_t x = 0; x < std::size(values); ++x) {
            const std::uint16_t v = values[x];
            EXPECT_EQ(PixelAt(greyBitmap, static_cast<int>(x), y), (Rgb{high(v), high(v), high(v)})) << v;
            EXPECT_EQ(PixelAt(rgbBitmap, static_cast<int>(x), y), (Rgb{nearest(v), nearest(65535 - v), nearest(v / 2)}))
                << v;
        }
    }
}

// The files libtiff writes on this machine are little-endian classic TIFF.
std::uint32_t Get32(const std::vector<std::uint8_t>& bytes, size_t at)
{
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (std::uint32_t{bytes[at + 3]} << 24);
}

void Put32(std::vector<std::uint8_t>* bytes, size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        (*bytes)[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// Where the LONG values of `tag` in the first directory are stored.
size_t LongValuesAt(const std::vector<std::uint8_t>& bytes, std::uint16_t tag)
{
    EXPECT_EQ(bytes[0], 'I');
    const size_t directory = Get32(bytes, 4);
    const unsigned entries = bytes[directory] | (bytes[directory + 1] << 8);
    for (unsigned i = 0; i < entries; ++i) {
        const size_t entry = directory + 2 + 12 * i;
        if ((bytes[entry] | (bytes[entry + 1] << 8)) == tag) {
            EXPECT_EQ(bytes[entry + 2], 4) << "LONG values expected";
            return Get32(bytes, entry + 4) > 1 ? Get32(bytes, entry + 8) : entry + 8;
        }
    }
    ADD_FAILURE() << "tag " << tag << " missing";
    return 0;
}

TEST(PxDecoderTIFF, DirectoryPointingPastTheEndFails)
{
    const std::vector<std::uint8_t> good = TiffBytes({RgbPage(8, 8)});
    PxBitmap reference;
    ASSERT_EQ(LoadBytes(good, &reference), 0);
    for (std::uint32_t offset :
         {static_cast<std::uint32_t>(good.size() + 1000), static_cast<std::uint32_t>(good.size() - 2), 0xFFFFFFF0u}) {
        std::vector<std::uint8_t> bytes = good;
        Put32(&bytes, 4, offset);
        PxBitmap bitmap;
        EXPECT_EQ(LoadBytes(bytes, &bitmap), 1) << offset;
        EXPECT_EQ(bitmap.FormatId(), kPxFormatTIFF);
    }
}

// A grey picture, 9 rows unless told, one row per strip, row y filled with
// 20 + 10 * y.
TiffPage StripPerRowPage(std::uint32_t height = 9)
{
    TiffPage page;
    page.width = 6;
    page.height = height;
    page.rowsPerStrip = 1;
    for (std::uint32_t y = 0; y < page.height; ++y) {
        page.samples.insert(page.samples.end(), page.width, static_cast<std::uint8_t>(20 + 10 * y));
    }
    return page;
}

std::uint8_t GreyAt(const PxBitmap& bitmap, int y)
{
    const Rgb c = PixelAt(bitmap, bitmap.Width() - 1, y);
    EXPECT_EQ(PixelAt(bitmap, 0, y), c);
    return c.g;
}

TEST(PxDecoderTIFF, UnreadableStripEarlyStopsTheScanlines)
{
    std::vector<std::uint8_t> bytes = TiffBytes({StripPerRowPage()});
    Put32(&bytes, LongValuesAt(bytes, TIFFTAG_STRIPOFFSETS) + 4 * 1, static_cast<std::uint32_t>(bytes.size() + 100));
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(bytes, &bitmap), 0);
    EXPECT_EQ(GreyAt(bitmap, 0), 20);
    for (int y = 1; y < 9; ++y) {
        EXPECT_EQ(GreyAt(bitmap, y), 0) << y;
    }
}

TEST(PxDecoderTIFF, UnreadableStripLateRepeatsTheRowAbove)
{
    std::vector<std::uint8_t> bytes = TiffBytes({StripPerRowPage()});
    Put32(&bytes, LongValuesAt(bytes, TIFFTAG_STRIPOFFSETS) + 4 * 6, static_cast<std::uint32_t>(bytes.size() + 100));
    PxBitmap bitmap;
    ASSERT_EQ(LoadBytes(bytes, &bitmap), 0);
    for (int y = 0; y < 9; ++y) {
        EXPECT_EQ(GreyAt(bitmap, y), y == 6 ? 70 : 20 + 10 * y) << y;
    }
}

TEST(PxDecoderTIFF, UnreadableStripAtTheOneThirdMark)
{
    // A scanline that fails before row h / 3 (integer division) stops the
    // picture there; from that row on a failure is passed over and the row
    // shows the one above. Both sides of the mark, for heights that divide
    // by 3 and heights that do not.
    const struct {
        std::uint32_t height;
        std::uint32_t failing;
        bool stops;
    } cases[] = {{9, 2, true},   {9, 3, false}, {10, 2, true}, {10, 3, false},
                 {11, 3, false}, {12, 3, true}, {12, 4, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << c.failing << " of " << c.height);
        std::vector<std::uint8_t> bytes = TiffBytes({StripPerRowPage(c.height)});
        Put32(&bytes, LongValuesAt(bytes, TIFFTAG_STRIPOFFSETS) + 4 * c.failing,
              static_cast<std::uint32_t>(bytes.size() + 100));
        PxBitmap bitmap;
        ASSERT_EQ(LoadBytes(bytes, &bitmap), 0);
        for (std::uint32_t y = 0; y < c.height; ++y) {
            int expected = 20 + 10 * static_cast<int>(y);
            if (c.stops && y >= c.failing) {
                expected = 0;
            } else if (!c.stops && y == c.failing) {
                expected -= 10;
            }
            EXPECT_EQ(GreyAt(bitmap, static_cast<int>(y)), expected) << "row " << y;
        }
    }
}

// The synthetic picture stored so that Orientation `orientation` shows it
// upright: 2 mirrors the columns, 3 turns it half round, 4 mirrors the rows.
TiffPage OrientedPage(std::uint16_t orientation, std::uint32_t width = 7, std::uint32_t height = 5)
{
    TiffPage page = RgbPage(width, height);
    page.orientation = orientation;
    page.samples.clear();
    for (std::uint32_t row = 0; row < height; ++row) {
        for (std::uint32_t column = 0; column < width; ++column) {
            const bool mirrorColumns = orientation == ORIENTATION_TOPRIGHT || orientation == ORIENTATION_BOTRIGHT;
            const bool mirrorRows = orientation == ORIENTATION_BOTRIGHT || orientation == ORIENTATION_BOTLEFT;
            const Rgb c = Synthetic(mirrorColumns ? width - 1 - column : column, mirrorRows ? height - 1 - row : row);
            page.samples.insert(page.samples.end(), {c.r, c.g, c.b});
        }
    }
    return page;
}

TEST(PxDecoderTIFF, OrientationIsHonouredOnTheRgbaRoute)
{
    for (std::uint16_t orientation :
         {ORIENTATION_TOPLEFT, ORIENTATION_TOPRIGHT, ORIENTATION_BOTRIGHT, ORIENTATION_BOTLEFT}) {
        for (bool tiled : {false, true}) {
            TiffPage page = OrientedPage(orientation);
            if (tiled) {
                page.tileWidth = 16;
                page.tileLength = 16;
            }
            PxBitmap bitmap;
            ASSERT_EQ(Load({page}, &bitmap), 0);
            SCOPED_TRACE(testing::Message() << "orientation " << orientation << (tiled ? " tiled" : ""));
            ExpectSynthetic(bitmap, 7, 5);
        }
    }
}

TEST(PxDecoderTIFF, ScanlineRouteShowsRowsAsStoredWhateverTheOrientation)
{
    TiffPage page = StripPerRowPage();
    page.orientation = ORIENTATION_BOTLEFT;
    PxBitmap bitmap;
    ASSERT_EQ(Load({page}, &bitmap), 0);
    EXPECT_EQ(GreyAt(bitmap, 0), 20);
    EXPECT_EQ(GreyAt(bitmap, 8), 100);
}

TEST(PxDecoderTIFF, LargePicturesComeOutWholeInEveryLayout)
{
    // Big enough for the RGBA route to work through several bands.
    for (std::uint16_t orientation : {ORIENTATION_TOPLEFT, ORIENTATION_BOTLEFT, ORIENTATION_TOPRIGHT}) {
        for (bool tiled : {false, true}) {
            TiffPage page = RgbPage(700, 500);
            if (orientation != ORIENTATION_TOPLEFT) {
                page = OrientedPage(orientation, 700, 500);
            }
            page.compression = COMPRESSION_LZW;
            if (tiled) {
                page.tileWidth = 64;
                page.tileLength = 48;
            } else {
                page.rowsPerStrip = 7;
            }
            SCOPED_TRACE(testing::Message() << "orientation " << orientation << (tiled ? " tiled" : ""));
            PxBitmap bitmap;
            ASSERT_EQ(Load({page}, &bitmap), 0);
            ExpectSynthetic(bitmap, 700, 500);
        }
    }
}

TEST(PxDecoderTIFF, UnreadableStripOnTheRgbaRouteRepeatsTheStripBefore)
{
    // libtiff's whole-picture reader carries on after a strip it cannot
    // read, with the previous strip's rows still in its buffer; when the
    // very first strip fails, it gives up and the picture stays black.
    const TiffPage page = [] {
        TiffPage p = RgbPage(700, 500);
        p.rowsPerStrip = 4;
        return p;
    }();
    const std::vector<std::uint8_t> good = TiffBytes({page});
    for (std::uint32_t strip : {0u, 1u, 60u, 93u, 94u, 124u}) {
        std::vector<std::uint8_t> bytes = good;
        Put32(&bytes, LongValuesAt(bytes, TIFFTAG_STRIPOFFSETS) + 4 * strip,
              static_cast<std::uint32_t>(bytes.size() + 100));
        PxBitmap bitmap;
        ASSERT_EQ(LoadBytes(bytes, &bitmap), 0);
        for (int y : {0, 3, 4, 239, 240, 243, 244, 371, 372, 375, 376, 379, 380, 495, 499}) {
            for (int x : {0, 350, 699}) {
                const bool damaged = y / 4 == static_cast<int>(strip);
                const Rgb expected = strip == 0 ? kBlack
                                     : damaged
                                         ? Synthetic(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y - 4))
                                         : Synthetic(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
                ASSERT_EQ(PixelAt(bitmap, x, y), expected) << "strip " << strip << ", pixel " << x << "," << y;
            }
        }
    }
}

TEST(PxDecoderTIFF, PictureTooLargeForOneRasterStaysBlackWhenABandFails)
{
    // 20000 x 14000: the store fits under the cap, a raster of the whole
    // picture would not. Only the first strip is written; the second has
    // no bytes, so the second band fails and the whole-picture pass cannot
    // be made either: what the first band stored must not stay behind.
    TempDir dir;
    const std::string path = (dir.Path() / "large.tif").string();
    TIFF* out = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, 20000);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, 14000);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, 13);
    std::vector<std::uint8_t> strip(std::size_t{20000} * 3 * 13, 200);
    ASSERT_GT(TIFFWriteEncodedStrip(out, 0, strip.data(), static_cast<tmsize_t>(strip.size())), 0);
    TIFFClose(out);

    PxBitmap bitmap;
    ASSERT_EQ(bitmap.CreateFromFile(path.c_str()), 0);
    ASSERT_EQ(bitmap.Width(), 20000);
    for (int y : {0, 12, 13, 13999}) {
        EXPECT_EQ(PixelAt(bitmap, 0, y), kBlack) << y;
        EXPECT_EQ(PixelAt(bitmap, 19999, y), kBlack) << y;
    }
}

TEST(PxDecoderTIFF, MultiPageFileShowsTheFirstPage)
{
    TiffPage second = StripPerRowPage();
    PxBitmap bitmap;
    ASSERT_EQ(Load({RgbPage(13, 11), second}, &bitmap), 0);
    ExpectSynthetic(bitmap, 13, 11);
    PxBitmap reversed;
    ASSERT_EQ(Load({second, RgbPage(13, 11)}, &reversed), 0);
    ASSERT_EQ(reversed.Width(), 6);
    EXPECT_EQ(GreyAt(reversed, 0), 20);
    EXPECT_EQ(GreyAt(reversed, 8), 100);
}

std::uint8_t AlphaPattern(std::uint32_t x, std::uint32_t y)
{
    return static_cast<std::uint8_t>((x * 37 + y * 11) % 256);  // 0 at the top-left corner
}

TEST(PxDecoderTIFF, RgbaShowsTheStoredColoursWhateverTheAlpha)
{
    for (std::uint16_t alphaKind : {EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_ASSOCALPHA, EXTRASAMPLE_UNSPECIFIED}) {
        for (bool tiled : {false, true}) {
            TiffPage page = RgbPage(19, 7, 1, AlphaPattern);
            page.extraSamples = {alphaKind};
            page.compression = COMPRESSION_LZW;
            if (tiled) {
                page.tileWidth = 16;
                page.tileLength = 16;
            }
            PxBitmap bitmap;
            ASSERT_EQ(Load({page}, &bitmap), 0);
            SCOPED_TRACE(testing::Message() << "alpha kind " << alphaKind << (tiled ? " tiled" : ""));
            ExpectSynthetic(bitmap, 19, 7);
        }
    }
}

TEST(PxDecoderTIFF, MemoryClientWritesAndReadsBack)
{
    std::vector<std::uint8_t> block(16 * 1024, 0xEE);
    std::uint64_t size = 12345;
    PxTiffHandle handle = OpenMemoryTiff(block.data(), block.size(), &size);
    ASSERT_NE(handle, nullptr);
    TIFF* out = handle.get();
    EXPECT_EQ(size, 8u);  // the header libtiff writes when it opens
    const TiffPage page = StripPerRowPage();
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    for (std::uint32_t y = 0; y < page.height; ++y) {
        std::vector<std::uint8_t> row(page.samples.begin() + y * page.width,
                                      page.samples.begin() + (y + 1) * page.width);
        ASSERT_EQ(TIFFWriteScanline(out, row.data(), y, 0), 1);
    }
    handle.reset();  // writes the directory
    ASSERT_GT(size, 8u);
    ASSERT_LT(size, block.size());
    EXPECT_EQ(block[size], 0xEE);  // nothing written beyond the reported size

    handle = OpenMemoryTiff(block.data(), size);
    ASSERT_NE(handle, nullptr);
    TIFF* in = handle.get();
    std::vector<std::uint8_t> row(static_cast<size_t>(TIFFScanlineSize(in)));
    for (std::uint32_t y = 0; y < page.height; ++y) {
        ASSERT_EQ(TIFFReadScanline(in, row.data(), y, 0), 1);
        EXPECT_EQ(row[0], 20 + 10 * y);
        EXPECT_EQ(row[5], 20 + 10 * y);
    }
}

TEST(PxDecoderTIFF, TruncationAtAnyLengthEnds)
{
    TiffPage strips = RgbPage(12, 10);
    strips.compression = COMPRESSION_LZW;
    strips.rowsPerStrip = 3;
    TiffPage tiles = RgbPage(17, 17);
    tiles.compression = COMPRESSION_ADOBE_DEFLATE;
    tiles.tileWidth = 16;
    tiles.tileLength = 16;
    for (const TiffPage& page : {strips, tiles, StripPerRowPage()}) {
        const std::vector<std::uint8_t> bytes = TiffBytes({page});
        int loaded = 0;
        for (size_t length = 4; length < bytes.size(); length += 5) {
            PxBitmap bitmap;
            const int result = LoadBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + length), &bitmap);
            ASSERT_TRUE(result == 0 || result == 1) << length;
            loaded += result == 0 ? 1 : 0;
        }
        // libtiff writes the directory last: most cuts lose it and fail.
        EXPECT_LT(loaded, static_cast<int>(bytes.size() / 5));
    }
}

TEST(PxDecoderTIFF, MemoryClientReadsStopAtTheEndOfTheBlock)
{
    std::vector<std::uint8_t> bytes = TiffBytes({StripPerRowPage()});
    const auto length = static_cast<std::uint64_t>(bytes.size());
    // Room behind the block that the client must never hand out.
    bytes.resize(bytes.size() + 64, 0xEE);
    const PxTiffHandle handle = OpenMemoryTiff(bytes.data(), length);
    ASSERT_NE(handle, nullptr);
    TIFF* tif = handle.get();
    const TIFFReadWriteProc read = TIFFGetReadProc(tif);
    const TIFFSeekProc seek = TIFFGetSeekProc(tif);
    const thandle_t client = TIFFClientdata(tif);
    EXPECT_EQ(TIFFGetSizeProc(tif)(client), length);
    std::vector<std::uint8_t> buffer(32, 0);

    EXPECT_EQ(seek(client, length - 2, SEEK_SET), length - 2);
    EXPECT_EQ(read(client, buffer.data(), 32), 2);
    EXPECT_EQ(buffer[0], bytes[length - 2]);
    EXPECT_EQ(buffer[2], 0);  // nothing beyond the block was copied
    EXPECT_EQ(read(client, buffer.data(), 32), 0);
    EXPECT_EQ(seek(client, 0, SEEK_END), length);
    EXPECT_EQ(seek(client, 1000, SEEK_CUR), length + 1000);
    EXPECT_EQ(read(client, buffer.data(), 32), 0);
    // Offsets from a hostile file can be anything; none wraps into the block.
    seek(client, ~toff_t{0} - 3, SEEK_SET);
    EXPECT_EQ(read(client, buffer.data(), 32), 0);
    EXPECT_EQ(seek(client, 4, SEEK_SET), 4u);
    EXPECT_EQ(read(client, buffer.data(), 4), 4);
    EXPECT_EQ(buffer[0], bytes[4]);
}

int processMessages = 0;

void CountMessage(const char* /*module*/, const char* /*format*/, va_list /*args*/)
{
    ++processMessages;
}

TEST(PxDecoderTIFF, LibtiffMessagesNeverReachTheProcessHandlers)
{
    const TIFFErrorHandler oldError = TIFFSetErrorHandler(CountMessage);
    const TIFFErrorHandler oldWarning = TIFFSetWarningHandler(CountMessage);
    processMessages = 0;

    std::vector<std::uint8_t> strip = TiffBytes({StripPerRowPage()});
    Put32(&strip, LongValuesAt(strip, TIFFTAG_STRIPOFFSETS), static_cast<std::uint32_t>(strip.size() + 100));
    std::vector<std::uint8_t> directory = TiffBytes({RgbPage(8, 8)});
    Put32(&directory, 4, static_cast<std::uint32_t>(directory.size() + 1000));
    std::vector<std::uint8_t> unknownTag = TiffBytes({RgbPage(8, 8)});
    unknownTag[Get32(unknownTag, 4) + 2] = 0xAB;  // the first entry's tag becomes a private, unknown one
    for (const auto& bytes : {strip, directory, unknownTag}) {
        PxBitmap bitmap;
        LoadBytes(bytes, &bitmap);
    }
    EXPECT_EQ(processMessages, 0);
    // The handlers are still the ones this test installed.
    EXPECT_EQ(TIFFSetErrorHandler(oldError), CountMessage);
    EXPECT_EQ(TIFFSetWarningHandler(oldWarning), CountMessage);
}

}  // namespace

}  // namespace brelvix
