/* The reference side of bench/tiff_vs_lib.sh: libtiff used directly, the
 * way a program that only wants pixels would use it.
 *
 *   ref_tiff make OUT WIDTH HEIGHT SAMPLES   synthetic photo, 8-bit RGB (SAMPLES 3)
 *                                            or RGBA with unassociated alpha (4),
 *                                            LZW with the horizontal predictor,
 *                                            strips of libtiff's default size
 *   ref_tiff rgba FILE [RUNS]                TIFFOpen + TIFFReadRGBAImage into a
 *                                            fresh raster, wall-clock time
 *   ref_tiff rgba-cpu FILE [RUNS]            the same, timed by this process's CPU
 *                                            time (as bench/cpu_decode does)
 *
 * The timing modes print "op=NAME median_ms=M min_ms=N megapixels_per_s=P",
 * the same line pxbench prints. Each run opens the file, allocates the
 * raster and frees it again.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <tiffio.h>

#include "ref_common.h"

/* The synthetic photo as an LZW TIFF, with an alpha ramp as fourth sample. */
static int Make(const char* path, int width, int height, int samples)
{
    if (width <= 0 || height <= 0 || (samples != 3 && samples != 4)) {
        return 2;
    }
    TIFF* tif = TIFFOpen(path, "w");
    unsigned char* row = malloc((size_t)width * (size_t)samples);
    if (tif == NULL || row == NULL) {
        return 1;
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, (uint32_t)width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, (uint32_t)height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, (uint16_t)samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (samples == 4) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    unsigned seed = 12345;
    int status = 0;
    for (int y = 0; y < height && status == 0; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* p = row + (size_t)x * (size_t)samples;
            SyntheticPixel(x, y, width, height, &seed, p);
            if (samples == 4) {
                p[3] = (unsigned char)(x * 255 / width);
            }
        }
        if (TIFFWriteScanline(tif, row, (uint32_t)y, 0) < 0) {
            status = 1;
        }
    }
    TIFFClose(tif);
    free(row);
    return status;
}

static int Time(const char* path, int runs)
{
    double* times = malloc((size_t)runs * sizeof *times);
    double megapixels = 0;
    if (times == NULL) {
        return 1;
    }
    for (int i = 0; i < runs; ++i) {
        const double start = NowMs();
        TIFF* tif = TIFFOpen(path, "r");
        if (tif == NULL) {
            fprintf(stderr, "ref_tiff: cannot open %s\n", path);
            free(times);
            return 1;
        }
        uint32_t width = 0;
        uint32_t height = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        uint32_t* raster = malloc((size_t)width * (size_t)height * 4);
        if (raster == NULL || !TIFFReadRGBAImage(tif, width, height, raster, 0)) {
            fprintf(stderr, "ref_tiff: cannot decode %s\n", path);
            free(raster);
            TIFFClose(tif);
            free(times);
            return 1;
        }
        free(raster);
        TIFFClose(tif);
        times[i] = NowMs() - start;
        megapixels = (double)width * (double)height / 1e6;
    }
    Report("ref-tiff", times, runs, megapixels);
    free(times);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc >= 6 && strcmp(argv[1], "make") == 0) {
        return Make(argv[2], atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
    }
    if (argc >= 3 && (strcmp(argv[1], "rgba") == 0 || strcmp(argv[1], "rgba-cpu") == 0)) {
        if (strcmp(argv[1], "rgba-cpu") == 0) {
            refTimer = CLOCK_PROCESS_CPUTIME_ID;
        }
        const int runs = argc >= 4 && atoi(argv[3]) > 0 ? atoi(argv[3]) : 5;
        return Time(argv[2], runs);
    }
    fprintf(stderr,
            "usage: ref_tiff make OUT WIDTH HEIGHT SAMPLES\n"
            "       ref_tiff rgba|rgba-cpu FILE [RUNS]\n");
    return 2;
}
