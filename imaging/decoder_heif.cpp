#include "decoder_heif.h"

#include <libheif/heif.h>

#include <algorithm>
#include <new>
#include <vector>

#include "alpha.h"
#include "color_profile.h"
#include "exif_bytes.h"

namespace brelvix {

namespace {

using Context = std::unique_ptr<heif_context, PxReleaseWith<&heif_context_free>>;
using Handle = std::unique_ptr<const heif_image_handle, PxReleaseWith<&heif_image_handle_release>>;
using Image = std::unique_ptr<const heif_image, PxReleaseWith<&heif_image_release>>;
using Options = std::unique_ptr<heif_decoding_options, PxReleaseWith<&heif_decoding_options_free>>;

// libheif refuses pictures wider or higher than this before decoding any of
// them; the store cap then bounds their area.
constexpr int kMaxSide = 32768;

// Progress of a load in permille after each of its stages: libheif reads
// the container, then decodes and converts the whole picture in one call;
// the rows then go to the store one by one.
constexpr std::int64_t kParsed = 10;
constexpr std::int64_t kDecoded = 900;

using Nclx = std::unique_ptr<heif_color_profile_nclx, PxReleaseWith<&heif_nclx_color_profile_free>>;

// The colour of the primary picture: its ICC profile, or else the code
// points of its nclx information; sRGB's when it has neither.
void ReadColor(const heif_image_handle* handle, PxPictureMeta& meta)
{
    const std::size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size > 0 && size <= kPxMaxProfileBytes) {
        std::vector<std::uint8_t> icc(size);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok &&
            PxProfileFromIcc(icc.data(), icc.size(), meta.space, &meta.profile)) {
            return;
        }
    }
    heif_color_profile_nclx* found = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &found).code == heif_error_Ok && found != nullptr) {
        const Nclx nclx(found);
        PxProfileFromCodePoints(nclx->color_primaries, nclx->transfer_characteristics, &meta.profile);
    }
}

// The first Exif block of the primary picture. The file's rotation and
// mirror, which libheif applies, stand for the orientation, not Exif's.
std::vector<std::uint8_t> ReadExif(const heif_image_handle* handle)
{
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) != 1) {
        return {};
    }
    const std::size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size == 0 || size > kPxMaxExifBytes) {
        return {};
    }
    std::vector<std::uint8_t> block(size);
    if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok) {
        return {};
    }
    return PxExifFromBlock(block.data(), block.size());
}

// What a libheif error says about the file. A picture beyond kMaxSide is
// refused as a security limit; a missing codec plugin is a feature the
// library lacks.
PxLoadError ReasonOf(const heif_error& error)
{
    if (error.subcode == heif_suberror_Security_limit_exceeded) {
        return PxLoadError::TooLarge;
    }
    switch (error.code) {
        case heif_error_Memory_allocation_error:
            return PxLoadError::OutOfMemory;
        case heif_error_Unsupported_filetype:
        case heif_error_Unsupported_feature:
            return PxLoadError::Unsupported;
        default:
            return PxLoadError::Damaged;
    }
}

}  // namespace

struct PxDecoderHEIF::Library {
    Context context;
    Handle primary;
    int bitsPerSample = 8;
};

PxDecoderHEIF::PxDecoderHEIF() = default;

PxDecoderHEIF::~PxDecoderHEIF() = default;

