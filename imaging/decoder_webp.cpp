#include "decoder_webp.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <memory>

#include "alpha.h"
#include "color_profile.h"
#include "exif_bytes.h"
#include "orientation.h"

namespace brelvix {

namespace {

using IncrementalDecoder = std::unique_ptr<WebPIDecoder, PxReleaseWith<&WebPIDelete>>;
using Demuxer = std::unique_ptr<WebPDemuxer, PxReleaseWith<&WebPDemuxDelete>>;
using AnimationDecoder = std::unique_ptr<WebPAnimDecoder, PxReleaseWith<&WebPAnimDecoderDelete>>;

// The still decoder is handed the file in about this many steps, each of
// at least kMinStep and at most kMaxStep bytes, so that each call does a
// bounded stretch of work and a cancel is seen between two of them.
constexpr std::size_t kSteps = 32;
constexpr std::size_t kMinStep = 4 * 1024;
constexpr std::size_t kMaxStep = 256 * 1024;

// Progress of an animation's first frame, in permille: libwebp composes it
// in one call, then its rows are copied.
constexpr std::int64_t kFrameComposed = 900;

// libwebp's animation decoder keeps the whole canvas at 4 bytes a pixel.
constexpr std::uint64_t kCanvasBytesPerPixel = 4;

// What a libwebp status says about the file; a file that ends too early
// is damaged like one whose data contradicts the format.
PxLoadError ReasonOf(VP8StatusCode status)
{
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY:
            return PxLoadError::OutOfMemory;
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return PxLoadError::Unsupported;
        default:
            return PxLoadError::Damaged;
    }
}

}  // namespace

