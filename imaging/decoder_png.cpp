#include "decoder_png.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "alpha.h"
#include "color_profile.h"
#include "jump_guard.h"
#include "orientation.h"

namespace brelvix {

namespace {

// libpng prints "libpng error: ..." itself after this returns and then
// leaves through the jump target of the call in progress. Its message is
// the only account of what went wrong; the reason it gives is kept where
// the error pointer shows.
void NoteError(png_structp png, png_const_charp message)
{
    auto* reason = static_cast<PxLoadError*>(png_get_error_ptr(png));
    if (reason == nullptr || message == nullptr) {
        return;
    }
    if (strcasestr(message, "out of memory") != nullptr || strcasestr(message, "insufficient memory") != nullptr) {
        *reason = PxLoadError::OutOfMemory;
    } else if (std::strstr(message, "exceeds user limit") != nullptr || std::strstr(message, "too large") != nullptr) {
        *reason = PxLoadError::TooLarge;
    } else {
        *reason = PxLoadError::Damaged;
    }
}

void IgnoreWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// libpng takes the image data in whole blocks, so when a file is cut off,
// the block that holds the cut is lost. Large blocks keep zlib fast; in the
// last stretch of the file the blocks get small, so that a file that ends
// early loses next to nothing of what it holds.
constexpr std::uint64_t kTailBytes = 64 * 1024;
constexpr std::size_t kTailBlock = 256;

// The share of the pixels in each pass of an interlaced image, in 64ths:
// what each pass adds to the progress.
constexpr std::int64_t kPassShare[7] = {1, 1, 2, 4, 8, 16, 32};

// Pulls bytes from the stream. A short read (a truncated file) is an error
// at once: libpng must never go on with bytes the file does not hold.
void ReadFromStream(png_structp png, png_bytep data, png_size_t length)
{
    auto* stream = static_cast<PxFileStream*>(png_get_io_ptr(png));
    std::uint64_t delivered = 0;
    if (length > 0) {
        stream->Read(data, length, &delivered);
    }
    if (delivered < length) {
        std::memset(data + delivered, 0, length - delivered);
        png_error(png, "Read Error");
    }
    if (stream->Remaining() < kTailBytes) {
        png_set_compression_buffer_size(png, kTailBlock);
    }
}

// The chunk with H.273 code points, which libpng 1.6 does not know: it
// is kept as an unknown chunk and read here.
const png_byte kCicpChunk[5] = {'c', 'I', 'C', 'P', '\0'};

// Code points of a cICP chunk when they describe RGB data in full range,
// the only kind a PNG may hold.
bool ReadCicp(png_structp png, png_infop info, PxColorProfile* profile)
{
    png_unknown_chunkp chunks = nullptr;
    const int count = png_get_unknown_chunks(png, info, &chunks);
    for (int i = 0; i < count && chunks != nullptr; ++i) {
        const png_unknown_chunk& chunk = chunks[i];
        if (std::memcmp(chunk.name, kCicpChunk, 4) == 0 && chunk.size == 4 && chunk.data != nullptr) {
            return chunk.data[2] == 0 && chunk.data[3] == 1 &&
                   PxProfileFromCodePoints(chunk.data[0], chunk.data[1], profile);
        }
    }
    return false;
}

// A profile from gAMA and, where there is one, cHRM; without cHRM the
// primaries are sRGB's.
bool ReadGammaAndChromaticities(png_structp png, png_infop info, PxColorProfile* profile)
{
    double gamma = 0;
    if (png_get_valid(png, info, PNG_INFO_gAMA) == 0 || png_get_gAMA(png, info, &gamma) == 0 || !(gamma > 0)) {
        return false;
    }
    PxChromaticities chromaticities{};
    const bool own = png_get_valid(png, info, PNG_INFO_cHRM) != 0 &&
                     png_get_cHRM(png, info, &chromaticities.white[0], &chromaticities.white[1], &chromaticities.red[0],
                                  &chromaticities.red[1], &chromaticities.green[0], &chromaticities.green[1],
                                  &chromaticities.blue[0], &chromaticities.blue[1]) != 0;
    if (!own) {
        PxPrimariesFromCode(1, &chromaticities);
    }
    // gAMA gives the exponent that made the stored values; the curve back
    // to light is its inverse.
    PxTransfer transfer;
    transfer.code = 0;
    transfer.gamma = 1 / gamma;
    char description[64];
    std::snprintf(description, sizeof description, "gamma %.2f%s", transfer.gamma, own ? ", file's primaries" : "");
    return PxProfileFromPrimaries(chromaticities, transfer, description, profile);
}

// The colour information in the order the PNG standard gives it: cICP
// first, then iCCP, sRGB, and gAMA with cHRM. A chunk that cannot be used
// gives way to the next.
void ReadColorInformation(png_structp png, png_infop info, PxPictureMeta& meta)
{
    if (ReadCicp(png, info, &meta.profile)) {
        return;
    }
    png_charp name = nullptr;
    int compression = 0;
    png_bytep icc = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &icc, &length) != 0 &&
        PxProfileFromIcc(icc, length, meta.space, &meta.profile)) {
        return;
    }
    int intent = 0;
    if (png_get_sRGB(png, info, &intent) != 0) {
        PxSetSrgbProfile(&meta.profile);
        return;
    }
    ReadGammaAndChromaticities(png, info, &meta.profile);
}

}  // namespace

