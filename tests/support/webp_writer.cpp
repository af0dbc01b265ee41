#include "support/webp_writer.h"

#include <webp/decode.h>
#include <webp/encode.h>
#include <webp/mux.h>

namespace brelvix {

namespace {

// The picture's bytes as libwebp imports them: RGB or RGBA, top-down.
std::vector<std::uint8_t> Bytes(const RawPicture& picture)
{
    return std::vector<std::uint8_t>(picture.samples.begin(), picture.samples.end());
}

bool Import(const RawPicture& picture, WebPPicture* target)
{
    if (WebPPictureInit(target) == 0) {
        return false;
    }
    target->width = picture.width;
    target->height = picture.height;
    target->use_argb = 1;
    const std::vector<std::uint8_t> bytes = Bytes(picture);
    const int stride = picture.width * picture.channels;
    return picture.channels == 4 ? WebPPictureImportRGBA(target, bytes.data(), stride) != 0
                                 : WebPPictureImportRGB(target, bytes.data(), stride) != 0;
}

bool Configure(WebPConfig* config, bool lossless, int quality)
{
    if (WebPConfigInit(config) == 0) {
        return false;
    }
    config->lossless = lossless ? 1 : 0;
    config->quality = static_cast<float>(quality);
    config->exact = 1;
    return WebPValidateConfig(config) != 0;
}

std::vector<std::uint8_t> WithChunk(const std::vector<std::uint8_t>& file, const char* name,
                                    const std::vector<std::uint8_t>& exif)
{
    const WebPData input{file.data(), file.size()};
    WebPMux* mux = WebPMuxCreate(&input, 1);
    if (mux == nullptr) {
        return {};
    }
    const WebPData chunk{exif.data(), exif.size()};
    WebPData output{nullptr, 0};
    std::vector<std::uint8_t> result;
    if (WebPMuxSetChunk(mux, name, &chunk, 1) == WEBP_MUX_OK && WebPMuxAssemble(mux, &output) == WEBP_MUX_OK) {
        result.assign(output.bytes, output.bytes + output.size);
    }
    WebPDataClear(&output);
    WebPMuxDelete(mux);
    return result;
}

}  // namespace

std::vector<std::uint8_t> EncodeWebp(const RawPicture& picture, const WebpWriterOptions& options)
{
    WebPConfig config;
    WebPPicture target;
    if (!Configure(&config, options.lossless, options.quality) || !Import(picture, &target)) {
        return {};
    }
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    target.writer = WebPMemoryWrite;
    target.custom_ptr = &writer;
    std::vector<std::uint8_t> file;
    if (WebPEncode(&config, &target) != 0) {
        file.assign(writer.mem, writer.mem + writer.size);
    }
    WebPMemoryWriterClear(&writer);
    WebPPictureFree(&target);
    if (!file.empty() && !options.iccProfile.empty()) {
        file = WithChunk(file, "ICCP", options.iccProfile);
    }
    if (!file.empty() && !options.exif.empty()) {
        return WithChunk(file, "EXIF", options.exif);
    }
    return file;
}

std::vector<std::uint8_t> EncodeWebpAnimation(const std::vector<RawPicture>& frames, bool lossless,
                                              const std::vector<int>& durationsMs, int loops)
{
    if (frames.empty()) {
        return {};
    }
    WebPAnimEncoderOptions animationOptions;
    WebPConfig config;
    if (WebPAnimEncoderOptionsInit(&animationOptions) == 0 || !Configure(&config, lossless, 90)) {
        return {};
    }
    animationOptions.anim_params.loop_count = loops;
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(frames[0].width, frames[0].height, &animationOptions);
    if (encoder == nullptr) {
        return {};
    }
    bool added = true;
    int timestamp = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        WebPPicture target;
        added = added && Import(frames[i], &target) && WebPAnimEncoderAdd(encoder, &target, timestamp, &config) != 0;
        WebPPictureFree(&target);
        timestamp += i < durationsMs.size() ? durationsMs[i] : 100;
    }
    WebPData output{nullptr, 0};
    std::vector<std::uint8_t> file;
    if (added && WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr) != 0 &&
        WebPAnimEncoderAssemble(encoder, &output) != 0) {
        file.assign(output.bytes, output.bytes + output.size);
    }
    WebPDataClear(&output);
    WebPAnimEncoderDelete(encoder);
    return file;
}

bool DecodeWebpReference(const std::vector<std::uint8_t>& file, int* width, int* height, std::vector<std::uint8_t>* rgb)
{
    std::uint8_t* pixels = WebPDecodeRGB(file.data(), file.size(), width, height);
    if (pixels == nullptr) {
        return false;
    }
    rgb->assign(pixels, pixels + static_cast<std::size_t>(*width) * *height * 3);
    WebPFree(pixels);
    return true;
}

}  // namespace brelvix
