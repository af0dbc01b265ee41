#include "decoder_pcx.h"

#include <array>
#include <cstring>

#include "byte_reader.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace brelvix {

namespace {

constexpr std::uint64_t kHeaderBytes = 128;
// The 256-colour palette at the end of 8-bit files: a marker byte 12, then
// 256 entries of red, green, blue.
constexpr std::uint64_t kEndPaletteBytes = 769;
constexpr std::uint8_t kEndPaletteMarker = 12;
// Room the line expansion may write beyond a line.
constexpr std::uint64_t kLineSlack = 8;

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

// Interleaves three planes into blue, green, red pixels; returns how many
// pixels it wrote (a multiple of 16 when a vector path exists, else 0).
#if defined(__x86_64__) || defined(__i386__)

// Which byte of a 16-pixel plane block goes to each byte of the 48 output
// bytes, per plane (channel 0 blue, 1 green, 2 red); 0x80 writes zero.
constexpr std::array<std::array<std::uint8_t, 16>, 9> InterleaveMasks()
{
    std::array<std::array<std::uint8_t, 16>, 9> masks{};
    for (int chunk = 0; chunk < 3; ++chunk) {
        for (int channel = 0; channel < 3; ++channel) {
            for (int k = 0; k < 16; ++k) {
                const int position = 16 * chunk + k;
                masks[chunk * 3 + channel][k] =
                    position % 3 == channel ? static_cast<std::uint8_t>(position / 3) : std::uint8_t{0x80};
            }
        }
    }
    return masks;
}

__attribute__((target("ssse3"))) std::int64_t InterleaveVector(const std::uint8_t* red, const std::uint8_t* green,
                                                               const std::uint8_t* blue, std::uint8_t* out,
                                                               std::int64_t width)
{
    static constexpr auto kMasks = InterleaveMasks();
    __m128i masks[9];
    for (int i = 0; i < 9; ++i) {
        masks[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kMasks[i].data()));
    }
    std::int64_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i planes[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + x)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + x)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + x))};
        for (int chunk = 0; chunk < 3; ++chunk) {
            const __m128i bytes = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(planes[0], masks[chunk * 3]),
                                                            _mm_shuffle_epi8(planes[1], masks[chunk * 3 + 1])),
                                               _mm_shuffle_epi8(planes[2], masks[chunk * 3 + 2]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x + 16 * chunk), bytes);
        }
    }
    return x;
}

std::int64_t Interleave(const std::uint8_t* red, const std::uint8_t* green, const std::uint8_t* blue, std::uint8_t* out,
                        std::int64_t width)
{
    static const bool vector = __builtin_cpu_supports("ssse3");
    return vector ? InterleaveVector(red, green, blue, out, width) : 0;
}

#else

std::int64_t Interleave(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, std::uint8_t*, std::int64_t)
{
    return 0;
}

#endif

// How one decoded line (all its planes) becomes a row of pixels.
struct LineLayout {
    std::int64_t width = 0;
    int bits = 0;    // bits per sample
    int planes = 0;  // planes per line
    std::uint64_t planeBytes = 0;
    // Blue, green, red per colour index, and the same in the low three
    // bytes of a word, for writing a pixel with one store.
    std::uint8_t table[256 * 3] = {};
    std::uint32_t packed[256] = {};

    void SetColour(int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue)
    {
        table[3 * index] = blue;
        table[3 * index + 1] = green;
        table[3 * index + 2] = red;
        packed[index] = blue | (green << 8) | (std::uint32_t{red} << 16);
    }

