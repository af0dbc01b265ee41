#include "tiff_memory.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

namespace brelvix {

namespace {

// State of the memory client. Offsets are 64-bit: libtiff hands over
// offsets read from the file, and they must never wrap into the block.
struct MemSource {
    std::uint8_t* data = nullptr;
    std::uint64_t position = 0;
    std::uint64_t capacity = 0;              // length of the block
    std::uint64_t ownSize = 0;               // data size when the caller gives no size variable
    std::uint64_t* sizeReference = nullptr;  // the size variable in use
    char mode[2] = {'r', '\0'};              // "r" reading, "w" writing
};

// libtiff's messages go nowhere; returning non-zero keeps them from the
// process-wide handlers, which other code in the process may rely on.
int DiscardMessage(TIFF* /*tif*/, void* /*user*/, const char* /*module*/, const char* /*format*/, va_list /*args*/)
{
    return 1;
}

std::uint64_t& DataSize(MemSource* source)
{
    return *source->sizeReference;
}

tmsize_t MemRead(thandle_t handle, void* buffer, tmsize_t n)
{
    auto* source = static_cast<MemSource*>(handle);
    if (source->mode[0] != 'r' || n <= 0 || source->position >= source->capacity) {
        return 0;
    }
    std::uint64_t count = static_cast<std::uint64_t>(n);
    if (count > source->capacity - source->position) {
        count = source->capacity - source->position;
    }
    std::memcpy(buffer, source->data + source->position, static_cast<std::size_t>(count));
    source->position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t MemWrite(thandle_t handle, void* buffer, tmsize_t n)
{
    auto* source = static_cast<MemSource*>(handle);
    if (n <= 0 || source->position >= source->capacity) {
        return 0;
    }
    std::uint64_t count = static_cast<std::uint64_t>(n);
    if (count > source->capacity - source->position) {
        count = source->capacity - source->position;
    }
    std::memcpy(source->data + source->position, buffer, static_cast<std::size_t>(count));
    source->position += count;
    if (source->mode[0] == 'w' && DataSize(source) < source->position) {
        DataSize(source) = source->position;
    }
    return static_cast<tmsize_t>(count);
}

toff_t MemSeek(thandle_t handle, toff_t offset, int whence)
{
    auto* source = static_cast<MemSource*>(handle);
    // Offsets are unsigned; a negative SEEK_CUR step arrives as its two's
    // complement and the sum wraps back as intended. Reads check the
    // position against the block, so no bound is needed here.
    switch (whence) {
        case SEEK_SET:
            source->position = offset;
            break;
        case SEEK_CUR:
            source->position += offset;
            break;
        case SEEK_END:
            source->position = DataSize(source) + offset;
            break;
        default:
            break;
    }
    if (source->mode[0] == 'w') {
        // The written size never claims bytes beyond the block.
        const std::uint64_t reach = source->position < source->capacity ? source->position : source->capacity;
        if (DataSize(source) < reach) {
            DataSize(source) = reach;
        }
    }
    return source->position;
}

int MemClose(thandle_t handle)
{
    delete static_cast<MemSource*>(handle);
    return 0;
}

toff_t MemSize(thandle_t handle)
{
    return DataSize(static_cast<MemSource*>(handle));
}

// The block is already in memory, so reading hands it to libtiff as a
// mapped file: strips are decoded in place instead of being copied, and
// libtiff checks every strip and tile against the mapped size. (libtiff 4.5
// also rejects uncompressed tiles when it has to read them unmapped.)
int MemMap(thandle_t handle, void** base, toff_t* size)
{
    auto* source = static_cast<MemSource*>(handle);
    if (source->mode[0] != 'r' || source->data == nullptr) {
        return 0;
    }
    *base = source->data;
    *size = source->capacity;
    return 1;
}

void MemUnmap(thandle_t /*handle*/, void* /*base*/, toff_t /*size*/) {}

}  // namespace

PxTiffHandle OpenMemoryTiff(std::uint8_t* data, std::uint64_t length, std::uint64_t* sizeReference)
{
    std::unique_ptr<MemSource> source(new (std::nothrow) MemSource);
    const std::unique_ptr<TIFFOpenOptions, PxReleaseWith<&TIFFOpenOptionsFree>> options(TIFFOpenOptionsAlloc());
    if (source == nullptr || options == nullptr) {
        return nullptr;
    }
    source->data = data;
    source->capacity = data != nullptr ? length : 0;
    if (sizeReference == nullptr) {
        source->ownSize = source->capacity;
        source->sizeReference = &source->ownSize;
        source->mode[0] = 'r';
    } else {
        *sizeReference = 0;
        source->sizeReference = sizeReference;
        source->mode[0] = 'w';
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), DiscardMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), DiscardMessage, nullptr);
    // No single buffer of libtiff's may exceed what a picture may occupy.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(kPxMaxStoreBytes));
    PxTiffHandle handle(TIFFClientOpenExt("MemSource", source->mode, source.get(), MemRead, MemWrite, MemSeek, MemClose,
                                          MemSize, MemMap, MemUnmap, options.get()));
    if (handle != nullptr) {
        // From here on the close procedure frees the state; a failed open
        // never calls it.
        source.release();
    }
    return handle;
}

}  // namespace brelvix
