#include "decoder_jxl.h"

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <algorithm>
#include <new>

namespace brelvix {

namespace {

using Decoder = std::unique_ptr<JxlDecoder, PxReleaseWith<&JxlDecoderDestroy>>;
using Runner = std::unique_ptr<void, PxReleaseWith<&JxlThreadParallelRunnerDestroy>>;

// The file is handed over in about this many steps, each of at least
// kMinStep and at most kMaxStep bytes: libjxl decodes the groups of a frame
// as their bytes arrive, so each call does a bounded stretch of work and a
// cancel is seen between two of them.
constexpr std::size_t kSteps = 32;
constexpr std::size_t kMinStep = 4 * 1024;
constexpr std::size_t kMaxStep = 1024 * 1024;

// Progress in permille once the whole file is decoded; the rows are then
// put the store's way.
constexpr std::int64_t kDecoded = 900;

// libjxl 0.7 has no memory limit of its own and works on floating-point
// planes: about 16 bytes a pixel besides the store. Pictures whose planes
// would pass this are refused from their header, before any is allocated.
constexpr std::uint64_t kLibraryBytesPerPixel = 16;
constexpr std::uint64_t kMaxLibraryBytes = std::uint64_t{2} << 30;

}  // namespace

struct PxDecoderJXL::Library {
    Decoder decoder;
    Runner runner;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t fed = 0;  // bytes handed to libjxl so far
    std::size_t step = kMinStep;
    bool deep = false;  // 16-bit samples requested
    // Where libjxl writes 16-bit samples, before their high bytes go to the store.
    PxBuffer<std::uint16_t> wide;

    // Runs libjxl until it reports something other than a need for input
    // the file still holds; feeds the next step of the file each time.
    // Between two steps, reports the share of the file decoded so far and
    // ends with JXL_DEC_ERROR once the load is cancelled.
    JxlDecoderStatus Next(PxLoadControl* control)
    {
        for (;;) {
            const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
            if (status != JXL_DEC_NEED_MORE_INPUT || fed >= size) {
                return status;
            }
            if (control != nullptr &&
                (control->Cancelled() || !PxLoadGoesOn(control, kDecoded * static_cast<std::int64_t>(fed),
                                                       1000 * static_cast<std::int64_t>(size)))) {
                return JXL_DEC_ERROR;
            }
            // libjxl wants the bytes it has not used yet again, followed by the next step.
            const std::size_t start = fed - std::min(fed, JxlDecoderReleaseInput(decoder.get()));
            fed = std::min(size, fed + step);
            if (JxlDecoderSetInput(decoder.get(), data + start, fed - start) != JXL_DEC_SUCCESS) {
                return JXL_DEC_ERROR;
            }
        }
    }

    // Gives libjxl where to write: 8-bit rows straight into the store, whose
    // rows are as long as libjxl's with rows aligned to 4 bytes (top row
    // first, red first: Finish puts them the store's way); 16-bit samples
    // into a buffer of their own.
    bool SetOutput(PxBitmap& bitmap)
    {
        const JxlPixelFormat format{3, deep ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, deep ? 0U : 4U};
        std::size_t bytes = 0;
        if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &bytes) != JXL_DEC_SUCCESS) {
            return false;
        }
        if (!deep) {
            return bytes == static_cast<std::uint64_t>(bitmap.Stride()) * static_cast<std::uint64_t>(bitmap.Height()) &&
                   JxlDecoderSetImageOutBuffer(decoder.get(), &format, bitmap.Pixels(), bytes) == JXL_DEC_SUCCESS;
        }
        wide = PxZeroed<std::uint16_t>(bytes / 2);
        return wide && bytes == static_cast<std::uint64_t>(bitmap.Width()) * bitmap.Height() * 6 &&
               JxlDecoderSetImageOutBuffer(decoder.get(), &format, wide.get(), bytes) == JXL_DEC_SUCCESS;
    }

    // Turns what libjxl wrote into the store's layout: rows bottom-up, blue
    // first. False once the load is cancelled.
    bool Finish(PxBitmap& bitmap, PxLoadControl* control) const
    {
        const std::int64_t width = bitmap.Width();
        const std::int64_t height = bitmap.Height();
        if (deep) {
            for (std::int64_t y = 0; y < height; ++y) {
                if (!PxLoadGoesOn(control, kDecoded * height + (1000 - kDecoded) * y, 1000 * height)) {
                    return false;
                }
                const std::uint16_t* source = wide.get() + y * width * 3;
                std::uint8_t* target = PxStoreRow(bitmap, height - 1 - y);
                for (std::int64_t j = 0; j < width; ++j) {
                    target[3 * j] = static_cast<std::uint8_t>(source[3 * j + 2] >> 8);
                    target[3 * j + 1] = static_cast<std::uint8_t>(source[3 * j + 1] >> 8);
                    target[3 * j + 2] = static_cast<std::uint8_t>(source[3 * j] >> 8);
                }
            }
            return true;
        }
        // Row r and row height - 1 - r change places, each swapping red and
        // blue on the way; a middle row only swaps.
        for (std::int64_t top = 0, bottom = height - 1; top <= bottom; ++top, --bottom) {
            if (!PxLoadGoesOn(control, kDecoded * height + (1000 - kDecoded) * 2 * top, 1000 * height)) {
                return false;
            }
            std::uint8_t* a = PxStoreRow(bitmap, top);
            std::uint8_t* b = PxStoreRow(bitmap, bottom);
            for (std::int64_t j = 0; j < width; ++j) {
                std::uint8_t* p = a + 3 * j;
                std::uint8_t* q = b + 3 * j;
                const std::uint8_t pr = p[0], pg = p[1], pb = p[2];
                p[0] = q[2];
                p[1] = q[1];
                p[2] = q[0];
                q[0] = pb;
                q[1] = pg;
                q[2] = pr;
            }
        }
        return true;
    }
};

