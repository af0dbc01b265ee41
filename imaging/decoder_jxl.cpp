#include "decoder_jxl.h"

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "alpha.h"
#include "color_profile.h"
#include "exif_bytes.h"

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

// An Exif box is read in steps of this size, up to kPxMaxExifBytes.
constexpr std::size_t kBoxStep = 64 * 1024;

// The H.273 code points of a colour encoding whose white point is the one
// its primaries come with; 0 for the rest.
int PrimariesCode(const JxlColorEncoding& encoding)
{
    if (encoding.color_space == JXL_COLOR_SPACE_GRAY) {
        return encoding.white_point == JXL_WHITE_POINT_D65 ? 1 : 0;
    }
    switch (encoding.primaries) {
        case JXL_PRIMARIES_SRGB:
            return encoding.white_point == JXL_WHITE_POINT_D65 ? 1 : 0;
        case JXL_PRIMARIES_2100:
            return encoding.white_point == JXL_WHITE_POINT_D65 ? 9 : 0;
        case JXL_PRIMARIES_P3:
            return encoding.white_point == JXL_WHITE_POINT_D65   ? 12
                   : encoding.white_point == JXL_WHITE_POINT_DCI ? 11
                                                                 : 0;
        default:
            return 0;
    }
}

// The colour of the decoded pixels as libjxl describes it: code points or
// explicit primaries where it has them, the ICC profile it gives otherwise.
void ReadColor(JxlDecoder* decoder, PxPictureMeta& meta)
{
    JxlColorEncoding encoding{};
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding) ==
            JXL_DEC_SUCCESS &&
        (encoding.color_space == JXL_COLOR_SPACE_RGB || encoding.color_space == JXL_COLOR_SPACE_GRAY)) {
        const int primaries = PrimariesCode(encoding);
        const bool gamma = encoding.transfer_function == JXL_TRANSFER_FUNCTION_GAMMA;
        if (primaries != 0 && !gamma && PxProfileFromCodePoints(primaries, encoding.transfer_function, &meta.profile)) {
            return;
        }
        // Grey pictures have no primaries; sRGB's serve, being neutral.
        PxChromaticities chromaticities{};
        PxPrimariesFromCode(1, &chromaticities);
        if (encoding.color_space == JXL_COLOR_SPACE_RGB) {
            if (encoding.primaries == JXL_PRIMARIES_CUSTOM) {
                std::memcpy(chromaticities.red, encoding.primaries_red_xy, sizeof chromaticities.red);
                std::memcpy(chromaticities.green, encoding.primaries_green_xy, sizeof chromaticities.green);
                std::memcpy(chromaticities.blue, encoding.primaries_blue_xy, sizeof chromaticities.blue);
            } else {
                PxPrimariesFromCode(encoding.primaries == JXL_PRIMARIES_2100 ? 9
                                    : encoding.primaries == JXL_PRIMARIES_P3 ? 12
                                                                             : 1,
                                    &chromaticities);
            }
        }
        if (encoding.white_point == JXL_WHITE_POINT_CUSTOM) {
            std::memcpy(chromaticities.white, encoding.white_point_xy, sizeof chromaticities.white);
        } else if (encoding.white_point == JXL_WHITE_POINT_DCI) {
            chromaticities.white[0] = 0.314;
            chromaticities.white[1] = 0.351;
        } else if (encoding.white_point == JXL_WHITE_POINT_E) {
            chromaticities.white[0] = chromaticities.white[1] = 1.0 / 3;
        }
        PxTransfer transfer;
        transfer.code = gamma ? 0 : encoding.transfer_function;
        transfer.gamma = gamma && encoding.gamma > 0 ? 1 / encoding.gamma : 1.0;
        const std::string curve =
            gamma ? "gamma " + std::to_string(transfer.gamma).substr(0, 4) : PxTransferName(transfer.code);
        if (!curve.empty() &&
            PxProfileFromPrimaries(chromaticities, transfer, "own primaries, " + curve + " transfer", &meta.profile)) {
            return;
        }
    }
    std::size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) != JXL_DEC_SUCCESS ||
        size == 0 || size > kPxMaxProfileBytes) {
        return;
    }
    std::vector<std::uint8_t> icc(size);
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, icc.data(), size) ==
        JXL_DEC_SUCCESS) {
        PxProfileFromIcc(icc.data(), size, meta.space, &meta.profile);
    }
}

}  // namespace

