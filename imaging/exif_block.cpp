#include "exif_block.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>

#include "decoder_module.h"
#include "format_detect.h"
#include "pixel_memory.h"

namespace brelvix {

namespace {

// The first read takes the signature and the first structures of most
// files; a block and later structures are read where they are.
constexpr std::size_t kHeadBytes = 4 * 1024;
constexpr std::uint64_t kMaxBlock = kPxMaxExifBlockBytes;
// Bounds on the walks: a file that claims more structures than this is not
// a picture anyone made.
constexpr int kMaxStructures = 4096;
constexpr std::uint32_t kMaxDirectoryEntries = 1024;
constexpr std::uint32_t kMaxEntryBytes = 64 * 1024;

std::uint32_t Be32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}

class File {
public:
    explicit File(const std::string& path) : handle(open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
        struct stat status {};
        if (handle < 0 || fstat(handle, &status) != 0 || !S_ISREG(status.st_mode)) {
            return;
        }
        size = static_cast<std::uint64_t>(status.st_size);
        head.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeadBytes)));
        headRead = ReadDirect(0, head.size(), head.data());
    }
    ~File()
    {
        if (handle >= 0) {
            close(handle);
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsOpen() const { return handle >= 0 && headRead; }
    std::uint64_t Size() const { return size; }

    // Exactly `count` bytes from `offset`, or false.
    bool Read(std::uint64_t offset, std::size_t count, std::uint8_t* out) const
    {
        if (offset > size || count > size - offset) {
            return false;
        }
        if (count == 0) {
            return true;  // an empty directory: nothing to copy, perhaps nowhere to copy to
        }
        if (offset + count <= head.size()) {
            std::memcpy(out, head.data() + offset, count);
            return true;
        }
        return ReadDirect(offset, count, out);
    }

    bool Read(std::uint64_t offset, std::size_t count, std::vector<std::uint8_t>* out) const
    {
        if (count > kMaxBlock) {
            return false;
        }
        out->resize(count);
        return Read(offset, count, out->data());
    }

private:
    bool ReadDirect(std::uint64_t offset, std::size_t count, std::uint8_t* out) const
    {
        while (count > 0) {
            const ssize_t got = pread(handle, out, count, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            out += got;
            count -= static_cast<std::size_t>(got);
            offset += static_cast<std::uint64_t>(got);
        }
        return true;
    }

    int handle;
    std::uint64_t size = 0;
    std::vector<std::uint8_t> head;
    bool headRead = false;
};

// JPEG: the APP1 segment that starts "Exif\0\0", among the segments before
// the first scan.
bool FromJpeg(const File& file, std::vector<std::uint8_t>* block)
{
    std::uint64_t at = 2;
    for (int segment = 0; segment < kMaxStructures; ++segment) {
        std::uint8_t marker[4];
        if (!file.Read(at, 2, marker) || marker[0] != 0xFF) {
            return false;
        }
        // Fill bytes: any number of 0xFF before the marker's code.
        if (marker[1] == 0xFF) {
            ++at;
            continue;
        }
        const std::uint8_t code = marker[1];
        if (code == 0xDA || code == 0xD9) {
            return false;  // the picture's data, or its end: no Exif before it
        }
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            at += 2;  // markers without a length
            continue;
        }
        if (!file.Read(at + 2, 2, marker + 2)) {
            return false;
        }
        const std::uint32_t length = std::uint32_t{marker[2]} << 8 | marker[3];
        if (length < 2) {
            return false;
        }
        if (code == 0xE1 && length >= 2 + 6) {
            std::uint8_t header[6];
            if (file.Read(at + 4, 6, header) && std::memcmp(header, "Exif\0\0", 6) == 0) {
                return file.Read(at + 4, length - 2, block);
            }
        }
        at += 2 + length;
    }
    return false;
}

// PNG: the eXIf chunk, which must come before the image data.
bool FromPng(const File& file, std::vector<std::uint8_t>* block)
{
    std::uint64_t at = 8;
    for (int chunk = 0; chunk < kMaxStructures; ++chunk) {
        std::uint8_t header[8];
        if (!file.Read(at, 8, header)) {
            return false;
        }
        const std::uint32_t length = Be32(header);
        if (std::memcmp(header + 4, "eXIf", 4) == 0) {
            return file.Read(at + 8, length, block);
        }
        if (std::memcmp(header + 4, "IDAT", 4) == 0 || std::memcmp(header + 4, "IEND", 4) == 0) {
            return false;
        }
        at += std::uint64_t{12} + length;
    }
    return false;
}

// WebP: the EXIF chunk of the extended layout, usually after the picture's
// data, reached by skipping chunk by chunk.
bool FromWebp(const File& file, std::vector<std::uint8_t>* block)
{
    std::uint64_t at = 12;
    for (int chunk = 0; chunk < kMaxStructures; ++chunk) {
        std::uint8_t header[8];
        if (!file.Read(at, 8, header)) {
            return false;
        }
        const std::uint32_t length = Le32(header + 4);
        if (std::memcmp(header, "EXIF", 4) == 0) {
            return file.Read(at + 8, length, block);
        }
        at += std::uint64_t{8} + length + (length & 1);
    }
    return false;
}

// The JPEG XL container: an "Exif" box holds a 4-byte offset to the TIFF
// header, then the structure. A brotli-compressed box ("brob") would cost a
// decompression and is left alone.
bool FromJxl(const File& file, std::vector<std::uint8_t>* block)
{
    std::uint64_t at = 0;
    for (int box = 0; box < kMaxStructures && at < file.Size(); ++box) {
        std::uint8_t header[16];
        if (!file.Read(at, 8, header)) {
            return false;
        }
        std::uint64_t size = Be32(header);
        std::uint64_t headerSize = 8;
        if (size == 1) {
            if (!file.Read(at + 8, 8, header + 8)) {
                return false;
            }
            size = std::uint64_t{Be32(header + 8)} << 32 | Be32(header + 12);
            headerSize = 16;
        } else if (size == 0) {
            size = file.Size() - at;  // the last box runs to the end of the file
        }
        if (size < headerSize) {
            return false;
        }
        if (std::memcmp(header + 4, "Exif", 4) == 0) {
            std::uint8_t offset[4];
            if (size < headerSize + 4 || !file.Read(at + headerSize, 4, offset)) {
                return false;
            }
            const std::uint64_t skip = std::uint64_t{4} + Be32(offset);
            return skip <= size - headerSize && file.Read(at + headerSize + skip, size - headerSize - skip, block);
        }
        at += size;
    }
    return false;
}

// A TIFF file is itself the structure an Exif block holds, but its
// directories and their data may lie anywhere in a file of any size. The
// first directory and its Exif and GPS directories are read entry by entry
// and written again, compactly, as a block of their own.
class TiffGatherer {
public:
    explicit TiffGatherer(const File& file_) : file(file_) {}

    bool Gather(std::vector<std::uint8_t>* block)
    {
        std::uint8_t header[8];
        if (!file.Read(0, 8, header)) {
            return false;
        }
        bigEndian = header[0] == 'M';
        std::vector<Entry> first;
        if (!ReadDirectory(U32(header + 4), &first) || first.empty()) {
            return false;
        }
        // The two pointers that lead to the values; every other directory
        // (sub-pictures, interoperability) is left behind.
        std::vector<Entry> exif;
        std::vector<Entry> gps;
        std::erase_if(first, [&](const Entry& entry) {
            if (entry.tag == kExifPointer || entry.tag == kGpsPointer) {
                std::vector<Entry>& target = entry.tag == kExifPointer ? exif : gps;
                if (entry.count == 1 && entry.data.size() == 4) {
                    ReadDirectory(U32(entry.data.data()), &target);
                }
                return true;
            }
            return entry.tag == kSubPictures || entry.tag == kInteroperabilityPointer;
        });
        std::erase_if(exif, [](const Entry& entry) { return entry.tag == kInteroperabilityPointer; });

        out.assign(header, header + 4);
        Put32(8);
        // Pointers are written as zero and set once their directory's place
        // is known; entries stay in tag order, as readers expect.
        for (const auto& [tag, directory] : {std::pair{kExifPointer, &exif}, std::pair{kGpsPointer, &gps}}) {
            if (!directory->empty()) {
                first.push_back(Entry{tag, kLong, 1, std::vector<std::uint8_t>(4)});
            }
        }
        std::stable_sort(first.begin(), first.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        std::vector<std::size_t> valueFields;
        WriteDirectory(first, &valueFields);
        for (const auto& [tag, directory] : {std::pair{kExifPointer, &exif}, std::pair{kGpsPointer, &gps}}) {
            for (std::size_t i = 0; i < first.size(); ++i) {
                if (first[i].tag == tag && !directory->empty()) {
                    Patch(valueFields[i], static_cast<std::uint32_t>(out.size()));
                    WriteDirectory(*directory, nullptr);
                }
            }
        }
        *block = std::move(out);
        return true;
    }

private:
    static constexpr std::uint16_t kExifPointer = 0x8769;
    static constexpr std::uint16_t kGpsPointer = 0x8825;
    static constexpr std::uint16_t kInteroperabilityPointer = 0xA005;
    static constexpr std::uint16_t kSubPictures = 0x014A;
    static constexpr std::uint16_t kLong = 4;

    struct Entry {
        std::uint16_t tag = 0;
        std::uint16_t type = 0;
        std::uint32_t count = 0;
        std::vector<std::uint8_t> data;  // the value's bytes, as stored
    };

    static std::uint32_t TypeSize(std::uint16_t type)
    {
        // BYTE ASCII SHORT LONG RATIONAL SBYTE UNDEFINED SSHORT SLONG SRATIONAL FLOAT DOUBLE IFD
        static constexpr std::uint32_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
        return type < std::size(kSizes) ? kSizes[type] : 0;
    }

    std::uint32_t U16(const std::uint8_t* p) const
    {
        return bigEndian ? std::uint32_t{p[0]} << 8 | p[1] : std::uint32_t{p[1]} << 8 | p[0];
    }
    std::uint32_t U32(const std::uint8_t* p) const { return bigEndian ? Be32(p) : Le32(p); }

    // The entries of the directory at `offset` whose values can be read;
    // one that cannot (unknown type, data beyond the file or too large) is
    // left out on its own.
    bool ReadDirectory(std::uint32_t offset, std::vector<Entry>* entries)
    {
        std::uint8_t countBytes[2];
        if (offset < 8 || !file.Read(offset, 2, countBytes)) {
            return false;
        }
        const std::uint32_t count = std::min(U16(countBytes), kMaxDirectoryEntries);
        std::vector<std::uint8_t> raw;
        if (!file.Read(std::uint64_t{offset} + 2, std::size_t{count} * 12, &raw)) {
            return false;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* field = raw.data() + std::size_t{i} * 12;
            Entry entry;
            entry.tag = static_cast<std::uint16_t>(U16(field));
            entry.type = static_cast<std::uint16_t>(U16(field + 2));
            entry.count = U32(field + 4);
            const std::uint64_t bytes = std::uint64_t{TypeSize(entry.type)} * entry.count;
            if (bytes == 0 || bytes > kMaxEntryBytes || bytes > budget) {
                continue;
            }
            budget -= bytes;
            if (bytes <= 4) {
                entry.data.assign(field + 8, field + 8 + bytes);
            } else if (!file.Read(U32(field + 8), static_cast<std::size_t>(bytes), &entry.data)) {
                continue;
            }
            entries->push_back(std::move(entry));
        }
        return true;
    }

    void Put16(std::uint32_t value)
    {
        if (bigEndian) {
            out.insert(out.end(), {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
        } else {
            out.insert(out.end(), {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)});
        }
    }
    void Put32(std::uint32_t value)
    {
        std::uint8_t bytes[4];
        Place(bytes, value);
        out.insert(out.end(), bytes, bytes + 4);
    }
    void Place(std::uint8_t* p, std::uint32_t value) const
    {
        for (int i = 0; i < 4; ++i) {
            p[bigEndian ? i : 3 - i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
        }
    }
    void Patch(std::size_t at, std::uint32_t value) { Place(out.data() + at, value); }

    // Writes a directory and, behind it, the values too long to stand in
    // their entries. `pointers` receives where each entry's value field is.
    void WriteDirectory(const std::vector<Entry>& entries, std::vector<std::size_t>* pointers)
    {
        const std::size_t start = out.size();
        std::size_t data = start + 2 + entries.size() * 12 + 4;
        Put16(static_cast<std::uint32_t>(entries.size()));
        for (const Entry& entry : entries) {
            Put16(entry.tag);
            Put16(entry.type);
            Put32(entry.count);
            if (pointers != nullptr) {
                pointers->push_back(out.size());
            }
            if (entry.data.size() <= 4) {
                out.insert(out.end(), entry.data.begin(), entry.data.end());
                out.insert(out.end(), 4 - entry.data.size(), 0);
            } else {
                Put32(static_cast<std::uint32_t>(data));
                data += entry.data.size() + (entry.data.size() & 1);
            }
        }
        Put32(0);  // no next directory
        for (const Entry& entry : entries) {
            if (entry.data.size() > 4) {
                out.insert(out.end(), entry.data.begin(), entry.data.end());
                if ((entry.data.size() & 1) != 0) {
                    out.push_back(0);  // values start on a word boundary
                }
            }
        }
    }

    const File& file;
    bool bigEndian = false;
    // All the values together stay within what a block may hold.
    std::uint64_t budget = kMaxBlock;
    std::vector<std::uint8_t> out;
};

}  // namespace

bool PxReadExifBlockOfFile(const std::string& path, std::vector<std::uint8_t>* block)
{
    block->clear();
    const File file(path);
    if (!file.IsOpen()) {
        return false;
    }
    std::uint8_t signature[20] = {};
    file.Read(0, static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), sizeof signature)), signature);
    bool found = false;
    switch (PxClassifyFormat(signature)) {
        case kPxFormatJPEG:
            found = FromJpeg(file, block);
            break;
        case kPxFormatPNG:
            found = FromPng(file, block);
            break;
        case kPxFormatWebP:
            found = FromWebp(file, block);
            break;
        case kPxFormatJXL:
            found = FromJxl(file, block);
            break;
        case kPxFormatTIFF:
            found = TiffGatherer(file).Gather(block);
            break;
        case kPxFormatHEIF:
        case kPxFormatAVIF:
            // libheif reads the item tables; it lives in the decoder module.
            found = PxNewerFormats().IsoMediaExifBlock(path, block);
            break;
        default:
            break;
    }
    if (!found) {
        block->clear();
    }
    return found && !block->empty();
}

}  // namespace brelvix
