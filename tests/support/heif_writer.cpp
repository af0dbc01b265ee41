#include "support/heif_writer.h"

#include <libheif/heif.h>

namespace brelvix {

namespace {

heif_error AppendToVector(heif_context* /*context*/, const void* data, size_t size, void* userdata)
{
    auto* file = static_cast<std::vector<std::uint8_t>*>(userdata);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    file->insert(file->end(), bytes, bytes + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

heif_image* ToImage(const RawPicture& picture)
{
    const bool wide = picture.bitDepth > 8;
    const bool alpha = picture.channels == 4;
    const heif_chroma chroma = wide ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image* image = nullptr;
    if (heif_image_create(picture.width, picture.height, heif_colorspace_RGB, chroma, &image).code != heif_error_Ok ||
        heif_image_add_plane(image, heif_channel_interleaved, picture.width, picture.height, picture.bitDepth).code !=
            heif_error_Ok) {
        if (image != nullptr) {
            heif_image_release(image);
        }
        return nullptr;
    }
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const int rowValues = picture.width * picture.channels;
    for (int y = 0; y < picture.height; ++y) {
        for (int i = 0; i < rowValues; ++i) {
            const std::uint16_t value = picture.samples[static_cast<std::size_t>(y) * rowValues + i];
            if (wide) {
                plane[y * stride + 2 * i] = static_cast<std::uint8_t>(value);
                plane[y * stride + 2 * i + 1] = static_cast<std::uint8_t>(value >> 8);
            } else {
                plane[y * stride + i] = static_cast<std::uint8_t>(value);
            }
        }
    }
    return image;
}

}  // namespace

std::vector<std::uint8_t> EncodeHeif(const RawPicture& picture, const HeifWriterOptions& options)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = ToImage(picture);
    heif_encoding_options* encoding = heif_encoding_options_alloc();
    std::vector<std::uint8_t> file;
    if (context != nullptr && image != nullptr && encoding != nullptr &&
        heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code == heif_error_Ok) {
        heif_encoder_set_lossy_quality(encoder, options.quality);
        heif_encoder_set_logging_level(encoder, 0);
        // x265's default search costs seconds a megapixel; what a fixture
        // needs is a valid file.
        heif_encoder_set_parameter_string(encoder, "preset", "ultrafast");
        encoding->image_orientation = static_cast<heif_orientation>(options.orientation);
        // One coded picture, as cameras write it, rather than a grid of one
        // cell cropped to size.
        encoding->macOS_compatibility_workaround = 0;
        if (!options.iccProfile.empty()) {
            heif_image_set_raw_color_profile(image, "prof", options.iccProfile.data(), options.iccProfile.size());
        }
        heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
        if (options.primaries >= 0 && nclx != nullptr) {
            nclx->color_primaries = static_cast<heif_color_primaries>(options.primaries);
            nclx->transfer_characteristics = static_cast<heif_transfer_characteristics>(options.transfer);
            heif_image_set_nclx_color_profile(image, nclx);
            encoding->output_nclx_profile = nclx;
            // libheif leaves nclx out by default, for an old macOS's sake.
            encoding->macOS_compatibility_workaround_no_nclx_profile = 0;
        }
        heif_writer writer{1, AppendToVector};
        heif_image_handle* handle = nullptr;
        bool written = heif_context_encode_image(context, image, encoder, encoding, &handle).code == heif_error_Ok;
        if (written && !options.exif.empty()) {
            written = heif_context_add_exif_metadata(context, handle, options.exif.data(),
                                                     static_cast<int>(options.exif.size()))
                          .code == heif_error_Ok;
        }
        if (handle != nullptr) {
            heif_image_handle_release(handle);
        }
        if (!written || heif_context_write(context, &writer, &file).code != heif_error_Ok) {
            file.clear();
        }
        heif_nclx_color_profile_free(nclx);
    }
    if (encoder != nullptr) {
        heif_encoder_release(encoder);
    }
    heif_encoding_options_free(encoding);
    if (image != nullptr) {
        heif_image_release(image);
    }
    heif_context_free(context);
    return file;
}

bool DecodeHeifReference(const std::vector<std::uint8_t>& file, int* width, int* height, std::vector<std::uint8_t>* rgb)
{
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    bool decoded = false;
    if (heif_context_read_from_memory(context, file.data(), file.size(), nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
        const bool wide = heif_image_handle_get_luma_bits_per_pixel(handle) > 8;
        const heif_chroma chroma = wide ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB;
        if (heif_decode_image(handle, &image, heif_colorspace_RGB, chroma, nullptr).code == heif_error_Ok) {
            int stride = 0;
            const std::uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
            *width = heif_image_get_width(image, heif_channel_interleaved);
            *height = heif_image_get_height(image, heif_channel_interleaved);
            const int shift = wide ? heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved) - 8 : 0;
            rgb->clear();
            for (int y = 0; y < *height; ++y) {
                for (int i = 0; i < *width * 3; ++i) {
                    const std::uint8_t* at = plane + y * stride + (wide ? 2 * i : i);
                    rgb->push_back(wide ? static_cast<std::uint8_t>((at[0] | at[1] << 8) >> shift) : at[0]);
                }
            }
            decoded = true;
            heif_image_release(image);
        }
        heif_image_handle_release(handle);
    }
    heif_context_free(context);
    return decoded;
}

}  // namespace brelvix