struct PxDecoderPNG::Library {
    Library() = default;
    ~Library()
    {
        if (readStruct != nullptr) {
            png_destroy_read_struct(&readStruct, infoStruct != nullptr ? &infoStruct : nullptr, nullptr);
        }
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // A stretch of libpng calls; false when libpng raised an error in it.
    template <typename Step>
    bool Guarded(Step&& step)
    {
        return PxGuarded(png_jmpbuf(readStruct), std::forward<Step>(step));
    }

    png_structp readStruct = nullptr;
    png_infop infoStruct = nullptr;
    PxLoadError reason = PxLoadError::Damaged;  // set by NoteError
};

PxDecoderPNG::PxDecoderPNG() = default;

PxDecoderPNG::~PxDecoderPNG() = default;

int PxDecoderPNG::ReadHeader(PxFileStream& stream, PxBitmap& bitmap)
{
    if (library != nullptr) {
        return 1;  // one decoder, one file
    }
    library.reset(new (std::nothrow) Library);
    if (library == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    png_structp& readStruct = library->readStruct;
    png_infop& infoStruct = library->infoStruct;
    readStruct = png_create_read_struct(PNG_LIBPNG_VER_STRING, &library->reason, NoteError, IgnoreWarning);
    if (readStruct == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    infoStruct = png_create_info_struct(readStruct);
    if (infoStruct == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    png_set_read_fn(readStruct, &stream, ReadFromStream);
    png_set_keep_unknown_chunks(readStruct, PNG_HANDLE_CHUNK_ALWAYS, kCicpChunk, 1);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int type = -1;
    int interlace = 0;
    const bool read = library->Guarded([&] {
        png_read_info(readStruct, infoStruct);
        png_get_IHDR(readStruct, infoStruct, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
        colorType = type;
        bitDepth = depth;
        // One transparent colour (tRNS) of an RGB picture, or of a 16-bit
        // grey one, becomes alpha in the four-byte layout: libpng compares
        // all 16 bits of each sample before they are cut to 8.
        const bool transparentColor = png_get_valid(readStruct, infoStruct, PNG_INFO_tRNS) != 0 &&
                                      (type == PNG_COLOR_TYPE_RGB || (type == PNG_COLOR_TYPE_GRAY && depth == 16));
        if (transparentColor) {
            png_set_tRNS_to_alpha(readStruct);
            if (type == PNG_COLOR_TYPE_GRAY) {
                png_set_gray_to_rgb(readStruct);
            }
            png_set_bgr(readStruct);
            png_set_swap_alpha(readStruct);
            colorKeyAlpha = true;
        }
        switch (type) {
            case PNG_COLOR_TYPE_GRAY:
            case PNG_COLOR_TYPE_PALETTE:
                break;
            case PNG_COLOR_TYPE_RGB:
                // Blue, green, red: the store's own layout, no filler.
                if (!transparentColor) {
                    png_set_bgr(readStruct);
                }
                break;
            case PNG_COLOR_TYPE_GRAY_ALPHA:
                png_set_gray_to_rgb(readStruct);
                png_set_expand(readStruct);
                png_set_bgr(readStruct);
                png_set_swap_alpha(readStruct);
                break;
            case PNG_COLOR_TYPE_RGB_ALPHA:
                png_set_bgr(readStruct);
                png_set_swap_alpha(readStruct);
                break;
            default:
                break;
        }
        if (depth == 16) {
            png_set_strip_16(readStruct);
        }
        if (depth < 8) {
            png_set_packing(readStruct);
        }
    });
    if (!read) {
        return Fail(library->reason);
    }
    std::int32_t layoutDepth = 0;
    switch (type) {
        case PNG_COLOR_TYPE_GRAY:
        case PNG_COLOR_TYPE_PALETTE:
            layoutDepth = colorKeyAlpha ? 32 : 8;
            break;
        case PNG_COLOR_TYPE_RGB:
        case PNG_COLOR_TYPE_GRAY_ALPHA:
        case PNG_COLOR_TYPE_RGB_ALPHA:
            layoutDepth = 32;
            break;
        default:
            return Fail(PxLoadError::Damaged);  // libpng accepts no other colour type
    }
    // The Exif chunk, when it comes before the image data.
    png_uint_32 exifLength = 0;
    png_bytep exif = nullptr;
    PxPictureMeta& meta = bitmap.Meta();
    if (png_get_eXIf_1(readStruct, infoStruct, &exifLength, &exif) != 0) {
        bitmap.SetOrientation(PxExifOrientation(exif, exifLength));
        if (exif != nullptr && exifLength <= kPxMaxExifBytes) {
            meta.exif.assign(exif, exif + exifLength);
        }
    }
    meta.space = (type & PNG_COLOR_MASK_COLOR) != 0 ? PxSampleSpace::kRgb : PxSampleSpace::kGrey;
    meta.bitsPerSample = depth;
    ReadColorInformation(readStruct, infoStruct, meta);
    hasAlpha = (type & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(readStruct, infoStruct, PNG_INFO_tRNS) != 0;
    // libpng caps both dimensions (one million by default), so they fit.
    bitmap.SetDimensions(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), layoutDepth);
    return 0;
}

int PxDecoderPNG::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    ReadHeader(stream, bitmap);
    // The store creation resets the depth to 24; the layout is chosen first.
    const std::int32_t layoutDepth = bitmap.BitsPerPixel();
    if (CreateStore(bitmap) != 0) {
        return 1;
    }
    // Without memory for the plane the picture shows opaque.
    if (hasAlpha) {
        bitmap.CreateAlphaPlane();
    }
    if (layoutDepth == 8) {
        ReadIndexedRows(bitmap);
    } else if (layoutDepth == 32) {
        ReadRgbRows(bitmap);
    }
    PxDropOpaqueAlpha(bitmap);
    return Cancelled() ? 1 : 0;
}

int PxDecoderPNG::ReadIndexedRows(PxBitmap& bitmap)
{
    if (library == nullptr || library->infoStruct == nullptr) {
        return 1;
    }
    if (colorType == PNG_COLOR_TYPE_GRAY) {
        // Grey levels spread evenly over 0..255: 1-bit 0, 255; 2-bit 0, 85,
        // 170, 255; 4-bit multiples of 17; 8-bit (and stripped 16-bit) as is.
        const int levels = 1 << (bitDepth < 8 ? bitDepth : 8);
        for (int i = 0; i < levels; ++i) {
            const auto value = static_cast<std::uint8_t>(i * 255 / (levels - 1));
            SetPaletteEntry(i, value, value, value, 255);
        }
    } else if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp entries = nullptr;
        int count = 0;
        if (png_get_PLTE(library->readStruct, library->infoStruct, &entries, &count) != 0 && entries != nullptr) {
            // Indices beyond the palette keep the zero entries: black.
            for (int i = 0; i < count && i < 256; ++i) {
                SetPaletteEntry(i, entries[i].red, entries[i].green, entries[i].blue, 255);
            }
        }
    }
    // tRNS: an alpha for each of the first palette entries, or the one grey
    // level (in the file's own bits, as the rows deliver it) that is clear.
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    png_color_16p clear = nullptr;
    if (png_get_tRNS(library->readStruct, library->infoStruct, &alphas, &alphaCount, &clear) != 0) {
        if (colorType == PNG_COLOR_TYPE_PALETTE && alphas != nullptr) {
            // Entries past the list, and indices past the palette, are opaque.
            for (PxColor& entry : palette) {
                entry.alpha = 255;
            }
            for (int i = 0; i < alphaCount && i < 256; ++i) {
                palette[i].alpha = alphas[i];
            }
        } else if (colorType == PNG_COLOR_TYPE_GRAY && clear != nullptr && clear->gray < 256) {
            palette[clear->gray].alpha = 0;
        }
    }
    return ReadRows(bitmap, 1);
}

int PxDecoderPNG::ReadRgbRows(PxBitmap& bitmap)
{
    if (library == nullptr || library->infoStruct == nullptr) {
        return 1;
    }
    if (colorType == PNG_COLOR_TYPE_RGB && !colorKeyAlpha) {
        return ReadRowsIntoStore(bitmap);
    }
    return ReadRows(bitmap, 4);
}

bool PxDecoderPNG::RowGoesOn(int pass, int passes, std::int64_t row, std::int64_t height) const
{
    if (control == nullptr) {
        return true;
    }
    std::int64_t before = 0;
    std::int64_t share = 64;
    if (passes == 7) {
        for (int p = 0; p < pass; ++p) {
            before += kPassShare[p];
        }
        share = kPassShare[pass];
    } else {
        before = 64 * pass / passes;
        share = 64 / passes;
    }
    return PxLoadGoesOn(control, before * height + share * row, 64 * height);
}

bool PxDecoderPNG::StartRows(std::int64_t rowBytes, int* passes)
{
    png_structp png = library->readStruct;
    png_infop info = library->infoStruct;
    const bool started = library->Guarded([&] {
        *passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
    });
    // The transformations promise exactly this row layout; libpng writes
    // png_get_rowbytes bytes per row, so anything else would overrun.
    return started && static_cast<std::int64_t>(png_get_rowbytes(png, info)) == rowBytes;
}

int PxDecoderPNG::ReadRowsIntoStore(PxBitmap& bitmap)
{
    if (bitmap.Pixels() == nullptr) {
        return 1;
    }
    const std::int64_t height = bitmap.Height();
    int passes = 1;
    if (!StartRows(3 * static_cast<std::int64_t>(bitmap.Width()), &passes)) {
        return 1;
    }
    // libpng writes a whole row or nothing, and in an interlaced image only
    // the pixels of the current pass: the zeroed store rows keep the others
    // from pass to pass, so no row buffer is needed at all.
    png_structp png = library->readStruct;
    const bool done = library->Guarded([&] {
        for (int pass = 0; pass < passes; ++pass) {
            for (std::int64_t row = 0; row < height; ++row) {
                if (!RowGoesOn(pass, passes, row, height)) {
                    return;
                }
                png_read_row(png, PxStoreRow(bitmap, height - 1 - row), nullptr);
            }
        }
    });
    return done && !Cancelled() ? 0 : 1;
}

int PxDecoderPNG::ReadRows(PxBitmap& bitmap, std::int64_t bytesPerPixel)
{
    if (bitmap.Pixels() == nullptr) {
        return 1;
    }
    const std::int64_t width = bitmap.Width();
    const std::int64_t height = bitmap.Height();
    const std::int64_t rowBytes = width * bytesPerPixel;
    int passes = 1;
    if (!StartRows(rowBytes, &passes)) {
        return 1;
    }

    // libpng writes only the pixels of the current pass into a row, so an
    // interlaced image needs a buffer per row that keeps its pixels from
    // pass to pass; otherwise one buffer serves every row.
    const bool interlaced = passes > 1;
    const auto buffers = PxZeroed<std::uint8_t>(static_cast<std::uint64_t>(rowBytes) * (interlaced ? height : 1));
    if (!buffers) {
        return 1;
    }
    auto convert = [&](const std::uint8_t* source, std::int64_t row) {
        // Image row 0 is the top: the last store row.
        std::uint8_t* target = PxStoreRow(bitmap, height - 1 - row);
        std::uint8_t* alpha = bitmap.HasAlpha() ? bitmap.Alpha() + (height - 1 - row) * width : nullptr;
        if (bytesPerPixel == 4) {
            // Alpha or filler first, then blue, green, red.
            PxCopyBgrxRow(source + 1, target, width);
            for (std::int64_t j = 0; alpha != nullptr && j < width; ++j) {
                alpha[j] = source[4 * j];
            }
            return;
        }
        for (std::int64_t j = 0; j < width; ++j) {
            const PxColor& color = palette[source[j]];
            target[3 * j] = color.blue;
            target[3 * j + 1] = color.green;
            target[3 * j + 2] = color.red;
        }
        for (std::int64_t j = 0; alpha != nullptr && j < width; ++j) {
            alpha[j] = palette[source[j]].alpha;
        }
    };

    std::int64_t current = -1;  // the row being read, for the error path
    png_structp png = library->readStruct;
    const bool done = library->Guarded([&] {
        for (int pass = 0; pass < passes; ++pass) {
            for (std::int64_t row = 0; row < height; ++row) {
                if (!RowGoesOn(pass, passes, row, height)) {
                    return;
                }
                current = row;
                std::uint8_t* buffer = buffers.get() + (interlaced ? row * rowBytes : 0);
                png_read_row(png, buffer, nullptr);
                if (!interlaced) {
                    convert(buffer, row);
                }
            }
        }
    });
    if (!done && !interlaced && current >= 0 && static_cast<std::int64_t>(png_get_current_row_number(png)) > current) {
        // libpng failed after it had delivered the row, while looking past
        // the image data (a file cut off in the last checksum): the row is
        // complete.
        convert(buffers.get(), current);
    }
    if (Cancelled()) {
        return 1;
    }
    if (interlaced) {
        // Also after an error: every row shows the passes that arrived.
        for (std::int64_t row = 0; row < height; ++row) {
            convert(buffers.get() + row * rowBytes, row);
        }
    }
    return done ? 0 : 1;
}

}  // namespace brelvix
