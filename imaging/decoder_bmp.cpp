#include "decoder_bmp.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "alpha.h"
#include "byte_reader.h"

namespace brelvix {

namespace {

// ---- File layout --------------------------------------------------------
// All fields are little-endian. Offsets count from the start of each structure.

// The first two bytes of a file header, read as one little-endian 16-bit value.
constexpr std::int32_t kSignatureBM = 0x4D42;
constexpr std::int32_t kSignatureIC = 0x4349;
constexpr std::int32_t kSignatureCI = 0x4943;
constexpr std::int32_t kSignatureCP = 0x5043;
// An OS/2 bitmap-array header; any number of them may precede the file header.
constexpr std::int32_t kSignatureBA = 0x4142;

// Rest of a bitmap-array header after its signature: its size (4), the
// offset of the next one (4), display width (2) and height (2). Unused.
constexpr std::uint64_t kArrayHeaderRestBytes = 12;

// Rest of the file header after its signature.
constexpr std::size_t kFileHeaderRestBytes = 12;
constexpr std::size_t kPixelOffsetAt = 8;  // after file size (4) and two reserved words

// Info header sizes that have a layout of their own.
constexpr std::uint32_t kCoreHeaderBytes = 12;
constexpr std::uint32_t kInfoHeaderBytes = 40;

// Core header (12 bytes): size, then unsigned 16-bit fields.
constexpr std::size_t kCoreWidthAt = 4;
constexpr std::size_t kCoreHeightAt = 6;
constexpr std::size_t kCoreBitsAt = 10;  // after planes

// Info header (40 bytes and larger).
constexpr std::size_t kInfoWidthAt = 4;
constexpr std::size_t kInfoHeightAt = 8;
constexpr std::size_t kInfoBitsAt = 14;  // after planes (2)
constexpr std::size_t kInfoCompressionAt = 16;
constexpr std::size_t kInfoColorsUsedAt = 32;  // after image size and two resolutions
// Headers larger than 40 bytes keep the red, green and blue masks here,
// and from 56 bytes on the alpha mask after them.
constexpr std::size_t kInfoMasksAt = 40;
constexpr std::size_t kInfoWithMasksBytes = 52;
static_assert(kInfoWithMasksBytes == kInfoMasksAt + 3 * 4);
constexpr std::size_t kInfoAlphaMaskAt = 52;
constexpr std::size_t kInfoWithAlphaMaskBytes = 56;

constexpr std::uint32_t kCompressionBitFields = 3;
constexpr std::uint32_t kCompressionAlphaBitFields = 6;

// Without bit fields a 16-bit pixel is 5-5-5 (bit 15 unused); a 32-bit one
// is blue, green, red and an unused byte.
constexpr std::uint32_t kRed555 = 0x7C00;
constexpr std::uint32_t kGreen555 = 0x03E0;
constexpr std::uint32_t kBlue555 = 0x001F;
constexpr std::uint32_t kRed888 = 0xFF0000;
constexpr std::uint32_t kGreen888 = 0x00FF00;
constexpr std::uint32_t kBlue888 = 0x0000FF;

// File rows are padded to a multiple of 4 bytes.
std::uint64_t PaddedRowBytes(std::uint64_t dataBytes)
{
    return (dataBytes + 3) & ~std::uint64_t{3};
}

// ---- Pixel step ---------------------------------------------------------

// Palette entries as blue, green, red and a spare byte, ready to be copied
// into the store (the spare byte lets a pixel be written as one 4-byte word
// that the next pixel then overwrites).
using Colors = std::uint8_t[256][4];

// Where the readers write: file row k goes to store row k for a bottom-up
// file and to store row height - 1 - k for a top-down one.
struct Picture {
    PxFileStream& stream;
    PxBitmap& bitmap;
    std::int64_t width;
    std::int64_t height;
    bool topDown;
    PxLoadControl* control;  // looked at before each row

