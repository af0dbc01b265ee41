// WebP frames through libwebp's animation decoder, which composes them
// itself (disposal, blending, frames smaller than the canvas).
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <new>

#include "animation_formats.h"
#include "orientation.h"

namespace brelvix {

namespace {

using AnimationDecoder = std::unique_ptr<WebPAnimDecoder, PxReleaseWith<&WebPAnimDecoderDelete>>;
using Demuxer = std::unique_ptr<WebPDemuxer, PxReleaseWith<&WebPDemuxDelete>>;

// libwebp keeps the canvas and the canvas before the last disposal, four
// bytes a pixel each.
constexpr std::uint64_t kLibraryBytesPerPixel = 8;

class WebPAnimation : public PxAnimation {
public:
    explicit WebPAnimation(PxFileBytes bytes) : file(std::move(bytes)) {}

    bool Start();

protected:
    Step ComposeNext(PxLoadControl* control, std::int32_t* delayMs) override;
    bool Restart() override;
    std::uint64_t SourceBytes() const override
    {
        return file.size +
               (decoder != nullptr ? kLibraryBytesPerPixel * static_cast<std::uint64_t>(width) * height : 0);
    }

private:
    // Cuts the file after its last complete frame, for a file that broke
    // off: libwebp's animation decoder takes only whole files. False when
    // not even the first frame is complete.
    bool KeepCompleteFrames();

    PxFileBytes file;
    AnimationDecoder decoder;
    int timestamp = 0;  // where the last frame ended, as libwebp counts
};

bool WebPAnimation::Start()
{
    const WebPData data{file.data.get(), file.size};
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data.bytes, data.size, &features) != VP8_STATUS_OK || features.width <= 0 ||
        features.height <= 0) {
        return false;
    }
    // The canvas may claim 2^24 pixels each way: refused before libwebp
    // allocates its own two.
    const std::uint64_t area = static_cast<std::uint64_t>(features.width) * static_cast<std::uint64_t>(features.height);
    if (area * 4 > kPxMaxStoreBytes) {
        return false;
    }
    width = features.width;
    height = features.height;
    WebPDemuxState demuxState = WEBP_DEMUX_PARSING_HEADER;
    const Demuxer demuxer(WebPDemuxPartial(&data, &demuxState));
    if (demuxer == nullptr || demuxState < WEBP_DEMUX_PARSED_HEADER) {
        return false;
    }
    const std::uint32_t frames = WebPDemuxGetI(demuxer.get(), WEBP_FF_FRAME_COUNT);
    hasFrames = features.has_animation != 0 && frames > 1;
    if (features.has_animation != 0 && demuxState == WEBP_DEMUX_DONE) {
        frameCount = static_cast<std::int32_t>(std::min<std::uint32_t>(frames, INT32_MAX));
        loopCount = static_cast<std::int32_t>(WebPDemuxGetI(demuxer.get(), WEBP_FF_LOOP_COUNT));
    } else if (features.has_animation == 0) {
        frameCount = 1;
    }
    if ((WebPDemuxGetI(demuxer.get(), WEBP_FF_FORMAT_FLAGS) & EXIF_FLAG) != 0) {
        WebPChunkIterator chunk;
        if (WebPDemuxGetChunk(demuxer.get(), "EXIF", 1, &chunk) != 0) {
            canvas.SetOrientation(PxExifOrientation(chunk.chunk.bytes, chunk.chunk.size));
            WebPDemuxReleaseChunkIterator(&chunk);
        }
    }
    return true;
}

bool WebPAnimation::KeepCompleteFrames()
{
    const WebPData data{file.data.get(), file.size};
    WebPDemuxState demuxState = WEBP_DEMUX_PARSING_HEADER;
    const Demuxer demuxer(WebPDemuxPartial(&data, &demuxState));
    if (demuxer == nullptr || demuxState < WEBP_DEMUX_PARSED_HEADER) {
        return false;
    }
    const std::uint8_t* end = nullptr;
    WebPIterator frame;
    if (WebPDemuxGetFrame(demuxer.get(), 1, &frame) != 0) {
        do {
            if (frame.complete == 0) {
                break;
            }
            end = frame.fragment.bytes + frame.fragment.size;
        } while (WebPDemuxNextFrame(&frame) != 0);
        WebPDemuxReleaseIterator(&frame);
    }
    if (end == nullptr) {
        return false;
    }
    // A chunk of odd length is followed by a padding byte; the RIFF header
    // then gives the length of what is kept.
    std::size_t length = static_cast<std::size_t>(end - file.data.get());
    length = std::min(length + (length & 1), file.size);
    if (length <= 12 || length >= file.size) {
        return false;
    }
    const std::uint32_t riff = static_cast<std::uint32_t>(length - 8);
    for (int i = 0; i < 4; ++i) {
        file.data[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
    }
    file.size = length;
    return true;
}

bool WebPAnimation::Restart()
{
    // The decoder and its two canvases are made at the first frame, so
    // that opening a still costs nothing; a loop keeps them.
    if (decoder != nullptr) {
        WebPAnimDecoderReset(decoder.get());
    }
    timestamp = 0;
    return true;
}

PxAnimation::Step WebPAnimation::ComposeNext(PxLoadControl* control, std::int32_t* delayMs)
{
    if (decoder == nullptr) {
        WebPAnimDecoderOptions options;
        if (WebPAnimDecoderOptionsInit(&options) == 0) {
            return Step::kEnd;
        }
        // Not premultiplied: each pixel keeps its colour, as the still decoder gives it.
        options.color_mode = MODE_BGRA;
        options.use_threads = 1;
        const WebPData data{file.data.get(), file.size};
        decoder.reset(WebPAnimDecoderNew(&data, &options));
        if (decoder == nullptr && KeepCompleteFrames()) {
            const WebPData kept{file.data.get(), file.size};
            decoder.reset(WebPAnimDecoderNew(&kept, &options));
        }
        WebPAnimInfo info;
        if (decoder == nullptr || WebPAnimDecoderGetInfo(decoder.get(), &info) == 0 ||
            info.canvas_width != static_cast<std::uint32_t>(width) ||
            info.canvas_height != static_cast<std::uint32_t>(height)) {
            decoder.reset();
            return Step::kEnd;
        }
    }
    // libwebp composes a frame in one call; a cancel is seen before it.
    if (control != nullptr && control->Cancelled()) {
        return Step::kCancelled;
    }
    std::uint8_t* pixels = nullptr;
    int end = 0;
    if (WebPAnimDecoderHasMoreFrames(decoder.get()) == 0 || WebPAnimDecoderGetNext(decoder.get(), &pixels, &end) == 0 ||
        pixels == nullptr) {
        return Step::kEnd;
    }
    if (control != nullptr && control->Cancelled()) {
        return Step::kCancelled;
    }
    if (!PutWholeFrame(pixels, std::int64_t{width} * 4, false)) {
        return Step::kEnd;
    }
    // libwebp's timestamps add up the stored durations, so each difference is one.
    *delayMs = end - timestamp;
    timestamp = end;
    return Step::kComposed;
}

}  // namespace

std::unique_ptr<PxAnimation> PxOpenWebPAnimation(PxFileBytes file, PxLoadControl* /*control*/)
{
    std::unique_ptr<WebPAnimation> animation(new (std::nothrow) WebPAnimation(std::move(file)));
    if (animation == nullptr || !animation->Start()) {
        return nullptr;
    }
    return animation;
}

}  // namespace brelvix
