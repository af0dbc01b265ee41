#include "decoder.h"

#include <new>

#include "decoder_avif.h"
#include "decoder_bmp.h"
#include "decoder_gif.h"
#include "decoder_heif.h"
#include "decoder_jpeg.h"
#include "decoder_jxl.h"
#include "decoder_pcx.h"
#include "decoder_png.h"
#include "decoder_tga.h"
#include "decoder_tiff.h"
#include "decoder_webp.h"

namespace brelvix {

PxDecoder::~PxDecoder() = default;

bool PxDecoder::ReadWholeFileIntoScratch(PxFileStream& stream, std::uint64_t* delivered)
{
    *delivered = 0;
    const std::uint64_t size = stream.Size();
    // An empty file still gets a block, so that the libraries see a buffer.
    scratch = PxZeroed<std::uint8_t>(size > 0 ? size : 1);
    if (!scratch) {
        return false;
    }
    stream.Read(scratch.get(), size, delivered);
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

std::unique_ptr<PxDecoder> PxCreateDecoder(int formatId)
{
    switch (formatId) {
        case kPxFormatBMP:
            return std::unique_ptr<PxDecoder>(new (std::nothrow) PxDecoderBMP());
        case kPxFormatTGA:
            return std::unique_ptr<PxDecoder>(new (std::nothrow) PxDecoderTGA());
        case kPxFormatTIFF:
            return std::unique_ptr<PxDecoder>(new (std::nothrow) PxDecoderTIFF());
        case kPxFormatJPEG:
            return std::unique_ptr<PxDecoder>(new (std::nothrow) PxDecoderJPEG());
        case kPxFormatPNG:
            return std::unique_ptr<PxDecoder>(new (std::nothrow) PxDecoderPNG());
        case kPxFormatPCX:
            return std::unique_ptr<PxDecoder>(new (std::nothrow) PxDecoderPCX());
        case kPxFormatGIF:
            return std::unique_ptr<PxDecoder>(new (std::nothrow) PxDecoderGIF());
        case kPxFormatPSD:
            return std::unique_ptr<PxDecoder>(new (std::nothrow) PxDecoderPSD());
        case kPxFormatWebP:
            return std::unique_ptr<PxDecoder>(new (std::nothrow) PxDecoderWebP());
        case kPxFormatAVIF:
            return std::unique_ptr<PxDecoder>(new (std::nothrow) PxDecoderAVIF());
        case kPxFormatHEIF:
            return std::unique_ptr<PxDecoder>(new (std::nothrow) PxDecoderHEIF());
        case kPxFormatJXL:
            return std::unique_ptr<PxDecoder>(new (std::nothrow) PxDecoderJXL());
        default:
            return nullptr;
    }
}

int PxBitmap::CreateFromFile(const char* path, PxLoadControl* control)
{
    // The decoder goes before the stream on every path, exceptions included,
    // and the stream closes its file when it goes.
    PxFileStream stream;
    PxTrace("Opening file ");
    PxTrace(path != nullptr ? path : "");
    PxTrace("\n");
    try {
        // A load cancelled before it began does not even open the file.
        if ((control != nullptr && control->Cancelled()) || stream.Open(path) != 0) {
            return 1;
        }
        formatId = stream.DetectFormat();
        const std::unique_ptr<PxDecoder> decoder = PxCreateDecoder(formatId);
        if (decoder == nullptr) {
            return 1;
        }
        decoder->SetLoadControl(control);
        stream.SeekToStart();
        const int result = decoder->Decode(stream, *this) != 0 ? 1 : 0;
        if (control == nullptr) {
            return result;
        }
        // A cancel that comes after the last check of the decoder still
        // fails the load: a cancelled load never yields a picture.
        if (result != 0 || control->Cancelled()) {
            return 1;
        }
        control->SetProgress(1000);
        return 0;
    } catch (...) {
        PxTrace("Exception in PxBitmap::CreateFromFile!\n");
        return 1;
    }
}

}  // namespace brelvix
