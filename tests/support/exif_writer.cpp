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
    return ExifTag{tag, 2, {}, text, std::nullopt, std::nullopt};
}

ExifTag ExifShorts(std::uint16_t tag, std::vector<std::uint32_t> values)
{
    return ExifTag{tag, 3, std::move(values), {}, std::nullopt, std::nullopt};
}

ExifTag ExifLongs(std::uint16_t tag, std::vector<std::uint32_t> values)
{
    return ExifTag{tag, 4, std::move(values), {}, std::nullopt, std::nullopt};
}

ExifTag ExifRationals(std::uint16_t tag, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& values)
{
    ExifTag entry{tag, 5, {}, {}, std::nullopt, std::nullopt};
    for (const auto& [numerator, denominator] : values) {
        entry.numbers.push_back(numerator);
        entry.numbers.push_back(denominator);
    }
    return entry;
}

namespace {

class TiffBytes {
public:
    explicit TiffBytes(bool bigEndian_) : bigEndian(bigEndian_) {}

    void Put(std::uint32_t value, int size)
    {
        for (int i = 0; i < size; ++i) {
            const int shift = bigEndian ? 8 * (size - 1 - i) : 8 * i;
            bytes.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }
    void Patch(std::size_t at, std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<std::uint8_t>(value >> (bigEndian ? 8 * (3 - i) : 8 * i));
        }
    }

    // The value's bytes in this byte order.
    std::vector<std::uint8_t> Value(const ExifTag& entry) const
    {
        TiffBytes value(bigEndian);
        if (entry.type == 2) {
            value.bytes.assign(entry.text.begin(), entry.text.end());
            value.bytes.push_back(0);
        } else {
            for (const std::uint32_t number : entry.numbers) {
                value.Put(number, entry.type == 3 ? 2 : 4);
            }
        }
        return value.bytes;
    }

    // Writes a directory at the end with its long values behind it; returns
    // where the value field of each entry is.
    std::vector<std::size_t> Directory(const std::vector<ExifTag>& entries)
    {
        std::vector<std::size_t> fields;
        std::size_t data = bytes.size() + 2 + 12 * entries.size() + 4;
        std::vector<std::vector<std::uint8_t>> values;
        Put(static_cast<std::uint32_t>(entries.size()), 2);
        for (const ExifTag& entry : entries) {
            std::vector<std::uint8_t> value = Value(entry);
            const std::uint32_t unit = entry.type == 3 ? 2 : entry.type == 4 ? 4 : entry.type == 5 ? 8 : 1;
            Put(entry.tag, 2);
            Put(entry.type, 2);
            Put(entry.count.value_or(static_cast<std::uint32_t>(value.size() / unit)), 4);
            fields.push_back(bytes.size());
            if (value.size() <= 4 && !entry.offset) {
                value.resize(4);
                bytes.insert(bytes.end(), value.begin(), value.end());
                value.clear();
            } else {
                Put(entry.offset.value_or(static_cast<std::uint32_t>(data)), 4);
                data += value.size();
            }
            values.push_back(std::move(value));
        }
        Put(0, 4);
        for (const std::vector<std::uint8_t>& value : values) {
            bytes.insert(bytes.end(), value.begin(), value.end());
        }
        return fields;
    }

    bool bigEndian;
    std::vector<std::uint8_t> bytes;
};

}  // namespace

std::vector<std::uint8_t> MakeExifBlock(const ExifDirectories& directories, bool bigEndian, std::size_t padding)
{
    TiffBytes out(bigEndian);
    const auto order = static_cast<std::uint8_t>(bigEndian ? 'M' : 'I');
    out.bytes = {order, order};
    out.Put(42, 2);
    out.Put(static_cast<std::uint32_t>(8 + padding), 4);
    out.bytes.resize(8 + padding);
    std::vector<ExifTag> primary = directories.primary;
    if (!directories.exif.empty()) {
        primary.push_back(ExifLongs(0x8769, {0}));
    }
    if (!directories.gps.empty()) {
        primary.push_back(ExifLongs(0x8825, {0}));
    }
    const std::vector<std::size_t> fields = out.Directory(primary);
    std::size_t next = directories.primary.size();
    for (const std::vector<ExifTag>* sub : {&directories.exif, &directories.gps}) {
        if (!sub->empty()) {
            out.Patch(fields[next++], static_cast<std::uint32_t>(out.bytes.size()));
            out.Directory(*sub);
        }
    }
    out.bytes.insert(out.bytes.begin(), {'E', 'x', 'i', 'f', 0, 0});
    return out.bytes;
}

}  // namespace brelvix
