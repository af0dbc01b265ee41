// The Exif block of HEIF and AVIF files, through libheif: part of the
// decoder module (decoder_module.h), like everything that calls libheif.
#include <libheif/heif.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decoder_module.h"
#include "exif_block.h"
#include "pixel_memory.h"

namespace brelvix {

// HEIF and AVIF keep Exif as an item of the primary picture; libheif finds it
// from the file's item tables without touching the coded picture. The item
// starts with a 4-byte offset to the TIFF header.
bool PxIsoMediaExifBlock(const std::string& path, std::vector<std::uint8_t>* block)
{
    using Context = std::unique_ptr<heif_context, PxReleaseWith<&heif_context_free>>;
    using Handle = std::unique_ptr<const heif_image_handle, PxReleaseWith<&heif_image_handle_release>>;
    const Context context(heif_context_alloc());
    if (context == nullptr || heif_context_read_from_file(context.get(), path.c_str(), nullptr).code != heif_error_Ok) {
        return false;
    }
    heif_image_handle* primary = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok || primary == nullptr) {
        return false;
    }
    const Handle handle(primary);
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(primary, "Exif", &id, 1) != 1) {
        return false;
    }
    const std::size_t size = heif_image_handle_get_metadata_size(primary, id);
    if (size < 4 || size > kPxMaxExifBlockBytes) {
        return false;
    }
    std::vector<std::uint8_t> item(size);
    if (heif_image_handle_get_metadata(primary, id, item.data()).code != heif_error_Ok) {
        return false;
    }
    const std::uint64_t skip = std::uint64_t{4} + (std::uint32_t{item[0]} << 24 | std::uint32_t{item[1]} << 16 |
                                                   std::uint32_t{item[2]} << 8 | item[3]);
    if (skip >= size) {
        return false;
    }
    block->assign(item.begin() + static_cast<std::ptrdiff_t>(skip), item.end());
    return true;
}

}  // namespace brelvix
