#include "decoder_jxl.h"

#include <dlfcn.h>
#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <new>

namespace brelvix {

namespace {

using Decoder = std::unique_ptr<JxlDecoder, PxReleaseWith<&JxlDecoderDestroy>>;
using Runner = std::unique_ptr<void, PxReleaseWith<&JxlThreadParallelRunnerDestroy>>;

// The file is handed over in steps of this size, so that each call does a
// bounded stretch of work.
constexpr std::size_t kStep = 1024 * 1024;

// libjxl 0.7 has no memory limit of its own and works on floating-point
// planes: about 16 bytes a pixel besides the store. Pictures whose planes
// would pass this are refused from their header, before any is allocated.
constexpr std::uint64_t kLibraryBytesPerPixel = 16;
constexpr std::uint64_t kMaxLibraryBytes = std::uint64_t{2} << 30;

// Whether code at `address` belongs to libjxl.
bool InsideLibjxl(const void* address)
{
    Dl_info library{};
    Dl_info caller{};
    return dladdr(reinterpret_cast<const void*>(&JxlDecoderVersion), &library) != 0 &&
           dladdr(address, &caller) != 0 && caller.dli_fbase == library.dli_fbase;
}

using FormattedWrite = int (*)(std::FILE*, int, const char*, std::va_list);

}  // namespace

}  // namespace brelvix

// libjxl as Debian builds it writes a line to standard error for every
// fault it meets in a damaged file ("JXL_FAILURE: ..."), and it offers no
// switch to stop it. Its writes all pass through the C library's checked
// formatted write, which the program provides itself so that it can drop
// the lines whose caller is libjxl; every other write goes on to the C
// library unchanged.
extern "C" int __vfprintf_chk(std::FILE* stream, int flag, const char* format, std::va_list arguments)
{
    if (stream == stderr && brelvix::InsideLibjxl(__builtin_return_address(0))) {
        return 0;
    }
    static const auto write = reinterpret_cast<brelvix::FormattedWrite>(dlsym(RTLD_NEXT, "__vfprintf_chk"));
    return write != nullptr ? write(stream, flag, format, arguments) : -1;
}

namespace brelvix {

struct PxDecoderJXL::Library {
    Decoder decoder;
    Runner runner;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t fed = 0;  // bytes handed to libjxl so far
    // Where the pixel callback writes; set once the store exists.
    std::uint8_t* pixels = nullptr;
    std::int64_t stride = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool deep = false;  // 16-bit samples requested
    std::atomic<bool> delivered{false};

    // Runs libjxl until it reports something other than a need for input
    // the file still holds; feeds the next step of the file each time.
    JxlDecoderStatus Next()
    {
        for (;;) {
            const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
            if (status != JXL_DEC_NEED_MORE_INPUT || fed >= size) {
                return status;
            }
            // libjxl wants the bytes it has not used yet again, followed by the next step.
            const std::size_t start = fed - std::min(fed, JxlDecoderReleaseInput(decoder.get()));
            fed = std::min(size, fed + kStep);
            if (JxlDecoderSetInput(decoder.get(), data + start, fed - start) != JXL_DEC_SUCCESS) {
                return JXL_DEC_ERROR;
            }
        }
    }

