#include "decoder_tiff.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "alpha.h"
#include "byte_reader.h"
#include "color_profile.h"
#include "exif_bytes.h"
#include "tiff_memory.h"

namespace brelvix {

namespace {

// Raster bytes per band of the RGBA route.
constexpr std::uint64_t kBandBytes = std::uint64_t{1} << 20;

enum class RgbaOutcome { kDone, kRefused, kBandFailed, kCancelled };

// Replaces libtiff's routine for 8-bit RGB with a fourth sample: the four
// stored samples go to the raster word unchanged (red in the lowest byte),
// so colours with unassociated alpha are shown as stored, not darkened.
void PutRgbaContig8(TIFFRGBAImage* image, std::uint32_t* destination, std::uint32_t /*x*/, std::uint32_t /*y*/,
                    std::uint32_t w, std::uint32_t h, std::int32_t sourceSkew, std::int32_t destinationSkew,
                    unsigned char* source)
{
    const std::int64_t step = image->samplesperpixel;
    const std::int64_t rowSkip = std::int64_t{sourceSkew} * step;
    auto pack = [](const unsigned char* p) { return PxLe32(p); };
    for (; h > 0; --h) {
        std::uint32_t n = w;
        for (; n >= 8; n -= 8) {
            destination[0] = pack(source);
            destination[1] = pack(source + step);
            destination[2] = pack(source + 2 * step);
            destination[3] = pack(source + 3 * step);
            destination[4] = pack(source + 4 * step);
            destination[5] = pack(source + 5 * step);
            destination[6] = pack(source + 6 * step);
            destination[7] = pack(source + 7 * step);
            destination += 8;
            source += 8 * step;
        }
        for (; n > 0; --n) {
            *destination++ = pack(source);
            source += step;
        }
        destination += destinationSkew;
        source += rowSkip;
    }
}

// Converts one raster row (red in the lowest byte of each word) into store
// bytes blue, green, red. Four pixels become three 32-bit words: byte-
// swapping a word and dropping its low byte gives that pixel's blue, green,
// red with blue lowest.
void RasterRowToStore(const std::uint32_t* in, std::int64_t width, std::uint8_t* out)
{
    std::int64_t j = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; j + 4 <= width; j += 4, in += 4, out += 12) {
            const std::uint32_t t0 = __builtin_bswap32(in[0]) >> 8;
            const std::uint32_t t1 = __builtin_bswap32(in[1]) >> 8;
            const std::uint32_t t2 = __builtin_bswap32(in[2]) >> 8;
            const std::uint32_t t3 = __builtin_bswap32(in[3]) >> 8;
            const std::uint32_t words[3] = {t0 | t1 << 24, t1 >> 8 | t2 << 16, t2 >> 16 | t3 << 8};
            std::memcpy(out, words, 12);
        }
    }
    for (; j < width; ++j, ++in, out += 3) {
        out[0] = static_cast<std::uint8_t>(*in >> 16);
        out[1] = static_cast<std::uint8_t>(*in >> 8);
        out[2] = static_cast<std::uint8_t>(*in);
    }
}

// The alpha of one raster row (alpha in the highest byte of each word).
void RasterRowToAlpha(const std::uint32_t* in, std::int64_t width, std::uint8_t* out)
{
    for (std::int64_t j = 0; j < width; ++j) {
        out[j] = static_cast<std::uint8_t>(in[j] >> 24);
    }
}

// libtiff's RGBA reader on `tif`, begun, and ended when it goes.
class RgbaReader {
public:
    // Uses the decoder's own routine for 8-bit RGB with a fourth sample.
    RgbaReader(TIFF* tif, std::uint16_t samplesPerPixel)
    {
        char message[1024] = {};  // libtiff's reason for refusing; not shown
        begun = TIFFRGBAImageBegin(&image, tif, 0, message) != 0;
        if (begun && samplesPerPixel == 4 && image.bitspersample == 8 && image.photometric == PHOTOMETRIC_RGB &&
            image.isContig) {
            image.put.contig = PutRgbaContig8;
            ownRoutine = true;
        }
    }

