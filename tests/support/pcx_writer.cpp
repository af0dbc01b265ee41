#include "support/pcx_writer.h"

#include <cstddef>

namespace brelvix {

namespace {

void AppendWord(std::vector<std::uint8_t>& out, int value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

}  // namespace

int PcxBytesPerLine(int width, const PcxOptions& options)
{
    if (options.bytesPerLine >= 0) {
        return options.bytesPerLine;
    }
    const int bytes = (width * options.bitsPerPixel + 7) / 8;
    return bytes + (bytes & 1);
}

int PcxPlaneBytes(int width, const PcxOptions& options)
{
    const int needed = (width * options.bitsPerPixel + 7) / 8;
    const int field = PcxBytesPerLine(width, options);
    return field > needed ? field : needed;
}

std::vector<std::uint8_t> PcxHeader(int width, int height, const PcxOptions& options)
{
    std::vector<std::uint8_t> out{10, options.version, options.encoding, options.bitsPerPixel};
    AppendWord(out, options.xMin);
    AppendWord(out, options.yMin);
    AppendWord(out, options.xMin + width - 1);
    AppendWord(out, options.yMin + height - 1);
    AppendWord(out, 72);
    AppendWord(out, 72);
    out.insert(out.end(), options.headerPalette.begin(), options.headerPalette.end());
    out.push_back(0);
    out.push_back(options.planes);
    AppendWord(out, PcxBytesPerLine(width, options));
    AppendWord(out, 1);
    out.resize(128, 0);
    return out;
}

std::vector<std::uint8_t> WritePcx(int width, int height, const std::vector<std::uint8_t>& lines,
                                   const PcxOptions& options)
{
    std::vector<std::uint8_t> out = PcxHeader(width, height, options);
    const std::size_t lineBytes = static_cast<std::size_t>(PcxPlaneBytes(width, options)) * options.planes;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* line = lines.data() + y * lineBytes;
        std::size_t i = 0;
        while (i < lineBytes) {
            std::size_t run = 1;
            while (i + run < lineBytes && run < 63 && line[i + run] == line[i]) {
                ++run;
            }
            if (run > 1 || line[i] >= 0xC0) {
                out.push_back(static_cast<std::uint8_t>(0xC0 | run));
            }
            out.push_back(line[i]);
            i += run;
        }
    }
    if (options.endPalette.size() == 768) {
        out.push_back(12);
        out.insert(out.end(), options.endPalette.begin(), options.endPalette.end());
    }
    return out;
}

std::vector<std::uint8_t> PcxLines(int width, int height, const std::vector<std::uint8_t>& samples,
                                   const PcxOptions& options)
{
    const int bits = options.bitsPerPixel;
    const int planes = options.planes;
    const std::size_t planeBytes = static_cast<std::size_t>(PcxPlaneBytes(width, options));
    const bool rgb = planes == 3 && bits > 1;
    std::vector<std::uint8_t> lines(planeBytes * planes * height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int p = 0; p < planes; ++p) {
                unsigned value = rgb ? samples[(static_cast<std::size_t>(y) * width + x) * 3 + p]
                                     : samples[static_cast<std::size_t>(y) * width + x];
                if (planes > 1 && !rgb) {
                    value = (value >> p) & 1;
                }
                const std::size_t bit = static_cast<std::size_t>(x) * bits;
                std::uint8_t& byte = lines[(static_cast<std::size_t>(y) * planes + p) * planeBytes + bit / 8];
                byte |= static_cast<std::uint8_t>((value & ((1u << bits) - 1)) << (8 - bits - bit % 8));
            }
        }
    }
    return lines;
}

std::vector<std::uint8_t> PcxIndicesFromRgb(const std::vector<std::uint8_t>& rgb, std::vector<std::uint8_t>* palette)
{
    palette->clear();
    for (int i = 0; i < 256; ++i) {
        palette->push_back(static_cast<std::uint8_t>((i >> 5) * 255 / 7));
        palette->push_back(static_cast<std::uint8_t>(((i >> 2) & 7) * 255 / 7));
        palette->push_back(static_cast<std::uint8_t>((i & 3) * 255 / 3));
    }
    std::vector<std::uint8_t> indices;
    indices.reserve(rgb.size() / 3);
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
        const int r = (rgb[i] * 7 + 127) / 255;
        const int g = (rgb[i + 1] * 7 + 127) / 255;
        const int b = (rgb[i + 2] * 3 + 127) / 255;
        indices.push_back(static_cast<std::uint8_t>((r << 5) | (g << 2) | b));
    }
    return indices;
}

}  // namespace brelvix
