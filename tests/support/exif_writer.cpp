#include "support/exif_writer.h"

#include <libexif/exif-data.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>

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

ExifTag ExifText(std::uint16_t tag, const std::string& text)
{
    ExifTag entry(tag, 2);
    entry.text = text;
    return entry;
}

ExifTag ExifShorts(std::uint16_t tag, std::vector<std::uint32_t> values)
{
    ExifTag entry(tag, 3);
    entry.numbers = std::move(values);
    return entry;
}

ExifTag ExifLongs(std::uint16_t tag, std::vector<std::uint32_t> values)
{
    ExifTag entry(tag, 4);
    entry.numbers = std::move(values);
    return entry;
}

ExifTag ExifRationals(std::uint16_t tag, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& values)
{
    ExifTag entry(tag, 5);
    for (const auto& [numerator, denominator] : values) {
        entry.numbers.insert(entry.numbers.end(), {numerator, denominator});
    }
    return entry;
}

namespace {

// Writes `size` bytes of `value` at `at` (appending at the end) in the
// block's byte order.
void Put(std::vector<std::uint8_t>& bytes, bool bigEndian, std::uint32_t value, int size, std::size_t at = SIZE_MAX)
{
    if (at == SIZE_MAX) {
        at = bytes.size();
        bytes.resize(at + static_cast<std::size_t>(size));
    }
    for (int i = 0; i < size; ++i) {
        bytes[at + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(value >> (bigEndian ? 8 * (size - 1 - i) : 8 * i));
    }
}

// Appends a directory with its long values behind it; returns where the
// value field of each entry is.
std::vector<std::size_t> Directory(std::vector<std::uint8_t>& bytes, bool bigEndian,
                                   const std::vector<ExifTag>& entries)
{
    std::vector<std::size_t> fields;
    std::vector<std::uint8_t> data;
    const std::size_t dataStart = bytes.size() + 2 + 12 * entries.size() + 4;
    Put(bytes, bigEndian, static_cast<std::uint32_t>(entries.size()), 2);
    for (const ExifTag& entry : entries) {
        std::vector<std::uint8_t> value(entry.text.begin(), entry.text.end());
        if (entry.type == 2) {
            value.push_back(0);
        }
        for (const std::uint32_t number : entry.numbers) {
            Put(value, bigEndian, number, entry.type == 3 ? 2 : 4);
        }
        const std::size_t unit = entry.type == 3 ? 2 : entry.type == 4 ? 4 : entry.type == 5 ? 8 : 1;
        Put(bytes, bigEndian, entry.tag, 2);
        Put(bytes, bigEndian, entry.type, 2);
        Put(bytes, bigEndian, entry.count.value_or(static_cast<std::uint32_t>(value.size() / unit)), 4);
        fields.push_back(bytes.size());
        if (value.size() <= 4 && !entry.offset) {
            value.resize(4);
            bytes.insert(bytes.end(), value.begin(), value.end());
        } else {
            Put(bytes, bigEndian, entry.offset.value_or(static_cast<std::uint32_t>(dataStart + data.size())), 4);
            data.insert(data.end(), value.begin(), value.end());
        }
    }
    Put(bytes, bigEndian, 0, 4);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return fields;
}

}  // namespace

std::vector<std::uint8_t> MakeExifBlock(const ExifDirectories& directories, bool bigEndian, std::size_t padding)
{
    const auto order = static_cast<std::uint8_t>(bigEndian ? 'M' : 'I');
    std::vector<std::uint8_t> bytes = {order, order};
    Put(bytes, bigEndian, 42, 2);
    Put(bytes, bigEndian, static_cast<std::uint32_t>(8 + padding), 4);
    bytes.resize(8 + padding);
    std::vector<ExifTag> primary = directories.primary;
    for (const auto& [tag, sub] : {std::pair{0x8769, &directories.exif}, std::pair{0x8825, &directories.gps}}) {
        if (!sub->empty()) {
            primary.push_back(ExifLongs(static_cast<std::uint16_t>(tag), {0}));
        }
    }
    const std::vector<std::size_t> fields = Directory(bytes, bigEndian, primary);
    std::size_t next = directories.primary.size();
    for (const std::vector<ExifTag>* sub : {&directories.exif, &directories.gps}) {
        if (!sub->empty()) {
            Put(bytes, bigEndian, static_cast<std::uint32_t>(bytes.size()), 4, fields[next++]);
            Directory(bytes, bigEndian, *sub);
        }
    }
    bytes.insert(bytes.begin(), {'E', 'x', 'i', 'f', 0, 0});
    return bytes;
}

}  // namespace brelvix