    // Gives a picture whose file has alpha a plane for it (rows are put in
    // as the raster arrives); the colours libtiff hands over are multiplied
    // by alpha unless the decoder's own routine copied unassociated alpha.
    void PrepareAlpha(PxBitmap& bitmap) const
    {
        if (!begun || image.alpha == 0) {
            return;
        }
        if (!bitmap.HasAlpha()) {
            bitmap.CreateAlphaPlane();
        }
        bitmap.Meta().alphaPremultiplied = !(ownRoutine && image.alpha == EXTRASAMPLE_UNASSALPHA);
    }
    ~RgbaReader()
    {
        if (begun) {
            TIFFRGBAImageEnd(&image);
        }
    }
    RgbaReader(const RgbaReader&) = delete;
    RgbaReader& operator=(const RgbaReader&) = delete;

    // False when libtiff refuses the image or sees another size than the bitmap's.
    bool Fits(const PxBitmap& bitmap) const
    {
        return begun && image.width == static_cast<std::uint32_t>(bitmap.Width()) &&
               image.height == static_cast<std::uint32_t>(bitmap.Height());
    }

    TIFFRGBAImage image{};

private:
    bool begun = false;
    bool ownRoutine = false;
};

// The alpha row of store row `storeRow`, or null without a plane.
std::uint8_t* AlphaRow(PxBitmap& bitmap, std::int64_t storeRow)
{
    return bitmap.HasAlpha() ? bitmap.Alpha() + storeRow * bitmap.Width() : nullptr;
}

// `control` is looked at before each band: a band is a strip or a row of
// tiles, or as many as fill about kBandBytes of raster.
RgbaOutcome ReadRgbaBands(TIFF* tif, std::uint16_t samplesPerPixel, PxBitmap& bitmap, PxLoadControl* control)
{
    const std::int64_t w = bitmap.Width();
    const std::int64_t h = bitmap.Height();
    RgbaReader reader(tif, samplesPerPixel);
    if (!reader.Fits(bitmap)) {
        return RgbaOutcome::kRefused;
    }
    reader.PrepareAlpha(bitmap);
    TIFFRGBAImage& image = reader.image;
    // Bands of whole strips or whole rows of tiles, so that each is decoded
    // once, and of about kBandBytes of raster so that a band is converted
    // while it is still in the cache.
    std::uint32_t unit = 0;
    TIFFGetFieldDefaulted(tif, TIFFIsTiled(tif) ? TIFFTAG_TILELENGTH : TIFFTAG_ROWSPERSTRIP, &unit);
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(w) * 4;
    std::uint64_t band = unit == 0 || unit > static_cast<std::uint64_t>(h) ? static_cast<std::uint64_t>(h) : unit;
    if (band * rowBytes < kBandBytes) {
        band *= kBandBytes / (band * rowBytes);
    }
    if (band > static_cast<std::uint64_t>(h)) {
        band = static_cast<std::uint64_t>(h);
    }
    const auto raster = PxZeroed<std::uint32_t>(band * static_cast<std::uint64_t>(w));
    if (!raster) {
        return RgbaOutcome::kBandFailed;
    }
    // libtiff then lays each band out in file order, mirroring columns where
    // the orientation asks for it; the rows are placed here.
    const std::uint16_t orientation = image.orientation;
    const bool topFirst = orientation == ORIENTATION_TOPLEFT || orientation == ORIENTATION_TOPRIGHT ||
                          orientation == ORIENTATION_LEFTTOP || orientation == ORIENTATION_RIGHTTOP;
    image.req_orientation = topFirst ? ORIENTATION_TOPLEFT : ORIENTATION_BOTLEFT;
    std::int64_t first = 0;
    for (; first < h; first += static_cast<std::int64_t>(band)) {
        if (!PxLoadGoesOn(control, first, h)) {
            return RgbaOutcome::kCancelled;
        }
        const std::int64_t rows = std::min<std::int64_t>(static_cast<std::int64_t>(band), h - first);
        image.row_offset = static_cast<int>(first);
        std::memset(raster.get(), 0, static_cast<std::size_t>(rowBytes * static_cast<std::uint64_t>(rows)));
        if (TIFFRGBAImageGet(&image, raster.get(), static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(rows)) ==
            0) {
            // The rows stored so far are cleared again: they lie at the top
            // of the picture (the end of the store) or at its bottom (the start).
            if (first > 0) {
                const std::int64_t start = topFirst ? h - first : 0;
                std::memset(PxStoreRow(bitmap, start), 0, static_cast<std::size_t>(first * bitmap.Stride()));
            }
            return RgbaOutcome::kBandFailed;
        }
        for (std::int64_t k = 0; k < rows; ++k) {
            const std::int64_t fileRow = first + k;
            const std::int64_t storeRow = topFirst ? h - 1 - fileRow : fileRow;
            RasterRowToStore(raster.get() + k * w, w, PxStoreRow(bitmap, storeRow));
            if (std::uint8_t* alpha = AlphaRow(bitmap, storeRow)) {
                RasterRowToAlpha(raster.get() + k * w, w, alpha);
            }
        }
    }
    return RgbaOutcome::kDone;
}