    std::uint8_t* Row(std::int64_t fileRow) const
    {
        return PxStoreRow(bitmap, topDown ? height - 1 - fileRow : fileRow);
    }

    // The alpha row beside a store row, or null without a plane.
    std::uint8_t* AlphaBeside(const std::uint8_t* storeRow) const
    {
        if (!bitmap.HasAlpha()) {
            return nullptr;
        }
        return bitmap.Alpha() + (storeRow - bitmap.Pixels()) / bitmap.Stride() * width;
    }
};

// Once the file has ended, every row still to come repeats the one before
// it (file row k - 1). Called then, this finishes the picture at once: a
// black row needs no copying (the store is still zero), any other is
// doubled into the rest with a few large copies. Whole strides are copied;
// the padding bytes are zero in every row.
void RepeatToTheEnd(const Picture& picture, std::int64_t k)
{
    const std::size_t rowBytes = static_cast<std::size_t>(3 * picture.width);
    const std::uint8_t* last = picture.Row(k - 1);
    if (const std::uint8_t* lastAlpha = picture.AlphaBeside(last)) {
        for (std::int64_t rest = k; rest < picture.height; ++rest) {
            std::memcpy(picture.AlphaBeside(picture.Row(rest)), lastAlpha, static_cast<std::size_t>(picture.width));
        }
    }
    if (std::all_of(last, last + rowBytes, [](std::uint8_t b) { return b == 0; })) {
        return;
    }
    // The rows to fill and the source row form one run of store rows: from
    // the source upwards for a bottom-up file, from store row 0 up to the
    // source for a top-down one.
    const std::int64_t stride = picture.bitmap.Stride();
    const std::int64_t rows = picture.height - k;
    std::uint8_t* base = picture.topDown ? PxStoreRow(picture.bitmap, 0) : picture.Row(k - 1);
    if (picture.topDown) {
        std::memcpy(base, last, static_cast<std::size_t>(stride));
    }
    const std::int64_t total = (picture.topDown ? rows : rows + 1) * stride;
    for (std::int64_t filled = stride; filled < total;) {
        const std::int64_t n = std::min(filled, total - filled);
        std::memcpy(base + filled, base, static_cast<std::size_t>(n));
        filled += n;
    }
}

// Writes `count` palette pixels; every pixel but the last is stored as a
// word whose spare byte the following pixel overwrites.
void PutIndexed(std::uint8_t* out, const std::uint8_t* indices, std::int64_t count, const Colors& colors)
{
    std::int64_t x = 0;
    for (; x + 1 < count; ++x) {
        std::memcpy(out + 3 * x, colors[indices[x]], 4);
    }
    if (x < count) {
        std::memcpy(out + 3 * x, colors[indices[x]], 3);
    }
}

// 1 and 4 bits per pixel. The data arrives one byte variable at a time: a
// byte the file no longer supplies keeps the value of the last one that
// arrived (zero before the first). `expand(out, firstByte, bytes, count)`
// turns `count` data bytes, those of the row from `firstByte` on, into pixels.
template <typename Expand>
void ReadPackedRows(const Picture& picture, std::uint64_t dataBytes, Expand expand)
{
    constexpr std::uint64_t kChunkBytes = 4096;
    std::uint8_t chunk[kChunkBytes];
    const std::uint64_t padding = PaddedRowBytes(dataBytes) - dataBytes;
    std::uint8_t last = 0;
    bool previousRowEmpty = false;
    for (std::int64_t k = 0; k < picture.height; ++k) {
        if (!PxLoadGoesOn(picture.control, k, picture.height)) {
            return;
        }
        if (previousRowEmpty && picture.stream.Remaining() == 0) {
            // Nothing arrives any more: every row repeats the last byte like the one before.
            RepeatToTheEnd(picture, k);
            return;
        }
        std::uint8_t* out = picture.Row(k);
        std::uint64_t arrivedInRow = 0;
        for (std::uint64_t done = 0; done < dataBytes;) {
            const std::uint64_t n = std::min(kChunkBytes, dataBytes - done);
            std::uint64_t arrived = 0;
            picture.stream.Read(chunk, n, &arrived);
            if (arrived > 0) {
                last = chunk[arrived - 1];
            }
            std::memset(chunk + arrived, last, static_cast<std::size_t>(n - arrived));
            expand(out, done, chunk, n);
            arrivedInRow += arrived;
            done += n;
        }
        previousRowEmpty = arrivedInRow == 0;
        picture.stream.Skip(padding);
    }
}

void ReadRows1(const Picture& picture, const Colors& colors)
{
    // Each data byte gives 8 pixels, most significant bit first.
    std::uint8_t expanded[256][24];
    for (int value = 0; value < 256; ++value) {
        for (int bit = 0; bit < 8; ++bit) {
            std::memcpy(expanded[value] + 3 * bit, colors[(value >> (7 - bit)) & 1], 3);
        }
    }
    const std::int64_t width = picture.width;
    const std::uint64_t fullBytes = static_cast<std::uint64_t>(width) / 8;
    ReadPackedRows(picture, (static_cast<std::uint64_t>(width) + 7) / 8,
                   [&](std::uint8_t* out, std::uint64_t firstByte, const std::uint8_t* bytes, std::uint64_t count) {
                       // Whole bytes with a fixed-size copy; the row's last byte may hold fewer pixels.
                       std::uint8_t* at = out + 24 * firstByte;
                       const std::uint64_t whole = firstByte >= fullBytes ? 0 : std::min(count, fullBytes - firstByte);
                       for (std::uint64_t i = 0; i < whole; ++i) {
                           std::memcpy(at + 24 * i, expanded[bytes[i]], 24);
                       }
                       if (whole < count) {
                           std::memcpy(at + 24 * whole, expanded[bytes[whole]],
                                       static_cast<std::size_t>(3 * (width % 8)));
                       }
                   });
}

void ReadRows4(const Picture& picture, const Colors& colors)
{
    // Each data byte gives 2 pixels, high nibble first.
    std::uint8_t expanded[256][6];
    for (int value = 0; value < 256; ++value) {
        std::memcpy(expanded[value], colors[value >> 4], 3);
        std::memcpy(expanded[value] + 3, colors[value & 15], 3);
    }
    const std::int64_t width = picture.width;
    const std::uint64_t fullBytes = static_cast<std::uint64_t>(width) / 2;
    ReadPackedRows(picture, (static_cast<std::uint64_t>(width) + 1) / 2,
                   [&](std::uint8_t* out, std::uint64_t firstByte, const std::uint8_t* bytes, std::uint64_t count) {
                       std::uint8_t* at = out + 6 * firstByte;
                       const std::uint64_t whole = firstByte >= fullBytes ? 0 : std::min(count, fullBytes - firstByte);
                       for (std::uint64_t i = 0; i < whole; ++i) {
                           std::memcpy(at + 6 * i, expanded[bytes[i]], 6);
                       }
                       if (whole < count) {
                           std::memcpy(at + 6 * whole, expanded[bytes[whole]], 3);  // an odd width's last pixel
                       }
                   });
}

// 8, 16 and 32 bits per pixel: each file row is read into one row block that
// is reused, so bytes the file no longer supplies keep the previous row's
// values (zero at the start). `Convert` turns a row block into a store row.
template <typename Convert>
void ReadBlockRows(const Picture& picture, std::uint64_t bytesPerPixel, Convert convert)
{
    const std::uint64_t dataBytes = bytesPerPixel * static_cast<std::uint64_t>(picture.width);
    const std::uint64_t padding = PaddedRowBytes(dataBytes) - dataBytes;
    const auto row = PxZeroed<std::uint8_t>(dataBytes);
    if (!row) {
        return;
    }
    for (std::int64_t k = 0; k < picture.height; ++k) {
        if (!PxLoadGoesOn(picture.control, k, picture.height)) {
            return;
        }
        if (k > 0 && picture.stream.Remaining() == 0) {
            // The block keeps the previous row from here on.
            RepeatToTheEnd(picture, k);
            return;
        }
        picture.stream.Read(row.get(), dataBytes);
        convert(picture.Row(k), row.get());
        picture.stream.Skip(padding);
    }
}

void ReadRows8(const Picture& picture, const Colors& colors)
{
    const std::int64_t width = picture.width;
    ReadBlockRows(picture, 1, [&](std::uint8_t* out, const std::uint8_t* in) { PutIndexed(out, in, width, colors); });
}

// 24 bits per pixel: the file's blue, green, red bytes are the store's, so
// rows are read straight into the store. A row the file supplies only in
// part keeps the previous file row's bytes beyond that point, as a reused
// row block would.
void ReadRows24(const Picture& picture)
{
    const std::uint64_t dataBytes = 3 * static_cast<std::uint64_t>(picture.width);
    const std::uint64_t padding = PaddedRowBytes(dataBytes) - dataBytes;
    for (std::int64_t k = 0; k < picture.height; ++k) {
        if (!PxLoadGoesOn(picture.control, k, picture.height)) {
            return;
        }
        if (k > 0 && picture.stream.Remaining() == 0) {
            RepeatToTheEnd(picture, k);
            return;
        }
        std::uint8_t* out = picture.Row(k);
        std::uint64_t arrived = 0;
        picture.stream.Read(out, dataBytes, &arrived);
        if (arrived < dataBytes && k > 0) {
            std::memcpy(out + arrived, picture.Row(k - 1) + arrived, static_cast<std::size_t>(dataBytes - arrived));
        }
        picture.stream.Skip(padding);
    }
}

// How one colour channel of a 16- or 32-bit pixel becomes 8 bits.
//
// A channel given by a bit mask is scaled to the full range: value * 255 /
// max, rounded, where max is the mask shifted down to bit 0, so a channel of
// any width reaches 255 and a 1-bit channel gives 0 or 255. Channels wider
// than 16 bits first drop their low bits down to 16; that changes no result
// by more than one step and keeps every channel within a 64 K table. A zero
// mask gives 0.
//
// The 5-5-5 layout that 16-bit files have without bit fields is the one
// exception: its channels are shifted left by 3 (white is 248), and a file
// that spells out exactly these masks looks the same as one that does not.
class ChannelScale {
public:
    static ChannelScale FromMask(std::uint32_t mask)
    {
        ChannelScale scale;
        scale.mask = mask;
        if (mask == 0) {
            return scale;
        }
        scale.shift = std::countr_zero(mask);
        const std::uint32_t max = mask >> scale.shift;
        const int bits = std::bit_width(max);
        scale.drop = bits > 16 ? bits - 16 : 0;
        scale.max = max >> scale.drop;
        return scale;
    }

