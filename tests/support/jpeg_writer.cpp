#include "support/jpeg_writer.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "imaging/jump_guard.h"

namespace brelvix {

namespace {

struct ErrorJump {
    jpeg_error_mgr pub;
    PxJumpTarget jump;
};

[[noreturn]] void JumpOut(j_common_ptr common)
{
    (*common->err->output_message)(common);
    PxJumpOut(reinterpret_cast<ErrorJump*>(common->err)->jump);
}

// The reference decode is for comparing pixels; the warnings of damaged
// files belong to the decoder under test.
void Quiet(j_common_ptr /*common*/, int /*level*/) {}

int ComponentsOf(const JpegWriterOptions& options)
{
    switch (options.space) {
        case JpegSpace::kGray:
            return 1;
        case JpegSpace::kCmyk:
        case JpegSpace::kYcck:
            return 4;
        case JpegSpace::kOther:
            return options.otherComponents;
        default:
            return 3;
    }
}

// One scan per component, coefficient and successive-approximation step.
// The first step of a coefficient sends its top bits, each later one a
// single bit more; every DC scan comes before the first AC scan.
std::vector<jpeg_scan_info> CoefficientScans(int components, int steps)
{
    std::vector<jpeg_scan_info> scans;
    for (int k = 0; k < DCTSIZE2; ++k) {
        for (int c = 0; c < components; ++c) {
            scans.push_back(jpeg_scan_info{1, {c, 0, 0, 0}, k, k, 0, steps - 1});
            for (int low = steps - 2; low >= 0; --low) {
                scans.push_back(jpeg_scan_info{1, {c, 0, 0, 0}, k, k, low + 1, low});
            }
        }
    }
    return scans;
}

// Every libjpeg call, with no destructors in between. `script`, when not
// empty, replaces the progression.
void Compress(jpeg_compress_struct* compressor, int width, int height, const std::uint8_t* samples,
              const JpegWriterOptions& options, std::vector<jpeg_scan_info>& script, unsigned char** buffer,
              unsigned long* size)
{
    jpeg_create_compress(compressor);
    jpeg_mem_dest(compressor, buffer, size);
    const int components = ComponentsOf(options);
    compressor->image_width = static_cast<JDIMENSION>(width);
    compressor->image_height = static_cast<JDIMENSION>(height);
    compressor->input_components = components;
    switch (options.space) {
        case JpegSpace::kGray:
            compressor->in_color_space = JCS_GRAYSCALE;
            break;
        case JpegSpace::kCmyk:
        case JpegSpace::kYcck:
            compressor->in_color_space = JCS_CMYK;
            break;
        case JpegSpace::kOther:
            compressor->in_color_space = JCS_UNKNOWN;
            break;
        default:
            compressor->in_color_space = JCS_RGB;
            break;
    }
    jpeg_set_defaults(compressor);
    switch (options.space) {
        case JpegSpace::kRgb:
            jpeg_set_colorspace(compressor, JCS_RGB);
            break;
        case JpegSpace::kCmyk:
            jpeg_set_colorspace(compressor, JCS_CMYK);
            compressor->write_Adobe_marker = options.adobeMarker ? TRUE : FALSE;
            break;
        case JpegSpace::kYcck:
            jpeg_set_colorspace(compressor, JCS_YCCK);
            break;
        default:
            break;
    }
    jpeg_set_quality(compressor, options.quality, TRUE);
    if (options.space == JpegSpace::kYCbCr && !options.subsample) {
        compressor->comp_info[0].h_samp_factor = 1;
        compressor->comp_info[0].v_samp_factor = 1;
    }
    if (options.progressive && !script.empty()) {
        compressor->scan_info = script.data();
        compressor->num_scans = static_cast<int>(script.size());
    } else if (options.progressive) {
        jpeg_simple_progression(compressor);
    } else if (components > MAX_COMPS_IN_SCAN) {
        // One scan holds at most four components: one scan per component.
        static jpeg_scan_info scans[MAX_COMPONENTS];
        for (int i = 0; i < components; ++i) {
            scans[i] = jpeg_scan_info{1, {i, 0, 0, 0}, 0, 63, 0, 0};
        }
        compressor->scan_info = scans;
        compressor->num_scans = components;
    }
    compressor->arith_code = options.arithmetic ? TRUE : FALSE;
    jpeg_start_compress(compressor, TRUE);
    if (!options.iccProfile.empty()) {
        jpeg_write_icc_profile(compressor, options.iccProfile.data(),
                               static_cast<unsigned int>(options.iccProfile.size()));
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(components);
    while (compressor->next_scanline < compressor->image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples + compressor->next_scanline * rowBytes);
        jpeg_write_scanlines(compressor, &row, 1);
    }
    jpeg_finish_compress(compressor);
}

// False for a file of other than one or three components.
bool Decompress(jpeg_decompress_struct* decompressor, const std::vector<std::uint8_t>& file, int* width, int* height,
                std::vector<std::uint8_t>* rgb)
{
    jpeg_create_decompress(decompressor);
    jpeg_mem_src(decompressor, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(decompressor, TRUE);
    if (decompressor->num_components != 1 && decompressor->num_components != 3) {
        return false;
    }
    decompressor->do_fancy_upsampling = FALSE;
    decompressor->dct_method = JDCT_FLOAT;
    decompressor->out_color_space = JCS_RGB;
    jpeg_start_decompress(decompressor);
    *width = static_cast<int>(decompressor->output_width);
    *height = static_cast<int>(decompressor->output_height);
    rgb->assign(static_cast<std::size_t>(*width) * static_cast<std::size_t>(*height) * 3, 0);
    while (decompressor->output_scanline < decompressor->output_height) {
        JSAMPROW row = rgb->data() + static_cast<std::size_t>(decompressor->output_scanline) * *width * 3;
        jpeg_read_scanlines(decompressor, &row, 1);
    }
    jpeg_finish_decompress(decompressor);
    return true;
}

}  // namespace

std::vector<std::uint8_t> EncodeJpeg(int width, int height, const std::vector<std::uint8_t>& samples,
                                     const JpegWriterOptions& options)
{
    const std::size_t needed = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                               static_cast<std::size_t>(ComponentsOf(options));
    if (width <= 0 || height <= 0 || samples.size() < needed) {
        return {};
    }
    jpeg_compress_struct compressor{};
    ErrorJump errors{};
    compressor.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JumpOut;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<jpeg_scan_info> scans;
    if (options.progressive && options.stepsPerCoefficient > 0) {
        scans = CoefficientScans(ComponentsOf(options), options.stepsPerCoefficient);
    }
    std::vector<std::uint8_t> file;
    if (PxGuarded(errors.jump,
                  [&] { Compress(&compressor, width, height, samples.data(), options, scans, &buffer, &size); })) {
        file.assign(buffer, buffer + size);
    }
    jpeg_destroy_compress(&compressor);
    std::free(buffer);
    return file;
}

bool DecodeJpegReference(const std::vector<std::uint8_t>& file, int* width, int* height, std::vector<std::uint8_t>* rgb)
{
    jpeg_decompress_struct decompressor{};
    ErrorJump errors{};
    decompressor.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JumpOut;
    errors.pub.emit_message = Quiet;
    bool supported = false;
    const bool done =
        PxGuarded(errors.jump, [&] { supported = Decompress(&decompressor, file, width, height, rgb); }) && supported;
    jpeg_destroy_decompress(&decompressor);
    return done;
}

}  // namespace brelvix
