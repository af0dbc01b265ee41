/* The reference side of bench/newer_vs_libs.sh: each newer format's library
 * used directly, with its simplest call that decodes a file in memory into a
 * buffer of pixels, the way a program that only wants pixels would use it.
 *
 *   ref_newer make-webp|make-avif|make-heif|make-jxl OUT WIDTH HEIGHT
 *       the synthetic photo, encoded as its library writes a photograph by
 *       default (lossy, 8 bits, 4:2:0 where the format subsamples)
 *   ref_newer webp|avif|heif|jxl FILE [RUNS]
 *       WebPDecodeBGRInto; avifDecoderReadMemory and avifImageYUVToRGB to
 *       BGR; heif_decode_image to interleaved RGB; libjxl to RGB with its
 *       thread pool. libavif and libjxl get as many threads as the viewer
 *       gives them, so that the comparison is of the work, not the threads.
 *
 * The timing modes print "op=NAME median_ms=M min_ms=N megapixels_per_s=P",
 * the same line pxbench prints. Each run reads the file, allocates the
 * picture and frees it again.
 */
#include <avif/avif.h>
#include <jxl/decode.h>
#include <jxl/encode.h>
#include <jxl/thread_parallel_runner.h>
#include <libheif/heif.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include "ref_common.h"

static int WriteAll(const char* path, const unsigned char* data, size_t size)
{
    FILE* out = fopen(path, "wb");
    if (out == NULL) {
        return 1;
    }
    const size_t written = fwrite(data, 1, size, out);
    return fclose(out) == 0 && written == size ? 0 : 1;
}

/* The viewer's AV1 decoder threads: the cores, at most 8. */
static int Cores(void)
{
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return cores < 1 ? 1 : cores > 8 ? 8 : (int)cores;
}

static int MakeWebp(const char* path, const unsigned char* rgb, int width, int height)
{
    uint8_t* output = NULL;
    const size_t size = WebPEncodeRGB(rgb, width, height, width * 3, 90.0F, &output);
    const int result = size > 0 ? WriteAll(path, output, size) : 1;
    WebPFree(output);
    return result;
}

static int MakeAvif(const char* path, const unsigned char* rgb, int width, int height)
{
    avifImage* image = avifImageCreate((uint32_t)width, (uint32_t)height, 8, AVIF_PIXEL_FORMAT_YUV420);
    avifRGBImage source;
    avifRGBImageSetDefaults(&source, image);
    source.format = AVIF_RGB_FORMAT_RGB;
    source.pixels = (uint8_t*)rgb;
    source.rowBytes = (uint32_t)width * 3;
    avifEncoder* encoder = avifEncoderCreate();
    encoder->speed = 8;
    encoder->maxThreads = Cores();
    encoder->minQuantizer = 18;
    encoder->maxQuantizer = 18;
    avifRWData output = AVIF_DATA_EMPTY;
    int result = 1;
    if (avifImageRGBToYUV(image, &source) == AVIF_RESULT_OK &&
        avifEncoderWrite(encoder, image, &output) == AVIF_RESULT_OK) {
        result = WriteAll(path, output.data, output.size);
    }
    avifRWDataFree(&output);
    avifEncoderDestroy(encoder);
    avifImageDestroy(image);
    return result;
}

static struct heif_error WriteHeif(struct heif_context* context, const void* data, size_t size, void* path)
{
    (void)context;
    struct heif_error error = {WriteAll(path, data, size) == 0 ? heif_error_Ok : heif_error_Encoding_error,
                               heif_suberror_Unspecified, ""};
    return error;
}

