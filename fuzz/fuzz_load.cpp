// Feeds arbitrary bytes through PxBitmap::CreateFromFile, the same path a
// picture from disk takes: detection, every decoder, the stream. The bytes
// live in an anonymous in-memory file that is opened by its /proc path.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "imaging/bitmap.h"
#include "imaging/decoder_module.h"

using namespace brelvix;

namespace {

int MemoryFile()
{
    static const int fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    return fd;
}

}  // namespace

// The newer formats' decoder module is loaded before fuzzing starts, so that
// the fuzzer counts its coverage from the first input on.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    return PxNewerFormats().Loaded() ? 0 : 1;
}

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
    PxBitmap bitmap;
    if (bitmap.CreateFromFile(path) == 0) {
        // Touch the corners so that a store smaller than its geometry shows up.
        volatile std::uint8_t sink = bitmap.Pixels()[0];
        sink = bitmap.Pixels()[(bitmap.Height() - 1) * bitmap.Stride() + 3 * bitmap.Width() - 1];
        (void)sink;
    }
    return 0;
}
