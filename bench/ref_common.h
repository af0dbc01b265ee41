/* Shared by the C reference programs of the benchmarks: the synthetic photo
 * they write, and timing with lines of the same form as pxbench's, so the
 * scripts read both alike. */
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

/* The clock the programs time with: the wall clock unless a program
 * switches to CPU time. */
static clockid_t refTimer = CLOCK_MONOTONIC;

static inline double NowMs(void)
{
    struct timespec t;
    clock_gettime(refTimer, &t);
    return (double)t.tv_sec * 1000.0 + (double)t.tv_nsec / 1e6;
}

static inline int CompareDoubles(const void* a, const void* b)
{
    const double x = *(const double*)a;
    const double y = *(const double*)b;
    return x < y ? -1 : x > y ? 1 : 0;
}

/* Prints "op=NAME median_ms=M min_ms=N megapixels_per_s=P"; sorts `times`. */
static inline void Report(const char* name, double* times, int runs, double megapixels)
{
    qsort(times, (size_t)runs, sizeof *times, CompareDoubles);
    const double median = runs % 2 ? times[runs / 2] : (times[runs / 2 - 1] + times[runs / 2]) / 2;
    printf("op=%s median_ms=%.3f min_ms=%.3f megapixels_per_s=%.2f\n", name, median, times[0],
           median > 0 ? megapixels / (median / 1000.0) : 0.0);
}

/* One pixel of a photo-like picture: smooth gradients with a fine texture and
 * a little noise, so that entropy coding and compression do realistic work.
 * Writes red, green, blue at `p`; `seed` carries the noise from pixel to
 * pixel, and pixels must be made in row order for the same picture. */
static inline void SyntheticPixel(int x, int y, int width, int height, unsigned* seed, unsigned char* p)
{
    *seed = *seed * 1103515245u + 12345u;
    const int noise = (int)((*seed >> 16) & 15) - 8;
    const int texture = ((x / 3 + y / 5) & 7) * 4;
    const int r = x * 200 / width + texture + noise + 20;
    const int g = y * 200 / height + noise + 20;
    const int b = ((x + y) * 150 / (width + height)) + texture + 40;
    p[0] = (unsigned char)(r < 0 ? 0 : r > 255 ? 255 : r);
    p[1] = (unsigned char)(g < 0 ? 0 : g > 255 ? 255 : g);
    p[2] = (unsigned char)(b < 0 ? 0 : b > 255 ? 255 : b);
}

/* The whole synthetic photo, top row first. */
static inline unsigned char* SyntheticPhoto(int width, int height)
{
    unsigned char* rgb = malloc((size_t)width * (size_t)height * 3);
    unsigned seed = 12345;
    if (rgb == NULL) {
        return NULL;
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* p = rgb + ((size_t)y * (size_t)width + (size_t)x) * 3;
            SyntheticPixel(x, y, width, height, &seed, p);
        }
    }
    return rgb;
}

/* The whole file in a fresh block (the caller frees it), or NULL. */
static inline unsigned char* ReadWholeFile(const char* path, size_t* size)
{
    FILE* in = fopen(path, "rb");
    if (in == NULL) {
        return NULL;
    }
    fseek(in, 0, SEEK_END);
    const long length = ftell(in);
    fseek(in, 0, SEEK_SET);
    unsigned char* data = length > 0 ? malloc((size_t)length) : NULL;
    if (data != NULL && fread(data, 1, (size_t)length, in) != (size_t)length) {
        free(data);
        data = NULL;
    }
    fclose(in);
    *size = (size_t)length;
    return data;
}

/* Times RUNS calls of `decode` on `path` and prints the line; 1 on failure. */
static inline int TimeDecode(const char* name, double (*decode)(const char*), const char* path, int runs)
{
    double* times = malloc((size_t)runs * sizeof *times);
    double megapixels = 0;
    if (times == NULL) {
        return 1;
    }
    for (int i = 0; i < runs; ++i) {
        const double start = NowMs();
        megapixels = decode(path);
        times[i] = NowMs() - start;
        if (megapixels < 0) {
            fprintf(stderr, "cannot decode %s\n", path);
            free(times);
            return 1;
        }
    }
    Report(name, times, runs, megapixels);
    free(times);
    return 0;
}