// The picture through one raster of its full size.
int ReadRgbaWhole(TIFF* tif, std::uint16_t samplesPerPixel, PxBitmap& bitmap)
{
    const std::int64_t w = bitmap.Width();
    const std::int64_t h = bitmap.Height();
    // Zeroed, so whatever libtiff leaves unwritten shows black.
    const auto raster = PxZeroed<std::uint32_t>(static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h));
    if (!raster) {
        return 1;
    }
    RgbaReader reader(tif, samplesPerPixel);
    if (!reader.Fits(bitmap) ||
        TIFFRGBAImageGet(&reader.image, raster.get(), reader.image.width, reader.image.height) == 0) {
        return 1;
    }
    reader.PrepareAlpha(bitmap);
    // Both the raster and the store have the bottom row first.
    for (std::int64_t r = 0; r < h; ++r) {
        RasterRowToStore(raster.get() + r * w, w, PxStoreRow(bitmap, r));
        if (std::uint8_t* alpha = AlphaRow(bitmap, r)) {
            RasterRowToAlpha(raster.get() + r * w, w, alpha);
        }
    }
    return 0;
}

}  // namespace

struct PxDecoderTIFF::Library {
    PxTiffHandle tif;
};

PxDecoderTIFF::PxDecoderTIFF() : library(new (std::nothrow) Library) {}

PxDecoderTIFF::~PxDecoderTIFF() = default;

int PxDecoderTIFF::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    // libtiff sees only the bytes that arrived.
    std::uint64_t delivered = 0;
    if (library == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    if (!ReadWholeFileIntoScratch(stream, &delivered)) {
        return 1;
    }
    scratchLength = delivered;

    ReadHeader(stream, bitmap);
    if (CreateStore(bitmap) != 0) {
        return 1;
    }
    if (useRgbaRoute) {
        ReadRgbaImage(bitmap);
    } else {
        ReadIndexedScanlines(bitmap);
    }
    PxDropOpaqueAlpha(bitmap);
    // The handle reads from the file's copy: it goes first.
    library->tif.reset();
    scratch.reset();
    scratchLength = 0;
    return Cancelled() ? 1 : 0;
}

