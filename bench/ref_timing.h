/* Timing shared by the C reference programs of the benchmarks. Their lines
 * have the same form as pxbench's, so the scripts read both alike. */
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
