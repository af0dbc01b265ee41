#include "decoder_pcx.h"

#include <cstring>
#include <memory>
#include <new>

#include "byte_reader.h"

namespace {

constexpr std::uint64_t kHeaderBytes = 128;
// The 256-colour palette at the end of 8-bit files: a marker byte 12, then
// 256 entries of red, green, blue.
constexpr std::uint64_t kEndPaletteBytes = 769;
constexpr std::uint8_t kEndPaletteMarker = 12;

bool AcceptedDepth(int bits, int planes)
{
    switch (bits) {
        case 1:
            return planes <= 4;
        case 2:
        case 4:
        case 8:
            return planes == 1 || planes == 3;
        default:
            return false;
    }
}

// One sample of `bits` bits (1, 2, 4 or 8) at column x of a plane whose
// samples are packed from the top bit of each byte down.
inline unsigned Sample(const std::uint8_t* plane, std::int64_t x, int bits)
{
    if (bits == 8) {
        return plane[x];
    }
    const std::int64_t bit = x * bits;
    const int shift = 8 - bits - static_cast<int>(bit & 7);
    return (plane[bit >> 3] >> shift) & ((1u << bits) - 1);
}

// How one decoded line (all its planes) becomes a row of pixels.
struct LineLayout {
    std::int64_t width = 0;
    int bits = 0;    // bits per sample
    int planes = 0;  // planes per line
    std::uint64_t planeBytes = 0;
    const std::uint8_t* table = nullptr;  // blue, green, red per colour index

    void Convert(const std::uint8_t* line, std::uint8_t* out) const
    {
        if (planes == 1 && bits == 8) {
            for (std::int64_t x = 0; x < width; ++x) {
                std::memcpy(out + 3 * x, table + 3 * line[x], 3);
            }
        } else if (planes == 1) {
            for (std::int64_t x = 0; x < width; ++x) {
                std::memcpy(out + 3 * x, table + 3 * Sample(line, x, bits), 3);
            }
        } else if (bits == 1) {
            // Plane p gives bit p of the colour index.
            for (std::int64_t x = 0; x < width; ++x) {
                unsigned index = 0;
                for (int p = 0; p < planes; ++p) {
                    index |= Sample(line + p * planeBytes, x, 1) << p;
                }
                std::memcpy(out + 3 * x, table + 3 * index, 3);
            }
        } else {
            // Three planes: red, green, blue, stretched to 8 bits.
            const unsigned scale = 255u / ((1u << bits) - 1);
            const std::uint8_t* red = line;
            const std::uint8_t* green = line + planeBytes;
            const std::uint8_t* blue = line + 2 * planeBytes;
            for (std::int64_t x = 0; x < width; ++x) {
                out[3 * x] = static_cast<std::uint8_t>(Sample(blue, x, bits) * scale);
                out[3 * x + 1] = static_cast<std::uint8_t>(Sample(green, x, bits) * scale);
                out[3 * x + 2] = static_cast<std::uint8_t>(Sample(red, x, bits) * scale);
            }
        }
    }
};

}  // namespace

int PxDecoderPCX::ReadHeader(PxFileStream& stream, PxBitmap& bitmap)
{
    // A file shorter than the header leaves the fields it does not reach at zero.
    std::uint8_t header[kHeaderBytes] = {};
    stream.Read(header, kHeaderBytes);
    auto word = [&](int offset) { return static_cast<std::uint16_t>(header[offset] | (header[offset + 1] << 8)); };
    manufacturer = header[0];
    version = header[1];
    encoding = header[2];
    bitsPerPixel = static_cast<std::int8_t>(header[3]);
    xMin = word(4);
    yMin = word(6);
    xMax = word(8);
    yMax = word(10);
    horizontalResolution = word(12);
    verticalResolution = word(14);
    std::memcpy(headerPalette, header + 16, sizeof headerPalette);
    reserved = header[64];
    planes = static_cast<std::int8_t>(header[65]);
    bytesPerLine = word(66);
    paletteInfo = word(68);
    std::memcpy(filler, header + 70, sizeof filler);

    if (manufacturer != 10 || encoding != 1 || !AcceptedDepth(bitsPerPixel, planes)) {
        return -1;
    }
    for (int i = 0; i < 16; ++i) {
        SetPaletteEntry(i, headerPalette[3 * i], headerPalette[3 * i + 1], headerPalette[3 * i + 2], 255);
    }
    bitmap.SetDimensions(std::int32_t{xMax} - xMin + 1, std::int32_t{yMax} - yMin + 1, bitsPerPixel);
    return 0;
}

