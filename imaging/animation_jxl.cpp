// JPEG XL frames through libjxl, which composes (coalesces) the frames of
// an animation itself: each frame it hands out is the whole canvas.
#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <algorithm>
#include <new>

#include "animation_formats.h"

namespace brelvix {

namespace {

using Decoder = std::unique_ptr<JxlDecoder, PxReleaseWith<&JxlDecoderDestroy>>;
using Runner = std::unique_ptr<void, PxReleaseWith<&JxlThreadParallelRunnerDestroy>>;

// The file goes to libjxl in steps of this size at most, so that a cancel
// is seen between two of them while a large frame decodes.
constexpr std::size_t kStep = 256 * 1024;

// libjxl 0.7 works on floating-point planes, about 16 bytes a pixel, and
// has no limit of its own: larger canvases are refused from the header.
constexpr std::uint64_t kLibraryBytesPerPixel = 16;
constexpr std::uint64_t kMaxLibraryBytes = std::uint64_t{2} << 30;

// Every frame arrives as red, green, blue, alpha, one byte each, top row
// first (alpha is opaque when the file has none).
constexpr JxlPixelFormat kFormat{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};

class JxlAnimation : public PxAnimation {
public:
    explicit JxlAnimation(PxFileBytes bytes) : file(std::move(bytes)) {}

    // Reads the header and, for an animation, the first frame's header.
    bool Start(PxLoadControl* control);

protected:
    Step ComposeNext(PxLoadControl* control, std::int32_t* delayMs) override;
    bool Restart() override;
    std::uint64_t SourceBytes() const override
    {
        return file.size + output.capacity +
               (decoder != nullptr ? kLibraryBytesPerPixel * std::uint64_t(width) * height : 0);
    }

private:
    // A fresh decoder over the file, run up to its basic information.
    bool Begin(PxLoadControl* control);
    // Runs libjxl until it reports something other than a need for input
    // the file still holds, feeding it the next step each time.
    JxlDecoderStatus Process(PxLoadControl* control, bool* cancelled);
    // Takes the frame header libjxl just read.
    void ReadFrameHeader();

