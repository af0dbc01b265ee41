// cpu_decode FILE [RUNS]
//
// Like `pxbench decode`, but times each load by the CPU time of this
// process (user and system), not by the clock on the wall: on a machine
// shared with other work, a longer load waits longer for the processor,
// and the wall clock would count that against it. Prints
//   op=decode median_ms=M min_ms=N
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "imaging/bitmap.h"

using namespace brelvix;

namespace {

double CpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: cpu_decode FILE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = CpuMilliseconds();
        {
            PxBitmap bitmap;  // released inside the timed span, as a viewer replaces its picture
            if (bitmap.CreateFromFile(argv[1]) != 0) {
                std::fprintf(stderr, "cpu_decode: cannot load %s\n", argv[1]);
                return 1;
            }
        }
        times.push_back(CpuMilliseconds() - start);
    }
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    const double median = n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    std::printf("op=decode median_ms=%.3f min_ms=%.3f\n", median, times.front());
    return 0;
}
