// Writes the pictures of the end-to-end test of moving pictures, with the
// codec libraries' own encoders: DIR/moving.gif, .png, .webp, .jxl and .avif,
// four frames of 200 x 150, each of one colour (the four that
// bench/animation_probe follows on the screen, in order), lasting 300, 600,
// 300 and 600 ms, played for ever.
//
//   animation_write DIR
#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/apng_writer.h"
#include "support/avif_writer.h"
#include "support/gif_writer.h"
#include "support/jxl_writer.h"
#include "support/webp_writer.h"

namespace {

using namespace brelvix;

constexpr int kWidth = 200;
constexpr int kHeight = 150;
const std::array<Rgb, 4> kColours = {Rgb{210, 40, 40}, Rgb{40, 190, 70}, Rgb{50, 80, 220}, Rgb{230, 200, 40}};
constexpr std::array<int, 4> kLengthsMs = {300, 600, 300, 600};

RawPicture Plain(const Rgb& colour)
{
    RawPicture picture;
    picture.width = kWidth;
    picture.height = kHeight;
    for (int i = 0; i < kWidth * kHeight; ++i) {
        picture.samples.insert(picture.samples.end(), {colour.r, colour.g, colour.b});
    }
    return picture;
}

bool Save(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return !bytes.empty() && out.good();
}

int Write(const std::string& folder)
{
    std::vector<RawPicture> frames;
    for (const Rgb& colour : kColours) {
        frames.push_back(Plain(colour));
    }

    GifPicture gif;
    gif.width = kWidth;
    gif.height = kHeight;
    gif.globalTable = {kColours.begin(), kColours.end()};
    gif.repeats = 0;
    ApngPicture apng;
    apng.width = kWidth;
    apng.height = kHeight;
    std::vector<int> webpLengths;
    JxlWriterOptions jxl;
    jxl.lossless = true;
    std::vector<std::uint64_t> avifTenths;
    for (std::size_t i = 0; i < kColours.size(); ++i) {
        GifFrame frame;
        frame.width = kWidth;
        frame.height = kHeight;
        frame.indices.assign(kWidth * kHeight, static_cast<std::uint8_t>(i));
        frame.graphicsControl = true;
        frame.delayCs = kLengthsMs[i] / 10;
        gif.frames.push_back(frame);

        ApngFrame part;
        part.picture.width = kWidth;
        part.picture.height = kHeight;
        part.picture.samples = frames[i].samples;
        part.delayNumerator = kLengthsMs[i];
        part.delayDenominator = 1000;
        apng.frames.push_back(part);

        webpLengths.push_back(kLengthsMs[i]);
        jxl.frameTenths.push_back(static_cast<std::uint32_t>(kLengthsMs[i] / 100));
        avifTenths.push_back(static_cast<std::uint64_t>(kLengthsMs[i] / 100));
    }
    const std::map<std::string, std::vector<std::uint8_t>> files = {
        {"gif", GifBytes(gif)},
        {"png", EncodeApng(apng)},
        {"webp", EncodeWebpAnimation(frames, true, webpLengths, 0)},
        {"jxl", EncodeJxl(frames, jxl)},
        {"avif", EncodeAvifSequence(frames, avifTenths)},
    };
    for (const auto& [extension, bytes] : files) {
        if (!Save(folder + "/moving." + extension, bytes)) {
            std::fprintf(stderr, "cannot write the %s file\n", extension.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: animation_write DIR\n", stderr);
        return 2;
    }
    return Write(argv[1]);
}
