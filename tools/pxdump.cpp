// pxdump FILE [OUT.ppm] [--progress] [--cancel-after MS] [--orient]
//              [--color srgb|PROFILE.icc] [--over RRGGBB]
//              [--scale W H] [--rotate CODE] [--flip VERTICAL]...
// pxdump --info FILE
//
// Loads FILE through PxBitmap::CreateFromFile and prints one line
//   result=R format=NAME width=W height=H
// with the bitmap's size as loaded; a failed load names its reason after
// the result (result=1 error=WORD format=...), WORD being one of not-found,
// unreadable, not-a-picture, unsupported, damaged, too-large, cancelled and
// out-of-memory. With --orient (wherever it stands) the
// picture is first turned upright as its file's orientation asks, the way
// the viewer shows it by default, and the line gives the upright size. The transforms are applied in the order
// given, each into a fresh bitmap; with OUT.ppm the final picture is written
// as a binary PPM (top row first, red-green-blue). This output is the
// project's stable interface for conformance checks and benchmarks.
//
// --progress and --cancel-after load through a load control on another
// thread. --progress writes "progress=P ms=T" to standard error whenever
// the progress has moved (looked at every millisecond); --cancel-after
// cancels the load MS milliseconds after it began and then prints
//   cancelled_at_ms=T stopped_after_ms=S
// S being how long the load took to end once cancelled.
//
// --color (wherever it stands) converts the picture from its file's colour
// profile to sRGB or to the given ICC profile, after --orient, as the
// viewer does, and adds ` profile=DESCRIPTION` to the line: the file's
// profile's own description, or `none` for an untagged picture. --over
// (wherever it stands) blends a transparent picture over the colour given
// as six hex digits, red first, after the transforms and before the PPM is
// written; without it the PPM holds the stored colours.
//
// pxdump FILE --frames
// pxdump FILE --frame K OUT.ppm
//
// read FILE frame by frame (animated GIF, WebP, PNG, JPEG XL, AVIF; a still
// of those formats has one frame). --frames prints
//   frames=N loop=L
// (L: how many times the animation plays, 0 for ever) and then one line
//   frame=I delay_ms=D
// per frame, with the delay as the file stores it. --frame writes the K-th
// composed frame (from 0) as the PPM and prints the usual line for it.
//
// --info prints what the file's Exif block says, one key=value line each
// where present, in this order: camera_make, camera_model, lens, exposure,
// f_number, iso, focal_length, taken, gps. The picture is not decoded.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "imaging/alpha.h"
#include "imaging/animation.h"
#include "imaging/bitmap.h"
#include "imaging/color_convert.h"
#include "imaging/color_profile.h"
#include "imaging/exif_block.h"
#include "imaging/exif_info.h"
#include "imaging/load_control.h"
#include "imaging/load_error.h"
#include "imaging/orientation.h"

using namespace brelvix;

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: pxdump FILE [OUT.ppm] [--progress] [--cancel-after MS] [--orient] "
                 "[--color srgb|PROFILE.icc] [--over RRGGBB] [--scale W H] [--rotate CODE] [--flip VERTICAL]...\n"
                 "       pxdump FILE --frames\n"
                 "       pxdump FILE --frame K OUT.ppm\n"
                 "       pxdump --info FILE\n");
    return 2;
}

int PrintInfo(const char* path)
{
    if (FILE* probe = std::fopen(path, "rb")) {
        std::fclose(probe);
    } else {
        std::fprintf(stderr, "pxdump: cannot open %s\n", path);
        return 1;
    }
    std::vector<std::uint8_t> block;
    PxReadExifBlockOfFile(path, &block);
    for (const auto& [key, value] : PxExifKeyValues(PxReadExifInfo(block.data(), block.size()))) {
        std::printf("%s=%s\n", key.c_str(), value.c_str());
    }
    return 0;
}

bool ParseInt(const char* text, long* value)
{
    char* end = nullptr;
    *value = std::strtol(text, &end, 10);
    return end != text && *end == '\0';
}

