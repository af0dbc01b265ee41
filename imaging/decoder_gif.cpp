#include "decoder_gif.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "alpha.h"

namespace brelvix {

namespace {

// Blue, green, red for each of the 256 possible pixel values of one image.
struct ColorTable {
    std::uint8_t bgr[256][3] = {};
};

// How a line of the screen is coloured: columns [left, right) are the
// image's, through its colour table; the others show `background`.
struct ScreenLine {
    std::int64_t left = 0;
    std::int64_t right = 0;
    std::uint8_t background[3] = {};
    ColorTable table;
};

struct CloseGif {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

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
void BuildColorTable(const ColorMapObject* map, ColorTable* table)
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

// What a giflib error code says about the file: short of memory, or a file
// that breaks off or contradicts the format.
PxLoadError ReasonOf(int giflibError)
{
    return giflibError == D_GIF_ERR_NOT_ENOUGH_MEM ? PxLoadError::OutOfMemory : PxLoadError::Damaged;
}

// giflib's input function: reads from the stream kept in UserData and
// reports the bytes that actually arrived, so giflib sees where a truncated
// file ends.
int ReadInput(GifFileType* file, GifByteType* destination, int count)
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

// The transparent pixel value a graphics control extension gives (its
// first data byte holds the flags, the fourth the value), or -1.
int TransparentIndex(const GifByteType* block)
{
    // block[0] is the length of the data that follows it.
    if (block == nullptr || block[0] < 4 || (block[1] & 0x01) == 0) {
        return -1;
    }
    return block[4];
}

// The alpha of picture row `row` (0 = top): the screen outside the image
// is clear, as is the image's transparent pixel value.
void StoreAlphaRow(std::int64_t row, const std::uint8_t* line, const ScreenLine& screen, int transparent,
                   PxBitmap& bitmap)
{
    const std::int64_t width = bitmap.Width();
    std::uint8_t* out = bitmap.Alpha() + (bitmap.Height() - 1 - row) * width;
    const std::int64_t left = std::clamp<std::int64_t>(screen.left, 0, width);
    const std::int64_t right = std::clamp<std::int64_t>(screen.right, left, width);
    for (std::int64_t j = left; j < right; ++j) {
        out[j] = line[j] == transparent ? 0 : 255;
    }
}

// Converts one screen line of pixel values into picture row `row` (0 = top).
// `line` holds at least the bitmap's width in bytes.
void StoreRow(std::int64_t row, const std::uint8_t* line, const ScreenLine& screen, PxBitmap& bitmap)
{
    const std::int64_t width = bitmap.Width();
    const std::int64_t height = bitmap.Height();
    if (row < 0 || row >= height || bitmap.Pixels() == nullptr) {
        return;
    }
    std::uint8_t* out = PxStoreRow(bitmap, height - 1 - row);
    const std::int64_t left = std::clamp<std::int64_t>(screen.left, 0, width);
    const std::int64_t right = std::clamp<std::int64_t>(screen.right, left, width);
    for (std::int64_t j = 0; j < left; ++j, out += 3) {
        std::memcpy(out, screen.background, 3);
    }
    for (std::int64_t j = left; j < right; ++j, out += 3) {
        std::memcpy(out, screen.table.bgr[line[j]], 3);
    }
    for (std::int64_t j = right; j < width; ++j, out += 3) {
        std::memcpy(out, screen.background, 3);
    }
}

}  // namespace

struct PxDecoderGIF::Library {
    std::unique_ptr<GifFileType, CloseGif> gif;
};

PxDecoderGIF::PxDecoderGIF() = default;

PxDecoderGIF::~PxDecoderGIF() = default;

int PxDecoderGIF::ReadHeader(PxFileStream& stream, PxBitmap& bitmap)
{
    library.reset(new (std::nothrow) Library);
    if (library == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    int error = 0;
    library->gif.reset(DGifOpen(&stream, ReadInput, &error));
    if (library->gif == nullptr) {
        return Fail(ReasonOf(error));
    }
    bitmap.SetDimensions(library->gif->SWidth, library->gif->SHeight, 8);
    return 0;
}

int PxDecoderGIF::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    ReadHeader(stream, bitmap);
    if (CreateStore(bitmap) != 0) {
        return 1;
    }
    return ReadFirstImage(stream, bitmap);
}

int PxDecoderGIF::ReadFirstImage(PxFileStream& /*stream*/, PxBitmap& bitmap)
{
    if (library == nullptr || library->gif == nullptr || bitmap.Pixels() == nullptr) {
        return 1;
    }
    GifFileType* gif = library->gif.get();
    const std::int64_t screenWidth = gif->SWidth;
    const std::int64_t screenHeight = gif->SHeight;
    if (screenWidth <= 0 || screenHeight <= 0 || bitmap.Width() != screenWidth || bitmap.Height() != screenHeight) {
        return Fail(PxLoadError::Damaged);
    }
    const auto line = PxZeroed<std::uint8_t>(static_cast<std::uint64_t>(screenWidth));
    if (!line) {
        return Fail(PxLoadError::OutOfMemory);
    }

    int transparent = -1;  // the last graphics control before the image says
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (Cancelled() || DGifGetRecordType(gif, &type) == GIF_ERROR) {
            return Fail(ReasonOf(gif->Error));
        }
        if (type == IMAGE_DESC_RECORD_TYPE) {
            break;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            return 0;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            bool failed = DGifGetExtension(gif, &code, &block) == GIF_ERROR;
            if (!failed && code == GRAPHICS_EXT_FUNC_CODE) {
                transparent = TransparentIndex(block);
            }
            // Extensions can be long chains of small blocks: a cancel ends them too.
            while (!failed && block != nullptr && !Cancelled()) {
                failed = DGifGetExtensionNext(gif, &block) == GIF_ERROR;
            }
            if (failed) {
                return Fail(ReasonOf(gif->Error));
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
        // Only the first image is ever read, so its number is always 1.
        std::fprintf(stderr, "Image %d is not confined to screen dimension, aborted.\n", 1);
        return Fail(PxLoadError::Damaged);
    }

    ScreenLine screen;
    BuildColorTable(image.ColorMap != nullptr ? image.ColorMap : gif->SColorMap, &screen.table);
    if (gif->SColorMap != nullptr && gif->SColorMap->Colors != nullptr && gif->SBackGroundColor >= 0 &&
        gif->SBackGroundColor < gif->SColorMap->ColorCount) {
        const GifColorType& color = gif->SColorMap->Colors[gif->SBackGroundColor];
        screen.background[0] = color.Blue;
        screen.background[1] = color.Green;
        screen.background[2] = color.Red;
    }
    screen.left = image.Left;
    screen.right = std::int64_t{image.Left} + image.Width;

    // A transparent pixel value, or a screen the image does not cover,
    // makes the picture transparent there; rows no line reaches stay clear.
    const bool covers = image.Left == 0 && image.Top == 0 && image.Width == screenWidth && image.Height == screenHeight;
    if ((transparent >= 0 || !covers) && bitmap.CreateAlphaPlane() == 0) {
        std::memset(bitmap.Alpha(), 0, static_cast<std::size_t>(screenWidth * screenHeight));
    }

    if (described && image.Left >= 0 && image.Top >= 0 && image.Width > 0 && image.Height > 0) {
        const std::int64_t top = image.Top;
        const std::int64_t bottom = top + image.Height;
        std::uint8_t* imageLine = line.get() + image.Left;
        // Every line costs the same, whichever pass it belongs to.
        std::int64_t lines = 0;
        auto readLine = [&](std::int64_t r) {
            if (!PxLoadGoesOn(control, lines++, image.Height)) {
                return false;
            }
            if (DGifGetLine(gif, imageLine, image.Width) != GIF_ERROR) {
                StoreRow(r, line.get(), screen, bitmap);
                if (bitmap.HasAlpha() && r >= 0 && r < screenHeight) {
                    StoreAlphaRow(r, line.get(), screen, transparent, bitmap);
                }
            }
            return true;
        };
        if (!image.Interlace) {
            for (std::int64_t r = top; r < bottom; ++r) {
                if (!readLine(r)) {
                    break;
                }
            }
        } else {
            // A cancel ends each remaining pass at its first line.
            for (const InterlacePass& pass : kInterlacePasses) {
                for (std::int64_t r = top + pass.firstRow; r < bottom; r += pass.step) {
                    if (!readLine(r)) {
                        break;
                    }
                }
            }
        }
    }
    PxDropOpaqueAlpha(bitmap);
    return Cancelled() ? 1 : 0;
}

}  // namespace brelvix
