#include "decoder.h"

#include <exception>
#include <new>

#include "decoder_bmp.h"
#include "decoder_gif.h"
#include "decoder_jpeg.h"
#include "decoder_module.h"
#include "decoder_pcx.h"
#include "decoder_png.h"
#include "decoder_tga.h"
#include "decoder_tiff.h"

namespace brelvix {

PxDecoder::~PxDecoder() = default;

bool PxDecoder::ReadWholeFileIntoScratch(PxFileStream& stream, std::uint64_t* delivered)
{
    *delivered = 0;
    const std::uint64_t size = stream.Size();
    // An empty file still gets a block, so that the libraries see a buffer.
    scratch = PxZeroed<std::uint8_t>(size > 0 ? size : 1);
    if (!scratch) {
        Fail(size > kPxMaxStoreBytes ? PxLoadError::TooLarge : PxLoadError::OutOfMemory);
        return false;
    }
    stream.Read(scratch.get(), size, delivered);
    return true;
}

int PxDecoder::CreateStore(PxBitmap& bitmap)
{
    if (bitmap.CreatePixelStore() != 0) {
        return Fail(PxStoreError(bitmap.Width(), bitmap.Height()));
    }
    return 0;
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
        return Fail(PxLoadError::Unsupported);
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
        case kPxFormatAVIF:
        case kPxFormatHEIF:
        case kPxFormatJXL:
            return PxNewerFormats().Create(formatId);
        default:
            return nullptr;
    }
}

namespace {

// The steps of a load up to the decoder's result; the reason it failed, or
// None. Exceptions pass through to CreateFromFile.
PxLoadError LoadThrough(PxFileStream& stream, PxBitmap& bitmap, const char* path, PxLoadControl* control,
                        PxReduction* reduction)
{
    // A load cancelled before it began does not even open the file.
    if (control != nullptr && control->Cancelled()) {
        return PxLoadError::Cancelled;
    }
    if (path == nullptr) {
        return PxLoadError::NotFound;
    }
    if (const int code = stream.Open(path); code != 0) {
        return PxOpenError(code);
    }
    bitmap.SetFormatId(stream.DetectFormat());
    if (stream.ReadFailed()) {
        return PxLoadError::Unreadable;
    }
    const std::unique_ptr<PxDecoder> decoder = PxCreateDecoder(bitmap.FormatId());
    if (decoder == nullptr) {
        if (bitmap.FormatId() == kPxFormatUnknown) {
            return PxLoadError::NotAPicture;
        }
        return PxDecodedByModule(bitmap.FormatId()) && !PxNewerFormats().Loaded() ? PxLoadError::Unsupported
                                                                                  : PxLoadError::OutOfMemory;
    }
    decoder->SetLoadControl(control);
    // A format without a reduced decode is not decoded at all: the full
    // decode that follows would only do the same work again.
    if (reduction != nullptr && !decoder->SetReduction(reduction)) {
        return PxLoadError::Unsupported;
    }
    stream.SeekToStart();
    if (decoder->Decode(stream, bitmap) == 0) {
        return PxLoadError::None;
    }
    // A disk that refuses a read makes any decoder fail somehow; the
    // decoder's own reason would then blame the file.
    if (stream.ReadFailed()) {
        return PxLoadError::Unreadable;
    }
    return decoder->Error() != PxLoadError::None ? decoder->Error() : PxLoadError::Damaged;
}

}  // namespace

int PxBitmap::CreateFromFile(const char* path, PxLoadControl* control, PxReduction* reduction)
{
    // The decoder goes before the stream on every path, exceptions included,
    // and the stream closes its file when it goes.
    PxFileStream stream;
    PxTrace("Opening file ");
    PxTrace(path != nullptr ? path : "");
    PxTrace("\n");
    PxLoadError error = PxLoadError::None;
    try {
        error = LoadThrough(stream, *this, path, control, reduction);
    } catch (const PxLoadFailure& failure) {
        PxTrace("Exception in PxBitmap::CreateFromFile!\n");
        error = failure.Reason();
    } catch (const std::bad_alloc&) {
        PxTrace("Exception in PxBitmap::CreateFromFile!\n");
        error = PxLoadError::OutOfMemory;
    } catch (const std::exception&) {
        // No codec library throws; what a library of C++ might raise on
        // bytes it cannot make sense of is taken as the file's fault.
        PxTrace("Exception in PxBitmap::CreateFromFile!\n");
        error = PxLoadError::Damaged;
    }
    // A cancel that comes after the last check of the decoder still fails
    // the load: a cancelled load never yields a picture.
    if (control != nullptr && control->Cancelled()) {
        error = PxLoadError::Cancelled;
    }
    loadError = error;
    if (error != PxLoadError::None) {
        return 1;
    }
    if (control != nullptr) {
        control->SetProgress(1000);
    }
    return 0;
}

}  // namespace brelvix
