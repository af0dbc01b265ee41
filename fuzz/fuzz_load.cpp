// Feeds arbitrary bytes through PxBitmap::CreateFromFile, the same path a
// picture from disk takes: detection, every decoder, the stream; and then
// through PxAnimation, frame after frame, starting over once. The bytes
// live in an anonymous in-memory file that is opened by its /proc path.
// A loaded picture then goes the viewer's way: upright, converted from its
// file's colour profile, blended over a checkerboard. The bytes themselves
// are also taken as a colour profile and as an Exif block, which reaches
// those readers without a picture around them.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "imaging/alpha.h"
#include "imaging/animation.h"
#include "imaging/bitmap.h"
#include "imaging/color_convert.h"
#include "imaging/color_profile.h"
#include "imaging/decoder_module.h"
#include "imaging/exif_bytes.h"
#include "imaging/orientation.h"

using namespace brelvix;

namespace {

int MemoryFile()
{
    static const int fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    return fd;
}

constexpr std::int64_t kConvertedPixels = std::int64_t{4} << 20;

// A wide-gamut display, so that every tagged picture and most untagged
// ones are really converted.
const PxColorProfile& Display()
{
    static const PxColorProfile display = [] {
        PxColorProfile profile;
        PxProfileFromCodePoints(12, 13, &profile);
        return profile;
    }();
    return display;
}

void UseAsProfileAndExif(const std::uint8_t* data, std::size_t size)
{
    for (const PxSampleSpace space : {PxSampleSpace::kRgb, PxSampleSpace::kGrey, PxSampleSpace::kCmyk}) {
        PxColorProfile profile;
        PxProfileFromIcc(data, size, space, &profile);
    }
    PxColorProfile target;
    PxTargetFromIcc(data, size, &target);
    PxExifFromBlock(data, size);
    PxExifFromTiff(data, size);
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
    UseAsProfileAndExif(data, size);
    {
        PxBitmap bitmap;
        if (bitmap.CreateFromFile(path) == 0) {
            TouchCorners(bitmap);
            // A profile the file carries must be usable as a target too, or refused.
            const PxColorProfile& own = bitmap.Meta().profile;
            PxColorProfile target;
            PxTargetFromIcc(own.icc.data(), own.icc.size(), &target);
            // Every pixel takes the same path through the conversion: a
            // larger picture only costs time (a store of a gigabyte would
            // take minutes under the fuzzer's instrumentation).
            if (std::int64_t{bitmap.Width()} * bitmap.Height() <= kConvertedPixels && PxApplyOrientation(bitmap) == 0) {
                PxConvertColors(bitmap, Display());
                PxBlendOverCheckerboard(bitmap, 3, -5, bitmap.Meta().alphaPremultiplied);
            }
        }
    }
    PlayFrames(path);
    return 0;
}
