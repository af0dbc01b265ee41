#include "decoder_gif.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace brelvix {

namespace {

// Interlaced images store their rows in four passes.
struct InterlacePass {
    int firstRow;
    int step;
};
constexpr InterlacePass kInterlacePasses[4] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};

// Builds the lookup for every possible pixel value. Values at or beyond the
// table's size show black, the colour of everything the file does not
// describe. A file with no colour table at all gets a grey ramp (value v is
// grey v), the usual stand-in that keeps such pictures legible.
void BuildColorTable(const ColorMapObject* map, PxGifColorTable* table)
{
    if (map == nullptr || map->Colors == nullptr) {
        for (int i = 0; i < 256; ++i) {
            table->bgr[i][0] = table->bgr[i][1] = table->bgr[i][2] = static_cast<std::uint8_t>(i);
        }
        return;
    }
    const int count = map->ColorCount < 0 ? 0 : (map->ColorCount > 256 ? 256 : map->ColorCount);
    for (int i = 0; i < 256; ++i) {
        if (i < count) {
            table->bgr[i][0] = map->Colors[i].Blue;
            table->bgr[i][1] = map->Colors[i].Green;
            table->bgr[i][2] = map->Colors[i].Red;
        } else {
            table->bgr[i][0] = table->bgr[i][1] = table->bgr[i][2] = 0;
        }
    }
}

}  // namespace

PxDecoderGIF::~PxDecoderGIF()
{
    if (gif != nullptr) {
        int error = 0;
        DGifCloseFile(gif, &error);
        gif = nullptr;
    }
}

int PxDecoderGIF::ReadInput(GifFileType* file, GifByteType* destination, int count)
{
    auto* stream = static_cast<PxFileStream*>(file->UserData);
    if (stream == nullptr || count <= 0) {
        return 0;
    }
    std::uint64_t delivered = 0;
    if (stream->Read(destination, static_cast<std::uint64_t>(count), &delivered) != 0) {
        return 0;
    }
    return static_cast<int>(delivered);
}

int PxDecoderGIF::ReadHeader(PxFileStream& stream, PxBitmap& bitmap)
{
    if (gif != nullptr) {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
    int error = 0;
    gif = DGifOpen(&stream, &PxDecoderGIF::ReadInput, &error);
    if (gif == nullptr) {
        return 1;
    }
    bitmap.SetDimensions(gif->SWidth, gif->SHeight, 8);
    return 0;
}

int PxDecoderGIF::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    ReadHeader(stream, bitmap);
    if (bitmap.CreatePixelStore() != 0) {
        return 1;
    }
    return ReadFirstImage(stream, bitmap);
}

void PxDecoderGIF::StoreRow(std::int32_t row, const std::uint8_t* line, const PxGifColorTable& table,
                            PxBitmap& bitmap) const
{
    const std::int64_t width = bitmap.Width();
    const std::int64_t height = bitmap.Height();
    if (row < 0 || row >= height || bitmap.Pixels() == nullptr) {
        return;
    }
    std::uint8_t* out = PxStoreRow(bitmap, height - 1 - row);
    const std::int64_t left = imageLeft < 0 ? 0 : (imageLeft > width ? width : imageLeft);
    const std::int64_t right = imageRight < left ? left : (imageRight > width ? width : imageRight);
    for (std::int64_t j = 0; j < left; ++j, out += 3) {
        std::memcpy(out, background, 3);
    }
    for (std::int64_t j = left; j < right; ++j, out += 3) {
        std::memcpy(out, table.bgr[line[j]], 3);
    }
    for (std::int64_t j = right; j < width; ++j, out += 3) {
        std::memcpy(out, background, 3);
    }
}

int PxDecoderGIF::ReadFirstImage(PxFileStream& /*stream*/, PxBitmap& bitmap)
{
    if (gif == nullptr || bitmap.Pixels() == nullptr) {
        return 1;
    }
    const std::int64_t screenWidth = gif->SWidth;
    const std::int64_t screenHeight = gif->SHeight;
    if (screenWidth <= 0 || screenHeight <= 0 || static_cast<std::uint64_t>(screenWidth) > kPxMaxStoreBytes ||
        bitmap.Width() != screenWidth || bitmap.Height() != screenHeight) {
        return 1;
    }
    auto* line = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(screenWidth), 1));
    if (line == nullptr) {
        return 1;
    }

    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            std::free(line);
            return 1;
        }
        if (type == IMAGE_DESC_RECORD_TYPE) {
            break;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            std::free(line);
            return 0;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            bool failed = DGifGetExtension(gif, &code, &block) == GIF_ERROR;
            while (!failed && block != nullptr) {
                failed = DGifGetExtensionNext(gif, &block) == GIF_ERROR;
            }
            if (failed) {
                std::free(line);
                return 1;
            }
        }
        // Every record consumes at least one byte and the input function
        // reports the end of the data, so the walk ends with the file.
    }

    // A descriptor that cannot be read completely leaves giflib's
    // decompressor unprepared: no line is decoded then, and the picture
    // stays as a file that ends before its image data would show it.
    const bool described = DGifGetImageDesc(gif) != GIF_ERROR;
    const GifImageDesc& image = gif->Image;

    if (std::int64_t{image.Left} + image.Width > screenWidth || std::int64_t{image.Top} + image.Height > screenHeight) {
        std::free(line);
        // Only the first image is ever read, so its number is always 1.
        std::fprintf(stderr, "Image %d is not confined to screen dimension, aborted.\n", 1);
        return 1;
    }

    PxGifColorTable table;
    BuildColorTable(image.ColorMap != nullptr ? image.ColorMap : gif->SColorMap, &table);
    background[0] = background[1] = background[2] = 0;
    if (gif->SColorMap != nullptr && gif->SColorMap->Colors != nullptr && gif->SBackGroundColor >= 0 &&
        gif->SBackGroundColor < gif->SColorMap->ColorCount) {
        const GifColorType& color = gif->SColorMap->Colors[gif->SBackGroundColor];
        background[0] = color.Blue;
        background[1] = color.Green;
        background[2] = color.Red;
    }
    imageLeft = image.Left;
    imageRight = std::int64_t{image.Left} + image.Width;

    if (described && image.Left >= 0 && image.Top >= 0 && image.Width > 0 && image.Height > 0) {
        const std::int64_t top = image.Top;
        const std::int64_t bottom = top + image.Height;
        std::uint8_t* imageLine = line + image.Left;
        if (!image.Interlace) {
            for (std::int64_t r = top; r < bottom; ++r) {
                if (DGifGetLine(gif, imageLine, image.Width) != GIF_ERROR) {
                    StoreRow(static_cast<std::int32_t>(r), line, table, bitmap);
                }
            }
        } else {
            for (const InterlacePass& pass : kInterlacePasses) {
                for (std::int64_t r = top + pass.firstRow; r < bottom; r += pass.step) {
                    if (DGifGetLine(gif, imageLine, image.Width) != GIF_ERROR) {
                        StoreRow(static_cast<std::int32_t>(r), line, table, bitmap);
                    }
                }
            }
        }
    }
    std::free(line);
    return 0;
}

}  // namespace brelvix
