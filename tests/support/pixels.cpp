#include "support/pixels.h"

#include <fstream>

namespace brelvix {

std::vector<std::uint8_t> TopDownRgb(const PxBitmap& bitmap)
{
    std::vector<std::uint8_t> out;
    if (bitmap.Pixels() == nullptr) {
        return out;
    }
    out.reserve(static_cast<size_t>(bitmap.Width()) * bitmap.Height() * 3);
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x) {
            const Rgb c = PixelAt(bitmap, x, y);
            out.push_back(c.r);
            out.push_back(c.g);
            out.push_back(c.b);
        }
    }
    return out;
}

bool ReadPpm(const std::string& path, int* width, int* height, std::vector<std::uint8_t>* rgb)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> *width >> *height >> maxval;
    if (!in || magic != "P6" || maxval != 255 || *width <= 0 || *height <= 0) {
        return false;
    }
    in.get();
    rgb->resize(static_cast<size_t>(*width) * *height * 3);
    in.read(reinterpret_cast<char*>(rgb->data()), static_cast<std::streamsize>(rgb->size()));
    return static_cast<bool>(in);
}

}  // namespace brelvix