int PxDecoderHEIF::ReadHeader(PxFileStream& /*stream*/, PxBitmap& bitmap)
{
    if (!scratch) {
        return 1;
    }
    library.reset(new (std::nothrow) Library);
    if (library == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    library->context.reset(heif_context_alloc());
    heif_context* context = library->context.get();
    if (context == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    heif_context_set_maximum_image_size_limit(context, kMaxSide);
    // The file stays in `scratch` until the decoder goes, so libheif may read it in place.
    const heif_error read = heif_context_read_from_memory_without_copy(context, scratch.get(), fileLength, nullptr);
    if (read.code != heif_error_Ok) {
        return Fail(ReasonOf(read));
    }
    heif_image_handle* handle = nullptr;
    const heif_error primary = heif_context_get_primary_image_handle(context, &handle);
    if (primary.code != heif_error_Ok) {
        return Fail(ReasonOf(primary));
    }
    if (handle == nullptr) {
        return Fail(PxLoadError::Damaged);
    }
    library->primary.reset(handle);
    const int width = heif_image_handle_get_width(handle);
    const int height = heif_image_handle_get_height(handle);
    // libheif's decoded planes and its interleaved picture take up to six
    // bytes a pixel each besides the store: no picture whose planes alone
    // would pass the store cap is decoded at all.
    const int bits = heif_image_handle_get_luma_bits_per_pixel(handle);
    library->bitsPerSample = bits > 8 ? bits : 8;
    const std::uint64_t bytes =
        static_cast<std::uint64_t>(std::max(width, 0)) * static_cast<std::uint64_t>(std::max(height, 0)) * 6;
    if (width <= 0 || height <= 0) {
        return Fail(PxLoadError::Damaged);
    }
    if (bytes > kPxMaxStoreBytes) {
        return Fail(PxLoadError::TooLarge);
    }
    bitmap.SetDimensions(width, height, heif_image_handle_has_alpha_channel(handle) != 0 ? 32 : 24);
    PxPictureMeta& meta = bitmap.Meta();
    meta.bitsPerSample = library->bitsPerSample;
    ReadColor(handle, meta);
    meta.exif = ReadExif(handle);
    return 0;
}

int PxDecoderHEIF::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    std::uint64_t delivered = 0;
    if (!ReadWholeFileIntoScratch(stream, &delivered)) {
        return 1;
    }
    fileLength = static_cast<std::size_t>(delivered);
    ReadHeader(stream, bitmap);
    // libheif cannot be stopped inside a decode: the load looks at the
    // control before and after it.
    if (CreateStore(bitmap) != 0 || library == nullptr || library->primary == nullptr || Cancelled() ||
        !PxLoadGoesOn(control, kParsed, 1000)) {
        return 1;
    }
    const Options options(heif_decoding_options_alloc());
    if (options == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    // Deeper samples come at their own depth; their high 8 bits are taken here.
    const bool deep = library->bitsPerSample > 8;
    options->convert_hdr_to_8bit = 0;
    heif_image* decoded = nullptr;
    // Alpha comes as a fourth sample; the colours stay as stored.
    const bool alpha =
        heif_image_handle_has_alpha_channel(library->primary.get()) != 0 && bitmap.CreateAlphaPlane() == 0;
    bitmap.Meta().alphaPremultiplied = alpha && heif_image_handle_is_premultiplied_alpha(library->primary.get()) != 0;
    const std::int64_t channels = alpha ? 4 : 3;
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    const heif_error decodeError =
        heif_decode_image(library->primary.get(), &decoded, heif_colorspace_RGB, chroma, options.get());
    if (decodeError.code != heif_error_Ok) {
        return Fail(ReasonOf(decodeError));
    }
    if (decoded == nullptr) {
        return Fail(PxLoadError::Damaged);
    }
    const Image image(decoded);
    int stride = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const std::int64_t width = bitmap.Width();
    const std::int64_t height = bitmap.Height();
    if (plane == nullptr || heif_image_get_width(decoded, heif_channel_interleaved) != width ||
        heif_image_get_height(decoded, heif_channel_interleaved) != height) {
        return Fail(PxLoadError::Damaged);
    }
    const int bits = deep ? heif_image_get_bits_per_pixel_range(decoded, heif_channel_interleaved) : 8;
    if (bits < 8 || bits > 16) {
        return Fail(PxLoadError::Unsupported);
    }
    const unsigned shift = static_cast<unsigned>(bits - 8);
    // Red, green, blue in; blue, green, red out. Deep samples are
    // little-endian 16-bit values.
    for (std::int64_t y = 0; y < height; ++y) {
        if (!PxLoadGoesOn(control, kDecoded * height + (1000 - kDecoded) * y, 1000 * height)) {
            return 1;
        }
        const std::uint8_t* source = plane + y * stride;
        std::uint8_t* target = PxStoreRow(bitmap, height - 1 - y);
        if (alpha) {
            std::uint8_t* alphaRow = bitmap.Alpha() + (height - 1 - y) * width;
            for (std::int64_t x = 0; x < width; ++x) {
                const std::uint8_t* p = source + x * channels * (deep ? 2 : 1);
                auto sample = [&](int c) {
                    return static_cast<std::uint8_t>(deep ? (p[2 * c] | p[2 * c + 1] << 8) >> shift : p[c]);
                };
                target[3 * x] = sample(2);
                target[3 * x + 1] = sample(1);
                target[3 * x + 2] = sample(0);
                alphaRow[x] = sample(3);
            }
            continue;
        }
        if (deep) {
            for (std::int64_t i = 0; i < 3 * width; ++i) {
                const unsigned value = (source[2 * i] | source[2 * i + 1] << 8) >> shift;
                target[i - i % 3 + 2 - i % 3] = static_cast<std::uint8_t>(value);
            }
            continue;
        }
        for (std::int64_t x = 0; x < width; ++x) {
            target[3 * x] = source[3 * x + 2];
            target[3 * x + 1] = source[3 * x + 1];
            target[3 * x + 2] = source[3 * x];
        }
    }
    PxDropOpaqueAlpha(bitmap);
    return 0;
}

}  // namespace brelvix
