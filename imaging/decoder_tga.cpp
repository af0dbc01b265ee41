#include "decoder_tga.h"

#include <cstring>
#include <type_traits>
#include <utility>

#include "alpha.h"
#include "byte_reader.h"

namespace brelvix {

namespace {

constexpr std::uint64_t kHeaderBytes = 18;

// Bytes one pixel takes in the file, or 0 for a depth that no reader
// understands (its pixels stay black and nothing is read). Pictures of 8
// bits and less hold one byte per pixel: an index or a grey level.
int PixelBytes(int depth)
{
    if (depth <= 8) {
        return 1;
    }
    switch (depth) {
        case 15:
        case 16:
            return 2;
        case 24:
            return 3;
        case 32:
            return 4;
        default:
            return 0;
    }
}

// 5 bits per channel, red highest; the top bit (attribute) means nothing here.
inline void From555(const std::uint8_t* p, std::uint8_t* out)
{
    const std::uint32_t v = PxLe16(p);
    out[0] = static_cast<std::uint8_t>((v & 31) << 3);
    out[1] = static_cast<std::uint8_t>(((v >> 5) & 31) << 3);
    out[2] = static_cast<std::uint8_t>(((v >> 10) & 31) << 3);
}

// Pixel converters: kBytes file bytes in, blue, green, red out.
template <int kBytes>
struct TrueColor {
    void operator()(const std::uint8_t* p, std::uint8_t* out) const
    {
        if constexpr (kBytes == 1) {
            out[0] = out[1] = out[2] = p[0];
        } else if constexpr (kBytes == 2) {
            From555(p, out);
        } else {
            // Blue, green, red (and an alpha that is not shown).
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
        }
    }
};

// Grey pictures keep the grey level in the first byte; a second byte is alpha.
struct Grey {
    void operator()(const std::uint8_t* p, std::uint8_t* out) const { out[0] = out[1] = out[2] = p[0]; }
};

template <int kBytes>
struct Mapped {
    const std::uint8_t* map;  // blue, green, red per held entry
    std::uint32_t held;
    std::uint32_t first;

