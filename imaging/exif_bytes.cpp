#include "exif_bytes.h"

#include <algorithm>
#include <cstring>

#include "picture_meta.h"

namespace brelvix {

namespace {

const std::uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

bool IsTiffHeader(const std::uint8_t* p, std::size_t size)
{
    return size >= 8 && ((p[0] == 'I' && p[1] == 'I' && p[2] == 42 && p[3] == 0) ||
                         (p[0] == 'M' && p[1] == 'M' && p[2] == 0 && p[3] == 42));
}

std::vector<std::uint8_t> TiffFrom(const std::uint8_t* p, std::size_t size)
{
    if (!IsTiffHeader(p, size) || size > kPxMaxExifBytes) {
        return {};
    }
    return std::vector<std::uint8_t>(p, p + size);
}

// Tags of a TIFF file's first directory that describe the picture rather
// than lay out its pixels.
constexpr std::uint16_t kDescriptiveTags[] = {
    0x010E,  // ImageDescription
    0x010F,  // Make
    0x0110,  // Model
    0x0112,  // Orientation
    0x011A,  // XResolution
    0x011B,  // YResolution
    0x0128,  // ResolutionUnit
    0x0131,  // Software
    0x0132,  // DateTime
    0x013B,  // Artist
    0x8298,  // Copyright
};
constexpr std::uint16_t kExifDirectory = 0x8769;
constexpr std::uint16_t kGpsDirectory = 0x8825;
constexpr std::uint16_t kInteroperabilityDirectory = 0xA005;

// Entries read from one directory at most; real ones have a few dozen.
constexpr std::uint32_t kMaxEntries = 512;
// Directories nest no deeper than the first, Exif and interoperability.
constexpr int kMaxDepth = 3;

// Copies directories of a TIFF structure into a new one in the same byte order.
class DirectoryCopier {
public:
    DirectoryCopier(const std::uint8_t* data, std::size_t size) : in(data), length(size) { little = data[0] == 'I'; }

    // The copy of the first directory, filtered to the descriptive tags;
    // empty when nothing was copied.
    std::vector<std::uint8_t> Copy()
    {
        out.assign(in, in + 4);
        Put32(0);  // the first directory's offset, patched below
        const std::uint32_t first = Copy(Get32(4), 0);
        if (first == 0) {
            return {};
        }
        Patch32(4, first);
        return out;
    }

private:
    std::uint32_t Get16(std::size_t at) const { return little ? in[at] | in[at + 1] << 8 : in[at] << 8 | in[at + 1]; }
    std::uint32_t Get32(std::size_t at) const
    {
        return little ? in[at] | in[at + 1] << 8 | in[at + 2] << 16 | std::uint32_t{in[at + 3]} << 24
                      : std::uint32_t{in[at]} << 24 | in[at + 1] << 16 | in[at + 2] << 8 | in[at + 3];
    }
    void Patch16(std::size_t at, std::uint32_t value)
    {
        const std::uint8_t b[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
        out[at] = little ? b[0] : b[1];
        out[at + 1] = little ? b[1] : b[0];
    }
    void Patch32(std::size_t at, std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i) {
            out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (little ? 8 * i : 24 - 8 * i));
        }
    }
    void Put32(std::uint32_t value)
    {
        out.resize(out.size() + 4);
        Patch32(out.size() - 4, value);
    }

    static std::uint32_t TypeBytes(std::uint32_t type)
    {
        static constexpr std::uint8_t kBytes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
        return type < 14 ? kBytes[type] : 0;
    }

    static bool Wanted(std::uint32_t tag)
    {
        return tag == kExifDirectory || tag == kGpsDirectory ||
               std::find(std::begin(kDescriptiveTags), std::end(kDescriptiveTags), tag) != std::end(kDescriptiveTags);
    }

    // Copies the directory at `offset` with its values and the directories
    // it points to; returns its offset in the copy, 0 when there is none.
    std::uint32_t Copy(std::uint32_t offset, int depth)
    {
        if (depth >= kMaxDepth || offset < 8 || offset > length - 2 || out.size() > kPxMaxExifBytes) {
            return 0;
        }
        const std::uint32_t count = std::min(Get16(offset), kMaxEntries);
        if (offset + 2 + std::uint64_t{count} * 12 > length) {
            return 0;
        }
        // The entries kept, as they will be written.
        std::vector<std::size_t> kept;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t entry = offset + 2 + std::size_t{i} * 12;
            if (TypeBytes(Get16(entry + 2)) != 0 && (depth > 0 || Wanted(Get16(entry)))) {
                kept.push_back(entry);
            }
        }
        if (kept.empty()) {
            return 0;
        }
        out.resize(out.size() + (out.size() & 1));
        const std::size_t at = out.size();
        out.resize(at + 2 + 12 * kept.size() + 4, 0);
        Patch16(at, static_cast<std::uint32_t>(kept.size()));
        for (std::size_t i = 0; i < kept.size(); ++i) {
            const std::size_t entry = kept[i];
            const std::size_t target = at + 2 + 12 * i;
            std::memcpy(out.data() + target, in + entry, 12);
            const std::uint32_t tag = Get16(entry);
            const std::uint64_t bytes = std::uint64_t{TypeBytes(Get16(entry + 2))} * Get32(entry + 4);
            if (tag == kExifDirectory || tag == kGpsDirectory || tag == kInteroperabilityDirectory) {
                const std::uint32_t copied = Copy(Get32(entry + 8), depth + 1);
                Patch32(target + 8, copied);
            } else if (bytes > 4) {
                const std::uint32_t from = Get32(entry + 8);
                if (from > length || bytes > length - from || out.size() + bytes > kPxMaxExifBytes) {
                    // Out of the file, or too much: the entry says nothing.
                    Patch32(target + 4, 0);
                    Patch32(target + 8, 0);
                    continue;
                }
                out.resize(out.size() + (out.size() & 1));
                Patch32(target + 8, static_cast<std::uint32_t>(out.size()));
                out.insert(out.end(), in + from, in + from + bytes);
            }
        }
        return static_cast<std::uint32_t>(at);
    }

    const std::uint8_t* in;
    std::size_t length;
    bool little = true;
    std::vector<std::uint8_t> out;
};

}  // namespace

std::vector<std::uint8_t> PxExifFromBlock(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr) {
        return {};
    }
    if (size >= sizeof kExifHeader && std::memcmp(data, kExifHeader, sizeof kExifHeader) == 0) {
        return TiffFrom(data + sizeof kExifHeader, size - sizeof kExifHeader);
    }
    if (IsTiffHeader(data, size)) {
        return TiffFrom(data, size);
    }
    // A big-endian offset from the end of itself to the TIFF header, which
    // some writers put behind an "Exif\0\0" of its own.
    if (size >= 4) {
        const std::uint64_t offset = std::uint64_t{data[0]} << 24 | data[1] << 16 | data[2] << 8 | data[3];
        if (offset <= size - 4) {
            const std::uint8_t* start = data + 4 + offset;
            const std::size_t rest = size - 4 - static_cast<std::size_t>(offset);
            if (rest >= sizeof kExifHeader && std::memcmp(start, kExifHeader, sizeof kExifHeader) == 0) {
                return TiffFrom(start + sizeof kExifHeader, rest - sizeof kExifHeader);
            }
            return TiffFrom(start, rest);
        }
    }
    return {};
}

std::vector<std::uint8_t> PxExifFromTiff(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || !IsTiffHeader(data, size) || size > std::size_t{UINT32_MAX}) {
        return {};
    }
    return DirectoryCopier(data, size).Copy();
}

}  // namespace brelvix
