// Writes small pictures with frames into a folder, as seeds for the fuzz
// target: each format's frame paths (GIF disposals, transparency,
// interlacing and tables of their own; PNG dispose and blend ops over a
// palette; WebP, JPEG XL and AVIF animations from their own encoders).
// usage: animation_seeds FOLDER
#include <cstdio>
#include <string>
#include <vector>

#include "support/apng_writer.h"
#include "support/avif_writer.h"
#include "support/gif_writer.h"
#include "support/jxl_writer.h"
#include "support/raw_picture.h"
#include "support/sample_picture.h"
#include "support/webp_writer.h"

using namespace brelvix;

namespace {

bool Save(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr || bytes.empty()) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

GifFrame GifPart(int left, int top, int width, int height, int disposal, int transparent, bool interlace)
{
    GifFrame frame;
    frame.left = left;
    frame.top = top;
    frame.width = width;
    frame.height = height;
    frame.interlace = interlace;
    frame.graphicsControl = true;
    frame.disposal = disposal;
    frame.transparentIndex = transparent;
    frame.indices = GifTestIndices(width, height);
    return frame;
}

std::vector<std::uint8_t> Gif()
{
    GifPicture gif;
    gif.width = 24;
    gif.height = 16;
    gif.globalTable = GifTestTable();
    gif.repeats = 2;
    gif.frames = {GifPart(0, 0, 24, 16, 1, -1, false), GifPart(4, 2, 10, 9, 2, 7, true),
                  GifPart(8, 4, 12, 10, 3, 20, false), GifPart(1, 1, 5, 5, 0, -1, false)};
    gif.frames[3].localTable = std::vector<Rgb>(16, Rgb{10, 200, 30});
    return GifBytes(gif);
}

std::vector<std::uint8_t> Png()
{
    PngPicture frame;
    frame.width = 12;
    frame.height = 10;
    frame.colorType = 3;
    frame.bitDepth = 4;
    frame.interlaced = true;
    frame.palette = {{200, 0, 0}, {0, 200, 0}, {0, 0, 200}, {9, 9, 9}};
    frame.paletteAlpha = {255, 128, 0};
    for (int i = 0; i < 120; ++i) {
        frame.samples.push_back(static_cast<std::uint16_t>(i % 5));
    }
    ApngPicture apng;
    apng.width = 16;
    apng.height = 12;
    apng.plays = 2;
    apng.defaultIsFrame = false;
    apng.defaultImage = frame;
    apng.defaultImage.width = 16;
    apng.defaultImage.height = 12;
    apng.defaultImage.samples.assign(192, 1);
    apng.frames = {ApngFrame{0, 0, frame, 1, 10, 0, 0}, ApngFrame{3, 1, frame, 1, 20, 1, 1},
                   ApngFrame{4, 2, frame, 0, 0, 2, 1}, ApngFrame{1, 1, frame, 3, 100, 0, 0}};
    return EncodeApng(apng);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: animation_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    // Three frames that differ a little, with and without transparency.
    std::vector<RawPicture> frames;
    std::vector<RawPicture> opaque;
    for (int i = 0; i < 3; ++i) {
        frames.push_back(RawFromSample(RenderSamplePicture(24, 16), true));
        opaque.push_back(RawFromSample(RenderSamplePicture(24, 16), false));
        frames.back().samples[static_cast<std::size_t>(i) * 17] = 0;
        opaque.back().samples[static_cast<std::size_t>(i) * 17] = 0;
    }
    const bool saved = Save(folder + "/frames.gif", Gif()) && Save(folder + "/frames.png", Png()) &&
                       Save(folder + "/frames.webp", EncodeWebpAnimation(frames, false, {30, 0, 70}, 2)) &&
                       Save(folder + "/frames-lossless.webp", EncodeWebpAnimation(frames, true)) &&
                       Save(folder + "/frames.jxl", EncodeJxl(frames)) &&
                       Save(folder + "/frames.avif", EncodeAvifSequence(opaque));
    if (!saved) {
        std::fprintf(stderr, "animation_seeds: cannot write the seeds into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