int PxDecoderWebP::ReadHeader(PxFileStream& /*stream*/, PxBitmap& bitmap)
{
    if (!scratch) {
        return 1;
    }
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(scratch.get(), fileLength, &features);
    if (status != VP8_STATUS_OK) {
        return Fail(ReasonOf(status));
    }
    if (features.width <= 0 || features.height <= 0) {
        return Fail(PxLoadError::Damaged);
    }
    animated = features.has_animation != 0;
    // The canvas of an animation may claim 2^24 pixels each way; it is
    // refused before libwebp allocates it.
    const auto width = static_cast<std::uint64_t>(features.width);
    const auto height = static_cast<std::uint64_t>(features.height);
    const std::uint64_t bytes = animated ? width * height * kCanvasBytesPerPixel
                                         : static_cast<std::uint64_t>(StoreStride(features.width)) * height;
    if (bytes > kPxMaxStoreBytes) {
        return Fail(PxLoadError::TooLarge);
    }

    // Only the extended layout has room for Exif; libwebp's demuxer finds
    // the chunk wherever it lies, in a complete file.
    const WebPData data{scratch.get(), fileLength};
    WebPDemuxState state = WEBP_DEMUX_PARSING_HEADER;
    const Demuxer demuxer(WebPDemuxPartial(&data, &state));
    if (demuxer != nullptr && state >= WEBP_DEMUX_PARSED_HEADER &&
        (WebPDemuxGetI(demuxer.get(), WEBP_FF_FORMAT_FLAGS) & EXIF_FLAG) != 0) {
        WebPChunkIterator chunk;
        if (WebPDemuxGetChunk(demuxer.get(), "EXIF", 1, &chunk) != 0) {
            bitmap.SetOrientation(PxExifOrientation(chunk.chunk.bytes, chunk.chunk.size));
            bitmap.Meta().exif = PxExifFromBlock(chunk.chunk.bytes, chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
    }
    PxPictureMeta& meta = bitmap.Meta();
    meta.bitsPerSample = 8;
    if (demuxer != nullptr && state >= WEBP_DEMUX_PARSED_HEADER &&
        (WebPDemuxGetI(demuxer.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) != 0) {
        WebPChunkIterator chunk;
        if (WebPDemuxGetChunk(demuxer.get(), "ICCP", 1, &chunk) != 0) {
            PxProfileFromIcc(chunk.chunk.bytes, chunk.chunk.size, PxSampleSpace::kRgb, &meta.profile);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
    }
    hasAlpha = features.has_alpha != 0;
    bitmap.SetDimensions(features.width, features.height, features.has_alpha != 0 ? 32 : 24);
    return 0;
}

int PxDecoderWebP::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    std::uint64_t delivered = 0;
    if (!ReadWholeFileIntoScratch(stream, &delivered)) {
        return 1;
    }
    fileLength = static_cast<std::size_t>(delivered);
    ReadHeader(stream, bitmap);
    if (CreateStore(bitmap) != 0 || Cancelled()) {
        return 1;
    }
    const int result = animated   ? DecodeFirstFrame(bitmap)
                       : hasAlpha ? DecodeStillWithAlpha(bitmap)
                                  : DecodeStill(bitmap);
    scratch.reset();
    PxDropOpaqueAlpha(bitmap);
    return result;
}

int PxDecoderWebP::DecodeStillWithAlpha(PxBitmap& bitmap)
{
    const std::int64_t width = bitmap.Width();
    const std::int64_t height = bitmap.Height();
    // Bottom row first, as the store; rows libwebp never reaches stay zero,
    // black and clear.
    const auto pixels =
        PxZeroed<std::uint8_t>(4 * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height));
    if (!pixels || bitmap.CreateAlphaPlane() != 0) {
        bitmap.DropAlpha();
        return DecodeStill(bitmap);
    }
    const int result = DecodeStill(bitmap, pixels.get(), MODE_BGRA, 4 * width);
    for (std::int64_t row = 0; row < height; ++row) {
        const std::uint8_t* in = pixels.get() + row * 4 * width;
        PxCopyBgrxRow(in, PxStoreRow(bitmap, row), width);
        std::uint8_t* alpha = bitmap.Alpha() + row * width;
        for (std::int64_t x = 0; x < width; ++x) {
            alpha[x] = in[4 * x + 3];
        }
    }
    return result;
}

int PxDecoderWebP::DecodeStill(PxBitmap& bitmap)
{
    // Blue, green, red into the store itself; without an alpha mode libwebp
    // leaves alpha out and each pixel keeps its colour.
    return DecodeStill(bitmap, bitmap.Pixels(), MODE_BGR, bitmap.Stride());
}

int PxDecoderWebP::DecodeStill(PxBitmap& bitmap, std::uint8_t* target, int mode, std::int64_t stride)
{
    WebPDecoderConfig config;
    if (WebPInitDecoderConfig(&config) == 0) {
        return Fail(PxLoadError::Unsupported);  // a library of another interface version
    }
    // Bottom row first.
    config.output.colorspace = static_cast<WEBP_CSP_MODE>(mode);
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = target;
    config.output.u.RGBA.stride = static_cast<int>(stride);
    config.output.u.RGBA.size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(bitmap.Height());
    config.options.flip = 1;
    config.options.use_threads = 1;
    const IncrementalDecoder decoder(WebPIDecode(nullptr, 0, &config));
    if (decoder == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    const std::size_t step = std::clamp(fileLength / kSteps, kMinStep, kMaxStep);
    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    std::size_t fed = 0;
    int rows = 0;  // finished rows, counted from the top
    while (status == VP8_STATUS_SUSPENDED && fed < fileLength) {
        fed = std::min(fileLength, fed + step);
        status = WebPIUpdate(decoder.get(), scratch.get(), fed);
        if (WebPIDecGetRGB(decoder.get(), &rows, nullptr, nullptr, nullptr) == nullptr) {
            rows = 0;
        }
        if (!PxLoadGoesOn(control, rows, bitmap.Height())) {
            return 1;
        }
    }
    // A file that ended or broke off keeps the rows libwebp finished.
    return status == VP8_STATUS_OK || rows > 0 ? 0 : Fail(ReasonOf(status));
}

int PxDecoderWebP::DecodeFirstFrame(PxBitmap& bitmap)
{
    WebPAnimDecoderOptions options;
    if (WebPAnimDecoderOptionsInit(&options) == 0) {
        return Fail(PxLoadError::Unsupported);  // a library of another interface version
    }
    // Not premultiplied: each pixel keeps its colour, as for stills.
    options.color_mode = MODE_BGRA;
    options.use_threads = 1;
    const WebPData data{scratch.get(), fileLength};
    const AnimationDecoder decoder(WebPAnimDecoderNew(&data, &options));
    if (decoder == nullptr) {
        return Fail(PxLoadError::Damaged);
    }
    WebPAnimInfo info;
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (WebPAnimDecoderGetInfo(decoder.get(), &info) == 0 ||
        static_cast<std::int64_t>(info.canvas_width) != bitmap.Width() ||
        static_cast<std::int64_t>(info.canvas_height) != bitmap.Height() ||
        WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) == 0 || canvas == nullptr) {
        return Fail(PxLoadError::Damaged);
    }
    // The canvas is top row first, four bytes a pixel: blue, green, red, alpha.
    // The canvas of an animation is clear where its first frame leaves it.
    bitmap.CreateAlphaPlane();
    const std::int64_t width = bitmap.Width();
    const std::int64_t height = bitmap.Height();
    for (std::int64_t y = 0; y < height; ++y) {
        if (!PxLoadGoesOn(control, kFrameComposed * height + (1000 - kFrameComposed) * y, 1000 * height)) {
            return 1;
        }
        PxCopyBgrxRow(canvas + y * width * 4, PxStoreRow(bitmap, height - 1 - y), width);
        if (std::uint8_t* alpha = bitmap.HasAlpha() ? bitmap.Alpha() + (height - 1 - y) * width : nullptr) {
            for (std::int64_t x = 0; x < width; ++x) {
                alpha[x] = canvas[(y * width + x) * 4 + 3];
            }
        }
    }
    return 0;
}

}  // namespace brelvix
