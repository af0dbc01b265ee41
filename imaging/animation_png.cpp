// Animated PNG: the acTL, fcTL and fdAT chunks that the installed libpng
// does not read. Each frame is handed to libpng as a PNG stream of its own
// (the signature, a header with the frame's size, the palette and
// transparency chunks, the frame's data as image data, the end), so that
// every byte of pixel data is still decoded by libpng; this file only
// finds the frames and composes them with their dispose and blend ops.
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "animation_formats.h"
#include "jump_guard.h"
#include "orientation.h"

namespace brelvix {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;  // the format's own limit

std::uint32_t BigEndian32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::uint16_t BigEndian16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

void PutBigEndian32(std::vector<std::uint8_t>* out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        out->push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

// One chunk of the file, found in place.
struct Chunk {
    std::size_t offset = 0;  // of its length field
    std::uint32_t length = 0;
    char type[5] = {};
    const std::uint8_t* data = nullptr;

    std::size_t Next() const { return offset + 12 + length; }
    bool Is(const char* name) const { return std::memcmp(type, name, 4) == 0; }
};

// The chunk at `offset`, when it lies wholly inside the file.
bool ChunkAt(const std::uint8_t* file, std::size_t size, std::size_t offset, Chunk* chunk)
{
    if (offset > size || size - offset < 12) {
        return false;
    }
    chunk->offset = offset;
    chunk->length = BigEndian32(file + offset);
    if (chunk->length > kMaxChunkLength || size - offset - 12 < chunk->length) {
        return false;
    }
    std::memcpy(chunk->type, file + offset + 4, 4);
    chunk->data = file + offset + 8;
    return true;
}

// Whether the chunk's check value matches its type and data.
bool CrcMatches(const Chunk& chunk)
{
    const uLong crc = crc32(crc32(0L, nullptr, 0), chunk.data - 4, chunk.length + 4);
    return static_cast<std::uint32_t>(crc) == BigEndian32(chunk.data + chunk.length);
}

// Appends a chunk to a stream being built, with its check value.
void PutChunk(std::vector<std::uint8_t>* out, const char* type, const std::uint8_t* data, std::uint32_t length)
{
    PutBigEndian32(out, length);
    const std::size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    if (length > 0) {
        out->insert(out->end(), data, data + length);
    }
    const uLong crc = crc32(crc32(0L, nullptr, 0), out->data() + start, length + 4);
    PutBigEndian32(out, static_cast<std::uint32_t>(crc));
}

enum DisposeOp : std::uint8_t { kDisposeNone = 0, kDisposeBackground = 1, kDisposePrevious = 2 };
enum BlendOp : std::uint8_t { kBlendSource = 0, kBlendOver = 1 };

// One frame's control chunk, with its rectangle as stored.
struct FrameControl {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::int32_t delayMs = 0;
    std::uint8_t dispose = kDisposeNone;
    std::uint8_t blend = kBlendSource;
};

// A rectangle of the canvas, clipped to it.
struct Rect {
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint64_t Area() const { return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height); }
};

struct Scratch {
    PxBuffer<std::uint8_t> bytes;
    std::uint64_t capacity = 0;

    std::uint8_t* Get(std::uint64_t size)
    {
        if (size > capacity || !bytes) {
            bytes = PxZeroed<std::uint8_t>(std::max<std::uint64_t>(size, 1));
            capacity = bytes ? std::max<std::uint64_t>(size, 1) : 0;
        }
        return bytes.get();
    }
};

// libpng reading one frame's stream from memory.
struct MemoryStream {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    auto* stream = static_cast<MemoryStream*>(png_get_io_ptr(png));
    if (length > stream->size - stream->position) {
        png_error(png, "Read Error");
    }
    std::memcpy(out, stream->data + stream->position, length);
    stream->position += length;
}

void IgnoreError(png_structp /*png*/, png_const_charp /*message*/) {}
void IgnoreWarning(png_structp /*png*/, png_const_charp /*message*/) {}

struct ReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ReadStructs() = default;
    ReadStructs(const ReadStructs&) = delete;
    ReadStructs& operator=(const ReadStructs&) = delete;
    ~ReadStructs()
    {
        if (png != nullptr) {
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        }
    }
};

