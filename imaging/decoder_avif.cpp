#include "decoder_avif.h"

#include <avif/avif.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

#include "alpha.h"
#include "color_profile.h"
#include "exif_bytes.h"
#include "orientation.h"

namespace brelvix {

namespace {

using Decoder = std::unique_ptr<avifDecoder, PxReleaseWith<&avifDecoderDestroy>>;

// Serves libavif the file from memory. A complete file is served as it is;
// for the second attempt at a file that broke off, a read past its end
// waits for data that never comes, which lets libavif hand out the tiles
// it could decode instead of failing the whole picture.
struct MemoryReader {
    avifIO io{};  // first: libavif sees only this part
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    bool waitPastTheEnd = false;
};

avifResult ReadMemory(avifIO* io, std::uint32_t /*flags*/, std::uint64_t offset, std::size_t size, avifROData* out)
{
    // MemoryReader starts with the avifIO that libavif knows.
    const auto* reader = reinterpret_cast<const MemoryReader*>(io);
    if (offset > reader->size) {
        return AVIF_RESULT_IO_ERROR;
    }
    const std::uint64_t available = reader->size - offset;
    if (size > available && reader->waitPastTheEnd) {
        return AVIF_RESULT_WAITING_ON_IO;
    }
    out->data = reader->data + offset;
    out->size = static_cast<std::size_t>(std::min<std::uint64_t>(size, available));
    return AVIF_RESULT_OK;
}

// What a libavif result says about the file.
PxLoadError ReasonOf(avifResult result)
{
    switch (result) {
        case AVIF_RESULT_OUT_OF_MEMORY:
            return PxLoadError::OutOfMemory;
        case AVIF_RESULT_NO_CODEC_AVAILABLE:
        case AVIF_RESULT_NOT_IMPLEMENTED:
        case AVIF_RESULT_UNSUPPORTED_DEPTH:
            return PxLoadError::Unsupported;
        default:
            return PxLoadError::Damaged;
    }
}

// Progress of a load in permille after each of its stages: libavif reads
// the container, decodes the whole picture in one call and converts it to
// RGB in another; the rows then go to the store one by one.
constexpr std::int64_t kParsed = 10;
constexpr std::int64_t kDecoded = 800;
constexpr std::int64_t kConverted = 900;

// dav1d's threads; the machine's cores, within reason.
int DecoderThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1U, 8U));
}

// The share of the last stage done once `row` of `rows` rows are in the store.
std::int64_t RowProgress(std::int64_t row, std::int64_t rows)
{
    return kConverted + (1000 - kConverted) * row / std::max<std::int64_t>(rows, 1);
}

// Exchanges store rows r and height - 1 - r for every r: rows converted top
// row first end up bottom row first, and rows never written (zero) land
// where the picture had no data. False once the load is cancelled.
bool ReverseRows(PxBitmap& bitmap, std::uint8_t* spare, PxLoadControl* control)
{
    const std::int64_t height = bitmap.Height();
    const auto bytes = static_cast<std::size_t>(bitmap.Stride());
    for (std::int64_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        if (!PxLoadGoesOn(control, RowProgress(2 * top, height), 1000)) {
            return false;
        }
        std::memcpy(spare, PxStoreRow(bitmap, top), bytes);
        std::memcpy(PxStoreRow(bitmap, top), PxStoreRow(bitmap, bottom), bytes);
        std::memcpy(PxStoreRow(bitmap, bottom), spare, bytes);
    }
    return true;
}

}  // namespace

struct PxDecoderAVIF::Library {
    Decoder decoder;
    MemoryReader reader;

    // A fresh libavif decoder over `data`, with the limits that keep a
    // hostile file from costing more than the store may hold. OK once the
    // container is read and names a picture. The Exif block is read too,
    // unless it keeps the file from opening: it only ever adds to the
    // picture.
    avifResult Open(const std::uint8_t* data, std::size_t size, bool waitPastTheEnd)
    {
        const avifResult withExif = Open(data, size, waitPastTheEnd, false);
        return withExif == AVIF_RESULT_OK ? withExif : Open(data, size, waitPastTheEnd, true);
    }