    void Convert(const std::uint8_t* line, std::uint8_t* out) const
    {
        if (planes == 1 && bits == 8) {
            // Four bytes per pixel, each store overlapping the next pixel,
            // which overwrites the extra byte; the last pixel takes three.
            for (std::int64_t x = 0; x + 1 < width; ++x) {
                std::memcpy(out + 3 * x, &packed[line[x]], 4);
            }
            std::memcpy(out + 3 * (width - 1), table + 3 * line[width - 1], 3);
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
        } else if (bits == 8) {
            // Three planes: red, green, blue.
            const std::uint8_t* red = line;
            const std::uint8_t* green = line + planeBytes;
            const std::uint8_t* blue = line + 2 * planeBytes;
            for (std::int64_t x = Interleave(red, green, blue, out, width); x < width; ++x) {
                out[3 * x] = blue[x];
                out[3 * x + 1] = green[x];
                out[3 * x + 2] = red[x];
            }
        } else {
            // Three planes of 2 or 4 bits, stretched to 8 bits.
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

// Expands run-length data into lines. A run may continue from the end of
// one line into the next, so its remainder is kept between lines.
class LineExpander {
public:
    explicit LineExpander(PxByteReader& source) : reader(source) {}

    // True when the rest of the picture is all zero bytes: no run pending
    // and no data left (past the end, every byte is a literal 0).
    bool OnlyZerosLeft() { return runLeft == 0 && reader.AtEnd(); }

    // Fills `lineBytes` bytes of `line`, which must have kLineSlack bytes
    // of room beyond them.
    void Fill(std::uint8_t* line, std::uint64_t lineBytes)
    {
        std::uint64_t filled = 0;
        while (filled < lineBytes) {
            if (runLeft > 0) {
                const std::uint64_t count = runLeft < lineBytes - filled ? runLeft : lineBytes - filled;
                std::memset(line + filled, runValue, static_cast<std::size_t>(count));
                filled += count;
                runLeft -= count;
                continue;
            }
            std::size_t available = 0;
            const std::uint8_t* bytes = reader.Peek(&available);
            if (available == 0) {
                std::memset(line + filled, 0, static_cast<std::size_t>(lineBytes - filled));
                return;
            }
            // Work straight on the reader's block. Literals and short runs
            // take one path without a branch on their kind (in noisy
            // pictures the kind is unpredictable): both write eight copies
            // of their value and advance by their length. A run past the
            // line's end, and one whose value byte lies in the next block,
            // are left to the general step below.
            std::size_t i = 0;
            while (filled < lineBytes && i + 1 < available) {
                const std::uint8_t c = bytes[i];
                const bool run = c >= 192;
                const std::uint64_t count = run ? c & 63 : 1;  // a run of 0 produces nothing
                if (count > lineBytes - filled) {
                    break;
                }
                const std::uint8_t value = run ? bytes[i + 1] : c;
                if (count <= kLineSlack) {
                    const std::uint64_t copies = value * 0x0101010101010101ull;
                    std::memcpy(line + filled, &copies, kLineSlack);
                } else {
                    std::memset(line + filled, value, static_cast<std::size_t>(count));
                }
                filled += count;
                i += run ? 2 : 1;
            }
            reader.Advance(i);
            if (filled == lineBytes) {
                break;
            }
            const std::uint8_t c = reader.Next();
            if (c < 192) {
                line[filled++] = c;
            } else {
                runLeft = c & 63;  // a length of 0 produces nothing
                runValue = reader.Next();
            }
        }
    }

private:
    PxByteReader& reader;
    std::uint8_t runValue = 0;
    std::uint64_t runLeft = 0;
};

}  // namespace

int PxDecoderPCX::ReadHeader(PxFileStream& stream, PxBitmap& bitmap)
{
    // A file shorter than the header leaves the fields it does not reach at zero.
    std::uint8_t header[kHeaderBytes] = {};
    stream.Read(header, kHeaderBytes);
    auto word = [&](int offset) { return static_cast<std::uint16_t>(PxLe16(header + offset)); };
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

    if (manufacturer != 10) {
        return Fail(PxLoadError::Damaged, -1);
    }
    // Uncompressed files and depths outside the format's usual ones exist,
    // but are not decoded.
    if (encoding != 1 || !AcceptedDepth(bitsPerPixel, planes)) {
        return Fail(PxLoadError::Unsupported, -1);
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

    for (int i = 0; i < 256; ++i) {
        layout.SetColour(i, palette[i].red, palette[i].green, palette[i].blue);
    }
    if (layout.bits == 1 && layout.planes == 1) {
        // Monochrome files leave the header colours unset often enough
        // that only black and white are reliable.
        layout.SetColour(0, 0, 0, 0);
        layout.SetColour(1, 255, 255, 255);
    }

    const auto line = PxZeroed<std::uint8_t>(lineBytes + kLineSlack);
    if (!line) {
        return;
    }
    PxByteReader reader(stream, dataBytes);
    LineExpander expander(reader);
    const std::int64_t height = bitmap.Height();
    for (std::int64_t row = 0; row < height; ++row) {
        if (!PxLoadGoesOn(control, row, height)) {
            return;
        }
        std::uint8_t* out = PxStoreRow(bitmap, height - 1 - row);
        if (expander.OnlyZerosLeft()) {
            // All remaining rows look alike: convert one and copy it,
            // instead of walking the zeros of a truncated file one by one.
            std::memset(line.get(), 0, lineBytes);
            layout.Convert(line.get(), out);
            const std::size_t rowBytes = static_cast<std::size_t>(3 * layout.width);
            for (std::int64_t rest = row + 1; rest < height; ++rest) {
                std::memcpy(PxStoreRow(bitmap, height - 1 - rest), out, rowBytes);
            }
            return;
        }
        expander.Fill(line.get(), lineBytes);
        layout.Convert(line.get(), out);
    }
}

int PxDecoderPCX::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    ReadHeader(stream, bitmap);
    if (CreateStore(bitmap) != 0) {
        return 1;
    }
    DecodePixels(stream, bitmap);
    return Cancelled() ? 1 : 0;
}

}  // namespace brelvix
