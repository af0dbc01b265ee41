#pragma once

#include "decoder.h"

class PxDecoderGIF : public PxDecoder {
public:
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;
};
