#include "load_error.h"

#include <cerrno>

#include "bitmap.h"
#include "pixel_memory.h"

namespace brelvix {

namespace {

struct Description {
    const char* word;
    const char* text;
};

Description Describe(PxLoadError error)
{
    switch (error) {
        case PxLoadError::None:
            return {"", ""};
        case PxLoadError::NotFound:
            return {"not-found", "File not found"};
        case PxLoadError::Unreadable:
            return {"unreadable", "File cannot be read"};
        case PxLoadError::NotAPicture:
            return {"not-a-picture", "Not a picture"};
        case PxLoadError::Unsupported:
            return {"unsupported", "Picture format not supported"};
        case PxLoadError::Damaged:
            return {"damaged", "Picture is damaged"};
        case PxLoadError::TooLarge:
            return {"too-large", "Picture too large"};
        case PxLoadError::Cancelled:
            return {"cancelled", "Loading cancelled"};
        case PxLoadError::OutOfMemory:
            return {"out-of-memory", "Out of memory"};
    }
    return {"", ""};
}

}  // namespace

const char* PxLoadErrorWord(PxLoadError error)
{
    return Describe(error).word;
}

const char* PxLoadErrorText(PxLoadError error)
{
    return Describe(error).text;
}

PxLoadError PxOpenError(int code)
{
    switch (code) {
        case 0:
            return PxLoadError::None;
        // ENOTDIR: a file stands where the path needs a folder, so the
        // folder the path names is not there.
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
            return PxLoadError::NotFound;
        case ENOMEM:
            return PxLoadError::OutOfMemory;
        default:
            return PxLoadError::Unreadable;
    }
}

PxLoadError PxStoreError(std::int64_t width, std::int64_t height)
{
    if (width <= 0 || height <= 0) {
        return PxLoadError::Damaged;
    }
    const std::uint64_t stride = static_cast<std::uint64_t>(StoreStride(width));
    if (static_cast<std::uint64_t>(height) > kPxMaxStoreBytes / stride) {
        return PxLoadError::TooLarge;
    }
    return PxLoadError::OutOfMemory;
}

}  // namespace brelvix
