// AVIF image sequences through libavif: every frame is a whole picture of
// the canvas size, so there is nothing to compose beyond converting it.
#include <avif/avif.h>

#include <algorithm>
#include <new>
#include <thread>

#include "animation_formats.h"
#include "orientation.h"

namespace brelvix {

namespace {

using Decoder = std::unique_ptr<avifDecoder, PxReleaseWith<&avifDecoderDestroy>>;

// The AV1 decoder's planes take up to six bytes a pixel besides ours.
constexpr std::uint64_t kLibraryBytesPerPixel = 6;

// Serves libavif the file from memory. A read past its end waits for data
// that never comes, instead of failing: a sequence that broke off then
// parses, and its frames that arrived whole still decode.
struct MemoryReader {
    avifIO io{};  // first: libavif sees only this part
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

avifResult ReadMemory(avifIO* io, std::uint32_t /*flags*/, std::uint64_t offset, std::size_t size, avifROData* out)
{
    // MemoryReader starts with the avifIO that libavif knows.
    const auto* reader = reinterpret_cast<const MemoryReader*>(io);
    if (offset > reader->size) {
        return AVIF_RESULT_IO_ERROR;
    }
    if (size > reader->size - offset) {
        return AVIF_RESULT_WAITING_ON_IO;
    }
    out->data = reader->data + offset;
    out->size = size;
    return AVIF_RESULT_OK;
}

int DecoderThreads()
{
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1U, 8U));
}

class AvifAnimation : public PxAnimation {
public:
    explicit AvifAnimation(PxFileBytes bytes) : file(std::move(bytes)) {}

    bool Start();

protected:
    Step ComposeNext(PxLoadControl* control, std::int32_t* delayMs) override;
    bool Restart() override { return decoder != nullptr && avifDecoderReset(decoder.get()) == AVIF_RESULT_OK; }
    std::uint64_t SourceBytes() const override
    {
        return file.size + rgbBytes.capacity + kLibraryBytesPerPixel * static_cast<std::uint64_t>(width) * height;
    }

private:
    PxFileBytes file;
    MemoryReader reader;
    Decoder decoder;
    struct {
        PxBuffer<std::uint8_t> bytes;
        std::uint64_t capacity = 0;
    } rgbBytes;
};

bool AvifAnimation::Start()
{
    decoder.reset(avifDecoderCreate());
    if (decoder == nullptr) {
        return false;
    }
    avifDecoder* d = decoder.get();
    d->maxThreads = DecoderThreads();
    // The same limits as for a still: no frame whose planes alone would
    // pass the store cap, no list of millions of frames.
    d->imageSizeLimit =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(AVIF_DEFAULT_IMAGE_SIZE_LIMIT, kPxMaxStoreBytes / 6));
    d->imageDimensionLimit = AVIF_DEFAULT_IMAGE_DIMENSION_LIMIT;
    d->imageCountLimit = AVIF_DEFAULT_IMAGE_COUNT_LIMIT;
    d->strictFlags = AVIF_STRICT_DISABLED;
    d->ignoreExif = AVIF_TRUE;
    d->ignoreXMP = AVIF_TRUE;
    reader.io.read = ReadMemory;
    // No size hint: with one, libavif refuses the media box of a file that
    // broke off, since it runs past the end.
    reader.io.sizeHint = 0;
    reader.io.persistent = AVIF_TRUE;
    reader.data = file.data.get();
    reader.size = file.size;
    avifDecoderSetIO(d, &reader.io);
    if (avifDecoderParse(d) != AVIF_RESULT_OK || d->image == nullptr) {
        return false;
    }
    const avifImage* image = d->image;
    if (image->width == 0 || image->height == 0 || image->width > INT32_MAX || image->height > INT32_MAX ||
        d->imageCount < 1) {
        return false;
    }
    width = static_cast<std::int32_t>(image->width);
    height = static_cast<std::int32_t>(image->height);
    const std::int32_t turns = (image->transformFlags & AVIF_TRANSFORM_IROT) != 0 ? image->irot.angle : 0;
    std::int32_t mirror = 0;
    if ((image->transformFlags & AVIF_TRANSFORM_IMIR) != 0) {
        mirror = image->imir.mode == 0 ? 1 : 2;
    }
    canvas.SetOrientation(PxOrientationFromTurnAndMirror(turns, mirror));
    hasFrames = d->imageCount > 1;
    frameCount = d->imageCount;
    // This libavif reads no repetition count: sequences play for ever, as browsers play them.
    loopCount = hasFrames ? 0 : 1;
    return true;
}

PxAnimation::Step AvifAnimation::ComposeNext(PxLoadControl* control, std::int32_t* delayMs)
{
    // libavif decodes a frame in one call; a cancel is seen around it.
    if (control != nullptr && control->Cancelled()) {
        return Step::kCancelled;
    }
    if (avifDecoderNextImage(decoder.get()) != AVIF_RESULT_OK) {
        return Step::kEnd;  // no frame left, or a damaged one
    }
    if (control != nullptr && control->Cancelled()) {
        return Step::kCancelled;
    }
    const avifImage* image = decoder->image;
    if (image->width != static_cast<std::uint32_t>(width) || image->height != static_cast<std::uint32_t>(height)) {
        return Step::kEnd;
    }
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.format = AVIF_RGB_FORMAT_BGRA;
    rgb.depth = 8;
    rgb.rowBytes = static_cast<std::uint32_t>(width) * 4;
    const std::uint64_t bytes = std::uint64_t{rgb.rowBytes} * static_cast<std::uint64_t>(height);
    if (bytes > rgbBytes.capacity) {
        rgbBytes.bytes = PxZeroed<std::uint8_t>(bytes);
        rgbBytes.capacity = rgbBytes.bytes ? bytes : 0;
    }
    if (!rgbBytes.bytes) {
        return Step::kEnd;
    }
    rgb.pixels = rgbBytes.bytes.get();
    if (avifImageYUVToRGB(image, &rgb) != AVIF_RESULT_OK || !PutWholeFrame(rgbBytes.bytes.get(), rgb.rowBytes, false)) {
        return Step::kEnd;
    }
    // A still's item has a nominal timing of its own, which no file stores.
    *delayMs = hasFrames ? PxDelayMs(decoder->imageTiming.durationInTimescales, 1, decoder->imageTiming.timescale) : 0;
    return Step::kComposed;
}

}  // namespace

std::unique_ptr<PxAnimation> PxOpenAvifAnimation(PxFileBytes file, PxLoadControl* /*control*/)
{
    std::unique_ptr<AvifAnimation> animation(new (std::nothrow) AvifAnimation(std::move(file)));
    if (animation == nullptr || !animation->Start()) {
        return nullptr;
    }
    return animation;
}

}  // namespace brelvix