static int MakeHeif(const char* path, const unsigned char* rgb, int width, int height)
{
    struct heif_context* context = heif_context_alloc();
    struct heif_encoder* encoder = NULL;
    struct heif_image* image = NULL;
    int result = 1;
    if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code == heif_error_Ok &&
        heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code ==
            heif_error_Ok &&
        heif_image_add_plane(image, heif_channel_interleaved, width, height, 8).code == heif_error_Ok) {
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < height; ++y) {
            memcpy(plane + (size_t)y * (size_t)stride, rgb + (size_t)y * (size_t)width * 3, (size_t)width * 3);
        }
        heif_encoder_set_lossy_quality(encoder, 80);
        heif_encoder_set_logging_level(encoder, 0);
        struct heif_writer writer = {1, WriteHeif};
        if (heif_context_encode_image(context, image, encoder, NULL, NULL).code == heif_error_Ok &&
            heif_context_write(context, &writer, (void*)path).code == heif_error_Ok) {
            result = 0;
        }
    }
    if (image != NULL) {
        heif_image_release(image);
    }
    if (encoder != NULL) {
        heif_encoder_release(encoder);
    }
    heif_context_free(context);
    return result;
}

static int MakeJxl(const char* path, const unsigned char* rgb, int width, int height)
{
    JxlEncoder* encoder = JxlEncoderCreate(NULL);
    void* runner = JxlThreadParallelRunnerCreate(NULL, JxlThreadParallelRunnerDefaultNumWorkerThreads());
    JxlEncoderSetParallelRunner(encoder, JxlThreadParallelRunner, runner);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = (uint32_t)width;
    info.ysize = (uint32_t)height;
    info.bits_per_sample = 8;
    info.uses_original_profile = JXL_FALSE;
    JxlColorEncoding color;
    JxlColorEncodingSetToSRGB(&color, JXL_FALSE);
    const JxlPixelFormat format = {3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    JxlEncoderFrameSettings* settings = NULL;
    int result = 1;
    if (JxlEncoderSetBasicInfo(encoder, &info) == JXL_ENC_SUCCESS &&
        JxlEncoderSetColorEncoding(encoder, &color) == JXL_ENC_SUCCESS &&
        (settings = JxlEncoderFrameSettingsCreate(encoder, NULL)) != NULL &&
        JxlEncoderAddImageFrame(settings, &format, rgb, (size_t)width * (size_t)height * 3) == JXL_ENC_SUCCESS) {
        JxlEncoderCloseInput(encoder);
        size_t capacity = (size_t)width * (size_t)height * 3 + 65536;
        unsigned char* output = malloc(capacity);
        uint8_t* next = output;
        size_t left = capacity;
        if (output != NULL && JxlEncoderProcessOutput(encoder, &next, &left) == JXL_ENC_SUCCESS) {
            result = WriteAll(path, output, (size_t)(next - output));
        }
        free(output);
    }
    JxlThreadParallelRunnerDestroy(runner);
    JxlEncoderDestroy(encoder);
    return result;
}

/* One decode of each; returns the megapixels or a negative number on failure. */
static double DecodeWebp(const char* path)
{
    size_t size = 0;
    unsigned char* file = ReadWholeFile(path, &size);
    int width = 0;
    int height = 0;
    if (file == NULL || !WebPGetInfo(file, size, &width, &height)) {
        free(file);
        return -1;
    }
    const size_t stride = ((size_t)width * 3 + 3) & ~(size_t)3;
    unsigned char* pixels = malloc(stride * (size_t)height);
    const int decoded =
        pixels != NULL && WebPDecodeBGRInto(file, size, pixels, stride * (size_t)height, (int)stride) != NULL;
    free(pixels);
    free(file);
    return decoded ? (double)width * height / 1e6 : -1;
}

static double DecodeAvif(const char* path)
{
    size_t size = 0;
    unsigned char* file = ReadWholeFile(path, &size);
    avifDecoder* decoder = avifDecoderCreate();
    avifImage* image = avifImageCreateEmpty();
    double megapixels = -1;
    decoder->maxThreads = Cores();
    if (file != NULL && avifDecoderReadMemory(decoder, image, file, size) == AVIF_RESULT_OK) {
        avifRGBImage rgb;
        avifRGBImageSetDefaults(&rgb, image);
        rgb.format = AVIF_RGB_FORMAT_BGR;
        avifRGBImageAllocatePixels(&rgb);
        if (avifImageYUVToRGB(image, &rgb) == AVIF_RESULT_OK) {
            megapixels = (double)image->width * image->height / 1e6;
        }
        avifRGBImageFreePixels(&rgb);
    }
    avifImageDestroy(image);
    avifDecoderDestroy(decoder);
    free(file);
    return megapixels;
}

static double DecodeHeif(const char* path)
{
    size_t size = 0;
    unsigned char* file = ReadWholeFile(path, &size);
    struct heif_context* context = heif_context_alloc();
    struct heif_image_handle* handle = NULL;
    struct heif_image* image = NULL;
    double megapixels = -1;
    if (file != NULL && heif_context_read_from_memory_without_copy(context, file, size, NULL).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, NULL).code ==
            heif_error_Ok) {
        megapixels = (double)heif_image_get_width(image, heif_channel_interleaved) *
                     heif_image_get_height(image, heif_channel_interleaved) / 1e6;
        heif_image_release(image);
    }
    if (handle != NULL) {
        heif_image_handle_release(handle);
    }
    heif_context_free(context);
    free(file);
    return megapixels;
}

