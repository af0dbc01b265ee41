// sort_keys_bench FOLDER [COUNT]
//
// Fills FOLDER (which must be empty or missing) with COUNT photos (10,000 by
// default): small JPEG files whose Exif block has a date taken and is as
// large as a camera's (16 KB, a thumbnail's worth), then times reading the
// keys of the date-taken order for all of them against two references on
// the same files in the same run: the status of each file alone (what the
// size and modification orders cost) and opening each file and reading its
// first 64 KB (what any reader of headers costs). Prints
//   files=N stat_ms=S read_ms=R date_taken_ms=D ratio_vs_read=D/R
// each the median of five passes over files already in the page cache.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "support/exif_writer.h"
#include "support/jpeg_writer.h"
#include "viewer/file_order.h"

using namespace brelvix;

namespace {

double MedianMs(const std::function<void()>& pass)
{
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        pass();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: sort_keys_bench FOLDER [COUNT]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const long count = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 10000;
    std::filesystem::create_directories(folder);

    const std::vector<std::uint8_t> jpeg = EncodeJpeg(64, 48, std::vector<std::uint8_t>(64 * 48 * 3, 100));
    std::vector<std::string> files;
    for (long i = 0; i < count; ++i) {
        char taken[32];
        std::snprintf(taken, sizeof taken, "20%02ld:%02ld:%02ld 12:%02ld:%02ld", i % 24, i % 12 + 1, i % 28 + 1, i % 60,
                      (i / 60) % 60);
        ExifDirectories directories;
        directories.primary = {ExifText(0x010F, "Camera"), ExifText(0x0110, "Model")};
        directories.exif = {ExifText(0x9003, taken), ExifText(0x927C, std::string(16 * 1024, 'm'))};
        const std::vector<std::uint8_t> file = JpegWithExif(jpeg, MakeExifBlock(directories));
        files.push_back((folder / ("photo" + std::to_string(i) + ".jpg")).string());
        std::ofstream(files.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }

    std::atomic<bool> cancel{false};
    std::vector<FileSortKey> keys;
    std::vector<char> buffer(64 * 1024);
    long found = 0;
    const double statMs = MedianMs([&] {
        for (const std::string& file : files) {
            found += platform::IdentityOf(file).exists ? 1 : 0;
        }
    });
    const double readMs = MedianMs([&] {
        for (const std::string& file : files) {
            const int handle = open(file.c_str(), O_RDONLY | O_CLOEXEC);
            if (handle >= 0) {
                found += read(handle, buffer.data(), buffer.size()) > 0 ? 1 : 0;
                close(handle);
            }
        }
    });
    const double takenMs = MedianMs([&] { ReadSortKeys(files, SortOrder::DateTaken, cancel, &keys); });
    found += std::count_if(keys.begin(), keys.end(), [](const FileSortKey& key) { return key.taken.has_value(); });
    if (found != 11 * count) {
        std::fprintf(stderr, "sort_keys_bench: not every file was read\n");
        return 1;
    }
    std::printf("files=%ld stat_ms=%.1f read_ms=%.1f date_taken_ms=%.1f ratio_vs_read=%.2f\n", count, statMs, readMs,
                takenMs, takenMs / readMs);
    return 0;
}
