#include "support/raw_picture.h"

namespace brelvix {

RawPicture RawFromSample(const SamplePicture& picture, bool alpha)
{
    RawPicture raw;
    raw.width = picture.width;
    raw.height = picture.height;
    raw.channels = alpha ? 4 : 3;
    raw.samples.reserve(static_cast<std::size_t>(picture.width) * picture.height * raw.channels);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* p = picture.At(x, y);
            raw.samples.insert(raw.samples.end(), {p[0], p[1], p[2]});
            if (alpha) {
                const int width = picture.width > 1 ? picture.width - 1 : 1;
                raw.samples.push_back(static_cast<std::uint16_t>(255 - x * 255 / width));
            }
        }
    }
    return raw;
}

RawPicture Widened(const RawPicture& picture, int bitDepth)
{
    RawPicture wide = picture;
    wide.bitDepth = bitDepth;
    const int shift = bitDepth - 8;
    for (std::uint16_t& value : wide.samples) {
        value = static_cast<std::uint16_t>(value << shift | value >> (8 - shift));
    }
    return wide;
}

std::vector<std::uint8_t> HighBytesRgb(const RawPicture& picture)
{
    std::vector<std::uint8_t> rgb;
    rgb.reserve(static_cast<std::size_t>(picture.width) * picture.height * 3);
    const int shift = picture.bitDepth - 8;
    for (std::size_t i = 0; i < picture.samples.size(); i += picture.channels) {
        for (int c = 0; c < 3; ++c) {
            rgb.push_back(static_cast<std::uint8_t>(picture.samples[i + c] >> shift));
        }
    }
    return rgb;
}

}  // namespace brelvix
