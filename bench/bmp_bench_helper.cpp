// bmp_bench_helper generate FOLDER WIDTH HEIGHT
//   writes the sample picture as pal1.bmp, pal4.bmp, pal8.bmp, rle8.bmp and
//   rgb24.bmp into FOLDER.
// bmp_bench_helper readcopy FILE STORE_BYTES [RUNS]
//   the reference the bitmap decodes are measured against: read the whole
//   file with one read into fresh memory and copy STORE_BYTES of it (the
//   size of a picture's store) into a second fresh block, RUNS times (default
//   5). Both blocks come from the library's own pixel allocator, as a
//   decoder's store does. Prints op=readcopy median_ms=M min_ms=N like pxbench.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/pixel_memory.h"
#include "support/bmp_writer.h"
#include "support/sample_picture.h"

using namespace brelvix;

namespace {

int Generate(const std::string& folder, int width, int height)
{
    const SamplePicture picture = RenderSamplePicture(width, height);
    const struct {
        const char* name;
        BmpKind kind;
    } files[] = {
        {"pal1.bmp", BmpKind::Palette1},   {"pal4.bmp", BmpKind::Palette4}, {"pal8.bmp", BmpKind::Palette8},
        {"rle8.bmp", BmpKind::RunLength8}, {"rgb24.bmp", BmpKind::Rgb24},
    };
    for (const auto& file : files) {
        if (!WriteFileBytes(folder + "/" + file.name, EncodeBmp(picture, file.kind))) {
            std::fprintf(stderr, "bmp_bench_helper: cannot write %s/%s\n", folder.c_str(), file.name);
            return 1;
        }
    }
    return 0;
}

// Reads the whole file with one read; returns the milliseconds taken, or -1.
double ReadAndCopy(const char* path, std::size_t storeBytes)
{
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat info {};
    ::fstat(fd, &info);
    const std::size_t size = static_cast<std::size_t>(info.st_size);
    const std::size_t dataBytes = std::max(size, storeBytes);
    auto* data = static_cast<char*>(PxAllocatePixelMemory(dataBytes));
    auto* store = static_cast<char*>(PxAllocatePixelMemory(storeBytes));
    if (data == nullptr || store == nullptr) {
        ::close(fd);
        return -1;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, size - done);
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    std::memcpy(store, data, storeBytes);
    // Keep the copy from being optimised away.
    volatile char sink = store[storeBytes / 2];
    (void)sink;
    PxReleasePixelMemory(store, storeBytes);
    PxReleasePixelMemory(data, dataBytes);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

int ReadCopy(const char* path, std::size_t storeBytes, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double ms = ReadAndCopy(path, storeBytes);
        if (ms < 0) {
            std::fprintf(stderr, "bmp_bench_helper: cannot read %s\n", path);
            return 1;
        }
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    const double median =
        times.size() % 2 == 1 ? times[times.size() / 2] : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
    std::printf("op=readcopy median_ms=%.3f min_ms=%.3f\n", median, times.front());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string op = argc > 1 ? argv[1] : "";
    if (op == "generate" && argc == 5) {
        return Generate(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    }
    if (op == "readcopy" && argc >= 4) {
        return ReadCopy(argv[2], std::strtoull(argv[3], nullptr, 10), argc > 4 ? std::max(1, std::atoi(argv[4])) : 5);
    }
    std::fprintf(stderr,
                 "usage: bmp_bench_helper generate FOLDER WIDTH HEIGHT\n"
                 "       bmp_bench_helper readcopy FILE STORE_BYTES [RUNS]\n");
    return 2;
}
