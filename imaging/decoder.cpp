#include "decoder.h"

#include <cstdlib>
#include <new>

#include "decoder_bmp.h"
#include "decoder_gif.h"
#include "decoder_jpeg.h"
#include "decoder_pcx.h"
#include "decoder_png.h"
#include "decoder_tga.h"
#include "decoder_tiff.h"

namespace brelvix {

PxDecoder::~PxDecoder()
{
    std::free(scratch);
}

bool PxDecoder::ReadWholeFileIntoScratch(PxFileStream& stream, std::uint64_t* delivered)
{
    *delivered = 0;
    const std::uint64_t size = stream.Size();
    if (size > kPxMaxStoreBytes) {
        return false;
    }
    scratch = std::malloc(size > 0 ? static_cast<std::size_t>(size) : 1);
    if (scratch == nullptr) {
        return false;
    }
    stream.Read(scratch, size, delivered);
    return true;
}

void PxTrace(const char* /*text*/)
{
}

int PxDecoderPSD::ReadHeader(PxFileStream& /*stream*/, PxBitmap& /*bitmap*/)
{
    return 0;
}

int PxDecoderPSD::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    ReadHeader(stream, bitmap);
    if (bitmap.CreatePixelStore() != 0) {
        return 1;
    }
    return 0;
}

PxDecoder* PxCreateDecoder(int formatId)
{
    switch (formatId) {
    case kPxFormatBMP: return new (std::nothrow) PxDecoderBMP();
    case kPxFormatTGA: return new (std::nothrow) PxDecoderTGA();
    case kPxFormatTIFF: return new (std::nothrow) PxDecoderTIFF();
    case kPxFormatJPEG: return new (std::nothrow) PxDecoderJPEG();
    case kPxFormatPNG: return new (std::nothrow) PxDecoderPNG();
    case kPxFormatPCX: return new (std::nothrow) PxDecoderPCX();
    case kPxFormatGIF: return new (std::nothrow) PxDecoderGIF();
    case kPxFormatPSD: return new (std::nothrow) PxDecoderPSD();
    default: return nullptr;
    }
}

int PxBitmap::CreateFromFile(const char* path)
{
    PxFileStream stream;
    int result = 0;
    PxDecoder* decoder = nullptr;
    PxTrace("Opening file ");
    PxTrace(path != nullptr ? path : "");
    PxTrace("\n");
    try {
        if (stream.Open(path) != 0) {
            return 1;
        }
        formatId = stream.DetectFormat();
        decoder = PxCreateDecoder(formatId);
        if (decoder == nullptr) {
            stream.Close();
            return 1;
        }
        stream.SeekToStart();
        if (decoder->Decode(stream, *this) != 0) {
            result = 1;
        }
        delete decoder;
        decoder = nullptr;
        stream.Close();
    } catch (...) {
        PxTrace("Exception in PxBitmap::CreateFromFile!\n");
        delete decoder;
        result = 1;
    }
    return result;
}

}  // namespace brelvix