struct PxDecoderJXL::Library {
    Decoder decoder;
    Runner runner;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t fed = 0;  // bytes handed to libjxl so far
    std::size_t step = kMinStep;
    bool deep = false;  // 16-bit samples requested
    bool alpha = false;  // a fourth sample requested, for the alpha plane
    // Where libjxl writes 16-bit samples, before their high bytes go to the store.
    PxBuffer<std::uint16_t> wide;
    // Where libjxl writes 8-bit samples with alpha.
    PxBuffer<std::uint8_t> narrow;
    // The Exif box while libjxl fills it, and how much of it is filled.
    std::vector<std::uint8_t> exif;
    bool readingExif = false;

    // The box libjxl announces (JXL_DEC_BOX): an Exif box is read into
    // `exif`, once; any other box is passed over. Ends the box before it.
    void StartBox()
    {
        EndBox();
        JxlBoxType type = {};
        if (exif.empty() && JxlDecoderGetBoxType(decoder.get(), type, JXL_TRUE) == JXL_DEC_SUCCESS &&
            std::memcmp(type, "Exif", 4) == 0) {
            exif.resize(kBoxStep);
            readingExif = JxlDecoderSetBoxBuffer(decoder.get(), exif.data(), exif.size()) == JXL_DEC_SUCCESS;
            if (!readingExif) {
                exif.clear();
            }
        }
    }

    // More room for the Exif box (JXL_DEC_BOX_NEED_MORE_OUTPUT), up to the
    // cap; past it the box is dropped.
    void GrowBox()
    {
        if (!readingExif) {
            return;
        }
        const std::size_t filled = exif.size() - JxlDecoderReleaseBoxBuffer(decoder.get());
        if (exif.size() + kBoxStep > kPxMaxExifBytes) {
            readingExif = false;
            exif.clear();
            exif.shrink_to_fit();
            return;
        }
        exif.resize(exif.size() + kBoxStep);
        readingExif =
            JxlDecoderSetBoxBuffer(decoder.get(), exif.data() + filled, exif.size() - filled) == JXL_DEC_SUCCESS;
    }