    static ChannelScale ShiftedBy3(std::uint32_t mask)
    {
        ChannelScale scale = FromMask(mask);
        scale.shiftBy3 = true;
        return scale;
    }

    // The 8-bit value of every raw value, 0 to max; null without memory.
    PxBuffer<std::uint8_t> Table() const
    {
        auto table = PxZeroed<std::uint8_t>(std::uint64_t{max} + 1);
        for (std::uint32_t v = 0; table && v <= max; ++v) {
            table[v] = Scale(v);
        }
        return table;
    }
    // The channel's raw value in a pixel, 0 to max.
    std::uint32_t Raw(std::uint32_t pixel) const { return mask == 0 ? 0 : ((pixel & mask) >> shift) >> drop; }
    // The 8-bit value of a raw value.
    std::uint8_t Scale(std::uint32_t raw) const
    {
        if (max == 0) {
            return 0;
        }
        if (shiftBy3) {
            return static_cast<std::uint8_t>(raw << 3);
        }
        return static_cast<std::uint8_t>((std::uint64_t{raw} * 255 + max / 2) / max);
    }

private:
    std::uint32_t mask = 0;
    int shift = 0;
    int drop = 0;
    std::uint32_t max = 0;
    bool shiftBy3 = false;
};

struct ChannelScales {
    ChannelScale red;
    ChannelScale green;
    ChannelScale blue;
};

// Alpha of 16- and 32-bit pixels through the alpha mask's scale.
void StoreAlpha(const Picture& picture, const std::uint8_t* out, const std::uint8_t* in, std::int64_t bytesPerPixel,
                const ChannelScale& scale, const std::uint8_t* table)
{
    std::uint8_t* alpha = picture.AlphaBeside(out);
    for (std::int64_t x = 0; alpha != nullptr && x < picture.width; ++x) {
        const std::uint32_t pixel = bytesPerPixel == 4 ? PxLe32(in + 4 * x) : PxLe16(in + 2 * x);
        alpha[x] = table[scale.Raw(pixel)];
    }
}

// `alphaScale` has a zero mask when the picture has no alpha plane.
void ReadRows16(const Picture& picture, const ChannelScales& scales, const ChannelScale& alphaScale)
{
    // One table entry per possible pixel value: blue, green, red, spare.
    const auto table = PxZeroed<std::uint8_t>(65536 * 4);
    if (!table) {
        return;
    }
    for (std::uint32_t v = 0; v < 65536; ++v) {
        std::uint8_t* entry = table.get() + 4 * v;
        entry[0] = scales.blue.Scale(scales.blue.Raw(v));
        entry[1] = scales.green.Scale(scales.green.Raw(v));
        entry[2] = scales.red.Scale(scales.red.Raw(v));
    }
    const auto alpha = alphaScale.Table();
    const std::int64_t width = picture.width;
    ReadBlockRows(picture, 2, [&](std::uint8_t* out, const std::uint8_t* in) {
        std::int64_t x = 0;
        for (; x + 1 < width; ++x) {
            std::memcpy(out + 3 * x, table.get() + 4 * PxLe16(in + 2 * x), 4);
        }
        std::memcpy(out + 3 * x, table.get() + 4 * PxLe16(in + 2 * x), 3);
        if (alpha) {
            StoreAlpha(picture, out, in, 2, alphaScale, alpha.get());
        }
    });
}

void ReadRows32(const Picture& picture, bool bitFields, const ChannelScales& scales, const ChannelScale& alphaScale)
{
    const std::int64_t width = picture.width;
    const auto alpha = alphaScale.Table();
    if (!bitFields) {
        ReadBlockRows(picture, 4, [&](std::uint8_t* out, const std::uint8_t* in) {
            PxCopyBgrxRow(in, out, width);
            if (alpha) {
                StoreAlpha(picture, out, in, 4, alphaScale, alpha.get());
            }
        });
        return;
    }
    // A table per channel from raw value to 8 bits.
    const auto red = scales.red.Table();
    const auto green = scales.green.Table();
    const auto blue = scales.blue.Table();
    if (!red || !green || !blue) {
        return;
    }
    ReadBlockRows(picture, 4, [&](std::uint8_t* out, const std::uint8_t* in) {
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint32_t pixel = PxLe32(in + 4 * x);
            out[3 * x] = blue[scales.blue.Raw(pixel)];
            out[3 * x + 1] = green[scales.green.Raw(pixel)];
            out[3 * x + 2] = red[scales.red.Raw(pixel)];
        }
        if (alpha) {
            StoreAlpha(picture, out, in, 4, alphaScale, alpha.get());
        }
    });
}

// The write position of the run-length readers: a row in file order and a
// column. Pixels beyond the last column are dropped; rows past the last one
// are never written (the readers stop there).
struct RunPosition {
    std::int64_t row = 0;
    std::int64_t column = 0;
};

// Writes `count` pixels alternating between `first` and `second` from the
// current position on, and advances the column by `count`.
void PutRun(const Picture& picture, RunPosition& at, std::int64_t count, const std::uint8_t* first,
            const std::uint8_t* second)
{
    const std::int64_t visible = std::min(count, picture.width - at.column);
    if (visible > 0) {
        std::uint8_t* out = picture.Row(at.row) + 3 * at.column;
        // 16 pixels (an even number, so the alternation carries on) at a time.
        constexpr std::int64_t kBlockPixels = 16;
        std::int64_t j = 0;
        if (visible >= kBlockPixels) {
            std::uint8_t block[3 * kBlockPixels];
            for (std::int64_t i = 0; i < kBlockPixels; ++i) {
                std::memcpy(block + 3 * i, (i & 1) == 0 ? first : second, 3);
            }
            for (; j + kBlockPixels <= visible; j += kBlockPixels) {
                std::memcpy(out + 3 * j, block, sizeof block);
            }
        }
        for (; j < visible; ++j) {
            std::memcpy(out + 3 * j, (j & 1) == 0 ? first : second, 3);
        }
    }
    at.column += count;
}

// Reads `count` bytes; what the file no longer supplies reads as zero.
void ReadLiteral(PxFileStream& stream, std::uint8_t* bytes, std::uint64_t count)
{
    std::memset(bytes, 0, static_cast<std::size_t>(count));
    if (count > 0) {
        stream.Read(bytes, count);
    }
}

// The codes both run-length readers share. `run` writes a pixel pair count,
// `literal` reads and writes an absolute run of the given pixel count.
template <typename Run, typename Literal>
void ReadRunLength(const Picture& picture, Run run, Literal literal)
{
    PxFileStream& stream = picture.stream;
    RunPosition at;
    // The load is looked at on every new row, and every so many codes on a
    // row that does not end (each code writes at most 255 pixels).
    constexpr std::uint32_t kCodesPerCheck = 4096;
    std::uint32_t codes = 0;
    std::int64_t checkedRow = -1;
    while (at.row < picture.height) {
        if (at.row != checkedRow || ++codes % kCodesPerCheck == 0) {
            checkedRow = at.row;
            if (!PxLoadGoesOn(picture.control, at.row, picture.height)) {
                break;
            }
        }
        if (stream.Remaining() == 0) {
            // Past the end every pair reads as zero, an end of line that
            // writes nothing; the rest of the picture stays as it is.
            break;
        }
        const std::uint8_t count = stream.ReadByte();
        const std::uint8_t code = stream.ReadByte();
        if (count > 0) {
            run(at, count, code);
        } else if (code == 0) {  // end of line
            at.column = 0;
            ++at.row;
        } else if (code == 1) {  // end of bitmap
            break;
        } else if (code == 2) {  // delta: right and onwards in file order
            const std::uint8_t dx = stream.ReadByte();
            const std::uint8_t dy = stream.ReadByte();
            at.column += dx;
            at.row += dy;
        } else {
            literal(at, code);
        }
    }
}

void ReadRunLength8(const Picture& picture, const Colors& colors)
{
    ReadRunLength(
        picture,
        [&](RunPosition& at, std::uint8_t count, std::uint8_t index) {
            PutRun(picture, at, count, colors[index], colors[index]);
        },
        [&](RunPosition& at, std::uint8_t count) {
            // One byte per pixel, padded to an even number of bytes.
            std::uint8_t bytes[256];
            ReadLiteral(picture.stream, bytes, count + (count & 1u));
            for (int j = 0; j < count; ++j) {
                PutRun(picture, at, 1, colors[bytes[j]], colors[bytes[j]]);
            }
        });
}

void ReadRunLength4(const Picture& picture, const Colors& colors)
{
    ReadRunLength(
        picture,
        [&](RunPosition& at, std::uint8_t count, std::uint8_t pair) {
            PutRun(picture, at, count, colors[pair >> 4], colors[pair & 15]);
        },
        [&](RunPosition& at, std::uint8_t count) {
            // Two pixels per byte, high nibble first; the bytes are padded to
            // an even number.
            const unsigned dataBytes = (count + 1u) / 2;
            std::uint8_t bytes[128];
            ReadLiteral(picture.stream, bytes, dataBytes + (dataBytes & 1u));
            for (int j = 0; j < count; ++j) {
                const std::uint8_t byte = bytes[j / 2];
                const int index = (j & 1) == 0 ? byte >> 4 : byte & 15;
                PutRun(picture, at, 1, colors[index], colors[index]);
            }
        });
}

}  // namespace

