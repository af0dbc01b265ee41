// AVIF through libavif (with the AV1 decoder it was built with): the whole
// file is read into memory, the first picture (the primary item, or the
// first frame of a sequence) is decoded and converted by libavif into the
// bottom-up blue-green-red store. The file's rotation and mirror are
// recorded as its orientation.
#pragma once

#include <cstddef>
#include <memory>

#include "decoder.h"

struct avifImage;

namespace brelvix {

class PxDecoderAVIF : public PxDecoder {
public:
    PxDecoderAVIF();
    ~PxDecoderAVIF() override;

    // 1 when the file cannot be read, libavif rejects it, the store cannot
    // be created, nothing of the picture could be decoded, or the load is
    // cancelled (looked at around libavif's calls and between rows). A tiled
    // (grid) picture that breaks off shows the rows of the tiles that
    // arrived, with 0. Samples of 10 and 12 bits show their high 8 bits;
    // alpha goes to the bitmap's alpha plane.
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;

    // Needs the file in `scratch`. Parses the container within libavif's
    // limits (set to the store cap), sizes the bitmap (depth 32 with alpha,
    // else 24) and records the orientation; 1 when libavif rejects the file.
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;

private:
    // libavif's decoder and the reader that serves it the file.
    struct Library;

    // Converts the top `rows` rows of the decoded picture into the store.
    int ConvertRows(PxBitmap& bitmap, std::uint32_t rows);
    // Copies the alpha of the rows of `image` into the bitmap's plane.
    static void KeepAlpha(PxBitmap& bitmap, const avifImage* image);

    std::unique_ptr<Library> library;
    std::size_t fileLength = 0;
};

}  // namespace brelvix
