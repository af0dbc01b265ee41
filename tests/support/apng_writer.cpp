#include "support/apng_writer.h"

#include <zlib.h>

#include <cstring>

namespace brelvix {

namespace {

std::uint32_t BigEndian32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void Put32(std::vector<std::uint8_t>* out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        out->push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void Put16(std::vector<std::uint8_t>* out, int value)
{
    out->push_back(static_cast<std::uint8_t>(value >> 8));
    out->push_back(static_cast<std::uint8_t>(value));
}

void PutChunk(std::vector<std::uint8_t>* out, const char* type, const std::vector<std::uint8_t>& data)
{
    Put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    out->insert(out->end(), data.begin(), data.end());
    Put32(out, static_cast<std::uint32_t>(crc32(0, out->data() + start, static_cast<uInt>(data.size() + 4))));
}

// The pieces of a PNG written by libpng.
struct Pieces {
    std::vector<std::uint8_t> header;              // IHDR's data
    std::vector<std::vector<std::uint8_t>> extra;  // PLTE and tRNS chunks, whole
    std::vector<std::uint8_t> data;                // every IDAT's data, joined
};

bool Split(const std::vector<std::uint8_t>& png, Pieces* pieces)
{
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = BigEndian32(png.data() + at);
        const char* type = reinterpret_cast<const char*>(png.data() + at + 4);
        const auto* data = png.data() + at + 8;
        if (std::memcmp(type, "IHDR", 4) == 0) {
            pieces->header.assign(data, data + length);
        } else if (std::memcmp(type, "PLTE", 4) == 0 || std::memcmp(type, "tRNS", 4) == 0) {
            pieces->extra.emplace_back(png.begin() + static_cast<std::ptrdiff_t>(at),
                                       png.begin() + static_cast<std::ptrdiff_t>(at + 12 + length));
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            pieces->data.insert(pieces->data.end(), data, data + length);
        }
        at += 12 + length;
    }
    return pieces->header.size() == 13 && !pieces->data.empty();
}

}  // namespace

std::vector<std::uint8_t> EncodeApng(const ApngPicture& picture)
{
    std::vector<Pieces> frames(picture.frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (!Split(EncodePng(picture.frames[i].picture), &frames[i])) {
            return {};
        }
    }
    Pieces defaultImage;
    if (frames.empty() || (!picture.defaultIsFrame && !Split(EncodePng(picture.defaultImage), &defaultImage))) {
        return {};
    }
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<std::uint8_t> header;
    Put32(&header, static_cast<std::uint32_t>(picture.width));
    Put32(&header, static_cast<std::uint32_t>(picture.height));
    header.insert(header.end(), frames[0].header.begin() + 8, frames[0].header.end());
    PutChunk(&out, "IHDR", header);
    std::vector<std::uint8_t> control;
    Put32(&control, static_cast<std::uint32_t>(frames.size()));
    Put32(&control, static_cast<std::uint32_t>(picture.plays));
    PutChunk(&out, "acTL", control);
    for (const auto& chunk : frames[0].extra) {
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    std::uint32_t sequence = 0;
    if (!picture.defaultIsFrame) {
        PutChunk(&out, "IDAT", defaultImage.data);
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const ApngFrame& frame = picture.frames[i];
        std::vector<std::uint8_t> fc;
        Put32(&fc, sequence++);
        Put32(&fc, static_cast<std::uint32_t>(frame.picture.width));
        Put32(&fc, static_cast<std::uint32_t>(frame.picture.height));
        Put32(&fc, static_cast<std::uint32_t>(frame.left));
        Put32(&fc, static_cast<std::uint32_t>(frame.top));
        Put16(&fc, frame.delayNumerator);
        Put16(&fc, frame.delayDenominator);
        fc.push_back(static_cast<std::uint8_t>(frame.dispose));
        fc.push_back(static_cast<std::uint8_t>(frame.blend));
        PutChunk(&out, "fcTL", fc);
        if (i == 0 && picture.defaultIsFrame) {
            PutChunk(&out, "IDAT", frames[i].data);
            continue;
        }
        std::vector<std::uint8_t> data;
        Put32(&data, sequence++);
        data.insert(data.end(), frames[i].data.begin(), frames[i].data.end());
        PutChunk(&out, "fdAT", data);
    }
    PutChunk(&out, "IEND", {});
    return out;
}

std::size_t FindPngChunk(const std::vector<std::uint8_t>& file, const char* type, int n)
{
    for (std::size_t at = 8; at + 12 <= file.size(); at += 12 + BigEndian32(file.data() + at)) {
        if (std::memcmp(file.data() + at + 4, type, 4) == 0 && n-- == 0) {
            return at;
        }
    }
    return 0;
}

}  // namespace brelvix