int PxDecoderBMP::ReadHeader(PxFileStream& stream, PxBitmap& bitmap)
{
    if (!stream.IsOpen()) {
        return Fail(PxLoadError::Unreadable);
    }
    runLength = false;
    topDown = false;
    bitFields = false;
    alphaMask = 0;

    std::int32_t signature = stream.ReadWord();
    while (signature == kSignatureBA) {
        stream.Skip(kArrayHeaderRestBytes);
        signature = stream.ReadWord();
    }
    std::uint8_t fileHeader[kFileHeaderRestBytes] = {};
    stream.Read(fileHeader, sizeof fileHeader);
    const std::uint64_t pixelOffset = PxLe32(fileHeader + kPixelOffsetAt);
    if (signature != kSignatureBM && signature != kSignatureIC && signature != kSignatureCI &&
        signature != kSignatureCP) {
        return Fail(PxLoadError::Damaged);
    }

    // The info header, including the masks of larger headers; the fields a
    // header does not have read as zero.
    std::uint8_t info[kInfoWithAlphaMaskBytes] = {};
    const std::uint32_t headerSize = stream.ReadDword();
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t depth = 0;
    std::uint32_t compression = 0;
    std::uint64_t colorsUsed = 0;
    std::uint64_t entryBytes = 4;
    if (headerSize == kCoreHeaderBytes) {
        stream.Read(info + 4, kCoreHeaderBytes - 4);
        width = PxLe16(info + kCoreWidthAt);
        height = PxLe16(info + kCoreHeightAt);
        depth = PxLe16(info + kCoreBitsAt);
        entryBytes = 3;
    } else {
        // A header shorter than 40 bytes (OS/2 2.x writes 16 to 64) ends
        // where it says: the colour table follows it, not more header.
        const std::uint64_t kept = std::min<std::uint64_t>(headerSize, kInfoWithAlphaMaskBytes);
        if (kept > 4) {
            stream.Read(info + 4, kept - 4);
        }
        if (headerSize > kept) {
            stream.Skip(headerSize - kept);
        }
        width = static_cast<std::int32_t>(PxLe32(info + kInfoWidthAt));
        height = static_cast<std::int32_t>(PxLe32(info + kInfoHeightAt));
        depth = PxLe16(info + kInfoBitsAt);
        compression = PxLe32(info + kInfoCompressionAt);
        colorsUsed = PxLe32(info + kInfoColorsUsedAt);
        runLength = compression != 0;
    }

    bitFields = (depth == 16 || depth == 32) &&
                (compression == kCompressionBitFields || compression == kCompressionAlphaBitFields);
    if (bitFields) {
        const std::uint8_t* masks = info + kInfoMasksAt;
        std::uint8_t following[16] = {};
        if (headerSize <= kInfoHeaderBytes) {
            // Red, green, blue (and alpha) masks follow the header.
            stream.Read(following, compression == kCompressionAlphaBitFields ? 16 : 12);
            masks = following;
        }
        redMask = PxLe32(masks);
        greenMask = PxLe32(masks + 4);
        blueMask = PxLe32(masks + 8);
        if (headerSize >= kInfoWithAlphaMaskBytes) {
            alphaMask = PxLe32(info + kInfoAlphaMaskAt);
        } else if (masks == following && compression == kCompressionAlphaBitFields) {
            alphaMask = PxLe32(following + 12);
        }
    } else if (depth == 32 && compression == 0) {
        // The fourth byte means nothing by the letter of the format, but
        // many writers keep alpha there; a picture it would leave wholly
        // clear is taken as opaque (PxDropInvisibleAlpha).
        alphaMask = 0xFF000000;
    }

    if (depth <= 8) {
        // Only the first 256 entries can be used; the others are passed over
        // so that pixel data right after the table is still found.
        const std::uint64_t entries = colorsUsed != 0 ? colorsUsed : std::uint64_t{1} << depth;
        const std::uint64_t kept = std::min<std::uint64_t>(entries, 256);
        std::uint8_t table[256 * 4] = {};
        stream.Read(table, kept * entryBytes);
        for (std::uint64_t i = 0; i < kept; ++i) {
            const std::uint8_t* entry = table + i * entryBytes;
            SetPaletteEntry(static_cast<std::int32_t>(i), entry[2], entry[1], entry[0], 255);
        }
        stream.Skip((entries - kept) * entryBytes);
    }

    // Pixel data that starts before the end of the headers is read from
    // where they end. Skipping never allocates, so any offset costs nothing.
    if (pixelOffset > stream.Position()) {
        stream.Skip(pixelOffset - stream.Position());
    }

    if (height < 0) {
        topDown = true;
        height = -height;
        if (height > INT32_MAX) {
            return Fail(PxLoadError::Damaged);  // -2^31 has no positive counterpart
        }
    }
    bitmap.SetDimensions(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                         static_cast<std::int32_t>(depth));
    return 0;
}

