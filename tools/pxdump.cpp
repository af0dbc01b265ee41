// pxdump FILE [OUT.ppm] [--orient] [--scale W H] [--rotate CODE] [--flip VERTICAL]...
//
// Loads FILE through PxBitmap::CreateFromFile and prints one line
//   result=R format=NAME width=W height=H
// with the bitmap's size as loaded. With --orient (wherever it stands) the
// picture is first turned upright as its file's orientation asks, the way
// the viewer shows it by default, and the line gives the upright size. The transforms are applied in the order
// given, each into a fresh bitmap; with OUT.ppm the final picture is written
// as a binary PPM (top row first, red-green-blue). This output is the
// project's stable interface for conformance checks and benchmarks.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/orientation.h"

using namespace brelvix;

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: pxdump FILE [OUT.ppm] [--orient] [--scale W H] [--rotate CODE] [--flip VERTICAL]...\n");
    return 2;
}

bool ParseInt(const char* text, long* value)
{
    char* end = nullptr;
    *value = std::strtol(text, &end, 10);
    return end != text && *end == '\0';
}

bool WritePpm(const PxBitmap& bitmap, const char* path)
{
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr) {
        return false;
    }
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    std::fprintf(out, "P6\n%d %d\n255\n", width, height);
    std::vector<unsigned char> line(static_cast<size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = bitmap.Pixels() + static_cast<long long>(height - 1 - y) * bitmap.Stride();
        for (int x = 0; x < width; ++x) {
            line[3 * x] = row[3 * x + 2];
            line[3 * x + 1] = row[3 * x + 1];
            line[3 * x + 2] = row[3 * x];
        }
        std::fwrite(line.data(), 1, line.size(), out);
    }
    return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return Usage();
    }
    const char* input = argv[1];
    const char* output = nullptr;
    int next = 2;
    if (next < argc && std::strncmp(argv[next], "--", 2) != 0) {
        output = argv[next++];
    }

    bool orient = false;
    for (int i = next; i < argc; ++i) {
        orient = orient || std::strcmp(argv[i], "--orient") == 0;
    }

    auto bitmap = std::make_unique<PxBitmap>();
    const int result = bitmap->CreateFromFile(input);
    if (result == 0 && orient && PxApplyOrientation(*bitmap) != 0) {
        std::fprintf(stderr, "pxdump: no memory to turn the picture upright\n");
        return 1;
    }
    char name[8];
    bitmap->GetFormatName(name);
    std::printf("result=%d format=%s width=%d height=%d\n", result, name, bitmap->Width(), bitmap->Height());
    std::fflush(stdout);

    while (next < argc) {
        const std::string option = argv[next++];
        if (option == "--orient") {
            continue;
        }
        auto fresh = std::make_unique<PxBitmap>();
        long a = 0;
        long b = 0;
        if (option == "--scale" && next + 1 < argc && ParseInt(argv[next], &a) &&
            ParseInt(argv[next + 1], &b)) {
            next += 2;
            bitmap->Scale(static_cast<int>(a), static_cast<int>(b), fresh.get());
        } else if (option == "--rotate" && next < argc && ParseInt(argv[next], &a)) {
            next += 1;
            bitmap->Rotate(static_cast<int>(a), fresh.get());
        } else if (option == "--flip" && next < argc && ParseInt(argv[next], &a)) {
            next += 1;
            bitmap->Flip(a != 0, fresh.get());
        } else {
            return Usage();
        }
        bitmap = std::move(fresh);
    }

    if (output != nullptr && bitmap->Pixels() != nullptr) {
        if (!WritePpm(*bitmap, output)) {
            std::fprintf(stderr, "pxdump: cannot write %s\n", output);
            return 1;
        }
    }
    return result == 0 ? 0 : 1;
}
