// GIF frames through giflib's record-level reading: the records are read
// once, in file order, and each image is composed onto the canvas as it
// arrives. Nothing of the file is kept but giflib's small reading state.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "animation_formats.h"
#include "decoder.h"

namespace brelvix {

namespace {

struct CloseGif {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, CloseGif>;

// What to do with a frame's rectangle before the next frame is drawn.
enum Disposal {
    kKeep = 1,             // leave it (0, "none given", and the reserved 4 to 7 mean the same)
    kClear = 2,            // back to transparent, as browsers read "restore to background"
    kRestorePrevious = 3,  // back to what was there before the frame
};

struct InterlacePass {
    int firstRow;
    int step;
};
constexpr InterlacePass kInterlacePasses[4] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};

// The graphic control extension: it applies to the image that follows it.
struct FrameControl {
    int disposal = kKeep;
    bool transparent = false;
    std::uint8_t transparentIndex = 0;
    std::int32_t delayMs = 0;
};

// A rectangle of the canvas, already clipped to it.
struct Rect {
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint64_t Area() const { return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height); }
};

// Blue, green, red for each of the 256 pixel values, as the still decoder
// maps them: values past the table are black, and a file without any
// table gets a grey ramp.
void BuildColorTable(const ColorMapObject* map, std::uint8_t (*bgr)[3])
{
    if (map == nullptr || map->Colors == nullptr) {
        for (int i = 0; i < 256; ++i) {
            bgr[i][0] = bgr[i][1] = bgr[i][2] = static_cast<std::uint8_t>(i);
        }
        return;
    }
    const int count = std::clamp(map->ColorCount, 0, 256);
    for (int i = 0; i < 256; ++i) {
        const bool inside = i < count;
        bgr[i][0] = inside ? map->Colors[i].Blue : 0;
        bgr[i][1] = inside ? map->Colors[i].Green : 0;
        bgr[i][2] = inside ? map->Colors[i].Red : 0;
    }
}

// giflib's input function: the bytes that actually arrived, so that giflib
// sees where a truncated file ends.
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

// A buffer that keeps its memory from frame to frame and grows when a
// larger frame needs more.
struct Scratch {
    PxBuffer<std::uint8_t> bytes;
    std::uint64_t capacity = 0;

    std::uint8_t* Get(std::uint64_t size)
    {
        if (size > capacity || !bytes) {
            bytes = PxZeroed<std::uint8_t>(std::max<std::uint64_t>(size, 1));
            capacity = bytes ? std::max<std::uint64_t>(size, 1) : 0;
        }
        return bytes.get();
    }
};

class GifAnimation : public PxAnimation {
public:
    explicit GifAnimation(std::unique_ptr<PxFileStream> file) : stream(std::move(file)) {}

    // Reads the records up to the second image: whether there is one, the
    // repeat count when it comes first, and that the file holds an image at all.
    bool Scan(PxLoadControl* control);

protected:
    Step ComposeNext(PxLoadControl* control, std::int32_t* delayMs) override;
    bool Restart() override;
    std::uint64_t SourceBytes() const override { return line.capacity + saved.capacity; }

private:
    bool Reopen();
    // Reads records up to the next image descriptor (read too), keeping the
    // control extension before it and the repeat count. False at the
    // trailer, on a damaged record and once cancelled (*cancelled set).
    bool ReadToImage(FrameControl* frame, PxLoadControl* control, bool* cancelled);
    void ReadApplication(GifByteType*& block, bool* failed);
    // Decodes the image's lines, in file order, handing each with its row
    // (relative to the image's top) to `use`. `done` lines of `total` are
    // behind, for the progress.
    template <typename Use>
    Step ReadImage(PxLoadControl* control, std::int64_t done, std::int64_t total, Use&& use);
    // Reads the image descriptor again, for the second reading of its data.
    bool ReturnToImage();
    void DrawLine(std::int64_t y, const Rect& clipped, const FrameControl& frame, const std::uint8_t (*bgr)[3]);
    bool Dispose();
    bool Save(const Rect& rect);