class PngAnimation : public PxAnimation {
public:
    explicit PngAnimation(PxFileBytes bytes) : file(std::move(bytes)) {}

    // Reads the chunks before the image data.
    bool Start();

protected:
    Step ComposeNext(PxLoadControl* control, std::int32_t* delayMs) override;
    bool Restart() override;
    std::uint64_t SourceBytes() const override
    {
        return file.size + stream.capacity() + pixels.capacity + saved.capacity;
    }

private:
    // Finds the next frame from `cursor`: its control and its data, joined
    // into `stream` as a PNG of its own. False at the end and on damage.
    bool FindFrame(FrameControl* frame);
    // Decodes `stream` into `pixels` (blue, green, red, alpha, top row
    // first); kEnd when libpng fails on it.
    Step DecodeFrame(const FrameControl& frame, PxLoadControl* control);
    bool Dispose();
    bool Save(const Rect& rect);
    bool Blend(const Rect& rect, const FrameControl& frame);

    PxFileBytes file;
    // From the header part of the file.
    std::uint8_t header[13] = {};                                  // IHDR's data
    std::vector<std::pair<std::size_t, std::size_t>> extraChunks;  // PLTE and tRNS: offset, whole length
    bool animated = false;
    std::uint32_t declaredFrames = 1;
    std::size_t firstData = 0;         // offset of the first IDAT
    bool defaultIsFrame = false;       // the IDAT image is the first frame
    std::size_t firstAfterHeader = 0;  // offset of the first chunk after IHDR

    // Reading state.
    std::size_t cursor = 0;
    std::uint32_t framesRead = 0;
    bool first = true;
    std::uint8_t pendingDispose = kDisposeNone;
    Rect pendingRect;
    std::vector<std::uint8_t> stream;
    Scratch pixels;
    Scratch saved;
};

bool PngAnimation::Start()
{
    const std::uint8_t* data = file.data.get();
    Chunk chunk;
    if (file.size < 8 || std::memcmp(data, kSignature, 8) != 0 || !ChunkAt(data, file.size, 8, &chunk) ||
        !chunk.Is("IHDR") || chunk.length != 13) {
        return false;
    }
    std::memcpy(header, chunk.data, 13);
    const std::uint32_t canvasWidth = BigEndian32(header);
    const std::uint32_t canvasHeight = BigEndian32(header + 4);
    if (canvasWidth == 0 || canvasHeight == 0 || canvasWidth > INT32_MAX || canvasHeight > INT32_MAX ||
        static_cast<std::uint64_t>(StoreStride(canvasWidth)) * canvasHeight > kPxMaxStoreBytes) {
        return false;
    }
    width = static_cast<std::int32_t>(canvasWidth);
    height = static_cast<std::int32_t>(canvasHeight);
    firstAfterHeader = chunk.Next();

    bool frameControlSeen = false;
    for (std::size_t at = firstAfterHeader; ChunkAt(data, file.size, at, &chunk); at = chunk.Next()) {
        if (chunk.Is("IDAT")) {
            firstData = at;
            break;
        }
        if (chunk.Is("acTL") && chunk.length == 8 && CrcMatches(chunk)) {
            declaredFrames = BigEndian32(chunk.data);
            const std::uint32_t plays = BigEndian32(chunk.data + 4);
            animated = declaredFrames > 0 && declaredFrames <= INT32_MAX;
            loopCount = static_cast<std::int32_t>(std::min<std::uint32_t>(plays, INT32_MAX));
        } else if (chunk.Is("fcTL")) {
            frameControlSeen = true;
        } else if (chunk.Is("PLTE") || chunk.Is("tRNS")) {
            extraChunks.emplace_back(at, std::size_t{12} + chunk.length);
        } else if (chunk.Is("eXIf")) {
            canvas.SetOrientation(PxExifOrientation(chunk.data, chunk.length));
        }
    }
    if (firstData == 0) {
        return false;  // no image data at all
    }
    if (!animated) {
        declaredFrames = 1;
        loopCount = 1;
    }
    defaultIsFrame = !animated || frameControlSeen;
    hasFrames = animated && declaredFrames > 1;
    frameCount = static_cast<std::int32_t>(declaredFrames);
    return Restart();
}

