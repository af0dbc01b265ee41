#include "decoder_tiff.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace brelvix {

namespace {

// libtiff's messages go nowhere; returning non-zero keeps them from the
// process-wide handlers, which other code in the process may rely on.
int DiscardMessage(TIFF* /*tif*/, void* /*user*/, const char* /*module*/, const char* /*format*/, va_list /*args*/)
{
    return 1;
}

std::uint64_t& DataSize(PxTiffMemSource* source)
{
    return *source->sizeReference;
}

tmsize_t MemRead(thandle_t handle, void* buffer, tmsize_t n)
{
    auto* source = static_cast<PxTiffMemSource*>(handle);
    if (source->mode[0] != 'r' || n <= 0 || source->position >= source->capacity) {
        return 0;
    }
    std::uint64_t count = static_cast<std::uint64_t>(n);
    if (count > source->capacity - source->position) {
        count = source->capacity - source->position;
    }
    std::memcpy(buffer, source->data + source->position, static_cast<std::size_t>(count));
    source->position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t MemWrite(thandle_t handle, void* buffer, tmsize_t n)
{
    auto* source = static_cast<PxTiffMemSource*>(handle);
    if (n <= 0 || source->position >= source->capacity) {
        return 0;
    }
    std::uint64_t count = static_cast<std::uint64_t>(n);
    if (count > source->capacity - source->position) {
        count = source->capacity - source->position;
    }
    std::memcpy(source->data + source->position, buffer, static_cast<std::size_t>(count));
    source->position += count;
    if (source->mode[0] == 'w' && DataSize(source) < source->position) {
        DataSize(source) = source->position;
    }
    return static_cast<tmsize_t>(count);
}

toff_t MemSeek(thandle_t handle, toff_t offset, int whence)
{
    auto* source = static_cast<PxTiffMemSource*>(handle);
    // Offsets are unsigned; a negative SEEK_CUR step arrives as its two's
    // complement and the sum wraps back as intended. Reads check the
    // position against the block, so no bound is needed here.
    switch (whence) {
        case SEEK_SET:
            source->position = offset;
            break;
        case SEEK_CUR:
            source->position += offset;
            break;
        case SEEK_END:
            source->position = DataSize(source) + offset;
            break;
        default:
            break;
    }
    if (source->mode[0] == 'w') {
        // The written size never claims bytes beyond the block.
        const std::uint64_t reach = source->position < source->capacity ? source->position : source->capacity;
        if (DataSize(source) < reach) {
            DataSize(source) = reach;
        }
    }
    return source->position;
}

int MemClose(thandle_t handle)
{
    delete static_cast<PxTiffMemSource*>(handle);
    return 0;
}

toff_t MemSize(thandle_t handle)
{
    return DataSize(static_cast<PxTiffMemSource*>(handle));
}

// The block is already in memory, so reading hands it to libtiff as a
// mapped file: strips are decoded in place instead of being copied, and
// libtiff checks every strip and tile against the mapped size. (libtiff 4.5
// also rejects uncompressed tiles when it has to read them unmapped.)
int MemMap(thandle_t handle, void** base, toff_t* size)
{
    auto* source = static_cast<PxTiffMemSource*>(handle);
    if (source->mode[0] != 'r' || source->data == nullptr) {
        return 0;
    }
    *base = source->data;
    *size = source->capacity;
    return 1;
}

void MemUnmap(thandle_t /*handle*/, void* /*base*/, toff_t /*size*/) {}

// Replaces libtiff's routine for 8-bit RGB with a fourth sample: the four
// stored samples go to the raster word unchanged (red in the lowest byte),
// so colours with unassociated alpha are shown as stored, not darkened.
void PutRgbaContig8(TIFFRGBAImage* image, std::uint32_t* destination, std::uint32_t /*x*/, std::uint32_t /*y*/,
                    std::uint32_t w, std::uint32_t h, std::int32_t sourceSkew, std::int32_t destinationSkew,
                    unsigned char* source)
{
    const std::int64_t step = image->samplesperpixel;
    const std::int64_t rowSkip = std::int64_t{sourceSkew} * step;
    auto pack = [](const unsigned char* p) -> std::uint32_t {
        return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
               (std::uint32_t{p[3]} << 24);
    };
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

}  // namespace

TIFF* PxDecoderTIFF::OpenMemoryTiff(std::uint8_t* data, std::uint64_t length, std::uint64_t* sizeReference)
{
    auto* source = new (std::nothrow) PxTiffMemSource;
    if (source == nullptr) {
        return nullptr;
    }
    source->data = data;
    source->capacity = data != nullptr ? length : 0;
    if (sizeReference == nullptr) {
        source->ownSize = source->capacity;
        source->sizeReference = &source->ownSize;
        source->mode[0] = 'r';
    } else {
        *sizeReference = 0;
        source->sizeReference = sizeReference;
        source->mode[0] = 'w';
    }

    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        delete source;
        return nullptr;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, DiscardMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, DiscardMessage, nullptr);
    // No single buffer of libtiff's may exceed what a picture may occupy.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kPxMaxStoreBytes));
    TIFF* handle = TIFFClientOpenExt("MemSource", source->mode, source, MemRead, MemWrite, MemSeek, MemClose, MemSize,
                                     MemMap, MemUnmap, options);
    TIFFOpenOptionsFree(options);
    if (handle == nullptr) {
        // A failed open never calls the close procedure.
        delete source;
    }
    return handle;
}

PxDecoderTIFF::~PxDecoderTIFF()
{
    if (tif != nullptr) {
        TIFFClose(tif);
        tif = nullptr;
    }
}

int PxDecoderTIFF::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    // libtiff sees only the bytes that arrived.
    std::uint64_t delivered = 0;
    if (!ReadWholeFileIntoScratch(stream, &delivered)) {
        return 1;
    }
    scratchLength = delivered;

