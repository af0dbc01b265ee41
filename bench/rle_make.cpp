// rle_make KIND FILE WIDTH HEIGHT [CONTENT]
//
// Writes one benchmark picture for bench/rle_bench.sh. KIND is tga (type 10,
// 24 bits), pcx24 (three 8-bit planes), pcx8 (256 colours, palette at the
// end) or bmp24. CONTENT is "scene" (the sample picture: long runs in the
// sky, short ones elsewhere) or "grain" (the same with a little noise on
// every pixel: almost no runs, the worst case for run-length decoding).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/bmp_writer.h"
#include "support/pcx_writer.h"
#include "support/sample_picture.h"
#include "support/tga_writer.h"

using namespace brelvix;

namespace {

void AddGrain(SamplePicture& picture)
{
    std::uint32_t state = 12345;
    for (auto& value : picture.rgb) {
        state = state * 1664525u + 1013904223u;
        const int v = value + static_cast<int>((state >> 24) % 9) - 4;
        value = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: rle_make tga|pcx24|pcx8|bmp24 FILE WIDTH HEIGHT [scene|grain]\n");
        return 2;
    }
    const std::string kind = argv[1];
    const std::string file = argv[2];
    SamplePicture picture = RenderSamplePicture(std::stoi(argv[3]), std::stoi(argv[4]));
    if (argc > 5 && std::strcmp(argv[5], "grain") == 0) {
        AddGrain(picture);
    }
    const int width = picture.width;
    const int height = picture.height;
    std::vector<std::uint8_t> bytes;
    if (kind == "tga") {
        TgaOptions options;
        options.imageType = 10;
        bytes = WriteTga(width, height, TgaPixelsFromRgb(picture.rgb, 24), options);
    } else if (kind == "pcx24") {
        PcxOptions options;
        options.planes = 3;
        bytes = WritePcx(width, height, PcxLines(width, height, picture.rgb, options), options);
    } else if (kind == "pcx8") {
        PcxOptions options;
        const std::vector<std::uint8_t> indices = PcxIndicesFromRgb(picture.rgb, &options.endPalette);
        bytes = WritePcx(width, height, PcxLines(width, height, indices, options), options);
    } else if (kind == "bmp24") {
        bytes = EncodeBmp(picture, BmpKind::Rgb24);
    } else {
        std::fprintf(stderr, "rle_make: unknown kind %s\n", kind.c_str());
        return 2;
    }
    return WriteFileBytes(file, bytes) ? 0 : 1;
}