    PxFileBytes file;
    Decoder decoder;
    Runner runner;
    std::size_t fed = 0;
    struct {
        PxBuffer<std::uint8_t> bytes;
        std::uint64_t capacity = 0;
    } output;
    JxlAnimationHeader timing{};
    bool animated = false;
    bool headerPending = false;  // the next frame's header has been read already
    std::int32_t pendingDelayMs = 0;
    bool pendingLast = false;
    std::int32_t composed = 0;
};

JxlDecoderStatus JxlAnimation::Process(PxLoadControl* control, bool* cancelled)
{
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (status != JXL_DEC_NEED_MORE_INPUT || fed >= file.size) {
            return status;
        }
        if (control != nullptr && control->Cancelled()) {
            *cancelled = true;
            return JXL_DEC_ERROR;
        }
        // libjxl wants the bytes it has not used yet again, followed by the next step.
        const std::size_t start = fed - std::min(fed, JxlDecoderReleaseInput(decoder.get()));
        fed = std::min(file.size, fed + kStep);
        if (JxlDecoderSetInput(decoder.get(), file.data.get() + start, fed - start) != JXL_DEC_SUCCESS) {
            return JXL_DEC_ERROR;
        }
        if (fed == file.size) {
            JxlDecoderCloseInput(decoder.get());
        }
    }
}

bool JxlAnimation::Begin(PxLoadControl* control)
{
    decoder.reset(JxlDecoderCreate(nullptr));
    if (runner == nullptr) {
        runner.reset(JxlThreadParallelRunnerCreate(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads()));
    }
    headerPending = false;
    composed = 0;
    fed = std::min(file.size, kStep);
    JxlDecoder* d = decoder.get();
    bool cancelled = false;
    if (d == nullptr || runner == nullptr ||
        JxlDecoderSetParallelRunner(d, JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS ||
        JxlDecoderSubscribeEvents(d, JXL_DEC_BASIC_INFO | JXL_DEC_FRAME | JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(d, JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(d, file.data.get(), fed) != JXL_DEC_SUCCESS) {
        return false;
    }
    if (fed == file.size) {
        JxlDecoderCloseInput(d);
    }
    return Process(control, &cancelled) == JXL_DEC_BASIC_INFO;
}

void JxlAnimation::ReadFrameHeader()
{
    JxlFrameHeader header;
    if (JxlDecoderGetFrameHeader(decoder.get(), &header) != JXL_DEC_SUCCESS) {
        header = JxlFrameHeader{};
    }
    pendingDelayMs = animated ? PxDelayMs(header.duration, timing.tps_denominator, timing.tps_numerator) : 0;
    pendingLast = header.is_last != 0;
    headerPending = true;
}

bool JxlAnimation::Start(PxLoadControl* control)
{
    JxlBasicInfo info;
    if (!Begin(control) || JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS || info.xsize == 0 ||
        info.ysize == 0 || info.xsize > INT32_MAX || info.ysize > INT32_MAX ||
        std::uint64_t{info.xsize} * info.ysize > kMaxLibraryBytes / kLibraryBytesPerPixel) {
        return false;
    }
    width = static_cast<std::int32_t>(info.xsize);
    height = static_cast<std::int32_t>(info.ysize);
    canvas.SetOrientation(info.orientation >= 1 && info.orientation <= 8 ? static_cast<std::int32_t>(info.orientation)
                                                                         : 1);
    animated = info.have_animation != 0;
    if (!animated) {
        frameCount = 1;
        return true;
    }
    timing = info.animation;
    loopCount = static_cast<std::int32_t>(std::min<std::uint32_t>(timing.num_loops, INT32_MAX));
    // Whether a second frame follows shows in the first frame's header.
    bool cancelled = false;
    if (Process(control, &cancelled) != JXL_DEC_FRAME) {
        return false;
    }
    ReadFrameHeader();
    hasFrames = !pendingLast;
    if (pendingLast) {
        frameCount = 1;
    }
    return true;
}

bool JxlAnimation::Restart()
{
    return Begin(nullptr);
}

PxAnimation::Step JxlAnimation::ComposeNext(PxLoadControl* control, std::int32_t* delayMs)
{
    if (decoder == nullptr) {
        return Step::kEnd;
    }
    for (;;) {
        bool cancelled = false;
        const JxlDecoderStatus status = Process(control, &cancelled);
        if (cancelled) {
            return Step::kCancelled;
        }
        switch (status) {
            case JXL_DEC_FRAME:
                ReadFrameHeader();
                break;
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                std::size_t bytes = 0;
                if (JxlDecoderImageOutBufferSize(decoder.get(), &kFormat, &bytes) != JXL_DEC_SUCCESS ||
                    bytes != std::uint64_t{4} * static_cast<std::uint64_t>(width) * height) {
                    return Step::kEnd;
                }
                if (bytes > output.capacity) {
                    output.bytes = PxZeroed<std::uint8_t>(bytes);
                    output.capacity = output.bytes ? bytes : 0;
                }
                if (!output.bytes || JxlDecoderSetImageOutBuffer(decoder.get(), &kFormat, output.bytes.get(), bytes) !=
                                         JXL_DEC_SUCCESS) {
                    return Step::kEnd;
                }
                break;
            }
            case JXL_DEC_FULL_IMAGE:
                if (!headerPending || !PutWholeFrame(output.bytes.get(), std::int64_t{width} * 4, true)) {
                    return Step::kEnd;
                }
                headerPending = false;
                *delayMs = pendingDelayMs;
                ++composed;
                if (pendingLast) {
                    frameCount = composed;
                }
                return Step::kComposed;
            default:
                // The end of the file (JXL_DEC_SUCCESS), a file that broke
                // off (more input wanted) or a damaged frame.
                return Step::kEnd;
        }
    }
}

}  // namespace

std::unique_ptr<PxAnimation> PxOpenJxlAnimation(PxFileBytes file, PxLoadControl* control)
{
    std::unique_ptr<JxlAnimation> animation(new (std::nothrow) JxlAnimation(std::move(file)));
    if (animation == nullptr || !animation->Start(control)) {
        return nullptr;
    }
    return animation;
}

}  // namespace brelvix