bool PngAnimation::Restart()
{
    cursor = firstAfterHeader;
    framesRead = 0;
    first = true;
    pendingDispose = kDisposeNone;
    return true;
}

bool PngAnimation::FindFrame(FrameControl* frame)
{
    if (framesRead >= declaredFrames) {
        return false;
    }
    const std::uint8_t* data = file.data.get();
    Chunk chunk;
    // The control chunk: for a still, the whole canvas shown once.
    *frame = FrameControl{};
    frame->width = static_cast<std::uint32_t>(width);
    frame->height = static_cast<std::uint32_t>(height);
    bool controlled = !animated;
    for (; !controlled && ChunkAt(data, file.size, cursor, &chunk); cursor = chunk.Next()) {
        if (chunk.Is("IEND")) {
            return false;
        }
        if (!chunk.Is("fcTL")) {
            continue;  // among them the image data of a default image that is no frame
        }
        if (chunk.length != 26 || !CrcMatches(chunk)) {
            return false;
        }
        const std::uint8_t* p = chunk.data;
        frame->width = BigEndian32(p + 4);
        frame->height = BigEndian32(p + 8);
        frame->left = BigEndian32(p + 12);
        frame->top = BigEndian32(p + 16);
        const std::uint16_t numerator = BigEndian16(p + 20);
        const std::uint16_t denominator = BigEndian16(p + 22);
        // A denominator of 0 means hundredths of a second.
        frame->delayMs = PxDelayMs(numerator, 1, denominator == 0 ? 100 : denominator);
        frame->dispose = p[24] <= kDisposePrevious ? p[24] : std::uint8_t{kDisposeNone};
        frame->blend = p[25] == kBlendOver ? kBlendOver : kBlendSource;
        controlled = true;
    }
    if (!controlled || frame->width == 0 || frame->height == 0 || frame->width > INT32_MAX ||
        frame->height > INT32_MAX) {
        return false;
    }

    // The frame's own stream: signature, header with the frame's size,
    // palette and transparency, the data, the end.
    stream.clear();
    stream.insert(stream.end(), kSignature, kSignature + 8);
    std::uint8_t frameHeader[13];
    std::memcpy(frameHeader, header, 13);
    for (int i = 0; i < 4; ++i) {
        frameHeader[i] = static_cast<std::uint8_t>(frame->width >> (24 - 8 * i));
        frameHeader[4 + i] = static_cast<std::uint8_t>(frame->height >> (24 - 8 * i));
    }
    PutChunk(&stream, "IHDR", frameHeader, 13);
    for (const auto& [offset, length] : extraChunks) {
        stream.insert(stream.end(), data + offset, data + offset + length);
    }
    // The default image's data is the file's IDAT run; a later frame's is
    // the fdAT chunks after its control, each less its sequence number.
    const bool fromDefault = defaultIsFrame && framesRead == 0;
    std::size_t at = fromDefault ? firstData : cursor;
    const char* dataType = fromDefault ? "IDAT" : "fdAT";
    const std::size_t skip = fromDefault ? 0 : 4;
    bool any = false;
    for (; ChunkAt(data, file.size, at, &chunk); at = chunk.Next()) {
        if (chunk.Is("fcTL") || chunk.Is("IEND") || (fromDefault && !chunk.Is("IDAT"))) {
            break;
        }
        if (!chunk.Is(dataType)) {
            continue;
        }
        if (chunk.length < skip || !CrcMatches(chunk)) {
            return false;
        }
        PutChunk(&stream, "IDAT", chunk.data + skip, static_cast<std::uint32_t>(chunk.length - skip));
        any = true;
    }
    if (!any) {
        return false;
    }
    cursor = at;
    PutChunk(&stream, "IEND", nullptr, 0);
    return true;
}