    void operator()(const std::uint8_t* p, std::uint8_t* out) const
    {
        std::uint32_t index = 0;
        for (int i = kBytes - 1; i >= 0; --i) {
            index = (index << 8) | p[i];
        }
        // Indices below the first entry or past the held entries are black;
        // `index - first` cannot wrap once index >= first.
        if (index < first || index - first >= held) {
            out[0] = out[1] = out[2] = 0;
            return;
        }
        const std::uint8_t* entry = map + 3 * static_cast<std::size_t>(index - first);
        out[0] = entry[0];
        out[1] = entry[1];
        out[2] = entry[2];
    }
};

// Alpha of the pixels whose descriptor counts alpha bits: the fourth byte
// of 32-bit pixels, the top bit of 16-bit ones, the second byte of grey.
template <int kBytes>
struct AlphaOf {
    std::uint8_t operator()(const std::uint8_t* p) const
    {
        if constexpr (kBytes == 2) {
            return (PxLe16(p) & 0x8000) != 0 ? 255 : 0;
        } else if constexpr (kBytes == 4) {
            return p[3];
        } else {
            return 255;
        }
    }
};

struct GreyAlpha {
    std::uint8_t operator()(const std::uint8_t* p) const { return p[1]; }
};

// The alpha row of file row k, or null for pictures without a plane.
std::uint8_t* AlphaRow(PxBitmap& bitmap, bool firstRowOnTop, std::int64_t k)
{
    if (!bitmap.HasAlpha()) {
        return nullptr;
    }
    const std::int64_t storeRow = firstRowOnTop ? bitmap.Height() - 1 - k : k;
    return bitmap.Alpha() + storeRow * bitmap.Width();
}

// Decodes every row of the picture. `row` holds at least width * kBytes
// bytes; `control` is looked at before each row. Where the bitmap has an
// alpha plane, `alphaOf` fills it from the same pixels.
template <int kBytes, typename Convert, typename Alpha = AlphaOf<kBytes>>
void DecodeRows(PxByteReader& reader, PxBitmap& bitmap, bool runLength, bool firstRowOnTop, const Convert& convert,
                std::uint8_t* row, PxLoadControl* control, const Alpha& alphaOf = Alpha{})
{
    const std::int64_t width = bitmap.Width();
    const std::int64_t height = bitmap.Height();
    for (std::int64_t k = 0; k < height; ++k) {
        if (!PxLoadGoesOn(control, k, height)) {
            return;
        }
        if (reader.AtEnd() && bitmap.HasAlpha()) {
            // Pixels made of zero bytes, as below, have the alpha of zero bytes.
            const std::uint8_t zero[4] = {};
            for (std::int64_t rest = k; rest < height; ++rest) {
                std::memset(AlphaRow(bitmap, firstRowOnTop, rest), alphaOf(zero), static_cast<std::size_t>(width));
            }
        }
        if (reader.AtEnd()) {
            // From here on every pixel reads as zero bytes, whatever the
            // packets: one colour for all remaining rows, without walking
            // the bytes of a truncated file one by one.
            const std::uint8_t zero[4] = {};
            std::uint8_t bgr[3];
            convert(zero, bgr);
            if (bgr[0] == 0 && bgr[1] == 0 && bgr[2] == 0) {
                return;  // the store is black already
            }
            std::uint8_t* first = PxStoreRow(bitmap, firstRowOnTop ? height - 1 - k : k);
            for (std::int64_t x = 0; x < width; ++x) {
                std::memcpy(first + 3 * x, bgr, 3);
            }
            for (++k; k < height; ++k) {
                std::memcpy(PxStoreRow(bitmap, firstRowOnTop ? height - 1 - k : k), first,
                            static_cast<std::size_t>(3 * width));
            }
            return;
        }
        std::uint8_t* out = PxStoreRow(bitmap, firstRowOnTop ? height - 1 - k : k);
        std::uint8_t* alpha = AlphaRow(bitmap, firstRowOnTop, k);
        if (!runLength) {
            reader.Take(row, static_cast<std::size_t>(width * kBytes));
            if constexpr (std::is_same_v<Convert, TrueColor<4>>) {
                PxCopyBgrxRow(row, out, width);
            } else {
                for (std::int64_t x = 0; x < width; ++x) {
                    convert(row + x * kBytes, out + 3 * x);
                }
            }
            for (std::int64_t x = 0; alpha != nullptr && x < width; ++x) {
                alpha[x] = alphaOf(row + x * kBytes);
            }
            continue;
        }
        std::int64_t x = 0;
        while (x < width) {
            const std::uint8_t packet = reader.Next();
            const std::int64_t count = (packet & 127) + 1;
            // A packet never continues into the next row: what lies beyond
            // the row's end is read and dropped.
            const std::int64_t used = count < width - x ? count : width - x;
            std::uint8_t* target = out + 3 * x;
            if (packet & 128) {
                std::uint8_t value[kBytes];
                reader.Take(value, kBytes);
                std::uint8_t bgr[3];
                convert(value, bgr);
                for (std::int64_t i = 0; i < used; ++i) {
                    target[3 * i] = bgr[0];
                    target[3 * i + 1] = bgr[1];
                    target[3 * i + 2] = bgr[2];
                }
                if (alpha != nullptr && used > 0) {
                    std::memset(alpha + x, alphaOf(value), static_cast<std::size_t>(used));
                }
            } else {
                reader.Take(row, static_cast<std::size_t>(used * kBytes));
                for (std::int64_t i = 0; i < used; ++i) {
                    convert(row + i * kBytes, target + 3 * i);
                }
                for (std::int64_t i = 0; alpha != nullptr && i < used; ++i) {
                    alpha[x + i] = alphaOf(row + i * kBytes);
                }
                reader.Drop(static_cast<std::uint64_t>((count - used) * kBytes));
            }
            x += used;
        }
    }
}

// Converts one colour-map entry of `size` bits into blue, green, red.
// Entry sizes other than 8, 15, 16, 24 and 32 give black.
void ConvertEntry(const std::uint8_t* p, int size, std::uint8_t* out)
{
    switch (size) {
        case 8:
            out[0] = out[1] = out[2] = p[0];
            break;
        case 15:
        case 16:
            From555(p, out);
            break;
        case 24:
        case 32:
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
            break;
        default:
            out[0] = out[1] = out[2] = 0;
            break;
    }
}

}  // namespace

int PxDecoderTGA::ReadHeader(PxFileStream& stream, PxBitmap& bitmap)
{
    // A file shorter than the header reads as zeros beyond its end.
    std::uint8_t header[kHeaderBytes] = {};
    stream.Read(header, kHeaderBytes);
    auto word = [&](int offset) { return static_cast<std::uint16_t>(PxLe16(header + offset)); };
    idLength = header[0];
    colorMapType = header[1];
    imageType = header[2];
    firstEntry = word(3);
    colorMapLength = word(5);
    colorMapEntrySize = header[7];
    xOrigin = word(8);
    yOrigin = word(10);
    width = word(12);
    height = word(14);
    pixelDepth = header[16];
    imageDescriptor = header[17];

    stream.Skip(idLength);
    if (imageType == 1 || imageType == 9) {
        ReadColorMap(stream);
    } else {
        stream.Skip(std::uint64_t{colorMapLength} * ((colorMapEntrySize + 7u) / 8u));
    }
    bitmap.SetDimensions(width, height, pixelDepth);
    return 0;
}

void PxDecoderTGA::ReadColorMap(PxFileStream& stream)
{
    const std::uint64_t entryBytes = (colorMapEntrySize + 7u) / 8u;
    const std::uint64_t mapEnd = stream.Position() + colorMapLength * entryBytes;
    scratch.reset();
    colorMapHeld = 0;
    if (entryBytes > 0) {
        // Only the entries the file really holds are kept (at most 65535,
        // the field's limit); a map cut short leaves the rest black.
        std::uint64_t held = stream.Remaining() / entryBytes;
        if (held > colorMapLength) {
            held = colorMapLength;
        }
        auto map = PxZeroed<std::uint8_t>(held * 3);
        const std::uint8_t* raw = map ? stream.ReadBlock(held * entryBytes) : nullptr;
        if (raw != nullptr) {
            for (std::uint64_t i = 0; i < held; ++i) {
                ConvertEntry(raw + i * entryBytes, colorMapEntrySize, map.get() + 3 * i);
            }
            scratch = std::move(map);
            colorMapHeld = static_cast<std::uint32_t>(held);
        }
    }
    // Whatever happened above, the pixels start right after the map.
    if (stream.Position() < mapEnd) {
        stream.Skip(mapEnd - stream.Position());
    }
}

void PxDecoderTGA::DecodePixels(PxFileStream& stream, PxBitmap& bitmap)
{
    bool runLength = false;
    switch (imageType) {
        case 1:
        case 2:
        case 3:
            break;
        case 9:
        case 10:
        case 11:
            runLength = true;
            break;
        default:
            return;  // no pixel data this decoder knows: the picture stays black
    }
    const int bytes = PixelBytes(pixelDepth);
    if (bytes == 0) {
        return;
    }
    const auto row = PxZeroed<std::uint8_t>(std::uint64_t{width} * static_cast<std::uint64_t>(bytes) + 1);
    if (!row) {
        return;
    }
    PxByteReader reader(stream);
    const bool top = (imageDescriptor & 0x20) != 0;
    const int kind = imageType & 3;  // 1 colour-mapped, 2 true colour, 3 grey
    const std::uint8_t* map = scratch.get();
    // The descriptor's alpha bits give true-colour and grey pictures their
    // transparency; a plane that turns out all clear or all opaque goes again.
    const bool alpha =
        (imageDescriptor & 0x0F) != 0 && ((kind == 2 && (bytes == 2 || bytes == 4)) || (kind == 3 && bytes == 2));
    if (alpha) {
        bitmap.CreateAlphaPlane();
    }
    switch (kind * 8 + bytes) {
        case 8 + 1:
            DecodeRows<1>(reader, bitmap, runLength, top, Mapped<1>{map, colorMapHeld, firstEntry}, row.get(), control);
            break;
        case 8 + 2:
            DecodeRows<2>(reader, bitmap, runLength, top, Mapped<2>{map, colorMapHeld, firstEntry}, row.get(), control);
            break;
        case 8 + 3:
            DecodeRows<3>(reader, bitmap, runLength, top, Mapped<3>{map, colorMapHeld, firstEntry}, row.get(), control);
            break;
        case 8 + 4:
            DecodeRows<4>(reader, bitmap, runLength, top, Mapped<4>{map, colorMapHeld, firstEntry}, row.get(), control);
            break;
        case 16 + 1:
            DecodeRows<1>(reader, bitmap, runLength, top, TrueColor<1>{}, row.get(), control);
            break;
        case 16 + 2:
            DecodeRows<2>(reader, bitmap, runLength, top, TrueColor<2>{}, row.get(), control);
            break;
        case 16 + 3:
            DecodeRows<3>(reader, bitmap, runLength, top, TrueColor<3>{}, row.get(), control);
            break;
        case 16 + 4:
            DecodeRows<4>(reader, bitmap, runLength, top, TrueColor<4>{}, row.get(), control);
            break;
        case 24 + 1:
            DecodeRows<1>(reader, bitmap, runLength, top, Grey{}, row.get(), control);
            break;
        case 24 + 2:
            DecodeRows<2>(reader, bitmap, runLength, top, Grey{}, row.get(), control, GreyAlpha{});
            break;
        case 24 + 3:
            DecodeRows<3>(reader, bitmap, runLength, top, Grey{}, row.get(), control);
            break;
        case 24 + 4:
            DecodeRows<4>(reader, bitmap, runLength, top, Grey{}, row.get(), control);
            break;
        default:
            break;
    }
    PxDropInvisibleAlpha(bitmap);
    PxDropOpaqueAlpha(bitmap);
}

int PxDecoderTGA::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    ReadHeader(stream, bitmap);
    PxTrace("PxDecoderTGA - got image header");
    if (CreateStore(bitmap) != 0) {
        return 1;
    }
    DecodePixels(stream, bitmap);
    PxTrace("PxDecoderTGA - decoded image");
    return Cancelled() ? 1 : 0;
}

}  // namespace brelvix