    ReadHeader(stream, bitmap);
    if (bitmap.CreatePixelStore() != 0) {
        return 1;
    }
    if (useRgbaRoute) {
        ReadRgbaImage(bitmap);
    } else {
        ReadIndexedScanlines(bitmap);
    }
    if (tif != nullptr) {
        TIFFClose(tif);
        tif = nullptr;
    }
    std::free(scratch);
    scratch = nullptr;
    scratchLength = 0;
    return 0;
}

int PxDecoderTIFF::ReadHeader(PxFileStream& /*stream*/, PxBitmap& bitmap)
{
    if (tif != nullptr) {
        TIFFClose(tif);
        tif = nullptr;
    }
    if (scratch == nullptr) {
        return 1;
    }
    tif = OpenMemoryTiff(static_cast<std::uint8_t*>(scratch), scratchLength);
    if (tif == nullptr) {
        return 1;
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
        return 1;
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
    return 0;
}

int PxDecoderTIFF::ReadRgbaImage(PxBitmap& bitmap)
{
    if (tif == nullptr || bitmap.Pixels() == nullptr || bitmap.Width() <= 0 || bitmap.Height() <= 0) {
        return 1;
    }
    const RgbaOutcome outcome = ReadRgbaBands(bitmap);
    if (outcome != RgbaOutcome::kBandFailed) {
        return outcome == RgbaOutcome::kDone ? 0 : 1;
    }
    // A band did not decode. libtiff's whole-picture reader handles damaged
    // strips and tiles in its own way (it may repeat the previous one), so
    // the picture is read again that way, from a clean store and, where the
    // file is at hand, a fresh handle.
    if (scratch != nullptr) {
        TIFFClose(tif);
        tif = OpenMemoryTiff(static_cast<std::uint8_t*>(scratch), scratchLength);
        if (tif == nullptr) {
            return 1;
        }
    }
    return ReadRgbaWhole(bitmap);
}

bool PxDecoderTIFF::BeginRgba(TIFFRGBAImage* image)
{
    char message[1024] = {};  // libtiff's reason for refusing; not shown
    if (TIFFRGBAImageBegin(image, tif, 0, message) == 0) {
        return false;
    }
    if (samplesPerPixel == 4 && image->bitspersample == 8 && image->photometric == PHOTOMETRIC_RGB && image->isContig) {
        image->put.contig = PutRgbaContig8;
    }
    return true;
}

PxDecoderTIFF::RgbaOutcome PxDecoderTIFF::ReadRgbaBands(PxBitmap& bitmap)
{
    const std::int64_t w = bitmap.Width();
    const std::int64_t h = bitmap.Height();
    TIFFRGBAImage image;
    if (!BeginRgba(&image)) {
        return RgbaOutcome::kRefused;
    }
    if (image.width != static_cast<std::uint32_t>(w) || image.height != static_cast<std::uint32_t>(h)) {
        TIFFRGBAImageEnd(&image);
        return RgbaOutcome::kRefused;
    }
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
    const std::uint64_t rasterBytes = band * rowBytes;
    auto* raster = rasterBytes <= kPxMaxStoreBytes
                       ? static_cast<std::uint32_t*>(std::calloc(static_cast<std::size_t>(rasterBytes), 1))
                       : nullptr;
    if (raster == nullptr) {
        TIFFRGBAImageEnd(&image);
        return RgbaOutcome::kBandFailed;
    }
    // libtiff then lays each band out in file order, mirroring columns where
    // the orientation asks for it; the rows are placed here.
    const std::uint16_t orientation = image.orientation;
    const bool topFirst = orientation == ORIENTATION_TOPLEFT || orientation == ORIENTATION_TOPRIGHT ||
                          orientation == ORIENTATION_LEFTTOP || orientation == ORIENTATION_RIGHTTOP;
    image.req_orientation = topFirst ? ORIENTATION_TOPLEFT : ORIENTATION_BOTLEFT;
    RgbaOutcome outcome = RgbaOutcome::kDone;
    std::int64_t first = 0;
    for (; first < h; first += static_cast<std::int64_t>(band)) {
        const std::int64_t rows = std::min<std::int64_t>(static_cast<std::int64_t>(band), h - first);
        image.row_offset = static_cast<int>(first);
        std::memset(raster, 0, static_cast<std::size_t>(rowBytes * static_cast<std::uint64_t>(rows)));
        if (TIFFRGBAImageGet(&image, raster, static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(rows)) == 0) {
            outcome = RgbaOutcome::kBandFailed;
            break;
        }
        for (std::int64_t k = 0; k < rows; ++k) {
            const std::int64_t fileRow = first + k;
            RasterRowToStore(raster + k * w, w, PxStoreRow(bitmap, topFirst ? h - 1 - fileRow : fileRow));
        }
    }
    if (outcome == RgbaOutcome::kBandFailed && first > 0) {
        // The rows stored so far are cleared again: they lie at the top of
        // the picture (the end of the store) or at its bottom (the start).
        const std::int64_t start = topFirst ? h - first : 0;
        std::memset(PxStoreRow(bitmap, start), 0, static_cast<std::size_t>(first * bitmap.Stride()));
    }
    std::free(raster);
    TIFFRGBAImageEnd(&image);
    return outcome;
}

int PxDecoderTIFF::ReadRgbaWhole(PxBitmap& bitmap)
{
    const std::int64_t w = bitmap.Width();
    const std::int64_t h = bitmap.Height();
    const std::uint64_t rasterBytes = static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) * 4;
    if (rasterBytes > kPxMaxStoreBytes) {
        return 1;
    }
    // Zeroed, so whatever libtiff leaves unwritten shows black.
    auto* raster = static_cast<std::uint32_t*>(std::calloc(static_cast<std::size_t>(rasterBytes), 1));
    if (raster == nullptr) {
        return 1;
    }
    TIFFRGBAImage image;
    if (!BeginRgba(&image)) {
        std::free(raster);
        return 1;
    }
    if (image.width != static_cast<std::uint32_t>(w) || image.height != static_cast<std::uint32_t>(h) ||
        TIFFRGBAImageGet(&image, raster, image.width, image.height) == 0) {
        TIFFRGBAImageEnd(&image);
        std::free(raster);
        return 1;
    }
    // Both the raster and the store have the bottom row first.
    for (std::int64_t r = 0; r < h; ++r) {
        RasterRowToStore(raster + r * w, w, PxStoreRow(bitmap, r));
    }
    TIFFRGBAImageEnd(&image);
    std::free(raster);
    return 0;
}