// The target of --color: sRGB, or the profile in a file.
bool ReadTarget(const std::string& name, PxColorProfile* target)
{
    if (name == "srgb") {
        PxSetSrgbProfile(target);
        return true;
    }
    FILE* in = std::fopen(name.c_str(), "rb");
    if (in == nullptr) {
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t block[65536];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, in)) > 0 && bytes.size() <= kPxMaxProfileBytes;) {
        bytes.insert(bytes.end(), block, block + got);
    }
    std::fclose(in);
    return PxTargetFromIcc(bytes.data(), bytes.size(), target);
}

// RRGGBB as a colour value (red in the low byte).
bool ParseColor(const char* text, std::uint32_t* color)
{
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 16);
    if (std::strlen(text) != 6 || end != text + 6) {
        return false;
    }
    *color = static_cast<std::uint32_t>((value >> 16 & 0xFF) | (value & 0xFF00) | (value & 0xFF) << 16);
    return true;
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

// Loads on a thread of its own, with a control that this thread watches.
int WatchedLoad(PxBitmap& bitmap, const char* path, bool showProgress, long cancelAfterMs)
{
    using Clock = std::chrono::steady_clock;
    PxLoadControl control;
    std::atomic<bool> finished{false};
    int result = 1;
    const auto start = Clock::now();
    Clock::time_point end{};
    std::thread loader([&] {
        result = bitmap.CreateFromFile(path, &control);
        end = Clock::now();
        finished.store(true);
    });
    auto since = [](Clock::time_point from) {
        return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
    };
    int shown = -1;
    Clock::time_point cancelledAt{};
    bool cancelled = false;
    for (bool last = false; !last;) {
        last = finished.load();
        const int progress = control.Progress();
        if (showProgress && progress != shown) {
            std::fprintf(stderr, "progress=%d ms=%.1f\n", progress, since(start));
            shown = progress;
        }
        if (cancelAfterMs >= 0 && !cancelled && since(start) >= static_cast<double>(cancelAfterMs)) {
            control.Cancel();
            cancelledAt = Clock::now();
            cancelled = true;
        }
        if (!last) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    loader.join();
    if (cancelled) {
        using Ms = std::chrono::duration<double, std::milli>;
        std::printf("cancelled_at_ms=%.1f stopped_after_ms=%.1f\n", Ms(cancelledAt - start).count(),
                    Ms(end - cancelledAt).count());
    }
    return result;
}

// Every frame's delay, then the count: the count is known only at the end.
int ListFrames(const char* path)
{
    const std::unique_ptr<PxAnimation> animation = PxAnimation::Open(path);
    std::vector<std::int32_t> delays;
    while (animation != nullptr && animation->Next() == PxAnimation::Step::kComposed) {
        delays.push_back(animation->FrameDelayMs());
    }
    std::printf("frames=%zu loop=%d\n", delays.size(), animation != nullptr ? animation->StoredLoopCount() : 0);
    for (std::size_t i = 0; i < delays.size(); ++i) {
        std::printf("frame=%zu delay_ms=%d\n", i, delays[i]);
    }
    return delays.empty() ? 1 : 0;
}

int WriteFrame(const char* path, long index, const char* output)
{
    const std::unique_ptr<PxAnimation> animation = PxAnimation::Open(path);
    bool composed = animation != nullptr && index >= 0;
    for (long i = 0; composed && i <= index; ++i) {
        composed = animation->Next() == PxAnimation::Step::kComposed;
    }
    char name[8] = "Unknown";
    if (animation != nullptr) {
        animation->Frame().GetFormatName(name);
    }
    std::printf("result=%d format=%s width=%d height=%d\n", composed ? 0 : 1, name,
                composed ? animation->Frame().Width() : 0, composed ? animation->Frame().Height() : 0);
    if (!composed) {
        return 1;
    }
    if (!WritePpm(animation->Frame(), output)) {
        std::fprintf(stderr, "pxdump: cannot write %s\n", output);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return Usage();
    }
    if (std::strcmp(argv[1], "--info") == 0) {
        return argc == 3 ? PrintInfo(argv[2]) : Usage();
    }
    if (argc == 3 && std::strcmp(argv[2], "--frames") == 0) {
        return ListFrames(argv[1]);
    }
    if (argc >= 3 && std::strcmp(argv[2], "--frame") == 0) {
        long index = 0;
        if (argc != 5 || !ParseInt(argv[3], &index)) {
            return Usage();
        }
        return WriteFrame(argv[1], index, argv[4]);
    }
    const char* input = argv[1];
    const char* output = nullptr;
    int next = 2;
    if (next < argc && std::strncmp(argv[next], "--", 2) != 0) {
        output = argv[next++];
    }
    bool showProgress = false;
    long cancelAfterMs = -1;
    for (; next < argc; ++next) {
        if (std::strcmp(argv[next], "--progress") == 0) {
            showProgress = true;
        } else if (std::strcmp(argv[next], "--cancel-after") == 0 && next + 1 < argc &&
                   ParseInt(argv[next + 1], &cancelAfterMs) && cancelAfterMs >= 0) {
            ++next;
        } else {
            break;
        }
    }

    bool orient = false;
    const char* colorTarget = nullptr;
    const char* over = nullptr;
    for (int i = next; i < argc; ++i) {
        orient = orient || std::strcmp(argv[i], "--orient") == 0;
        if (std::strcmp(argv[i], "--color") == 0 && i + 1 < argc) {
            colorTarget = argv[++i];
        } else if (std::strcmp(argv[i], "--over") == 0 && i + 1 < argc) {
            over = argv[++i];
        }
    }
    PxColorProfile target;
    if (colorTarget != nullptr && !ReadTarget(colorTarget, &target)) {
        std::fprintf(stderr, "pxdump: %s is not an RGB colour profile to convert to\n", colorTarget);
        return 2;
    }
    std::uint32_t background = 0;
    if (over != nullptr && !ParseColor(over, &background)) {
        return Usage();
    }

    auto bitmap = std::make_unique<PxBitmap>();
    const int result = showProgress || cancelAfterMs >= 0 ? WatchedLoad(*bitmap, input, showProgress, cancelAfterMs)
                                                          : bitmap->CreateFromFile(input);
    if (result == 0 && orient && PxApplyOrientation(*bitmap) != 0) {
        std::fprintf(stderr, "pxdump: no memory to turn the picture upright\n");
        return 1;
    }
    // The transforms make fresh bitmaps; what the file says stays with the loaded one.
    const bool premultiplied = bitmap->Meta().alphaPremultiplied;
    std::string profile;
    if (colorTarget != nullptr) {
        if (result == 0) {
            PxConvertColors(*bitmap, target);
        }
        const PxColorProfile& own = bitmap->Meta().profile;
        profile = " profile=" + (own.Tagged() ? own.description : std::string("none"));
    }
    char name[8];
    bitmap->GetFormatName(name);
    const std::string reason = result != 0 ? std::string(" error=") + PxLoadErrorWord(bitmap->LoadError()) : "";
    std::printf("result=%d%s format=%s width=%d height=%d%s\n", result, reason.c_str(), name, bitmap->Width(),
                bitmap->Height(), profile.c_str());
    std::fflush(stdout);

    while (next < argc) {
        const std::string option = argv[next++];
        if (option == "--orient") {
            continue;
        }
        if (option == "--color" || option == "--over") {
            ++next;
            continue;
        }
        auto fresh = std::make_unique<PxBitmap>();
        long a = 0;
        long b = 0;
        if (option == "--scale" && next + 1 < argc && ParseInt(argv[next], &a) && ParseInt(argv[next + 1], &b)) {
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

    if (over != nullptr) {
        PxBlendOverColor(*bitmap, background, premultiplied);
    }
    if (output != nullptr && bitmap->Pixels() != nullptr) {
        if (!WritePpm(*bitmap, output)) {
            std::fprintf(stderr, "pxdump: cannot write %s\n", output);
            return 1;
        }
    }
    return result == 0 ? 0 : 1;
}
