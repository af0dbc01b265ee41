#include "support/png_writer.h"

#include <png.h>

#include "imaging/jump_guard.h"

namespace brelvix {

namespace {

void Append(png_structp png, png_bytep data, png_size_t length)
{
    auto* file = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    file->insert(file->end(), data, data + length);
}

void Flush(png_structp /*png*/) {}

// The rows in the file's own layout: samples packed most significant bits
// first below 8 bits, big-endian at 16.
std::vector<std::uint8_t> PackRows(const PngPicture& picture, std::size_t* rowBytes)
{
    const std::size_t values = static_cast<std::size_t>(picture.width) * PngChannels(picture.colorType);
    *rowBytes = (values * static_cast<std::size_t>(picture.bitDepth) + 7) / 8;
    std::vector<std::uint8_t> rows(*rowBytes * static_cast<std::size_t>(picture.height), 0);
    for (int y = 0; y < picture.height; ++y) {
        std::uint8_t* row = &rows[static_cast<std::size_t>(y) * *rowBytes];
        for (std::size_t i = 0; i < values; ++i) {
            const unsigned value = picture.samples[static_cast<std::size_t>(y) * values + i];
            if (picture.bitDepth == 16) {
                row[2 * i] = static_cast<std::uint8_t>(value >> 8);
                row[2 * i + 1] = static_cast<std::uint8_t>(value);
            } else if (picture.bitDepth == 8) {
                row[i] = static_cast<std::uint8_t>(value);
            } else {
                const std::size_t bit = i * static_cast<std::size_t>(picture.bitDepth);
                const unsigned shift = 8 - static_cast<unsigned>(picture.bitDepth) - bit % 8;
                row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | (value << shift));
            }
        }
    }
    return rows;
}

// All libpng calls, with no destructors in between for the error jump.
void Write(png_structp png, png_infop info, const PngPicture& picture, png_bytepp rowPointers,
           std::vector<std::uint8_t>* file)
{
    png_set_write_fn(png, file, Append, Flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height),
                 picture.bitDepth, picture.colorType, picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!picture.palette.empty()) {
        std::array<png_color, 256> entries{};
        for (std::size_t i = 0; i < picture.palette.size() && i < entries.size(); ++i) {
            entries[i] = png_color{picture.palette[i][0], picture.palette[i][1], picture.palette[i][2]};
        }
        png_set_PLTE(png, info, entries.data(), static_cast<int>(picture.palette.size()));
    }
    if (!picture.paletteAlpha.empty()) {
        png_set_tRNS(png, info, picture.paletteAlpha.data(), static_cast<int>(picture.paletteAlpha.size()), nullptr);
    }
    if (picture.transparentValue >= 0) {
        const auto v = static_cast<png_uint_16>(picture.transparentValue);
        png_color_16 clear{0, v, v, v, v};
        png_set_tRNS(png, info, nullptr, 0, &clear);
    }
    if (!picture.iccProfile.empty()) {
        png_set_iCCP(png, info, "test", 0, picture.iccProfile.data(),
                     static_cast<png_uint_32>(picture.iccProfile.size()));
    }
    if (picture.srgb) {
        png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    }
    if (picture.gamma > 0) {
        png_set_gAMA(png, info, picture.gamma);
    }
    if (picture.chromaticities.size() == 8) {
        const std::vector<double>& c = picture.chromaticities;
        png_set_cHRM(png, info, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    }
    png_unknown_chunk cicp{{'c', 'I', 'C', 'P', 0}, nullptr, 0, PNG_HAVE_IHDR};
    if (!picture.cicp.empty()) {
        cicp.data = const_cast<png_bytep>(picture.cicp.data());
        cicp.size = picture.cicp.size();
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, cicp.name, 1);
        png_set_unknown_chunks(png, info, &cicp, 1);
    }
    // Fixtures may use indices past the palette on purpose.
    png_set_check_for_invalid_index(png, 0);
    png_write_info(png, info);
    png_set_interlace_handling(png);
    png_write_image(png, rowPointers);
    png_write_end(png, info);
}

}  // namespace

int PngChannels(int colorType)
{
    switch (colorType) {
        case 2:
            return 3;
        case 4:
            return 2;
        case 6:
            return 4;
        default:
            return 1;
    }
}

std::vector<std::uint8_t> EncodePng(const PngPicture& picture)
{
    const std::size_t needed =
        static_cast<std::size_t>(picture.width) * picture.height * PngChannels(picture.colorType);
    if (picture.width <= 0 || picture.height <= 0 || picture.samples.size() < needed) {
        return {};
    }
    std::size_t rowBytes = 0;
    std::vector<std::uint8_t> rows = PackRows(picture, &rowBytes);
    std::vector<png_bytep> rowPointers(static_cast<std::size_t>(picture.height));
    for (std::size_t y = 0; y < rowPointers.size(); ++y) {
        rowPointers[y] = &rows[y * rowBytes];
    }
    std::vector<std::uint8_t> file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return {};
    }
    png_infop info = png_create_info_struct(png);
    const bool written =
        info != nullptr && PxGuarded(png_jmpbuf(png), [&] { Write(png, info, picture, rowPointers.data(), &file); });
    png_destroy_write_struct(&png, &info);
    return written ? file : std::vector<std::uint8_t>{};
}

}  // namespace brelvix
