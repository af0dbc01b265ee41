#include "support/png_reference.h"

#include <png.h>

bool ReadPngReference(const std::string& path, int* width, int* height, std::vector<std::uint8_t>* rgb)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) == 0) {
        png_image_free(&image);
        return false;
    }
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    rgb->resize(rgba.size() / 4 * 3);
    for (std::size_t i = 0, j = 0; i < rgba.size(); i += 4, j += 3) {
        (*rgb)[j] = rgba[i];
        (*rgb)[j + 1] = rgba[i + 1];
        (*rgb)[j + 2] = rgba[i + 2];
    }
    return true;
}
