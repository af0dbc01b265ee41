// color_bench make FILE WIDTH HEIGHT PROFILE GRAIN
// color_bench decode FILE [RUNS]
// color_bench convert FILE [RUNS]
//
// make writes the tests' sample picture at WIDTH x HEIGHT, with a grain of up
// to GRAIN levels up or down in every value (0 for none), as a JPEG
// (libjpeg's own encoder, quality 90, 4:2:0) with an embedded profile made
// by lcms2: PROFILE is p3, adobe or none. decode times loading the file as the viewer
// does; convert loads it once and times the colour conversion from its
// profile to sRGB, each run on a fresh copy of the decoded picture, the
// step the viewer adds after decoding. Both print
//   op=NAME median_ms=M min_ms=N megapixels_per_s=P first_ms=F
// For convert, first_ms is a conversion before the timed runs, the one
// that makes lcms2's transform; the timed runs find it cached, as every
// picture after the first with that profile does in the viewer. For decode
// it is the first timed run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/color_convert.h"
#include "imaging/color_profile.h"
#include "support/icc_profiles.h"
#include "support/jpeg_writer.h"
#include "support/sample_picture.h"

using namespace brelvix;

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: color_bench make FILE WIDTH HEIGHT p3|adobe|none GRAIN\n"
                 "       color_bench decode FILE [RUNS]\n"
                 "       color_bench convert FILE [RUNS]\n");
    return 2;
}

template <typename Operation>
int Measure(const char* name, int runs, double megapixels, Operation operation, double first = -1)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        double ms = 0;
        if (!operation(&ms)) {
            std::fprintf(stderr, "color_bench: %s failed\n", name);
            return 1;
        }
        times.push_back(ms);
    }
    first = first >= 0 ? first : times.front();
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    const double median = n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    std::printf("op=%s median_ms=%.3f min_ms=%.3f megapixels_per_s=%.2f first_ms=%.3f\n", name, median, times.front(),
                median > 0 ? megapixels / (median / 1000.0) : 0.0, first);
    return 0;
}

double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

int Make(const char* path, int width, int height, const std::string& profile, int grain)
{
    SamplePicture picture = RenderSamplePicture(width, height);
    // The grain of a camera's sensor, which real photos have and a drawn
    // picture lacks: it is what the decoder's entropy decoding works through.
    std::uint32_t state = 12345;
    for (std::uint8_t& value : picture.rgb) {
        state = state * 1664525 + 1013904223;
        const int noise = static_cast<int>(state >> 24) % (2 * grain + 1) - grain;
        value = static_cast<std::uint8_t>(std::clamp(value + noise, 0, 255));
    }
    JpegWriterOptions options;
    if (profile == "p3") {
        options.iccProfile = MakeTestProfile(TestProfile::kDisplayP3);
    } else if (profile == "adobe") {
        options.iccProfile = MakeTestProfile(TestProfile::kAdobeRgb);
    }
    const std::vector<std::uint8_t> file = EncodeJpeg(width, height, picture.rgb, options);
    FILE* out = std::fopen(path, "wb");
    const bool written =
        out != nullptr && !file.empty() && std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (out != nullptr) {
        std::fclose(out);
    }
    return written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        return Usage();
    }
    const std::string op = argv[1];
    const char* file = argv[2];
    if (op == "make") {
        return argc == 7 ? Make(file, std::atoi(argv[3]), std::atoi(argv[4]), argv[5], std::atoi(argv[6])) : Usage();
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    PxBitmap source;
    if (source.CreateFromFile(file) != 0) {
        std::fprintf(stderr, "color_bench: cannot load %s\n", file);
        return 1;
    }
    const double megapixels = static_cast<double>(source.Width()) * source.Height() / 1e6;
    if (op == "decode") {
        return Measure("decode", runs, megapixels, [&](double* ms) {
            const auto start = std::chrono::steady_clock::now();
            PxBitmap bitmap;
            const bool loaded = bitmap.CreateFromFile(file) == 0;
            *ms = Since(start);
            return loaded;
        });
    }
    if (op == "convert") {
        PxColorProfile srgb;
        PxSetSrgbProfile(&srgb);
        auto convert = [&](double* ms) {
            // The copy is made outside the time: the viewer converts the
            // decoded picture itself, in place.
            PxBitmap picture;
            picture.CopyFrom(source);
            picture.Meta().profile = source.Meta().profile;
            const auto start = std::chrono::steady_clock::now();
            const bool converted = PxConvertColors(picture, srgb) == 0;
            *ms = Since(start);
            return converted && picture.Meta().colorsConverted;
        };
        double first = 0;
        if (!convert(&first)) {
            return 1;
        }
        return Measure("convert", runs, megapixels, convert, first);
    }
    return Usage();
}