PxAnimation::Step PngAnimation::DecodeFrame(const FrameControl& frame, PxLoadControl* control)
{
    const std::int64_t frameWidth = frame.width;
    const std::int64_t frameHeight = frame.height;
    std::uint8_t* out =
        pixels.Get(4 * static_cast<std::uint64_t>(frameWidth) * static_cast<std::uint64_t>(frameHeight));
    const auto rows = PxZeroed<std::uint8_t*>(static_cast<std::uint64_t>(frameHeight));
    if (out == nullptr || !rows) {
        return Step::kEnd;
    }
    for (std::int64_t y = 0; y < frameHeight; ++y) {
        rows[y] = out + 4 * frameWidth * y;
    }
    ReadStructs structs;
    structs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, IgnoreError, IgnoreWarning);
    structs.info = structs.png != nullptr ? png_create_info_struct(structs.png) : nullptr;
    if (structs.info == nullptr) {
        return Step::kEnd;
    }
    MemoryStream source{stream.data(), stream.size(), 0};
    png_set_read_fn(structs.png, &source, ReadFromMemory);
    png_structp png = structs.png;
    png_infop info = structs.info;
    bool layoutOk = false;
    bool cancelled = false;
    // Every colour type becomes blue, green, red, alpha at 8 bits, with the
    // transparency chunk turned into alpha.
    const bool read = PxGuarded(png_jmpbuf(png), [&] {
        png_read_info(png, info);
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
        png_set_bgr(png);
        const int passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
        layoutOk = png_get_image_width(png, info) == frame.width && png_get_image_height(png, info) == frame.height &&
                   png_get_rowbytes(png, info) == static_cast<png_size_t>(4 * frameWidth);
        if (!layoutOk) {
            return;
        }
        for (int pass = 0; pass < passes; ++pass) {
            for (std::int64_t y = 0; y < frameHeight; ++y) {
                if (!PxLoadGoesOn(control, pass * frameHeight + y, passes * frameHeight)) {
                    cancelled = true;
                    return;
                }
                png_read_row(png, rows[y], nullptr);
            }
        }
    });
    if (cancelled) {
        return Step::kCancelled;
    }
    return read && layoutOk ? Step::kComposed : Step::kEnd;
}

bool PngAnimation::Save(const Rect& rect)
{
    std::uint8_t* bytes = saved.Get(4 * rect.Area());
    if (bytes == nullptr) {
        return false;
    }
    std::uint8_t* alphaBytes = bytes + 3 * rect.Area();
    for (std::int64_t y = 0; y < rect.height; ++y) {
        std::memcpy(bytes + 3 * y * rect.width, CanvasRow(rect.top + y) + 3 * rect.left,
                    static_cast<std::size_t>(3 * rect.width));
        const std::uint8_t* alpha = CanvasAlphaRow(rect.top + y);
        if (alpha != nullptr) {
            std::memcpy(alphaBytes + y * rect.width, alpha + rect.left, static_cast<std::size_t>(rect.width));
        } else {
            std::memset(alphaBytes + y * rect.width, 0xFF, static_cast<std::size_t>(rect.width));
        }
    }
    return true;
}

bool PngAnimation::Dispose()
{
    const Rect& rect = pendingRect;
    if (rect.Area() == 0 || pendingDispose == kDisposeNone) {
        pendingDispose = kDisposeNone;
        return true;
    }
    if (CanvasAlpha() == nullptr) {
        return false;
    }
    const std::uint8_t* bytes = saved.bytes.get();
    for (std::int64_t y = 0; y < rect.height; ++y) {
        std::uint8_t* row = CanvasRow(rect.top + y) + 3 * rect.left;
        std::uint8_t* alpha = CanvasAlphaRow(rect.top + y) + rect.left;
        if (pendingDispose == kDisposeBackground) {
            std::memset(row, 0, static_cast<std::size_t>(3 * rect.width));
            std::memset(alpha, 0, static_cast<std::size_t>(rect.width));
        } else {
            std::memcpy(row, bytes + 3 * y * rect.width, static_cast<std::size_t>(3 * rect.width));
            std::memcpy(alpha, bytes + 3 * rect.Area() + y * rect.width, static_cast<std::size_t>(rect.width));
        }
    }
    pendingDispose = kDisposeNone;
    return true;
}