int PxDecoderBMP::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    ReadHeader(stream, bitmap);
    PxTrace("PxDecoderBMP - got image header");
    const std::int32_t depth = bitmap.BitsPerPixel();
    if (CreateStore(bitmap) != 0) {
        return 1;
    }

    const Picture picture{stream, bitmap, bitmap.Width(), bitmap.Height(), topDown, control};
    Colors colors;
    for (int i = 0; i < 256; ++i) {
        colors[i][0] = palette[i].blue;
        colors[i][1] = palette[i].green;
        colors[i][2] = palette[i].red;
        colors[i][3] = 0;
    }
    ChannelScales scales;
    const bool default555 = !bitFields || (redMask == kRed555 && greenMask == kGreen555 && blueMask == kBlue555);
    if (depth == 16 && default555) {
        scales = {ChannelScale::ShiftedBy3(kRed555), ChannelScale::ShiftedBy3(kGreen555),
                  ChannelScale::ShiftedBy3(kBlue555)};
    } else {
        scales = {ChannelScale::FromMask(redMask), ChannelScale::FromMask(greenMask), ChannelScale::FromMask(blueMask)};
    }
    // Full-range scaling of 8-bit channels is the identity, so the default
    // layout takes the plain byte copy.
    const bool default888 = !bitFields || (redMask == kRed888 && greenMask == kGreen888 && blueMask == kBlue888);
    ChannelScale alphaScale;
    if ((depth == 16 || depth == 32) && alphaMask != 0 && bitmap.CreateAlphaPlane() == 0) {
        alphaScale = ChannelScale::FromMask(alphaMask);
    }

    switch (depth) {
        case 1:
            ReadRows1(picture, colors);
            break;
        case 4:
            runLength ? ReadRunLength4(picture, colors) : ReadRows4(picture, colors);
            break;
        case 8:
            runLength ? ReadRunLength8(picture, colors) : ReadRows8(picture, colors);
            break;
        case 16:
            ReadRows16(picture, scales, alphaScale);
            break;
        case 24:
            ReadRows24(picture);
            break;
        case 32:
            ReadRows32(picture, !default888, scales, alphaScale);
            break;
        default:
            break;  // not a depth of this format: the picture stays black
    }
    PxDropInvisibleAlpha(bitmap);
    PxDropOpaqueAlpha(bitmap);
    PxTrace("PxDecoderBMP - decoded image");
    return Cancelled() ? 1 : 0;
}

}  // namespace brelvix
