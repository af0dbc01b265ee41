// Feeds arbitrary bytes through PxBitmap::CreateFromFile, the same path a
// picture from disk takes: detection, every decoder, the stream; and then
// through PxAnimation, frame after frame, starting over once. The bytes
// live in an anonymous in-memory file that is opened by its /proc path.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "imaging/animation.h"
#include "imaging/bitmap.h"

using namespace brelvix;

namespace {

int MemoryFile()
{
    static const int fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    return fd;
}

// Reads the first and the last byte of the store and of the alpha plane, so
// that one smaller than its geometry shows up.
void TouchCorners(const PxBitmap& bitmap)
{
    if (bitmap.Pixels() == nullptr) {
        return;
    }
    volatile std::uint8_t sink = bitmap.Pixels()[0];
    sink = bitmap.Pixels()[(bitmap.Height() - 1) * bitmap.Stride() + 3 * bitmap.Width() - 1];
    if (bitmap.HasAlpha()) {
        sink = bitmap.Alpha()[0];
        sink = bitmap.Alpha()[static_cast<std::int64_t>(bitmap.Width()) * bitmap.Height() - 1];
    }
    (void)sink;
}

// Enough frames for every disposal to act on the frames before it; a file
// of thousands of frames would only repeat the same paths.
constexpr int kFrames = 24;

void PlayFrames(const char* path)
{
    const std::unique_ptr<PxAnimation> animation = PxAnimation::Open(path);
    if (animation == nullptr) {
        return;
    }
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < (round == 0 ? kFrames : 2) && animation->Next() == PxAnimation::Step::kComposed; ++i) {
            TouchCorners(animation->Frame());
        }
        if (animation->Rewind() != 0) {
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = MemoryFile();
    if (fd < 0 || ftruncate(fd, 0) != 0) {
        return 0;
    }
    std::size_t written = 0;
    while (written < size) {
        const ssize_t got = pwrite(fd, data + written, size - written, static_cast<off_t>(written));
        if (got <= 0) {
            return 0;
        }
        written += static_cast<std::size_t>(got);
    }
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    {
        PxBitmap bitmap;
        if (bitmap.CreateFromFile(path) == 0) {
            TouchCorners(bitmap);
        }
    }
    PlayFrames(path);
    return 0;
}