    std::unique_ptr<PxFileStream> stream;
    GifHandle gif;
    Scratch line;                    // one line of the image
    Scratch saved;                   // the canvas under a frame that restores it: colour bytes, then alpha
    std::uint64_t descriptorAt = 0;  // where the last image descriptor starts in the file
    bool first = true;
    int pendingDisposal = kKeep;
    Rect pendingRect;
};

bool GifAnimation::Reopen()
{
    gif.reset();
    stream->SeekToStart();
    int error = 0;
    gif.reset(DGifOpen(stream.get(), ReadInput, &error));
    first = true;
    pendingDisposal = kKeep;
    return gif != nullptr;
}

bool GifAnimation::Restart()
{
    return Reopen();
}

void GifAnimation::ReadApplication(GifByteType*& block, bool* failed)
{
    // "NETSCAPE2.0" (or its older twin), then a sub-block 1, count low, count high.
    const bool looping =
        block != nullptr && block[0] == 11 &&
        (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
    bool counted = false;
    while (!*failed && block != nullptr) {
        *failed = DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR;
        if (!*failed && looping && !counted && block != nullptr && block[0] >= 3 && (block[1] & 7) == 1) {
            const int repeats = block[2] | (block[3] << 8);
            // The count is of repeats after the first play; 0 repeats for ever.
            loopCount = repeats == 0 ? 0 : repeats + 1;
            storedLoopCount = repeats;
            counted = true;
        }
    }
}

bool GifAnimation::ReadToImage(FrameControl* frame, PxLoadControl* control, bool* cancelled)
{
    *frame = FrameControl{};
    for (;;) {
        if (control != nullptr && control->Cancelled()) {
            *cancelled = true;
            return false;
        }
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            return false;
        }
        if (type == IMAGE_DESC_RECORD_TYPE) {
            descriptorAt = stream->Position();
            const bool described = DGifGetImageDesc(gif.get()) != GIF_ERROR;
            // giflib keeps a record of every descriptor (with a copy of its
            // colour table) for its whole-file reader; let go of it, or a
            // long animation would grow with every frame it plays.
            GifFreeSavedImages(gif.get());
            gif->ImageCount = 0;
            return described;
        }
        if (type != EXTENSION_RECORD_TYPE) {
            return false;  // the trailer, or a record no GIF has
        }
        int code = 0;
        GifByteType* block = nullptr;
        bool failed = DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR;
        if (!failed && code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
            const int disposal = (block[1] >> 2) & 7;
            frame->disposal = disposal == kClear || disposal == kRestorePrevious ? disposal : kKeep;
            frame->transparent = (block[1] & 1) != 0;
            frame->delayMs = 10 * (block[2] | (block[3] << 8));
            frame->transparentIndex = block[4];
        }
        if (!failed && code == APPLICATION_EXT_FUNC_CODE) {
            ReadApplication(block, &failed);
        }
        // Every block consumes bytes and the input reports the end of the
        // file, so these chains end with it.
        while (!failed && block != nullptr) {
            if (control != nullptr && control->Cancelled()) {
                *cancelled = true;
                return false;
            }
            failed = DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR;
        }
        if (failed) {
            return false;
        }
    }
}

bool GifAnimation::Scan(PxLoadControl* control)
{
    if (!Reopen() || gif->SWidth <= 0 || gif->SHeight <= 0 ||
        static_cast<std::uint64_t>(StoreStride(gif->SWidth)) * static_cast<std::uint64_t>(gif->SHeight) >
            kPxMaxStoreBytes) {
        return false;
    }
    width = gif->SWidth;
    height = gif->SHeight;
    int images = 0;
    FrameControl frame;
    bool cancelled = false;
    while (images < 2 && ReadToImage(&frame, control, &cancelled)) {
        ++images;
        if (images == 2) {
            break;
        }
        // The data of the first image is stepped over without decoding it.
        int codeSize = 0;
        GifByteType* block = nullptr;
        if (DGifGetCode(gif.get(), &codeSize, &block) == GIF_ERROR) {
            break;
        }
        while (block != nullptr) {
            if (DGifGetCodeNext(gif.get(), &block) == GIF_ERROR) {
                break;
            }
        }
    }
    hasFrames = images == 2;
    return images > 0 && !cancelled && Reopen();
}

template <typename Use>
PxAnimation::Step GifAnimation::ReadImage(PxLoadControl* control, std::int64_t done, std::int64_t total, Use&& use)
{
    const GifImageDesc& image = gif->Image;
    std::uint8_t* lineBytes = line.Get(static_cast<std::uint64_t>(image.Width));
    if (lineBytes == nullptr) {
        return Step::kEnd;
    }
    auto readLine = [&](std::int64_t row) {
        if (!PxLoadGoesOn(control, done++, total)) {
            return Step::kCancelled;
        }
        if (DGifGetLine(gif.get(), lineBytes, image.Width) == GIF_ERROR) {
            return Step::kEnd;
        }
        use(row, lineBytes);
        return Step::kComposed;
    };
    if (!image.Interlace) {
        for (std::int64_t row = 0; row < image.Height; ++row) {
            const Step step = readLine(row);
            if (step != Step::kComposed) {
                return step;
            }
        }
        return Step::kComposed;
    }
    for (const InterlacePass& pass : kInterlacePasses) {
        for (std::int64_t row = pass.firstRow; row < image.Height; row += pass.step) {
            const Step step = readLine(row);
            if (step != Step::kComposed) {
                return step;
            }
        }
    }
    return Step::kComposed;
}

bool GifAnimation::ReturnToImage()
{
    stream->SeekToStart();
    stream->Skip(descriptorAt);
    const bool described = DGifGetImageDesc(gif.get()) != GIF_ERROR;
    GifFreeSavedImages(gif.get());
    gif->ImageCount = 0;
    return described;
}

bool GifAnimation::Save(const Rect& rect)
{
    std::uint8_t* bytes = saved.Get(4 * rect.Area());
    if (bytes == nullptr) {
        return false;
    }
    std::uint8_t* alphaBytes = bytes + 3 * rect.Area();
    for (std::int64_t y = 0; y < rect.height; ++y) {
        std::memcpy(bytes + 3 * y * rect.width, CanvasRow(rect.top + y) + 3 * rect.left,
                    static_cast<std::size_t>(3 * rect.width));
        const std::uint8_t* alpha = CanvasAlphaRow(rect.top + y);
        std::uint8_t* target = alphaBytes + y * rect.width;
        if (alpha != nullptr) {
            std::memcpy(target, alpha + rect.left, static_cast<std::size_t>(rect.width));
        } else {
            std::memset(target, 0xFF, static_cast<std::size_t>(rect.width));
        }
    }
    return true;
}

bool GifAnimation::Dispose()
{
    const Rect& rect = pendingRect;
    if (pendingDisposal == kClear && rect.Area() > 0) {
        if (CanvasAlpha() == nullptr) {
            return false;
        }
        for (std::int64_t y = 0; y < rect.height; ++y) {
            std::memset(CanvasRow(rect.top + y) + 3 * rect.left, 0, static_cast<std::size_t>(3 * rect.width));
            std::memset(CanvasAlphaRow(rect.top + y) + rect.left, 0, static_cast<std::size_t>(rect.width));
        }
    } else if (pendingDisposal == kRestorePrevious && rect.Area() > 0) {
        const std::uint8_t* bytes = saved.bytes.get();
        const std::uint8_t* alphaBytes = bytes + 3 * rect.Area();
        const bool opaque = !canvas.HasAlpha() &&
                            std::all_of(alphaBytes, alphaBytes + rect.Area(), [](std::uint8_t a) { return a == 0xFF; });
        if (!opaque && CanvasAlpha() == nullptr) {
            return false;
        }
        for (std::int64_t y = 0; y < rect.height; ++y) {
            std::memcpy(CanvasRow(rect.top + y) + 3 * rect.left, bytes + 3 * y * rect.width,
                        static_cast<std::size_t>(3 * rect.width));
            if (!opaque) {
                std::memcpy(CanvasAlphaRow(rect.top + y) + rect.left, alphaBytes + y * rect.width,
                            static_cast<std::size_t>(rect.width));
            }
        }
    }
    pendingDisposal = kKeep;
    return true;
}

void GifAnimation::DrawLine(std::int64_t y, const Rect& clipped, const FrameControl& frame,
                            const std::uint8_t (*bgr)[3])
{
    if (y < clipped.top || y >= clipped.top + clipped.height || clipped.width <= 0) {
        return;
    }
    const std::uint8_t* source = line.bytes.get() + (clipped.left - gif->Image.Left);
    std::uint8_t* target = CanvasRow(y) + 3 * clipped.left;
    std::uint8_t* alpha = CanvasAlphaRow(y);
    alpha = alpha != nullptr ? alpha + clipped.left : nullptr;
    for (std::int64_t x = 0; x < clipped.width; ++x) {
        const std::uint8_t v = source[x];
        // A transparent pixel leaves what is under it.
        if (frame.transparent && v == frame.transparentIndex) {
            continue;
        }
        std::memcpy(target + 3 * x, bgr[v], 3);
        if (alpha != nullptr) {
            alpha[x] = 0xFF;
        }
    }
}

PxAnimation::Step GifAnimation::ComposeNext(PxLoadControl* control, std::int32_t* delayMs)
{
    if (gif == nullptr) {
        return Step::kEnd;
    }
    FrameControl frame;
    bool cancelled = false;
    if (!ReadToImage(&frame, control, &cancelled)) {
        return cancelled ? Step::kCancelled : Step::kEnd;
    }
    const GifImageDesc& image = gif->Image;
    if (image.Width <= 0 || image.Height <= 0 || image.Left < 0 || image.Top < 0) {
        return Step::kEnd;
    }
    // Parts of the image outside the canvas are decoded and left out.
    Rect clipped;
    clipped.left = std::min<std::int64_t>(image.Left, width);
    clipped.top = std::min<std::int64_t>(image.Top, height);
    clipped.width = std::min<std::int64_t>(std::int64_t{image.Left} + image.Width, width) - clipped.left;
    clipped.height = std::min<std::int64_t>(std::int64_t{image.Top} + image.Height, height) - clipped.top;
    std::uint8_t bgr[256][3];
    BuildColorTable(image.ColorMap != nullptr ? image.ColorMap : gif->SColorMap, bgr);

    // The image is read twice: once to its end before the canvas changes,
    // so that a damaged one leaves the frame before it on the canvas, and
    // once more straight onto the canvas. Keeping its pixel values between
    // the two instead would cost a byte a pixel of the canvas.
    const std::int64_t lines = image.Height;
    const Step checked = ReadImage(control, 0, 2 * lines, [](std::int64_t, const std::uint8_t*) {});
    if (checked != Step::kComposed) {
        return checked;
    }
    if (!ReturnToImage()) {
        return Step::kEnd;
    }
    if (first) {
        if (!ClearCanvas()) {
            return Step::kEnd;
        }
        first = false;
    } else if (!Dispose()) {
        return Step::kEnd;
    }
    if (frame.disposal == kRestorePrevious && !Save(clipped)) {
        return Step::kEnd;
    }
    // Once the canvas changes, the frame is finished whatever comes: a
    // cancel waits for the next frame. Data that read well a moment ago
    // fails now only if the file changed meanwhile; what was drawn stays.
    const std::int64_t top = gif->Image.Top;
    if (control != nullptr) {
        control->SetProgress(500);
    }
    ReadImage(nullptr, lines, 2 * lines,
              [&](std::int64_t row, const std::uint8_t*) { DrawLine(top + row, clipped, frame, bgr); });
    SettleAlpha();
    pendingDisposal = frame.disposal;
    pendingRect = clipped;
    *delayMs = frame.delayMs;
    return Step::kComposed;
}

}  // namespace

std::unique_ptr<PxAnimation> PxOpenGifAnimation(std::unique_ptr<PxFileStream> stream, PxLoadControl* control)
{
    if (stream == nullptr) {
        return nullptr;
    }
    std::unique_ptr<GifAnimation> animation(new (std::nothrow) GifAnimation(std::move(stream)));
    if (animation == nullptr || !animation->Scan(control)) {
        return nullptr;
    }
    return animation;
}

}  // namespace brelvix
