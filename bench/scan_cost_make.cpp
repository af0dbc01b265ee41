// scan_cost_make OUT WIDTH HEIGHT STEPS [colour]
//
// Writes a grey progressive JPEG whose every coefficient is coded in STEPS
// successive-approximation scans of its own (64 x STEPS scans in all), with
// libjpeg's own encoder through the tests' writer. Every scan is a pass over
// every block of the picture, so decoding costs scans times picture size:
// 8000 x 8000 with 11 steps makes a file of about 2 MB with 704 scans.
// STEPS 0 gives libjpeg's usual progression; "colour" a 4:2:0 colour file.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/jpeg_writer.h"

using namespace brelvix;

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: scan_cost_make OUT WIDTH HEIGHT STEPS\n");
        return 2;
    }
    const int width = std::atoi(argv[2]);
    const int height = std::atoi(argv[3]);
    const bool colour = argc > 5 && std::string(argv[5]) == "colour";
    JpegWriterOptions options;
    options.space = colour ? JpegSpace::kYCbCr : JpegSpace::kGray;
    options.progressive = true;
    options.stepsPerCoefficient = std::atoi(argv[4]);
    // Soft shading with a faint ripple: most blocks are smooth, as in a
    // photo, and a few have bits to refine in every scan.
    const int components = colour ? 3 : 1;
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * components);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int ripple = ((x * 7 + y * 13) % 23) / 8;
            for (int c = 0; c < components; ++c) {
                samples[(static_cast<std::size_t>(y) * width + x) * components + c] =
                    static_cast<std::uint8_t>(32 + (x + (c + 1) * y) * 160 / (width + 3 * height) + ripple);
            }
        }
    }
    const std::vector<std::uint8_t> file = EncodeJpeg(width, height, samples, options);
    FILE* out = std::fopen(argv[1], "wb");
    if (file.empty() || out == nullptr) {
        std::fprintf(stderr, "scan_cost_make: cannot write %s\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written ? 0 : 1;
}