// Loads the 256-colour palette from the end of the file when the marker is
// there, and comes back to the start of the run-length data either way.
bool PxDecoderPCX::ReadEndPalette(PxFileStream& stream)
{
    const std::uint64_t size = stream.Size();
    if (size < kHeaderBytes + kEndPaletteBytes) {
        return false;
    }
    stream.Skip(size - kEndPaletteBytes - stream.Position());
    const std::uint8_t* block = stream.ReadBlock(kEndPaletteBytes);
    const bool found = block != nullptr && block[0] == kEndPaletteMarker;
    if (found) {
        for (int i = 0; i < 256; ++i) {
            SetPaletteEntry(i, block[1 + 3 * i], block[2 + 3 * i], block[3 + 3 * i], 255);
        }
    }
    stream.SeekToStart();
    stream.Skip(kHeaderBytes);
    return found;
}

void PxDecoderPCX::DecodePixels(PxFileStream& stream, PxBitmap& bitmap)
{
    LineLayout layout;
    layout.width = bitmap.Width();
    layout.bits = bitsPerPixel;
    // Zero or negative plane counts pass the header check with 1 bit; such
    // a header can only mean a single plane.
    layout.planes = planes < 1 ? 1 : planes;
    // A line holds at least the picture's samples. A bytes-per-line field
    // that is shorter (or 0) is taken as unpadded lines: for 8-bit pictures
    // that is a line of exactly `width` bytes. Longer lines carry padding,
    // which is decoded and dropped.
    const std::uint64_t needed = (static_cast<std::uint64_t>(layout.width) * layout.bits + 7) / 8;
    layout.planeBytes = bytesPerLine >= needed ? bytesPerLine : needed;
    const std::uint64_t lineBytes = layout.planeBytes * static_cast<std::uint64_t>(layout.planes);

    std::uint64_t dataBytes = UINT64_MAX;
    if (layout.bits == 8 && layout.planes == 1 && ReadEndPalette(stream)) {
        // The run-length data stops where the palette begins.
        dataBytes = stream.Size() - kEndPaletteBytes - kHeaderBytes;
    }

    std::uint8_t table[256 * 3];
    for (int i = 0; i < 256; ++i) {
        table[3 * i] = palette[i].blue;
        table[3 * i + 1] = palette[i].green;
        table[3 * i + 2] = palette[i].red;
    }
    if (layout.bits == 1 && layout.planes == 1) {
        // Monochrome files leave the header colours unset often enough
        // that only black and white are reliable.
        std::memset(table, 0, 3);
        std::memset(table + 3, 255, 3);
    }
    layout.table = table;

    std::unique_ptr<std::uint8_t[]> line(new (std::nothrow) std::uint8_t[lineBytes]);
    if (!line) {
        return;
    }
    PxByteReader reader(stream, dataBytes);
    const std::int64_t height = bitmap.Height();
    std::uint8_t runValue = 0;
    std::uint64_t runLeft = 0;  // a run may continue into the next line
    for (std::int64_t row = 0; row < height; ++row) {
        std::uint8_t* out = PxStoreRow(bitmap, height - 1 - row);
        if (runLeft == 0 && reader.AtEnd()) {
            // Every byte from here on is a literal zero: all remaining rows
            // look alike. Convert one and copy it, instead of walking the
            // zeros of a truncated file one at a time.
            std::memset(line.get(), 0, lineBytes);
            layout.Convert(line.get(), out);
            const std::size_t rowBytes = static_cast<std::size_t>(3 * layout.width);
            for (std::int64_t rest = row + 1; rest < height; ++rest) {
                std::memcpy(PxStoreRow(bitmap, height - 1 - rest), out, rowBytes);
            }
            return;
        }
        std::uint8_t* bytes = line.get();
        std::uint64_t filled = 0;
        while (filled < lineBytes) {
            if (runLeft > 0) {
                const std::uint64_t count = runLeft < lineBytes - filled ? runLeft : lineBytes - filled;
                std::memset(bytes + filled, runValue, static_cast<std::size_t>(count));
                filled += count;
                runLeft -= count;
                continue;
            }
            const std::uint8_t c = reader.Next();
            if (c >= 192) {
                runLeft = c & 63;  // a length of 0 produces nothing
                runValue = reader.Next();
            } else {
                bytes[filled++] = c;
            }
        }
        layout.Convert(bytes, out);
    }
}

int PxDecoderPCX::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    ReadHeader(stream, bitmap);
    if (bitmap.CreatePixelStore() != 0) {
        return 1;
    }
    DecodePixels(stream, bitmap);
    return 0;
}
