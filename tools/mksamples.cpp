// mksamples FOLDER
//
// Writes the sample pictures that run.sh shows (res/samples/) into FOLDER:
// the same synthetic scene in each format, one small function per format.
// The pictures are generated, so they can be rebuilt at any time and carry
// no third-party content.
#include <cstdio>
#include <string>
#include <vector>

#include "support/avif_writer.h"
#include "support/bmp_writer.h"
#include "support/exif_writer.h"
#include "support/gif_writer.h"
#include "support/heif_writer.h"
#include "support/jpeg_writer.h"
#include "support/jxl_writer.h"
#include "support/pcx_writer.h"
#include "support/png_writer.h"
#include "support/raw_picture.h"
#include "support/sample_picture.h"
#include "support/tga_writer.h"
#include "support/tiff_writer.h"
#include "support/webp_writer.h"

using namespace brelvix;

namespace {

// An 8-bit run-length bitmap: small on disk and exercises the run-length reader.
bool WriteBmpSample(const std::string& folder)
{
    const SamplePicture picture = RenderSamplePicture(400, 300);
    return WriteFileBytes(folder + "/01-sunrise.bmp", EncodeBmp(picture, BmpKind::RunLength8));
}

// An ordinary colour photograph file: YCbCr with 4:2:0 chroma, baseline.
bool WriteJpegSample(const std::string& folder)
{
    const SamplePicture picture = RenderSamplePicture(400, 300);
    JpegWriterOptions options;
    options.quality = 85;
    const std::vector<std::uint8_t> file = EncodeJpeg(picture.width, picture.height, picture.rgb, options);
    return !file.empty() && WriteFileBytes(folder + "/05-sunrise.jpg", file);
}

// 8-bit RGB, Adam7-interlaced: exercises the per-row buffers of the reader.
bool WritePngSample(const std::string& folder)
{
    const SamplePicture picture = RenderSamplePicture(400, 300);
    PngPicture png;
    png.width = picture.width;
    png.height = picture.height;
    png.colorType = 2;
    png.bitDepth = 8;
    png.interlaced = true;
    png.samples.assign(picture.rgb.begin(), picture.rgb.end());
    const std::vector<std::uint8_t> file = EncodePng(png);
    return !file.empty() && WriteFileBytes(folder + "/06-sunrise.png", file);
}

// True colour, run-length coded, top row first: the common Targa of paint programs.
bool WriteTgaSample(const std::string& folder)
{
    const SamplePicture picture = RenderSamplePicture(400, 300);
    TgaOptions options;
    options.imageType = 10;
    options.depth = 24;
    options.topDown = true;
    return WriteFileBytes(folder + "/02-sunrise.tga",
                          WriteTga(picture.width, picture.height, TgaPixelsFromRgb(picture.rgb, 24), options));
}

// 256 colours (3 bits red, 3 green, 2 blue) with the palette at the end.
bool WritePcxSample(const std::string& folder)
{
    const SamplePicture picture = RenderSamplePicture(400, 300);
    PcxOptions options;
    const std::vector<std::uint8_t> indices = PcxIndicesFromRgb(picture.rgb, &options.endPalette);
    return WriteFileBytes(
        folder + "/03-sunrise.pcx",
        WritePcx(picture.width, picture.height, PcxLines(picture.width, picture.height, indices, options), options));
}

// An interlaced GIF on a 6 x 7 x 6 colour cube: each channel rounded to its
// nearest level, no dithering, so the runs stay long and the file small.
bool WriteGifSample(const std::string& folder)
{
    const SamplePicture picture = RenderSamplePicture(400, 300);
    const int levels[3] = {6, 7, 6};
    GifPicture gif;
    gif.width = picture.width;
    gif.height = picture.height;
    for (int r = 0; r < levels[0]; ++r) {
        for (int g = 0; g < levels[1]; ++g) {
            for (int b = 0; b < levels[2]; ++b) {
                gif.globalTable.push_back(Rgb{static_cast<std::uint8_t>(r * 255 / (levels[0] - 1)),
                                              static_cast<std::uint8_t>(g * 255 / (levels[1] - 1)),
                                              static_cast<std::uint8_t>(b * 255 / (levels[2] - 1))});
            }
        }
    }
    GifFrame frame;
    frame.width = picture.width;
    frame.height = picture.height;
    frame.interlace = true;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* p = picture.At(x, y);
            int index = 0;
            for (int c = 0; c < 3; ++c) {
                index = index * levels[c] + (p[c] * (levels[c] - 1) + 127) / 255;
            }
            frame.indices.push_back(static_cast<std::uint8_t>(index));
        }
    }
    gif.frames.push_back(frame);
    const std::vector<std::uint8_t> bytes = GifBytes(gif);
    return !bytes.empty() && WriteFileBytes(folder + "/07-sunrise.gif", bytes);
}

