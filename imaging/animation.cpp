#include "animation.h"

#include <cstring>
#include <new>

#include "animation_formats.h"
#include "decoder.h"
#include "decoder_module.h"

namespace brelvix {

namespace {

// Whether every byte of `bytes` is 255, eight at a time.
bool AllOpaque(const std::uint8_t* bytes, std::uint64_t count)
{
    std::uint64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes + i, 8);
        if (word != ~std::uint64_t{0}) {
            return false;
        }
    }
    for (; i < count; ++i) {
        if (bytes[i] != 0xFF) {
            return false;
        }
    }
    return true;
}

// The whole file for the libraries that read from memory; a file that
// shrank since it was opened is as long as what arrived.
PxFileBytes ReadWholeFile(PxFileStream& stream)
{
    PxFileBytes file;
    const std::uint64_t size = stream.Size();
    file.data = PxZeroed<std::uint8_t>(size > 0 ? size : 1);
    if (!file.data) {
        return file;
    }
    std::uint64_t delivered = 0;
    stream.SeekToStart();
    stream.Read(file.data.get(), size, &delivered);
    file.size = static_cast<std::size_t>(delivered);
    return file;
}

}  // namespace

std::int32_t PxDelayMs(std::uint64_t count, std::uint64_t numerator, std::uint64_t denominator)
{
    if (denominator == 0) {
        return 0;
    }
    const unsigned __int128 ms = static_cast<unsigned __int128>(count) * 1000U * numerator / denominator;
    return ms > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(ms);
}

std::unique_ptr<PxAnimation> PxAnimation::Open(const char* path, PxLoadControl* control)
{
    if (path == nullptr || (control != nullptr && control->Cancelled())) {
        return nullptr;
    }
    try {
        std::unique_ptr<PxFileStream> stream(new (std::nothrow) PxFileStream);
        if (stream == nullptr || stream->Open(path) != 0) {
            return nullptr;
        }
        const int format = stream->DetectFormat();
        std::unique_ptr<PxAnimation> animation;
        if (format == kPxFormatGIF) {
            stream->SeekToStart();
            animation = PxOpenGifAnimation(std::move(stream), control);
        } else if (format == kPxFormatPNG || format == kPxFormatWebP || format == kPxFormatJXL ||
                   format == kPxFormatAVIF) {
            PxFileBytes file = ReadWholeFile(*stream);
            stream.reset();  // the file closes; everything is in memory now
            if (!file.data) {
                return nullptr;
            }
            switch (format) {
                case kPxFormatPNG:
                    animation = PxOpenPngAnimation(std::move(file), control);
                    break;
                default:
                    // libwebp, libjxl and libavif live in the decoder module.
                    animation = PxNewerFormats().OpenAnimation(format, std::move(file), control);
                    break;
            }
        }
        if (animation == nullptr || (control != nullptr && control->Cancelled())) {
            return nullptr;
        }
        animation->formatId = format;
        animation->canvas.SetFormatId(format);
        return animation;
    } catch (...) {
        // Only the stream's integer reads throw; no source uses them, but a
        // failure of the file is a failure to open all the same.
        return nullptr;
    }
}

PxAnimation::~PxAnimation() = default;

PxAnimation::Step PxAnimation::Next(PxLoadControl* control)
{
    if (state == State::kEnded) {
        return Step::kEnd;
    }
    if (state == State::kCancelled || (control != nullptr && control->Cancelled())) {
        state = State::kCancelled;
        return Step::kCancelled;
    }
    std::int32_t delay = 0;
    Step step = Step::kEnd;
    try {
        step = ComposeNext(control, &delay);
    } catch (...) {
        step = Step::kEnd;
    }
    switch (step) {
        case Step::kComposed:
            ++frameIndex;
            frameDelayMs = delay < 0 ? 0 : delay;
            break;
        case Step::kEnd:
            state = State::kEnded;
            frameCount = frameIndex + 1;
            break;
        case Step::kCancelled:
            state = State::kCancelled;
            break;
    }
    return step;
}