    avifResult Open(const std::uint8_t* data, std::size_t size, bool waitPastTheEnd, bool ignoreExif)
    {
        decoder.reset(avifDecoderCreate());
        if (decoder == nullptr) {
            return AVIF_RESULT_OUT_OF_MEMORY;
        }
        reader.io.read = ReadMemory;
        reader.io.sizeHint = size;
        reader.io.persistent = AVIF_TRUE;
        reader.data = data;
        reader.size = size;
        reader.waitPastTheEnd = waitPastTheEnd;
        avifDecoder* d = decoder.get();
        d->maxThreads = DecoderThreads();
        // The AV1 decoder's planes take up to six bytes a pixel (12-bit
        // 4:4:4) besides the store's three: no picture whose planes alone
        // would pass the store cap is decoded at all.
        d->imageSizeLimit =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(AVIF_DEFAULT_IMAGE_SIZE_LIMIT, kPxMaxStoreBytes / 6));
        d->imageDimensionLimit = AVIF_DEFAULT_IMAGE_DIMENSION_LIMIT;
        // Only the first picture is shown; a file that lists millions fails early.
        d->imageCountLimit = AVIF_DEFAULT_IMAGE_COUNT_LIMIT;
        // Files from real cameras and tools often miss a box the standard
        // asks for without it mattering to the picture.
        d->strictFlags = AVIF_STRICT_DISABLED;
        d->ignoreExif = ignoreExif ? AVIF_TRUE : AVIF_FALSE;
        d->ignoreXMP = AVIF_TRUE;
        d->allowIncremental = waitPastTheEnd ? AVIF_TRUE : AVIF_FALSE;
        avifDecoderSetIO(d, &reader.io);
        const avifResult parsed = avifDecoderParse(d);
        return parsed == AVIF_RESULT_OK && d->image == nullptr ? AVIF_RESULT_NO_CONTENT : parsed;
    }
};

PxDecoderAVIF::PxDecoderAVIF() = default;

PxDecoderAVIF::~PxDecoderAVIF() = default;

int PxDecoderAVIF::ReadHeader(PxFileStream& /*stream*/, PxBitmap& bitmap)
{
    if (!scratch) {
        return 1;
    }
    library.reset(new (std::nothrow) Library);
    if (library == nullptr) {
        return Fail(PxLoadError::OutOfMemory);
    }
    if (const avifResult opened = library->Open(scratch.get(), fileLength, false); opened != AVIF_RESULT_OK) {
        return Fail(ReasonOf(opened));
    }
    const avifImage* image = library->decoder->image;
    if (image->width == 0 || image->height == 0) {
        return Fail(PxLoadError::Damaged);
    }
    if (image->width > INT32_MAX || image->height > INT32_MAX) {
        return Fail(PxLoadError::TooLarge);
    }
    // The rotation comes first, then the mirror, as the container orders them.
    const std::int32_t turns = (image->transformFlags & AVIF_TRANSFORM_IROT) != 0 ? image->irot.angle : 0;
    std::int32_t mirror = 0;
    if ((image->transformFlags & AVIF_TRANSFORM_IMIR) != 0) {
        mirror = image->imir.mode == 0 ? 1 : 2;
    }
    bitmap.SetOrientation(PxOrientationFromTurnAndMirror(turns, mirror));
    // The colour: an ICC profile, or else the code points of the nclx
    // information (sRGB's when the file gives none).
    PxPictureMeta& meta = bitmap.Meta();
    meta.bitsPerSample = static_cast<std::int32_t>(image->depth);
    meta.space = image->yuvFormat == AVIF_PIXEL_FORMAT_YUV400 ? PxSampleSpace::kGrey : PxSampleSpace::kRgb;
    if (image->icc.size == 0 || !PxProfileFromIcc(image->icc.data, image->icc.size, meta.space, &meta.profile)) {
        PxProfileFromCodePoints(image->colorPrimaries, image->transferCharacteristics, &meta.profile);
    }
    // The file's rotation and mirror stand for the orientation, not Exif's.
    meta.exif = PxExifFromBlock(image->exif.data, image->exif.size);
    bitmap.SetDimensions(static_cast<std::int32_t>(image->width), static_cast<std::int32_t>(image->height),
                         library->decoder->alphaPresent ? 32 : 24);
    return 0;
}

int PxDecoderAVIF::Decode(PxFileStream& stream, PxBitmap& bitmap)
{
    std::uint64_t delivered = 0;
    if (!ReadWholeFileIntoScratch(stream, &delivered)) {
        return 1;
    }
    fileLength = static_cast<std::size_t>(delivered);
    ReadHeader(stream, bitmap);
    // libavif cannot be stopped inside a decode: the load looks at the
    // control before and after each of its calls.
    if (CreateStore(bitmap) != 0 || library == nullptr || Cancelled() || !PxLoadGoesOn(control, kParsed, 1000)) {
        return 1;
    }
    const avifResult decoded = avifDecoderNextImage(library->decoder.get());
    if (!PxLoadGoesOn(control, decoded == AVIF_RESULT_OK ? kDecoded : kParsed, 1000)) {
        return 1;
    }
    if (decoded == AVIF_RESULT_OK) {
        return ConvertRows(bitmap, library->decoder->image->height);
    }
    // Again, taking what arrives: a tiled picture that broke off gives the
    // rows of its complete tiles.
    if (library->Open(scratch.get(), fileLength, true) != AVIF_RESULT_OK ||
        avifDecoderNextImage(library->decoder.get()) != AVIF_RESULT_WAITING_ON_IO ||
        !PxLoadGoesOn(control, kDecoded, 1000)) {
        return Fail(ReasonOf(decoded));
    }
    const std::uint32_t rows = avifDecoderDecodedRowCount(library->decoder.get());
    return rows > 0 ? ConvertRows(bitmap, rows) : Fail(ReasonOf(decoded));
}

