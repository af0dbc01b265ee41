#include "support/gif_writer.h"

#include <gif_lib.h>

#include <cstring>

namespace brelvix {

namespace {

int WriteToVector(GifFileType* file, const GifByteType* data, int length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(file->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// A giflib table of `colors` padded with black to a power of two; null for none.
ColorMapObject* MakeTable(const std::vector<Rgb>& colors)
{
    if (colors.empty()) {
        return nullptr;
    }
    int size = 2;
    while (size < static_cast<int>(colors.size()) && size < 256) {
        size *= 2;
    }
    std::vector<GifColorType> entries(static_cast<size_t>(size), GifColorType{0, 0, 0});
    for (size_t i = 0; i < colors.size() && i < entries.size(); ++i) {
        entries[i] = GifColorType{colors[i].r, colors[i].g, colors[i].b};
    }
    return GifMakeMapObject(size, entries.data());
}

// Rows of an image in the order an interlaced file stores them.
std::vector<int> RowOrder(int height, bool interlace)
{
    std::vector<int> order;
    if (!interlace) {
        for (int r = 0; r < height; ++r) {
            order.push_back(r);
        }
        return order;
    }
    const int passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
    for (const auto& pass : passes) {
        for (int r = pass[0]; r < height; r += pass[1]) {
            order.push_back(r);
        }
    }
    return order;
}

}  // namespace

std::vector<std::uint8_t> GifBytes(const GifPicture& picture)
{
    std::vector<std::uint8_t> bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, WriteToVector, &error);
    if (gif == nullptr) {
        return {};
    }
    EGifSetGifVersion(gif, true);
    bool ok = true;
    ColorMapObject* global = MakeTable(picture.globalTable);
    ok = EGifPutScreenDesc(gif, picture.width, picture.height, 8, picture.background, global) == GIF_OK;
    GifFreeMapObject(global);
    for (const std::string& comment : picture.comments) {
        ok = ok && EGifPutComment(gif, comment.c_str()) == GIF_OK;
    }
    if (picture.repeats >= 0) {
        const GifByteType count[3] = {1, static_cast<GifByteType>(picture.repeats & 0xFF),
                                      static_cast<GifByteType>(picture.repeats >> 8)};
        ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
             EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK &&
             EGifPutExtensionBlock(gif, 3, count) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
    }
    for (const GifFrame& frame : picture.frames) {
        if (!ok) {
            break;
        }
        if (frame.graphicsControl) {
            const bool transparent = frame.transparentIndex >= 0;
            const GifByteType control[4] = {static_cast<GifByteType>((frame.disposal & 7) << 2 | (transparent ? 1 : 0)),
                                            static_cast<GifByteType>(frame.delayCs & 0xFF),
                                            static_cast<GifByteType>(frame.delayCs >> 8),
                                            static_cast<GifByteType>(transparent ? frame.transparentIndex : 0)};
            ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK;
        }
        ColorMapObject* local = MakeTable(frame.localTable);
        ok = ok &&
             EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlace, local) == GIF_OK;
        GifFreeMapObject(local);
        std::vector<GifPixelType> row(static_cast<size_t>(frame.width));
        for (int r : RowOrder(frame.height, frame.interlace)) {
            if (!ok) {
                break;
            }
            std::memcpy(row.data(), frame.indices.data() + static_cast<size_t>(r) * frame.width, row.size());
            ok = EGifPutLine(gif, row.data(), frame.width) == GIF_OK;
        }
    }
    if (EGifCloseFile(gif, &error) != GIF_OK) {
        ok = false;
    }
    return ok ? bytes : std::vector<std::uint8_t>{};
}

void ShrinkGlobalTable(std::vector<std::uint8_t>* bytes, int entries)
{
    std::vector<std::uint8_t>& b = *bytes;
    if (b.size() < 13 || (b[10] & 0x80) == 0) {
        return;
    }
    const size_t written = size_t{3} << ((b[10] & 7) + 1);
    size_t kept = 0;
    if (entries == 0) {
        b[10] &= 0x78;
    } else {
        int bits = 0;
        while ((2 << bits) < entries) {
            ++bits;
        }
        b[10] = static_cast<std::uint8_t>((b[10] & 0xF8) | bits);
        kept = size_t{3} << (bits + 1);
    }
    if (kept < written) {
        b.erase(b.begin() + 13 + static_cast<std::ptrdiff_t>(kept),
                b.begin() + 13 + static_cast<std::ptrdiff_t>(written));
    }
}

std::vector<std::uint8_t> GifTestIndices(int width, int height)
{
    std::vector<std::uint8_t> indices(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            indices[static_cast<size_t>(y) * width + x] = static_cast<std::uint8_t>(x + 3 * y + 7);
        }
    }
    return indices;
}

std::vector<Rgb> GifTestTable()
{
    std::vector<Rgb> table(256);
    for (int i = 0; i < 256; ++i) {
        table[static_cast<size_t>(i)] =
            Rgb{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 7)};
    }
    return table;
}

}  // namespace brelvix