// A 24-bit TIFF, LZW with the horizontal predictor, in strips.
bool WriteTiffSample(const std::string& folder)
{
    const SamplePicture picture = RenderSamplePicture(400, 300);
    TiffPage page;
    page.width = static_cast<std::uint32_t>(picture.width);
    page.height = static_cast<std::uint32_t>(picture.height);
    page.samplesPerPixel = 3;
    page.photometric = PHOTOMETRIC_RGB;
    page.compression = COMPRESSION_LZW;
    page.predictor = PREDICTOR_HORIZONTAL;
    page.rowsPerStrip = 16;
    page.samples = picture.rgb;
    return WriteTiff(folder + "/08-sunrise.tif", {page});
}

// The newer formats as their encoders write photographs by default: lossy,
// 8 bits. Each sample is made by the format's own library.
bool WriteWebpSample(const std::string& folder)
{
    const std::vector<std::uint8_t> file = EncodeWebp(RawFromSample(RenderSamplePicture(400, 300)));
    return !file.empty() && WriteFileBytes(folder + "/09-sunrise.webp", file);
}

bool WriteAvifSample(const std::string& folder)
{
    const std::vector<std::uint8_t> file = EncodeAvif(RawFromSample(RenderSamplePicture(400, 300)));
    return !file.empty() && WriteFileBytes(folder + "/10-sunrise.avif", file);
}

bool WriteHeifSample(const std::string& folder)
{
    const std::vector<std::uint8_t> file = EncodeHeif(RawFromSample(RenderSamplePicture(400, 300)));
    return !file.empty() && WriteFileBytes(folder + "/11-sunrise.heic", file);
}

bool WriteJxlSample(const std::string& folder)
{
    const std::vector<std::uint8_t> file = EncodeJxl({RawFromSample(RenderSamplePicture(400, 300))});
    return !file.empty() && WriteFileBytes(folder + "/12-sunrise.jxl", file);
}

// A photo from a camera held on its side: stored a quarter turn
// anti-clockwise, 300 x 400, with the Exif orientation 6 that shows it
// upright again.
bool WriteSidewaysSample(const std::string& folder)
{
    const SamplePicture upright = RenderSamplePicture(400, 300);
    std::vector<std::uint8_t> stored;
    stored.reserve(upright.rgb.size());
    for (int y = 0; y < upright.width; ++y) {
        for (int x = 0; x < upright.height; ++x) {
            const std::uint8_t* p = upright.At(upright.width - 1 - y, x);
            stored.insert(stored.end(), p, p + 3);
        }
    }
    JpegWriterOptions options;
    options.quality = 85;
    const std::vector<std::uint8_t> file = EncodeJpeg(upright.height, upright.width, stored, options);
    return !file.empty() &&
           WriteFileBytes(folder + "/13-sunrise-sideways.jpg", JpegWithExif(file, ExifWithOrientation(6)));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mksamples FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    struct Sample {
        const char* name;
        bool (*write)(const std::string&);
    };
    const Sample samples[] = {
        {"BMP", WriteBmpSample},   {"JPEG", WriteJpegSample},   {"PNG", WritePngSample},
        {"TGA", WriteTgaSample},   {"PCX", WritePcxSample},     {"GIF", WriteGifSample},
        {"TIFF", WriteTiffSample}, {"WebP", WriteWebpSample},   {"AVIF", WriteAvifSample},
        {"HEIF", WriteHeifSample}, {"JPEG XL", WriteJxlSample}, {"sideways JPEG", WriteSidewaysSample},
    };
    int status = 0;
    for (const Sample& sample : samples) {
        if (!sample.write(folder)) {
            std::fprintf(stderr, "mksamples: cannot write the %s sample into %s\n", sample.name, folder.c_str());
            status = 1;
        }
    }
    return status;
}
