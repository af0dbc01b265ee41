/* The reference side of bench/decode_vs_libs.sh: the codec libraries used
 * directly, the way a program that only wants pixels would use them.
 *
 *   ref_decode make-jpeg OUT WIDTH HEIGHT   synthetic photo, baseline 4:2:0, quality 90
 *   ref_decode make-png OUT WIDTH HEIGHT    the same picture as 8-bit RGB PNG
 *   ref_decode jpeg FILE [RUNS]             libjpeg: float IDCT, simple upsampling,
 *                                           JCS_EXT_BGR into a fresh 24-bit buffer
 *   ref_decode png FILE [RUNS]              libpng simplified API to BGR
 *
 * The timing modes print "op=NAME median_ms=M min_ms=N megapixels_per_s=P",
 * the same line pxbench prints, so the script can divide one by the other.
 * Each run reads the file, allocates the picture and frees it again.
 */
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <jpeglib.h>
#include <png.h>

#include "ref_common.h"

static int MakeJpeg(const char* path, int width, int height)
{
    unsigned char* rgb = SyntheticPhoto(width, height);
    FILE* out = fopen(path, "wb");
    if (rgb == NULL || out == NULL) {
        return 1;
    }
    struct jpeg_compress_struct compressor;
    struct jpeg_error_mgr errors;
    compressor.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compressor);
    jpeg_stdio_dest(&compressor, out);
    compressor.image_width = (JDIMENSION)width;
    compressor.image_height = (JDIMENSION)height;
    compressor.input_components = 3;
    compressor.in_color_space = JCS_RGB;
    jpeg_set_defaults(&compressor); /* 4:2:0 chroma */
    jpeg_set_quality(&compressor, 90, TRUE);
    jpeg_start_compress(&compressor, TRUE);
    while (compressor.next_scanline < compressor.image_height) {
        JSAMPROW row = rgb + (size_t)compressor.next_scanline * (size_t)width * 3;
        jpeg_write_scanlines(&compressor, &row, 1);
    }
    jpeg_finish_compress(&compressor);
    jpeg_destroy_compress(&compressor);
    free(rgb);
    return fclose(out) == 0 ? 0 : 1;
}

static int MakePng(const char* path, int width, int height)
{
    unsigned char* rgb = SyntheticPhoto(width, height);
    if (rgb == NULL) {
        return 1;
    }
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = (png_uint_32)width;
    image.height = (png_uint_32)height;
    image.format = PNG_FORMAT_RGB;
    const int written = png_image_write_to_file(&image, path, 0, rgb, 0, NULL);
    free(rgb);
    return written ? 0 : 1;
}

/* One decode; returns the megapixels or a negative number on failure. */
static double DecodeJpeg(const char* path)
{
    size_t size = 0;
    unsigned char* file = ReadWholeFile(path, &size);
    if (file == NULL) {
        return -1;
    }
    struct jpeg_decompress_struct decompressor;
    struct jpeg_error_mgr errors;
    decompressor.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&decompressor);
    jpeg_mem_src(&decompressor, file, (unsigned long)size);
    jpeg_read_header(&decompressor, TRUE);
    decompressor.do_fancy_upsampling = FALSE;
    decompressor.dct_method = JDCT_FLOAT;
    decompressor.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&decompressor);
    const size_t stride = ((size_t)decompressor.output_width * 3 + 3) & ~(size_t)3;
    const size_t height = decompressor.output_height;
    unsigned char* pixels = malloc(stride * height);
    if (pixels == NULL) {
        return -1;
    }
    /* Bottom-up like the viewer's store. */
    while (decompressor.output_scanline < decompressor.output_height) {
        JSAMPROW row = pixels + (height - 1 - decompressor.output_scanline) * stride;
        jpeg_read_scanlines(&decompressor, &row, 1);
    }
    jpeg_finish_decompress(&decompressor);
    const double megapixels = (double)decompressor.output_width * (double)height / 1e6;
    jpeg_destroy_decompress(&decompressor);
    free(pixels);
    free(file);
    return megapixels;
}

static double DecodePng(const char* path)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) {
        return -1;
    }
    image.format = PNG_FORMAT_BGR;
    const size_t stride = ((size_t)image.width * 3 + 3) & ~(size_t)3;
    unsigned char* pixels = malloc(stride * image.height);
    if (pixels == NULL) {
        png_image_free(&image);
        return -1;
    }
    /* A negative stride: bottom-up like the viewer's store. */
    if (!png_image_finish_read(&image, NULL, pixels, -(png_int_32)stride, NULL)) {
        free(pixels);
        return -1;
    }
    free(pixels);
    return (double)image.width * (double)image.height / 1e6;
}

int main(int argc, char** argv)
{
    if (argc >= 5 && strcmp(argv[1], "make-jpeg") == 0) {
        return MakeJpeg(argv[2], atoi(argv[3]), atoi(argv[4]));
    }
    if (argc >= 5 && strcmp(argv[1], "make-png") == 0) {
        return MakePng(argv[2], atoi(argv[3]), atoi(argv[4]));
    }
    const int runs = argc >= 4 && atoi(argv[3]) > 0 ? atoi(argv[3]) : 5;
    if (argc >= 3 && strcmp(argv[1], "jpeg") == 0) {
        return TimeDecode("ref-jpeg", DecodeJpeg, argv[2], runs);
    }
    if (argc >= 3 && strcmp(argv[1], "png") == 0) {
        return TimeDecode("ref-png", DecodePng, argv[2], runs);
    }
    fprintf(stderr,
            "usage: ref_decode make-jpeg|make-png OUT WIDTH HEIGHT\n"
            "       ref_decode jpeg|png FILE [RUNS]\n");
    return 2;
}