int PxDecoderTIFF::ReadIndexedScanlines(PxBitmap& bitmap)
{
    if (tif == nullptr || bitmap.Pixels() == nullptr) {
        return 1;
    }
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
    if (lineBytes == 0 || lineBytes > kPxMaxStoreBytes || lineBytes < needed) {
        return 1;
    }
    // Two spare bytes let the sub-byte reader take 16 bits at any sample.
    auto* line = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(lineBytes) + 2, 1));
    if (line == nullptr) {
        return 1;
    }
    const unsigned mask = static_cast<unsigned>(n - 1);
    const unsigned topShift = 16u - bitsPerSample;
    for (std::int64_t row = 0; row < h; ++row) {
        if (TIFFReadScanline(tif, line, static_cast<std::uint32_t>(row), 0) == -1 && row < h / 3) {
            std::free(line);
            return 1;
        }
        std::uint8_t* out = PxStoreRow(bitmap, h - 1 - row);
        if (bitsPerSample == 8) {
            const std::uint8_t* in = line;
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
                const std::uint8_t* p = line + (bit >> 3);
                const unsigned window = (unsigned{p[0]} << 8) | p[1];
                const PxColor& c = palette[(window >> (topShift - (bit & 7))) & mask];
                out[0] = c.blue;
                out[1] = c.green;
                out[2] = c.red;
            }
        }
    }
    std::free(line);
    return 0;
}

}  // namespace brelvix
