#include "support/slow_jpeg.h"

#include "support/jpeg_writer.h"

namespace brelvix {

std::vector<std::uint8_t> SlowJpeg(int width, int height, int steps)
{
    // Soft shading with a faint ripple, so that every scan has bits to
    // refine in some blocks, as in a photo.
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            grey[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>(32 + (x + 2 * y) * 160 / (width + 2 * height) + ((x * 7 + y * 13) % 23) / 8);
        }
    }
    JpegWriterOptions options;
    options.space = JpegSpace::kGray;
    options.progressive = true;
    options.stepsPerCoefficient = steps;
    return EncodeJpeg(width, height, grey, options);
}

}  // namespace brelvix