int PxDecoderAVIF::ConvertRows(PxBitmap& bitmap, std::uint32_t rows)
{
    const avifImage* decoded = library->decoder->image;
    if (decoded->width != static_cast<std::uint32_t>(bitmap.Width()) ||
        decoded->height != static_cast<std::uint32_t>(bitmap.Height()) || rows > decoded->height) {
        return Fail(PxLoadError::Damaged);
    }
    // Only the rows that were decoded are converted.
    avifImage view{};
    const avifCropRect top{0, 0, decoded->width, rows};
    const avifImage* image = decoded;
    if (rows < decoded->height) {
        if (const avifResult cut = avifImageSetViewRect(&view, decoded, &top); cut != AVIF_RESULT_OK) {
            return Fail(ReasonOf(cut));
        }
        image = &view;
    }
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.format = AVIF_RGB_FORMAT_BGR;
    const auto spare = PxZeroed<std::uint8_t>(static_cast<std::uint64_t>(bitmap.Stride()));
    if (!spare) {
        return Fail(PxLoadError::OutOfMemory);
    }
    // The colours come as if there were no alpha (as stored, multiplied by
    // alpha when the file says so); the alpha plane beside them.
    if (decoded->alphaPlane != nullptr && bitmap.CreateAlphaPlane() == 0) {
        bitmap.Meta().alphaPremultiplied = decoded->alphaPremultiplied != AVIF_FALSE;
        KeepAlpha(bitmap, image);
    }
    if (image->depth == 8) {
        // Straight into the store, top row first, then turned the store's way up.
        rgb.depth = 8;
        rgb.pixels = bitmap.Pixels();
        rgb.rowBytes = static_cast<std::uint32_t>(bitmap.Stride());
        if (const avifResult converted = avifImageYUVToRGB(image, &rgb); converted != AVIF_RESULT_OK) {
            return Fail(ReasonOf(converted));
        }
        if (!PxLoadGoesOn(control, kConverted, 1000)) {
            return 1;
        }
        return ReverseRows(bitmap, spare.get(), control) ? 0 : 1;
    }
    // Deeper samples are converted at their own depth and keep their high 8 bits.
    rgb.depth = image->depth;
    const std::uint64_t rowSamples = std::uint64_t{rgb.width} * 3;
    if (image->depth > 16) {
        return Fail(PxLoadError::Unsupported);
    }
    const auto wide = PxZeroed<std::uint16_t>(rowSamples * rgb.height);
    if (!wide) {
        return Fail(PxLoadError::OutOfMemory);
    }
    rgb.pixels = reinterpret_cast<std::uint8_t*>(wide.get());
    rgb.rowBytes = static_cast<std::uint32_t>(rowSamples * 2);
    if (const avifResult converted = avifImageYUVToRGB(image, &rgb); converted != AVIF_RESULT_OK) {
        return Fail(ReasonOf(converted));
    }
    const unsigned shift = image->depth - 8;
    for (std::uint32_t y = 0; y < rgb.height; ++y) {
        if (!PxLoadGoesOn(control, RowProgress(y, rgb.height), 1000)) {
            return 1;
        }
        const std::uint16_t* source = wide.get() + y * rowSamples;
        std::uint8_t* target = PxStoreRow(bitmap, bitmap.Height() - 1 - y);
        for (std::uint64_t i = 0; i < rowSamples; ++i) {
            target[i] = static_cast<std::uint8_t>(source[i] >> shift);
        }
    }
    return 0;
}

void PxDecoderAVIF::KeepAlpha(PxBitmap& bitmap, const avifImage* image)
{
    // Samples deeper than 8 bits keep their high 8, as the colours do.
    const bool deep = image->depth > 8;
    const unsigned shift = deep ? image->depth - 8 : 0;
    const std::int64_t width = bitmap.Width();
    for (std::uint32_t y = 0; y < image->height && y < static_cast<std::uint32_t>(bitmap.Height()); ++y) {
        const std::uint8_t* row = image->alphaPlane + std::size_t{y} * image->alphaRowBytes;
        std::uint8_t* alpha = bitmap.Alpha() + (bitmap.Height() - 1 - static_cast<std::int64_t>(y)) * width;
        for (std::int64_t x = 0; x < width; ++x) {
            alpha[x] = deep ? static_cast<std::uint8_t>((row[2 * x] | row[2 * x + 1] << 8) >> shift) : row[x];
        }
    }
}

}  // namespace brelvix