bool PngAnimation::Blend(const Rect& rect, const FrameControl& frame)
{
    if (rect.Area() == 0) {
        return true;  // the frame lies wholly outside the canvas
    }
    // The frame's pixel (x, y) of the canvas rectangle is at (x - left, y - top) of the frame.
    const std::uint8_t* frameBytes = pixels.bytes.get();
    const std::int64_t frameStride = 4 * static_cast<std::int64_t>(frame.width);
    bool needsAlpha = canvas.HasAlpha();
    for (std::int64_t y = 0; y < rect.height && !needsAlpha; ++y) {
        const std::uint8_t* p = frameBytes + (rect.top - frame.top + y) * frameStride + 4 * (rect.left - frame.left);
        for (std::int64_t x = 0; x < rect.width; ++x) {
            // Over an opaque canvas every result is opaque.
            if (p[4 * x + 3] != 0xFF && frame.blend == kBlendSource) {
                needsAlpha = true;
                break;
            }
        }
    }
    if (needsAlpha && CanvasAlpha() == nullptr) {
        return false;
    }
    for (std::int64_t y = 0; y < rect.height; ++y) {
        const std::uint8_t* p = frameBytes + (rect.top - frame.top + y) * frameStride + 4 * (rect.left - frame.left);
        std::uint8_t* target = CanvasRow(rect.top + y) + 3 * rect.left;
        std::uint8_t* alphaRow = CanvasAlphaRow(rect.top + y);
        std::uint8_t* alpha = alphaRow != nullptr ? alphaRow + rect.left : nullptr;
        for (std::int64_t x = 0; x < rect.width; ++x, p += 4, target += 3) {
            const unsigned a = p[3];
            if (frame.blend == kBlendSource || a == 0xFF) {
                std::memcpy(target, p, 3);
                if (alpha != nullptr) {
                    alpha[x] = static_cast<std::uint8_t>(a);
                }
                continue;
            }
            if (a == 0) {
                continue;
            }
            // Source over destination, neither premultiplied, in units of 1/255^2.
            const unsigned below = alpha != nullptr ? alpha[x] : 0xFF;
            const unsigned weightBelow = below * (255 - a);
            const unsigned total = a * 255 + weightBelow;
            for (int c = 0; c < 3; ++c) {
                target[c] = static_cast<std::uint8_t>((p[c] * a * 255 + target[c] * weightBelow + total / 2) / total);
            }
            if (alpha != nullptr) {
                alpha[x] = static_cast<std::uint8_t>((total + 127) / 255);
            }
        }
    }
    return true;
}

PxAnimation::Step PngAnimation::ComposeNext(PxLoadControl* control, std::int32_t* delayMs)
{
    FrameControl frame;
    if (!FindFrame(&frame)) {
        return Step::kEnd;
    }
    // The whole frame is decoded before the canvas changes, so that a
    // damaged one leaves the frame before it on the canvas.
    const Step decoded = DecodeFrame(frame, control);
    if (decoded != Step::kComposed) {
        return decoded;
    }
    Rect rect;
    rect.left = std::min<std::int64_t>(frame.left, width);
    rect.top = std::min<std::int64_t>(frame.top, height);
    rect.width = std::min<std::int64_t>(std::int64_t{frame.left} + frame.width, width) - rect.left;
    rect.height = std::min<std::int64_t>(std::int64_t{frame.top} + frame.height, height) - rect.top;
    std::uint8_t dispose = frame.dispose;
    if (first) {
        if (!ClearCanvas()) {
            return Step::kEnd;
        }
        // Nothing precedes the first frame: going back to it is clearing.
        if (dispose == kDisposePrevious) {
            dispose = kDisposeBackground;
        }
    } else if (!Dispose()) {
        return Step::kEnd;
    }
    if (dispose == kDisposePrevious && !Save(rect)) {
        return Step::kEnd;
    }
    if (!Blend(rect, frame)) {
        return Step::kEnd;
    }
    first = false;
    SettleAlpha();
    pendingDispose = dispose;
    pendingRect = rect;
    ++framesRead;
    *delayMs = frame.delayMs;
    return Step::kComposed;
}

}  // namespace

std::unique_ptr<PxAnimation> PxOpenPngAnimation(PxFileBytes file, PxLoadControl* /*control*/)
{
    std::unique_ptr<PngAnimation> animation(new (std::nothrow) PngAnimation(std::move(file)));
    if (animation == nullptr || !animation->Start()) {
        return nullptr;
    }
    return animation;
}

}  // namespace brelvix