PxDecoderJXL::PxDecoderJXL() = default;

PxDecoderJXL::~PxDecoderJXL() = default;

int PxDecoderJXL::ReadHeader(PxFileStream& /*stream*/, PxBitmap& bitmap)
{
    if (!scratch) {
        return 1;
    }
    library.reset(new (std::nothrow) Library);
    if (library == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    Library& lib = *library;
    lib.decoder.reset(JxlDecoderCreate(nullptr));
    lib.runner.reset(JxlThreadParallelRunnerCreate(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads()));
    JxlDecoder* decoder = lib.decoder.get();
    if (decoder == nullptr || lib.runner == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    if (JxlDecoderSetParallelRunner(decoder, JxlThreadParallelRunner, lib.runner.get()) != JXL_DEC_SUCCESS ||
        JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(decoder, JXL_TRUE) != JXL_DEC_SUCCESS) {
        return Fail(PxLoadError::Unsupported);  // a library without these settings
    }
    lib.data = scratch.get();
    lib.size = fileLength;
    lib.step = std::clamp(fileLength / kSteps, kMinStep, kMaxStep);
    lib.fed = std::min(fileLength, lib.step);
    if (JxlDecoderSetInput(decoder, lib.data, lib.fed) != JXL_DEC_SUCCESS || lib.Next(control) != JXL_DEC_BASIC_INFO) {
        return Fail(PxLoadError::Damaged);
    }
    JxlBasicInfo info;
    if (JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS || info.xsize == 0 || info.ysize == 0) {
        return Fail(PxLoadError::Damaged);
    }
    const std::uint64_t area = std::uint64_t{info.xsize} * info.ysize;
    if (area > kMaxLibraryBytes / kLibraryBytesPerPixel || info.xsize > INT32_MAX || info.ysize > INT32_MAX) {
        return Fail(PxLoadError::TooLarge);
    }
    lib.deep = info.bits_per_sample > 8 && info.exponent_bits_per_sample == 0;
    bitmap.SetOrientation(info.orientation >= 1 && info.orientation <= 8 ? static_cast<std::int32_t>(info.orientation)
                                                                         : 1);
    bitmap.SetDimensions(static_cast<std::int32_t>(info.xsize), static_cast<std::int32_t>(info.ysize),
                         info.alpha_bits > 0 ? 32 : 24);
    return 0;
}

int PxDecoderJXL::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    std::uint64_t delivered = 0;
    if (!ReadWholeFileIntoScratch(stream, &delivered)) {
        return 1;
    }
    fileLength = static_cast<std::size_t>(delivered);
    ReadHeader(stream, bitmap);
    if (CreateStore(bitmap) != 0 || library == nullptr || Cancelled()) {
        return 1;
    }
    Library& lib = *library;
    for (;;) {
        switch (lib.Next(control)) {
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                // Three samples a pixel whatever the file holds: grey is
                // spread over red, green and blue, and alpha is left out.
                if (!lib.SetOutput(bitmap)) {
                    // Only the buffer for deep samples is allocated there.
                    return Fail(lib.deep && !lib.wide ? PxLoadError::OutOfMemory : PxLoadError::Damaged);
                }
                break;
            case JXL_DEC_FULL_IMAGE:
                // The first frame is all that is shown.
                return lib.Finish(bitmap, control) ? 0 : 1;
            case JXL_DEC_NEED_MORE_INPUT:
                // The file ended early: what libjxl can render from it.
                if (JxlDecoderFlushImage(lib.decoder.get()) != JXL_DEC_SUCCESS) {
                    return Fail(PxLoadError::Damaged);
                }
                return lib.Finish(bitmap, control) ? 0 : 1;
            case JXL_DEC_ERROR:
            case JXL_DEC_SUCCESS:
                // An error, a cancel seen between two steps, or a file that
                // ended without a frame.
                return Fail(PxLoadError::Damaged);
            default:
                break;
        }
    }
}

}  // namespace brelvix
