#include "support/exif_writer.h"

#include <libexif/exif-data.h>
#include <zlib.h>

#include <cstdlib>

namespace brelvix {

std::vector<std::uint8_t> ExifWithOrientation(int orientation, bool bigEndian)
{
    ExifData* data = exif_data_new();
    if (data == nullptr) {
        return {};
    }
    const ExifByteOrder order = bigEndian ? EXIF_BYTE_ORDER_MOTOROLA : EXIF_BYTE_ORDER_INTEL;
    exif_data_set_byte_order(data, order);
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    ExifEntry* entry = exif_entry_new();
    exif_content_add_entry(data->ifd[EXIF_IFD_0], entry);
    exif_entry_initialize(entry, EXIF_TAG_ORIENTATION);
    exif_set_short(entry->data, order, static_cast<ExifShort>(orientation));
    exif_entry_unref(entry);

    unsigned char* bytes = nullptr;
    unsigned int length = 0;
    exif_data_save_data(data, &bytes, &length);
    std::vector<std::uint8_t> block;
    if (bytes != nullptr) {
        block.assign(bytes, bytes + length);
        std::free(bytes);
    }
    exif_data_unref(data);
    return block;
}

std::vector<std::uint8_t> ExifWithoutHeader(const std::vector<std::uint8_t>& exif)
{
    return exif.size() > 6 ? std::vector<std::uint8_t>(exif.begin() + 6, exif.end()) : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> JpegWithExif(const std::vector<std::uint8_t>& jpeg, const std::vector<std::uint8_t>& exif)
{
    if (jpeg.size() < 2 || exif.size() + 2 > 0xFFFF) {
        return {};
    }
    const std::size_t length = exif.size() + 2;
    std::vector<std::uint8_t> file(jpeg.begin(), jpeg.begin() + 2);
    file.insert(file.end(), {0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
    file.insert(file.end(), exif.begin(), exif.end());
    file.insert(file.end(), jpeg.begin() + 2, jpeg.end());
    return file;
}

std::vector<std::uint8_t> PngWithExif(const std::vector<std::uint8_t>& png, const std::vector<std::uint8_t>& exif)
{
    // Signature (8 bytes) and the header chunk (4 + 4 + 13 + 4 bytes).
    constexpr std::size_t kAfterHeader = 8 + 25;
    const std::vector<std::uint8_t> tiff = ExifWithoutHeader(exif);
    if (png.size() < kAfterHeader) {
        return {};
    }
    std::vector<std::uint8_t> chunk;
    const auto length = static_cast<std::uint32_t>(tiff.size());
    chunk.insert(chunk.end(), {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
                               static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
    chunk.insert(chunk.end(), {'e', 'X', 'I', 'f'});
    chunk.insert(chunk.end(), tiff.begin(), tiff.end());
    const auto crc = static_cast<std::uint32_t>(crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4)));
    chunk.insert(chunk.end(), {static_cast<std::uint8_t>(crc >> 24), static_cast<std::uint8_t>(crc >> 16),
                               static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc)});
    std::vector<std::uint8_t> file(png.begin(), png.begin() + kAfterHeader);
    file.insert(file.end(), chunk.begin(), chunk.end());
    file.insert(file.end(), png.begin() + kAfterHeader, png.end());
    return file;
}

}  // namespace brelvix