    static void Write(void* opaque, std::size_t x, std::size_t y, std::size_t count, const void* pixels);
};

// Red, green, blue in (8 or 16 bits a sample); blue, green, red out, into
// the store row of picture row y.
void PxDecoderJXL::Library::Write(void* opaque, std::size_t x, std::size_t y, std::size_t count, const void* pixels)
{
    auto* library = static_cast<Library*>(opaque);
    if (static_cast<std::int64_t>(y) >= library->height || static_cast<std::int64_t>(x) >= library->width) {
        return;
    }
    const std::int64_t run = std::min<std::int64_t>(static_cast<std::int64_t>(count), library->width - x);
    std::uint8_t* target = library->pixels + (library->height - 1 - static_cast<std::int64_t>(y)) * library->stride + 3 * x;
    if (library->deep) {
        const auto* source = static_cast<const std::uint16_t*>(pixels);
        for (std::int64_t j = 0; j < run; ++j) {
            target[3 * j] = static_cast<std::uint8_t>(source[3 * j + 2] >> 8);
            target[3 * j + 1] = static_cast<std::uint8_t>(source[3 * j + 1] >> 8);
            target[3 * j + 2] = static_cast<std::uint8_t>(source[3 * j] >> 8);
        }
    } else {
        const auto* source = static_cast<const std::uint8_t*>(pixels);
        for (std::int64_t j = 0; j < run; ++j) {
            target[3 * j] = source[3 * j + 2];
            target[3 * j + 1] = source[3 * j + 1];
            target[3 * j + 2] = source[3 * j];
        }
    }
    library->delivered.store(true, std::memory_order_relaxed);
}

PxDecoderJXL::PxDecoderJXL() = default;

PxDecoderJXL::~PxDecoderJXL() = default;

int PxDecoderJXL::ReadHeader(PxFileStream& /*stream*/, PxBitmap& bitmap)
{
    if (!scratch) {
        return 1;
    }
    library.reset(new (std::nothrow) Library);
    if (library == nullptr) {
        return 1;
    }
    Library& lib = *library;
    lib.decoder.reset(JxlDecoderCreate(nullptr));
    lib.runner.reset(JxlThreadParallelRunnerCreate(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads()));
    JxlDecoder* decoder = lib.decoder.get();
    if (decoder == nullptr || lib.runner == nullptr ||
        JxlDecoderSetParallelRunner(decoder, JxlThreadParallelRunner, lib.runner.get()) != JXL_DEC_SUCCESS ||
        JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(decoder, JXL_TRUE) != JXL_DEC_SUCCESS) {
        return 1;
    }
    lib.data = scratch.get();
    lib.size = fileLength;
    lib.fed = std::min(fileLength, kStep);
    if (JxlDecoderSetInput(decoder, lib.data, lib.fed) != JXL_DEC_SUCCESS || lib.Next() != JXL_DEC_BASIC_INFO) {
        return 1;
    }
    JxlBasicInfo info;
    if (JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS || info.xsize == 0 || info.ysize == 0) {
        return 1;
    }
    const std::uint64_t area = std::uint64_t{info.xsize} * info.ysize;
    if (area > kMaxLibraryBytes / kLibraryBytesPerPixel || info.xsize > INT32_MAX || info.ysize > INT32_MAX) {
        return 1;
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
    if (bitmap.CreatePixelStore() != 0 || library == nullptr) {
        return 1;
    }
    Library& lib = *library;
    lib.pixels = bitmap.Pixels();
    lib.stride = bitmap.Stride();
    lib.width = bitmap.Width();
    lib.height = bitmap.Height();
    // Three samples a pixel whatever the file holds: grey is spread over
    // red, green and blue, and alpha is left out.
    const JxlPixelFormat format{3, lib.deep ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    for (;;) {
        switch (lib.Next()) {
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                if (JxlDecoderSetImageOutCallback(lib.decoder.get(), &format, Library::Write, &lib) !=
                    JXL_DEC_SUCCESS) {
                    return 1;
                }
                break;
            case JXL_DEC_FULL_IMAGE:
                // The first frame is all that is shown.
                return 0;
            case JXL_DEC_NEED_MORE_INPUT:
                // The file ended early: what libjxl can render from it.
                return JxlDecoderFlushImage(lib.decoder.get()) == JXL_DEC_SUCCESS ||
                               lib.delivered.load(std::memory_order_relaxed)
                           ? 0
                           : 1;
            case JXL_DEC_ERROR:
            case JXL_DEC_SUCCESS:
                return lib.delivered.load(std::memory_order_relaxed) ? 0 : 1;
            default:
                break;
        }
    }
}

}  // namespace brelvix
