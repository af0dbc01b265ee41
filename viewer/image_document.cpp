#include "viewer/image_document.h"

#include <cmath>
#include <limits>

#include "imaging/orientation.h"
#include "platform/ascii.h"

namespace brelvix {

namespace {

// Leaves `bitmap` 0 x 0 without a store (a shown store is let go, not freed).
void Clear(PxBitmap& bitmap)
{
    PxBitmap empty;
    bitmap.MoveFrom(empty);
}

}  // namespace

ImageDocument::ImageDocument() = default;

ImageDocument::~ImageDocument()
{
    // The working copy may show the decoded picture's store; it lets go
    // first. Then the decoded picture, then the list.
    Clear(display);
    decoded.reset();
    fileList.clear();
}

bool IsPictureExtension(const std::string& extension)
{
    for (const char* known : kPictureExtensions) {
        if (platform::EqualIgnoringAsciiCase(extension, known)) {
            return true;
        }
    }
    return false;
}

bool ImageDocument::Load(const std::string& newPath)
{
    // The old picture goes before the new one is decoded, so the two are
    // never in memory together; the working copy, which shows its store,
    // lets go of it first.
    Clear(display);
    decoded.reset();
    path = newPath;
    int result = 1;
    decoded = prefetch.Take(path, &result);
    if (!decoded) {
        decoded = std::make_unique<PxBitmap>();
        result = decoded->CreateFromFile(path.c_str());
    }
    loaded = result == 0;
    // Turned as its camera recorded, whether it was decoded now or ahead of
    // time; without the memory to turn it, it shows as stored.
    if (loaded && applyOrientation) {
        PxApplyOrientation(*decoded);
    }
    display.ShareFrom(*decoded);
    zoom = 1.0;
    rotation = 0;
    flipHorizontal = false;
    flipVertical = false;
    return loaded;
}

// A second picture of the current one's size is held while the neighbour
// waits; beyond this the memory is not worth the faster step.
constexpr std::uint64_t kMaxPrefetchBesideBytes = std::uint64_t{256} << 20;

void ImageDocument::PrefetchNeighbour(std::int32_t step)
{
    const std::int64_t count = static_cast<std::int64_t>(fileList.size());
    if (!loaded || !decoded || count < 2 || currentIndex < 0 || currentIndex >= count) {
        return;
    }
    const std::uint64_t bytes =
        static_cast<std::uint64_t>(decoded->Stride()) * static_cast<std::uint64_t>(decoded->Height());
    if (bytes > kMaxPrefetchBesideBytes) {
        return;
    }
    const std::int64_t index = ((currentIndex + std::int64_t{step}) % count + count) % count;
    const std::string& neighbour = fileList[static_cast<std::size_t>(index)];
    if (neighbour != path) {
        prefetch.Start(neighbour);
    }
}

namespace {

// Truncates toward zero like a plain conversion, but keeps sizes that do not
// fit an int (absurd factors on huge pictures) from being undefined: they
// clamp, and the scaler then refuses the size.
std::int32_t TruncatedSize(double value)
{
    if (!(value > 0)) {
        return 0;
    }
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

// Puts a transform's result into `display`. A transform that fails (the
// working copy has no pixels, or the result would be too large) still yields
// a picture of the right size without pixels, so placement and scrolling stay
// consistent and nothing stale is drawn.
void TakeResult(PxBitmap& display, PxBitmap& result, int status, std::int32_t width, std::int32_t height)
{
    if (status == 0) {
        display.MoveFrom(result);
        return;
    }
    Clear(display);
    display.SetDimensions(width, height, 24);
}

}  // namespace

void ImageDocument::ApplyZoom()
{
    if (!decoded) {
        return;
    }
    const std::int32_t newWidth = TruncatedSize(decoded->Width() * zoom);
    const std::int32_t newHeight = TruncatedSize(decoded->Height() * zoom);
    if (newWidth == decoded->Width() && newHeight == decoded->Height() && decoded->Pixels() != nullptr) {
        // Scaling to the same size reproduces the picture byte for byte, and
        // the decoded picture never changes: the working copy shows its
        // store instead of holding a second copy of it.
        display.ShareFrom(*decoded);
        return;
    }
    PxBitmap scaled;
    const int status = decoded->Scale(newWidth, newHeight, &scaled);
    TakeResult(display, scaled, status, newWidth, newHeight);
}

void ImageDocument::ApplyRotation()
{
    std::int32_t code = 0;
    switch (rotation) {
        case 90:
            code = 1;
            break;
        case 180:
            code = 2;
            break;
        case 270:
            code = 3;
            break;
        default:
            return;
    }
    const bool quarter = code != 2;
    const std::int32_t width = quarter ? display.Height() : display.Width();
    const std::int32_t height = quarter ? display.Width() : display.Height();
    PxBitmap turned;
    const int status = display.Rotate(code, &turned);
    TakeResult(display, turned, status, width, height);
}

void ImageDocument::ApplyFlips()
{
    // Each mirror works on a fresh bitmap; the left-right one comes first.
    if (flipHorizontal) {
        PxBitmap mirrored;
        const int status = display.Flip(false, &mirrored);
        TakeResult(display, mirrored, status, display.Width(), display.Height());
    }
    if (flipVertical) {
        PxBitmap mirrored;
        const int status = display.Flip(true, &mirrored);
        TakeResult(display, mirrored, status, display.Width(), display.Height());
    }
}

}  // namespace brelvix
