#include "support/tga_writer.h"

#include <cstddef>

namespace brelvix {

namespace {

void AppendWord(std::vector<std::uint8_t>& out, int value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

bool Same(const std::uint8_t* a, const std::uint8_t* b, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

// Packets of at most 128 pixels: a run for two or more equal pixels,
// raw packets for the rest.
void AppendRunLengthRow(std::vector<std::uint8_t>& out, const std::uint8_t* row, int count, int bytes)
{
    int x = 0;
    while (x < count) {
        int run = 1;
        while (x + run < count && run < 128 && Same(row + x * bytes, row + (x + run) * bytes, bytes)) {
            ++run;
        }
        if (run >= 2) {
            out.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
            out.insert(out.end(), row + x * bytes, row + (x + 1) * bytes);
            x += run;
            continue;
        }
        int raw = 1;
        while (x + raw < count && raw < 128 &&
               !(x + raw + 1 < count && Same(row + (x + raw) * bytes, row + (x + raw + 1) * bytes, bytes))) {
            ++raw;
        }
        out.push_back(static_cast<std::uint8_t>(raw - 1));
        out.insert(out.end(), row + x * bytes, row + (x + raw) * bytes);
        x += raw;
    }
}

}  // namespace

std::vector<std::uint8_t> TgaHead(int width, int height, const TgaOptions& options)
{
    std::vector<std::uint8_t> out;
    out.push_back(static_cast<std::uint8_t>(options.id.size()));
    out.push_back(options.colorMapType);
    out.push_back(options.imageType);
    AppendWord(out, options.firstEntry);
    AppendWord(out, options.mapLength);
    out.push_back(options.mapEntrySize);
    AppendWord(out, 0);  // x origin
    AppendWord(out, 0);  // y origin
    AppendWord(out, width);
    AppendWord(out, height);
    out.push_back(options.depth);
    out.push_back(static_cast<std::uint8_t>((options.topDown ? 0x20 : 0) | options.descriptorBits));
    out.insert(out.end(), options.id.begin(), options.id.end());
    out.insert(out.end(), options.colorMap.begin(), options.colorMap.end());
    return out;
}

std::vector<std::uint8_t> WriteTga(int width, int height, const std::vector<std::uint8_t>& pixels,
                                   const TgaOptions& options)
{
    std::vector<std::uint8_t> out = TgaHead(width, height, options);
    const int bytes = (options.depth + 7) / 8;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * bytes;
    for (int k = 0; k < height; ++k) {
        const int y = options.topDown ? k : height - 1 - k;
        const std::uint8_t* row = pixels.data() + static_cast<std::size_t>(y) * rowBytes;
        if (options.imageType >= 9) {
            AppendRunLengthRow(out, row, width, bytes);
        } else {
            out.insert(out.end(), row, row + rowBytes);
        }
    }
    return out;
}

std::vector<std::uint8_t> TgaPixelsFromRgb(const std::vector<std::uint8_t>& rgb, int depth)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
        const std::uint8_t r = rgb[i], g = rgb[i + 1], b = rgb[i + 2];
        if (depth == 15 || depth == 16) {
            AppendWord(out, ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        } else {
            out.push_back(b);
            out.push_back(g);
            out.push_back(r);
            if (depth == 32) {
                out.push_back(255);
            }
        }
    }
    return out;
}

}  // namespace brelvix
