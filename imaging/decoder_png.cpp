#include "decoder_png.h"

// Not decoded yet: the header is rejected, so the load fails with 1 while the
// format id stays recognised.
int PxDecoderPNG::ReadHeader(PxFileStream& /*stream*/, PxBitmap& /*bitmap*/)
{
    return 1;
}

int PxDecoderPNG::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    ReadHeader(stream, bitmap);
    return bitmap.CreatePixelStore() != 0 ? 1 : 0;
}
