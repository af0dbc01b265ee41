#include "support/bmp_writer.h"

#include <array>
#include <cstdio>

namespace brelvix {

namespace {

struct Entry {
    std::uint8_t r;
    std::uint8_t g;
    std::uint8_t b;
};

constexpr std::array<Entry, 16> kClassic16 = {{
    {0, 0, 0},
    {128, 0, 0},
    {0, 128, 0},
    {128, 128, 0},
    {0, 0, 128},
    {128, 0, 128},
    {0, 128, 128},
    {192, 192, 192},
    {128, 128, 128},
    {255, 0, 0},
    {0, 255, 0},
    {255, 255, 0},
    {0, 0, 255},
    {255, 0, 255},
    {0, 255, 255},
    {255, 255, 255},
}};

std::vector<Entry> PaletteOf(BmpKind kind)
{
    switch (kind) {
        case BmpKind::Palette1:
            return {{0, 0, 0}, {255, 255, 255}};
        case BmpKind::Palette4:
            return std::vector<Entry>(kClassic16.begin(), kClassic16.end());
        case BmpKind::Palette8:
        case BmpKind::RunLength8: {
            std::vector<Entry> palette;
            for (int i = 0; i < 256; ++i) {
                palette.push_back({static_cast<std::uint8_t>(((i >> 5) & 7) * 255 / 7),
                                   static_cast<std::uint8_t>(((i >> 2) & 7) * 255 / 7),
                                   static_cast<std::uint8_t>((i & 3) * 255 / 3)});
            }
            return palette;
        }
        case BmpKind::Rgb24:
            break;
    }
    return {};
}

int IndexOf(BmpKind kind, const std::uint8_t* rgb)
{
    switch (kind) {
        case BmpKind::Palette1:
            return (rgb[0] * 30 + rgb[1] * 59 + rgb[2] * 11) >= 128 * 100 ? 1 : 0;
        case BmpKind::Palette4: {
            int best = 0;
            int bestDistance = 1 << 30;
            for (int i = 0; i < 16; ++i) {
                const int dr = rgb[0] - kClassic16[i].r;
                const int dg = rgb[1] - kClassic16[i].g;
                const int db = rgb[2] - kClassic16[i].b;
                const int distance = dr * dr + dg * dg + db * db;
                if (distance < bestDistance) {
                    best = i;
                    bestDistance = distance;
                }
            }
            return best;
        }
        case BmpKind::Palette8:
        case BmpKind::RunLength8:
            return (((rgb[0] * 7 + 127) / 255) << 5) | (((rgb[1] * 7 + 127) / 255) << 2) | ((rgb[2] * 3 + 127) / 255);
        case BmpKind::Rgb24:
            break;
    }
    return 0;
}

int DepthOf(BmpKind kind)
{
    switch (kind) {
        case BmpKind::Palette1:
            return 1;
        case BmpKind::Palette4:
            return 4;
        case BmpKind::Palette8:
        case BmpKind::RunLength8:
            return 8;
        case BmpKind::Rgb24:
            break;
    }
    return 24;
}

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    Put16(out, v);
    Put16(out, v >> 16);
}

// Run-length codes of one row of indices: runs of two or more as counts,
// the rest as absolute runs (three or more, padded to an even length) or
// single-pixel runs.
void EncodeRunLengthRow(const std::vector<std::uint8_t>& row, std::vector<std::uint8_t>& out)
{
    const std::size_t width = row.size();
    std::size_t i = 0;
    while (i < width) {
        std::size_t run = 1;
        while (i + run < width && run < 255 && row[i + run] == row[i]) {
            ++run;
        }
        if (run >= 2) {
            out.push_back(static_cast<std::uint8_t>(run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        std::size_t j = i;
        while (j < width && j - i < 255 && !(j + 1 < width && row[j] == row[j + 1])) {
            ++j;
        }
        const std::size_t count = j - i;
        if (count >= 3) {
            out.push_back(0);
            out.push_back(static_cast<std::uint8_t>(count));
            out.insert(out.end(), row.begin() + static_cast<std::ptrdiff_t>(i),
                       row.begin() + static_cast<std::ptrdiff_t>(j));
            if (count % 2 == 1) {
                out.push_back(0);
            }
        } else {
            for (std::size_t k = i; k < j; ++k) {
                out.push_back(1);
                out.push_back(row[k]);
            }
        }
        i = j;
    }
}

}  // namespace

SamplePicture ReduceForBmp(const SamplePicture& picture, BmpKind kind)
{
    if (kind == BmpKind::Rgb24) {
        return picture;
    }
    const std::vector<Entry> palette = PaletteOf(kind);
    SamplePicture reduced = picture;
    for (std::size_t i = 0; i + 2 < reduced.rgb.size(); i += 3) {
        const Entry& e = palette[static_cast<std::size_t>(IndexOf(kind, picture.rgb.data() + i))];
        reduced.rgb[i] = e.r;
        reduced.rgb[i + 1] = e.g;
        reduced.rgb[i + 2] = e.b;
    }
    return reduced;
}

std::vector<std::uint8_t> EncodeBmp(const SamplePicture& picture, BmpKind kind)
{
    const int width = picture.width;
    const int height = picture.height;
    const int depth = DepthOf(kind);
    const std::vector<Entry> palette = PaletteOf(kind);
    const std::size_t dataBytes = (static_cast<std::size_t>(width) * depth + 7) / 8;
    const std::size_t rowBytes = (dataBytes + 3) & ~std::size_t{3};

    std::vector<std::uint8_t> pixels;
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width));
    for (int k = 0; k < height; ++k) {
        const int y = height - 1 - k;  // bottom row first
        if (kind == BmpKind::Rgb24) {
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* p = picture.At(x, y);
                pixels.insert(pixels.end(), {p[2], p[1], p[0]});
            }
            pixels.resize(pixels.size() + rowBytes - dataBytes, 0);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            indices[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(IndexOf(kind, picture.At(x, y)));
        }
        if (kind == BmpKind::RunLength8) {
            EncodeRunLengthRow(indices, pixels);
            pixels.push_back(0);
            pixels.push_back(k + 1 == height ? std::uint8_t{1} : std::uint8_t{0});  // end of bitmap, else end of line
            continue;
        }
        std::vector<std::uint8_t> row(rowBytes, 0);
        for (int x = 0; x < width; ++x) {
            const int bit = x * depth;
            row[static_cast<std::size_t>(bit / 8)] |=
                static_cast<std::uint8_t>(indices[static_cast<std::size_t>(x)] << (8 - depth - bit % 8));
        }
        pixels.insert(pixels.end(), row.begin(), row.end());
    }

    std::vector<std::uint8_t> out;
    const std::uint32_t offset = static_cast<std::uint32_t>(14 + 40 + 4 * palette.size());
    out.push_back('B');
    out.push_back('M');
    Put32(out, static_cast<std::uint32_t>(offset + pixels.size()));  // file size
    Put32(out, 0);                                                   // reserved
    Put32(out, offset);                                              // pixel data
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);                                          // planes
    Put16(out, static_cast<std::uint32_t>(depth));          // bits per pixel
    Put32(out, kind == BmpKind::RunLength8 ? 1 : 0);        // compression
    Put32(out, static_cast<std::uint32_t>(pixels.size()));  // image size
    Put32(out, 2835);                                       // 72 dots per inch
    Put32(out, 2835);
    Put32(out, static_cast<std::uint32_t>(palette.size()));  // colours used
    Put32(out, 0);                                           // important colours
    for (const Entry& e : palette) {
        out.insert(out.end(), {e.b, e.g, e.r, 0});
    }
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace brelvix