int PxAnimation::Rewind()
{
    frameIndex = -1;
    state = State::kPlaying;
    bool restarted = false;
    try {
        restarted = Restart();
    } catch (...) {
        restarted = false;
    }
    if (!restarted) {
        state = State::kEnded;
        return 1;
    }
    return 0;
}

std::uint64_t PxAnimation::HeldBytes() const
{
    std::uint64_t bytes = SourceBytes();
    if (canvas.Pixels() != nullptr) {
        bytes += static_cast<std::uint64_t>(canvas.Stride()) * static_cast<std::uint64_t>(canvas.Height());
    }
    if (canvas.HasAlpha()) {
        bytes += static_cast<std::uint64_t>(canvas.Width()) * static_cast<std::uint64_t>(canvas.Height());
    }
    return bytes;
}

bool PxAnimation::ClearCanvas()
{
    if (canvas.Pixels() == nullptr || canvas.Width() != width || canvas.Height() != height) {
        canvas.SetDimensions(width, height, 24);
        if (canvas.CreatePixelStore() != 0) {
            return false;
        }
    } else {
        std::memset(canvas.Pixels(), 0, static_cast<std::size_t>(canvas.Stride() * canvas.Height()));
    }
    std::uint8_t* alpha = CanvasAlpha();
    if (alpha == nullptr) {
        return false;
    }
    std::memset(alpha, 0, static_cast<std::size_t>(std::int64_t{width} * height));
    return true;
}

std::uint8_t* PxAnimation::CanvasAlpha()
{
    if (!canvas.HasAlpha() && canvas.CreateAlphaPlane() != 0) {
        return nullptr;
    }
    return canvas.Alpha();
}

void PxAnimation::SettleAlpha()
{
    if (canvas.HasAlpha() && AllOpaque(canvas.Alpha(), static_cast<std::uint64_t>(canvas.Width()) *
                                                           static_cast<std::uint64_t>(canvas.Height()))) {
        canvas.DropAlpha();
    }
}

std::uint8_t* PxAnimation::CanvasRow(std::int64_t y)
{
    return PxStoreRow(canvas, canvas.Height() - 1 - y);
}

std::uint8_t* PxAnimation::CanvasAlphaRow(std::int64_t y)
{
    if (!canvas.HasAlpha()) {
        return nullptr;
    }
    return canvas.Alpha() + (canvas.Height() - 1 - y) * static_cast<std::int64_t>(canvas.Width());
}

bool PxAnimation::PutWholeFrame(const std::uint8_t* pixels, std::int64_t stride, bool redFirst)
{
    if (canvas.Pixels() == nullptr || canvas.Width() != width || canvas.Height() != height) {
        canvas.SetDimensions(width, height, 24);
        if (canvas.CreatePixelStore() != 0) {
            return false;
        }
    }
    bool opaque = true;
    for (std::int64_t y = 0; y < height && opaque; ++y) {
        const std::uint8_t* row = pixels + y * stride;
        for (std::int64_t x = 0; x < width; ++x) {
            if (row[4 * x + 3] != 0xFF) {
                opaque = false;
                break;
            }
        }
    }
    if (opaque) {
        canvas.DropAlpha();
    } else if (CanvasAlpha() == nullptr) {
        return false;
    }
    const int blue = redFirst ? 2 : 0;
    const int red = redFirst ? 0 : 2;
    for (std::int64_t y = 0; y < height; ++y) {
        const std::uint8_t* source = pixels + y * stride;
        std::uint8_t* target = CanvasRow(y);
        std::uint8_t* alpha = CanvasAlphaRow(y);
        for (std::int64_t x = 0; x < width; ++x) {
            target[3 * x] = source[4 * x + blue];
            target[3 * x + 1] = source[4 * x + 1];
            target[3 * x + 2] = source[4 * x + red];
        }
        if (alpha != nullptr) {
            for (std::int64_t x = 0; x < width; ++x) {
                alpha[x] = source[4 * x + 3];
            }
        }
    }
    return true;
}

}  // namespace brelvix
