// pxbench decode FILE [RUNS]
// pxbench refuse FILE [RUNS]
// pxbench reduced FILE WIDTH HEIGHT [RUNS]
// pxbench scale FILE WIDTH HEIGHT [RUNS]
// pxbench rotate FILE CODE [RUNS]
// pxbench flip FILE VERTICAL [RUNS]
// pxbench orient FILE ORIENTATION [RUNS]
// pxbench scan FOLDER [--subfolders] [RUNS]
//
// Runs one image-library operation RUNS times (default 5) and prints
//   op=NAME median_ms=M min_ms=N megapixels_per_s=P
// Megapixels are those of the picture the operation produces. Bench scripts
// compare these figures against a reference measured in the same run.
// refuse times a load that must fail (a file the loader turns down).
// reduced times the reduced decode that keeps at least WIDTH x HEIGHT.
// orient turns the picture upright as if its file gave ORIENTATION (1 to 8,
// as Exif counts), the step the viewer adds after decoding.
// scan lists a folder as the viewer does when it opens a picture there and
// adds ` entries=N` (the number of pictures listed) to the line.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/orientation.h"
#include "imaging/reduced_load.h"
#include "viewer/file_list.h"

using namespace brelvix;

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: pxbench decode FILE [RUNS]\n"
                 "       pxbench refuse FILE [RUNS]\n"
                 "       pxbench reduced FILE WIDTH HEIGHT [RUNS]\n"
                 "       pxbench scale FILE WIDTH HEIGHT [RUNS]\n"
                 "       pxbench rotate FILE CODE [RUNS]\n"
                 "       pxbench flip FILE VERTICAL [RUNS]\n"
                 "       pxbench orient FILE ORIENTATION [RUNS]\n"
                 "       pxbench scan FOLDER [--subfolders] [RUNS]\n");
    return 2;
}

int ParseInt(const char* text)
{
    return static_cast<int>(std::strtol(text, nullptr, 10));
}

template <typename Operation>
int Measure(const char* name, int runs, Operation operation, const std::string* suffix = nullptr)
{
    std::vector<double> times;
    double megapixels = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const double produced = operation();
        const auto stop = std::chrono::steady_clock::now();
        if (produced < 0) {
            std::fprintf(stderr, "pxbench: %s failed\n", name);
            return 1;
        }
        megapixels = produced;
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::sort(times.begin(), times.end());
    const double median =
        times.size() % 2 == 1 ? times[times.size() / 2] : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
    std::printf("op=%s median_ms=%.3f min_ms=%.3f megapixels_per_s=%.2f%s\n", name, median, times.front(),
                median > 0 ? megapixels / (median / 1000.0) : 0.0, suffix != nullptr ? suffix->c_str() : "");
    return 0;
}

double Megapixels(const PxBitmap& bitmap)
{
    return static_cast<double>(bitmap.Width()) * bitmap.Height() / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        return Usage();
    }
    const std::string op = argv[1];
    const char* file = argv[2];
    auto runsAt = [&](int index) { return argc > index ? std::max(1, ParseInt(argv[index])) : 5; };

    if (op == "scan") {
        const bool subfolders = argc > 3 && std::strcmp(argv[3], "--subfolders") == 0;
        const int runs = runsAt(subfolders ? 4 : 3);
        // The folder of a picture that need not exist: the list is built all
        // the same.
        const std::string picture = std::string(file) + "/.pxbench-scan.jpg";
        std::string entries;
        return Measure(
            "scan", runs,
            [&] {
                FileList list;
                if (!list.BuildFileList(picture, subfolders)) {
                    return -1.0;
                }
                entries = " entries=" + std::to_string(list.Entries().size());
                return 0.0;
            },
            &entries);
    }
    if (op == "decode") {
        return Measure("decode", runsAt(3), [&] {
            PxBitmap bitmap;
            return bitmap.CreateFromFile(file) == 0 ? Megapixels(bitmap) : -1.0;
        });
    }

    if (op == "reduced" && argc >= 5) {
        const int width = ParseInt(argv[3]);
        const int height = ParseInt(argv[4]);
        return Measure("reduced", runsAt(5), [&] {
            PxReducedPicture picture;
            return PxLoadReduced(file, width, height, &picture) == 0 ? Megapixels(picture.reduced) : -1.0;
        });
    }

    if (op == "refuse") {
        return Measure("refuse", runsAt(3), [&] {
            PxBitmap bitmap;
            return bitmap.CreateFromFile(file) != 0 ? 0.0 : -1.0;
        });
    }

    PxBitmap source;
    if (source.CreateFromFile(file) != 0) {
        std::fprintf(stderr, "pxbench: cannot load %s\n", file);
        return 1;
    }
    if (op == "scale" && argc >= 5) {
        const int width = ParseInt(argv[3]);
        const int height = ParseInt(argv[4]);
        return Measure("scale", runsAt(5), [&] {
            PxBitmap destination;
            return source.Scale(width, height, &destination) == 0 ? Megapixels(destination) : -1.0;
        });
    }
    if (op == "rotate" && argc >= 4) {
        const int code = ParseInt(argv[3]);
        return Measure("rotate", runsAt(4), [&] {
            PxBitmap destination;
            return source.Rotate(code, &destination) == 0 ? Megapixels(destination) : -1.0;
        });
    }
    if (op == "flip" && argc >= 4) {
        const bool vertical = ParseInt(argv[3]) != 0;
        return Measure("flip", runsAt(4), [&] {
            PxBitmap destination;
            return source.Flip(vertical, &destination) == 0 ? Megapixels(destination) : -1.0;
        });
    }
    if (op == "orient" && argc >= 4) {
        const int orientation = ParseInt(argv[3]);
        return Measure("orient", runsAt(4), [&] {
            // Each run starts from the picture as decoded; showing its store
            // costs nothing, and the orientation never writes into it.
            PxBitmap picture;
            picture.ShareFrom(source);
            picture.SetOrientation(orientation);
            return PxApplyOrientation(picture) == 0 ? Megapixels(picture) : -1.0;
        });
    }
    return Usage();
}