static double DecodeJxl(const char* path)
{
    size_t size = 0;
    unsigned char* file = ReadWholeFile(path, &size);
    JxlDecoder* decoder = JxlDecoderCreate(NULL);
    void* runner = JxlThreadParallelRunnerCreate(NULL, JxlThreadParallelRunnerDefaultNumWorkerThreads());
    const JxlPixelFormat format = {3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    unsigned char* pixels = NULL;
    double megapixels = -1;
    JxlDecoderSetParallelRunner(decoder, JxlThreadParallelRunner, runner);
    JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE);
    JxlDecoderSetInput(decoder, file, size);
    JxlDecoderCloseInput(decoder);
    for (int running = file != NULL; running;) {
        JxlBasicInfo info;
        size_t bytes = 0;
        switch (JxlDecoderProcessInput(decoder)) {
            case JXL_DEC_BASIC_INFO:
                JxlDecoderGetBasicInfo(decoder, &info);
                megapixels = (double)info.xsize * info.ysize / 1e6;
                break;
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                JxlDecoderImageOutBufferSize(decoder, &format, &bytes);
                pixels = malloc(bytes);
                if (pixels == NULL || JxlDecoderSetImageOutBuffer(decoder, &format, pixels, bytes) != JXL_DEC_SUCCESS) {
                    megapixels = -1;
                    running = 0;
                }
                break;
            case JXL_DEC_FULL_IMAGE:
                running = 0;
                break;
            default:
                megapixels = -1;
                running = 0;
                break;
        }
    }
    free(pixels);
    JxlThreadParallelRunnerDestroy(runner);
    JxlDecoderDestroy(decoder);
    free(file);
    return megapixels;
}

int main(int argc, char** argv)
{
    static const struct {
        const char* name;
        int (*make)(const char*, const unsigned char*, int, int);
        double (*decode)(const char*);
        const char* op;
    } formats[] = {
        {"webp", MakeWebp, DecodeWebp, "ref-webp"},
        {"avif", MakeAvif, DecodeAvif, "ref-avif"},
        {"heif", MakeHeif, DecodeHeif, "ref-heif"},
        {"jxl", MakeJxl, DecodeJxl, "ref-jxl"},
    };
    for (size_t i = 0; argc >= 3 && i < sizeof formats / sizeof formats[0]; ++i) {
        if (argc >= 5 && strncmp(argv[1], "make-", 5) == 0 && strcmp(argv[1] + 5, formats[i].name) == 0) {
            const int width = atoi(argv[3]);
            const int height = atoi(argv[4]);
            unsigned char* rgb = SyntheticPhoto(width, height);
            const int result = rgb != NULL ? formats[i].make(argv[2], rgb, width, height) : 1;
            free(rgb);
            return result;
        }
        if (strcmp(argv[1], formats[i].name) == 0) {
            const int runs = argc >= 4 && atoi(argv[3]) > 0 ? atoi(argv[3]) : 5;
            return TimeDecode(formats[i].op, formats[i].decode, argv[2], runs);
        }
    }
    fprintf(stderr,
            "usage: ref_newer make-webp|make-avif|make-heif|make-jxl OUT WIDTH HEIGHT\n"
            "       ref_newer webp|avif|heif|jxl FILE [RUNS]\n");
    return 2;
}