int PxDecoderTIFF::ReadHeader(PxFileStream& /*stream*/, PxBitmap& bitmap)
{
    if (library == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    library->tif.reset();
    if (!scratch) {
        return 1;
    }
    library->tif = OpenMemoryTiff(scratch.get(), scratchLength);
    TIFF* tif = library->tif.get();
    if (tif == nullptr) {
        // libtiff found no header or first directory it could read.
        return Fail(PxLoadError::Damaged);
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bitsPerSample = 1;
    std::uint16_t samples = 1;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    samplesPerPixel = samples;
    if (width > INT32_MAX || height > INT32_MAX) {
        return Fail(PxLoadError::TooLarge);
    }

    const bool tiled = TIFFIsTiled(tif) != 0;
    std::int32_t depth = 32;
    if (!tiled) {
        if (samples == 1 && bitsPerSample == 1) {
            depth = 1;
        } else if (samples < 3 && bitsPerSample <= 8) {
            depth = 8;
        }
    }
    bitmap.SetDimensions(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), depth);
    useRgbaRoute = !((samples == 1 || samples == 2) && bitsPerSample <= 8 && !tiled);
    ReadPictureMeta(bitmap.Meta(), bitsPerSample);
    return 0;
}

void PxDecoderTIFF::ReadPictureMeta(PxPictureMeta& meta, std::uint16_t bitsPerSample) const
{
    TIFF* tif = library->tif.get();
    meta.bitsPerSample = bitsPerSample;
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    // CMYK pictures come out of libtiff's plain conversion; their profile
    // has no samples to work on and is left alone.
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    meta.space = grey ? PxSampleSpace::kGrey : PxSampleSpace::kRgb;
    std::uint32_t length = 0;
    void* profile = nullptr;
    if (photometric != PHOTOMETRIC_SEPARATED && TIFFGetField(tif, TIFFTAG_ICCPROFILE, &length, &profile) != 0) {
        PxProfileFromIcc(static_cast<const std::uint8_t*>(profile), length, meta.space, &meta.profile);
    }
    meta.exif = PxExifFromTiff(scratch.get(), static_cast<std::size_t>(scratchLength));
}

int PxDecoderTIFF::ReadRgbaImage(PxBitmap& bitmap)
{
    if (library == nullptr || library->tif == nullptr || bitmap.Pixels() == nullptr || bitmap.Width() <= 0 ||
        bitmap.Height() <= 0) {
        return 1;
    }
    const RgbaOutcome outcome = ReadRgbaBands(library->tif.get(), samplesPerPixel, bitmap, control);
    if (outcome != RgbaOutcome::kBandFailed) {
        return outcome == RgbaOutcome::kDone ? 0 : 1;
    }
    if (Cancelled()) {
        return 1;
    }
    // A band did not decode. libtiff's whole-picture reader handles damaged
    // strips and tiles in its own way (it may repeat the previous one), so
    // the picture is read again that way, from a clean store and, where the
    // file is at hand, a fresh handle.
    if (scratch) {
        library->tif.reset();
        library->tif = OpenMemoryTiff(scratch.get(), scratchLength);
        if (library->tif == nullptr) {
            return 1;
        }
    }
    return ReadRgbaWhole(library->tif.get(), samplesPerPixel, bitmap);
}

int PxDecoderTIFF::ReadIndexedScanlines(PxBitmap& bitmap)
{
    if (library == nullptr || library->tif == nullptr || bitmap.Pixels() == nullptr) {
        return 1;
    }
    TIFF* tif = library->tif.get();
    std::uint16_t bitsPerSample = 1;
    std::uint16_t samples = 1;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    // Without the tag, 0 is black, as libtiff's own readers assume.
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    if (bitsPerSample == 0 || bitsPerSample > 8 || samples == 0) {
        return 1;
    }
    if (photometric != PHOTOMETRIC_MINISWHITE && photometric != PHOTOMETRIC_MINISBLACK &&
        photometric != PHOTOMETRIC_PALETTE) {
        photometric = PHOTOMETRIC_MINISWHITE;
    }

    // The colour table: one entry per possible sample value.
    const int n = 1 << bitsPerSample;
    std::uint16_t* red = nullptr;
    std::uint16_t* green = nullptr;
    std::uint16_t* blue = nullptr;
    if (photometric == PHOTOMETRIC_PALETTE && TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) != 0 &&
        red != nullptr && green != nullptr && blue != nullptr) {
        bool sixteenBit = false;
        for (int i = 0; i < n; ++i) {
            if (red[i] >= 256 || green[i] >= 256 || blue[i] >= 256) {
                sixteenBit = true;
                break;
            }
        }
        auto scale = [sixteenBit](std::uint32_t v) {
            return static_cast<std::uint8_t>(sixteenBit ? v * 255 / 65535 : v);
        };
        for (int i = 0; i < n; ++i) {
            SetPaletteEntry(i, scale(red[i]), scale(green[i]), scale(blue[i]), 255);
        }
    } else {
        // A palette image whose map libtiff could not give shows grey.
        for (int i = 0; i < n; ++i) {
            const int level = photometric == PHOTOMETRIC_MINISWHITE ? n - 1 - i : i;
            const auto grey = static_cast<std::uint8_t>(level * 255 / (n - 1 > 0 ? n - 1 : 1));
            SetPaletteEntry(i, grey, grey, grey, 255);
        }
    }

    const std::int64_t w = bitmap.Width();
    const std::int64_t h = bitmap.Height();
    // A scanline of separate planes holds the first sample only.
    const std::uint64_t step = planar == PLANARCONFIG_SEPARATE ? 1 : samples;
    const std::uint64_t bitStep = step * bitsPerSample;
    const std::uint64_t needed = (static_cast<std::uint64_t>(w) * bitStep + 7) / 8;
    const std::uint64_t lineBytes = TIFFScanlineSize64(tif);
    if (lineBytes == 0 || lineBytes < needed) {
        return 1;
    }
    // Two spare bytes let the sub-byte reader take 16 bits at any sample.
    const auto line = PxZeroed<std::uint8_t>(lineBytes + 2);
    if (!line) {
        return 1;
    }
    // An 8-bit grey picture with an alpha sample beside each grey one.
    std::uint16_t extraCount = 0;
    std::uint16_t* extraTypes = nullptr;
    const bool alphaSample = samples == 2 && step == 2 && bitsPerSample == 8 &&
                             TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) != 0 &&
                             extraCount == 1 && extraTypes != nullptr &&
                             (extraTypes[0] == EXTRASAMPLE_ASSOCALPHA || extraTypes[0] == EXTRASAMPLE_UNASSALPHA);
    if (alphaSample && bitmap.CreateAlphaPlane() == 0) {
        bitmap.Meta().alphaPremultiplied = extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    const unsigned mask = static_cast<unsigned>(n - 1);
    const unsigned topShift = 16u - bitsPerSample;
    for (std::int64_t row = 0; row < h; ++row) {
        if (!PxLoadGoesOn(control, row, h) ||
            (TIFFReadScanline(tif, line.get(), static_cast<std::uint32_t>(row), 0) == -1 && row < h / 3)) {
            return 1;
        }
        std::uint8_t* out = PxStoreRow(bitmap, h - 1 - row);
        if (std::uint8_t* alpha = AlphaRow(bitmap, h - 1 - row)) {
            for (std::int64_t j = 0; j < w; ++j) {
                alpha[j] = line[2 * j + 1];
            }
        }
        if (bitsPerSample == 8) {
            const std::uint8_t* in = line.get();
            for (std::int64_t j = 0; j < w; ++j, in += step, out += 3) {
                const PxColor& c = palette[*in];
                out[0] = c.blue;
                out[1] = c.green;
                out[2] = c.red;
            }
        } else {
            // Samples are packed from the most significant bit down.
            std::uint64_t bit = 0;
            for (std::int64_t j = 0; j < w; ++j, bit += bitStep, out += 3) {
                const std::uint8_t* p = line.get() + (bit >> 3);
                const unsigned window = (unsigned{p[0]} << 8) | p[1];
                const PxColor& c = palette[(window >> (topShift - (bit & 7))) & mask];
                out[0] = c.blue;
                out[1] = c.green;
                out[2] = c.red;
            }
        }
    }
    return 0;
}

}  // namespace brelvix
