#include "support/jxl_writer.h"

#include <jxl/decode.h>
#include <jxl/encode.h>

#include <cstring>

namespace brelvix {

std::vector<std::uint8_t> EncodeJxl(const std::vector<RawPicture>& frames, const JxlWriterOptions& options)
{
    if (frames.empty()) {
        return {};
    }
    const RawPicture& first = frames[0];
    JxlEncoder* encoder = JxlEncoderCreate(nullptr);
    if (encoder == nullptr) {
        return {};
    }
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = static_cast<std::uint32_t>(first.width);
    info.ysize = static_cast<std::uint32_t>(first.height);
    info.bits_per_sample = static_cast<std::uint32_t>(first.bitDepth);
    info.num_color_channels = 3;
    info.num_extra_channels = first.channels == 4 ? 1 : 0;
    info.alpha_bits = first.channels == 4 ? info.bits_per_sample : 0;
    info.orientation = static_cast<JxlOrientation>(options.orientation);
    info.uses_original_profile = options.lossless ? JXL_TRUE : JXL_FALSE;
    if (frames.size() > 1) {
        info.have_animation = JXL_TRUE;
        info.animation.tps_numerator = 10;
        info.animation.tps_denominator = 1;
    }
    JxlColorEncoding color;
    JxlColorEncodingSetToSRGB(&color, JXL_FALSE);
    if (options.displayP3) {
        color.primaries = JXL_PRIMARIES_P3;
    }
    std::vector<std::uint8_t> file;
    bool ok = JxlEncoderUseContainer(encoder, options.container ? JXL_TRUE : JXL_FALSE) == JXL_ENC_SUCCESS &&
              JxlEncoderSetBasicInfo(encoder, &info) == JXL_ENC_SUCCESS &&
              (options.iccProfile.empty() ? JxlEncoderSetColorEncoding(encoder, &color)
                                          : JxlEncoderSetICCProfile(encoder, options.iccProfile.data(),
                                                                    options.iccProfile.size())) == JXL_ENC_SUCCESS;
    JxlEncoderFrameSettings* settings = ok ? JxlEncoderFrameSettingsCreate(encoder, nullptr) : nullptr;
    ok = settings != nullptr &&
         JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, 3) == JXL_ENC_SUCCESS;
    ok = ok && (options.lossless ? JxlEncoderSetFrameLossless(settings, JXL_TRUE)
                                 : JxlEncoderSetFrameDistance(settings, options.distance)) == JXL_ENC_SUCCESS;
    const bool wide = first.bitDepth > 8;
    const JxlPixelFormat format{static_cast<std::uint32_t>(first.channels), wide ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8,
                                JXL_NATIVE_ENDIAN, 0};
    for (const RawPicture& frame : frames) {
        if (!ok) {
            break;
        }
        if (info.have_animation) {
            JxlFrameHeader header;
            JxlEncoderInitFrameHeader(&header);
            header.duration = 1;
            ok = JxlEncoderSetFrameHeader(settings, &header) == JXL_ENC_SUCCESS;
        }
        // 16-bit samples span the full 16-bit range whatever the file's depth.
        std::vector<std::uint8_t> bytes;
        for (const std::uint16_t value : frame.samples) {
            if (wide) {
                const auto full = static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) * 65535 /
                                                             ((1U << frame.bitDepth) - 1));
                bytes.insert(bytes.end(), {0, 0});
                std::memcpy(bytes.data() + bytes.size() - 2, &full, 2);
            } else {
                bytes.push_back(static_cast<std::uint8_t>(value));
            }
        }
        ok = ok && JxlEncoderAddImageFrame(settings, &format, bytes.data(), bytes.size()) == JXL_ENC_SUCCESS;
    }
    if (ok) {
        JxlEncoderCloseInput(encoder);
        std::vector<std::uint8_t> buffer(64 * 1024);
        JxlEncoderStatus status = JXL_ENC_NEED_MORE_OUTPUT;
        while (status == JXL_ENC_NEED_MORE_OUTPUT) {
            std::uint8_t* next = buffer.data();
            std::size_t left = buffer.size();
            status = JxlEncoderProcessOutput(encoder, &next, &left);
            file.insert(file.end(), buffer.data(), next);
        }
        if (status != JXL_ENC_SUCCESS) {
            file.clear();
        }
    }
    JxlEncoderDestroy(encoder);
    return file;
}

bool DecodeJxlReference(const std::vector<std::uint8_t>& file, int* width, int* height, std::vector<std::uint8_t>* rgb)
{
    JxlDecoder* decoder = JxlDecoderCreate(nullptr);
    if (decoder == nullptr) {
        return false;
    }
    bool decoded = false;
    bool wide = false;
    std::vector<std::uint8_t> pixels;
    JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE);
    JxlDecoderSetKeepOrientation(decoder, JXL_TRUE);
    JxlDecoderSetInput(decoder, file.data(), file.size());
    JxlDecoderCloseInput(decoder);
    JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    for (bool running = true; running;) {
        switch (JxlDecoderProcessInput(decoder)) {
            case JXL_DEC_BASIC_INFO: {
                JxlBasicInfo info;
                JxlDecoderGetBasicInfo(decoder, &info);
                *width = static_cast<int>(info.xsize);
                *height = static_cast<int>(info.ysize);
                wide = info.bits_per_sample > 8;
                format.data_type = wide ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8;
                break;
            }
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                std::size_t size = 0;
                JxlDecoderImageOutBufferSize(decoder, &format, &size);
                pixels.assign(size, 0);
                JxlDecoderSetImageOutBuffer(decoder, &format, pixels.data(), pixels.size());
                break;
            }
            case JXL_DEC_FULL_IMAGE:
                decoded = true;
                running = false;
                break;
            default:
                running = false;
                break;
        }
    }
    JxlDecoderDestroy(decoder);
    if (!decoded) {
        return false;
    }
    rgb->clear();
    const std::size_t values = static_cast<std::size_t>(*width) * *height * 3;
    for (std::size_t i = 0; i < values; ++i) {
        if (wide) {
            std::uint16_t value = 0;
            std::memcpy(&value, pixels.data() + 2 * i, 2);
            rgb->push_back(static_cast<std::uint8_t>(value >> 8));
        } else {
            rgb->push_back(pixels[i]);
        }
    }
    return true;
}

bool DecodeJxlFramesReference(const std::vector<std::uint8_t>& file, std::vector<std::vector<std::uint8_t>>* frames)
{
    JxlDecoder* decoder = JxlDecoderCreate(nullptr);
    if (decoder == nullptr) {
        return false;
    }
    frames->clear();
    JxlDecoderSubscribeEvents(decoder, JXL_DEC_FULL_IMAGE);
    JxlDecoderSetKeepOrientation(decoder, JXL_TRUE);
    JxlDecoderSetInput(decoder, file.data(), file.size());
    JxlDecoderCloseInput(decoder);
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    std::vector<std::uint8_t> pixels;
    bool ended = false;
    for (bool running = true; running;) {
        switch (JxlDecoderProcessInput(decoder)) {
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                std::size_t size = 0;
                JxlDecoderImageOutBufferSize(decoder, &format, &size);
                pixels.assign(size, 0);
                JxlDecoderSetImageOutBuffer(decoder, &format, pixels.data(), pixels.size());
                break;
            }
            case JXL_DEC_FULL_IMAGE:
                frames->push_back(pixels);
                break;
            case JXL_DEC_SUCCESS:
                ended = true;
                running = false;
                break;
            default:
                running = false;
                break;
        }
    }
    JxlDecoderDestroy(decoder);
    return ended && !frames->empty();
}

}  // namespace brelvix
