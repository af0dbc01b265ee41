#pragma once

#include "decoder.h"

class PxDecoderTIFF : public PxDecoder {
public:
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;
};
