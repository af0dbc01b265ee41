// The entry of the module that decodes WebP, AVIF, HEIF and JPEG XL
// (imaging/decoder_module.h).
#include <jxl/decode.h>

#include <new>
#include <utility>

#include "decoder_avif.h"
#include "decoder_heif.h"
#include "decoder_jxl.h"
#include "decoder_module.h"
#include "decoder_webp.h"

namespace brelvix {

namespace {

PxDecoder* Create(int formatId)
{
    switch (formatId) {
        case kPxFormatWebP:
            return new (std::nothrow) PxDecoderWebP();
        case kPxFormatAVIF:
            return new (std::nothrow) PxDecoderAVIF();
        case kPxFormatHEIF:
            return new (std::nothrow) PxDecoderHEIF();
        case kPxFormatJXL:
            return new (std::nothrow) PxDecoderJXL();
        default:
            return nullptr;
    }
}

PxAnimation* OpenAnimation(int formatId, PxFileBytes* file, PxLoadControl* control)
{
    switch (formatId) {
        case kPxFormatWebP:
            return PxOpenWebPAnimation(std::move(*file), control).release();
        case kPxFormatJXL:
            return PxOpenJxlAnimation(std::move(*file), control).release();
        case kPxFormatAVIF:
            return PxOpenAvifAnimation(std::move(*file), control).release();
        default:
            return nullptr;
    }
}

// libjxl writes a line to standard error for every fault of a damaged file.
const void* QuietLibrary()
{
    return reinterpret_cast<const void*>(&JxlDecoderVersion);
}

}  // namespace

}  // namespace brelvix

extern "C" {
extern const brelvix::PxDecoderModuleEntry brelvix_decoder_module;
const brelvix::PxDecoderModuleEntry brelvix_decoder_module = brelvix::PxDecoderModuleEntryFor(
    brelvix::Create, brelvix::QuietLibrary, brelvix::OpenAnimation, brelvix::PxIsoMediaExifBlock);
}