    // Takes what the Exif box holds once libjxl has moved past it.
    void EndBox()
    {
        if (readingExif) {
            exif.resize(exif.size() - JxlDecoderReleaseBoxBuffer(decoder.get()));
            readingExif = false;
        }
    }

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
        const std::uint32_t channels = alpha ? 4 : 3;
        const JxlPixelFormat format{channels, deep ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN,
                                    deep || alpha ? 0U : 4U};
        std::size_t bytes = 0;
        if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &bytes) != JXL_DEC_SUCCESS) {
            return false;
        }
        const std::uint64_t samples = std::uint64_t{channels} * static_cast<std::uint64_t>(bitmap.Width()) *
                                      static_cast<std::uint64_t>(bitmap.Height());
        if (alpha && !deep) {
            narrow = PxZeroed<std::uint8_t>(bytes);
            return narrow && bytes == samples &&
                   JxlDecoderSetImageOutBuffer(decoder.get(), &format, narrow.get(), bytes) == JXL_DEC_SUCCESS;
        }
        if (!deep) {
            return bytes == static_cast<std::uint64_t>(bitmap.Stride()) * static_cast<std::uint64_t>(bitmap.Height()) &&
                   JxlDecoderSetImageOutBuffer(decoder.get(), &format, bitmap.Pixels(), bytes) == JXL_DEC_SUCCESS;
        }
        wide = PxZeroed<std::uint16_t>(bytes / 2);
        return wide && bytes == samples * 2 &&
               JxlDecoderSetImageOutBuffer(decoder.get(), &format, wide.get(), bytes) == JXL_DEC_SUCCESS;
    }

    // Turns what libjxl wrote into the store's layout: rows bottom-up, blue
    // first. False once the load is cancelled.
    bool Finish(PxBitmap& bitmap, PxLoadControl* control) const
    {
        const std::int64_t width = bitmap.Width();
        const std::int64_t height = bitmap.Height();
        if (alpha) {
            // Red, green, blue, alpha a pixel, top row first.
            for (std::int64_t y = 0; y < height; ++y) {
                if (!PxLoadGoesOn(control, kDecoded * height + (1000 - kDecoded) * y, 1000 * height)) {
                    return false;
                }
                std::uint8_t* target = PxStoreRow(bitmap, height - 1 - y);
                std::uint8_t* clear = bitmap.Alpha() + (height - 1 - y) * width;
                for (std::int64_t j = 0; j < width; ++j) {
                    const std::int64_t at = (y * width + j) * 4;
                    auto sample = [&](int c) {
                        return static_cast<std::uint8_t>(deep ? wide[at + c] >> 8 : narrow[at + c]);
                    };
                    target[3 * j] = sample(2);
                    target[3 * j + 1] = sample(1);
                    target[3 * j + 2] = sample(0);
                    clear[j] = sample(3);
                }
            }
            return true;
        }
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
        JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE |
                                               JXL_DEC_BOX) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(decoder, JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetDecompressBoxes(decoder, JXL_TRUE) != JXL_DEC_SUCCESS) {
        return Fail(PxLoadError::Unsupported);  // a library without these settings
    }
    lib.data = scratch.get();
    lib.size = fileLength;
    lib.step = std::clamp(fileLength / kSteps, kMinStep, kMaxStep);
    lib.fed = std::min(fileLength, lib.step);
    if (JxlDecoderSetInput(decoder, lib.data, lib.fed) != JXL_DEC_SUCCESS) {
        return Fail(PxLoadError::Damaged);
    }
    // The boxes of the container come before the codestream's header.
    JxlDecoderStatus status = lib.Next(control);
    for (; status == JXL_DEC_BOX || status == JXL_DEC_BOX_NEED_MORE_OUTPUT; status = lib.Next(control)) {
        status == JXL_DEC_BOX ? lib.StartBox() : lib.GrowBox();
    }
    if (status != JXL_DEC_BASIC_INFO) {
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
    lib.alpha = info.alpha_bits > 0;
    PxPictureMeta& meta = bitmap.Meta();
    meta.bitsPerSample = static_cast<std::int32_t>(info.bits_per_sample);
    meta.space = info.num_color_channels == 1 ? PxSampleSpace::kGrey : PxSampleSpace::kRgb;
    meta.alphaPremultiplied = lib.alpha && info.alpha_premultiplied != JXL_FALSE;
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
    // Without memory for the plane the picture shows opaque.
    lib.alpha = lib.alpha && bitmap.CreateAlphaPlane() == 0;
    for (;;) {
        switch (lib.Next(control)) {
            case JXL_DEC_COLOR_ENCODING:
                ReadColor(lib.decoder.get(), bitmap.Meta());
                break;
            case JXL_DEC_BOX:
                lib.StartBox();
                break;
            case JXL_DEC_BOX_NEED_MORE_OUTPUT:
                lib.GrowBox();
                break;
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                // Three samples a pixel whatever the file holds (grey is
                // spread over red, green and blue), and alpha as a fourth.
                if (!lib.SetOutput(bitmap)) {
                    // Only the buffer for deep samples is allocated there.
                    return Fail(lib.deep && !lib.wide ? PxLoadError::OutOfMemory : PxLoadError::Damaged);
                }
                break;
            case JXL_DEC_FULL_IMAGE:
                // The first frame is all that is shown; an Exif box after
                // it is not waited for.
                lib.EndBox();
                bitmap.Meta().exif = PxExifFromBlock(lib.exif.data(), lib.exif.size());
                if (!lib.Finish(bitmap, control)) {
                    return 1;
                }
                PxDropOpaqueAlpha(bitmap);
                return 0;
            case JXL_DEC_NEED_MORE_INPUT:
                // The file ended early: what libjxl can render from it.
                if (JxlDecoderFlushImage(lib.decoder.get()) != JXL_DEC_SUCCESS) {
                    return Fail(PxLoadError::Damaged);
                }
                if (!lib.Finish(bitmap, control)) {
                    return 1;
                }
                PxDropOpaqueAlpha(bitmap);
                return 0;
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
