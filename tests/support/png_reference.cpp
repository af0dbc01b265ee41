#include "support/png_reference.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "imaging/jump_guard.h"

namespace brelvix {

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

bool ReadPngReferenceRgba(const std::string& path, int* width, int* height, std::vector<std::uint8_t>* rgba)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    std::vector<png_bytep> rows;
    png_uint_32 w = 0;
    png_uint_32 h = 0;
    bool expanded = false;
    const bool read = info != nullptr && PxGuarded(png_jmpbuf(png), [&] {
                          png_init_io(png, file);
                          png_read_info(png, info);
                          png_set_expand(png);
                          png_set_scale_16(png);
                          png_set_gray_to_rgb(png);
                          png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
                          png_set_interlace_handling(png);
                          png_read_update_info(png, info);
                          w = png_get_image_width(png, info);
                          h = png_get_image_height(png, info);
                          expanded = png_get_rowbytes(png, info) == static_cast<std::size_t>(w) * 4;
                          if (!expanded) {
                              return;
                          }
                          rgba->assign(static_cast<std::size_t>(w) * h * 4, 0);
                          rows.resize(h);
                          for (png_uint_32 y = 0; y < h; ++y) {
                              rows[y] = rgba->data() + static_cast<std::size_t>(y) * w * 4;
                          }
                          png_read_image(png, rows.data());
                          png_read_end(png, nullptr);
                      });
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    if (!read || !expanded) {
        return false;
    }
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

ReferenceComparison CompareWithReference(const PxBitmap& bitmap, const std::vector<std::uint8_t>& rgba,
                                         std::uint8_t minimumAlpha, const std::function<Rgb(Rgb)>& shown, int tolerance)
{
    ReferenceComparison comparison;
    const int width = bitmap.Width();
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = rgba.data() + 4 * (static_cast<std::size_t>(y) * width + x);
            if (p[3] < minimumAlpha) {
                continue;
            }
            ++comparison.compared;
            const Rgb want = shown(Rgb{p[0], p[1], p[2]});
            const Rgb got = PixelAt(bitmap, x, y);
            const bool close = std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
                               std::abs(got.b - want.b) <= tolerance;
            if (!close && comparison.differing++ == 0) {
                std::ostringstream message;
                message << "first at (" << x << "," << y << "): got " << got << ", want " << want;
                comparison.first = message.str();
            }
        }
    }
    return comparison;
}

}  // namespace brelvix
