// JPEG fixtures written with libjpeg's own compressor, and a plain libjpeg
// decode of a file for comparing the viewer's decoder against.
#pragma once

#include <cstdint>
#include <vector>

namespace brelvix {

// How the samples are coded in the file.
enum class JpegSpace {
    kYCbCr,  // input red, green, blue; stored as YCbCr (the ordinary colour file)
    kGray,   // input one grey byte per pixel; one component
    kRgb,    // input red, green, blue; stored as RGB with an Adobe marker (transform 0)
    kCmyk,   // input cyan, magenta, yellow, black as stored; four components
    kYcck,   // input CMYK as for kCmyk; stored as YCCK with an Adobe marker (transform 2)
    kOther,  // `otherComponents` uninterpreted components, stored as given
};

struct JpegWriterOptions {
    JpegSpace space = JpegSpace::kYCbCr;
    int quality = 90;
    bool progressive = false;
    bool arithmetic = false;
    // 4:2:0 chroma for kYCbCr; false keeps full-size chroma (4:4:4).
    bool subsample = true;
    // For kCmyk: false leaves out the Adobe marker (plain, non-inverted CMYK).
    bool adobeMarker = true;
    // For kOther: 2, or 5 to 10.
    int otherComponents = 2;
    // With progressive: 1 to 11 codes every coefficient of every component
    // in scans of its own, each in that many successive-approximation steps
    // (64 x steps scans per component, the costliest script libjpeg takes);
    // 0 keeps libjpeg's usual progression of about ten scans.
    int stepsPerCoefficient = 0;
    // An ICC profile in APP2 segments (as many as it needs) when not empty.
    std::vector<std::uint8_t> iccProfile;
};

// Encodes a top-down picture of width x height pixels; `samples` holds as
// many bytes per pixel as the space has components. Returns the file's bytes, or an
// empty vector when libjpeg refuses.
std::vector<std::uint8_t> EncodeJpeg(int width, int height, const std::vector<std::uint8_t>& samples,
                                     const JpegWriterOptions& options = {});

// Decodes a JPEG with libjpeg alone, with the viewer's settings (float IDCT,
// simple upsampling), into top-down red-green-blue triplets; grey files
// repeat the grey value. False when libjpeg fails or the file is not
// greyscale or three-component.
bool DecodeJpegReference(const std::vector<std::uint8_t>& file, int* width, int* height,
                         std::vector<std::uint8_t>* rgb);

}  // namespace brelvix
