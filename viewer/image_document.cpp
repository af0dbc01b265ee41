#include "viewer/image_document.h"

#include <cmath>
#include <limits>

#include "imaging/orientation.h"
#include "platform/ascii.h"

namespace brelvix {

ImageDocument::ImageDocument() = default;

ImageDocument::~ImageDocument()
{
    // The decoded picture, then the list.
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
    // The old picture goes to the cache (which keeps it only when it is
    // small enough, so a huge one is gone before the next is decoded).
    KeepDecoded();
    int result = 1;
    platform::FileIdentity identity;
    std::unique_ptr<PxBitmap> picture = cache.Take(newPath, &result, &identity);
    if (!picture) {
        identity = platform::IdentityOf(newPath);
        picture = std::make_unique<PxBitmap>();
        result = picture->CreateFromFile(newPath.c_str());
    }
    Install(newPath, std::move(picture), result, identity);
    return loaded;
}

void ImageDocument::KeepDecoded()
{
    if (decoded) {
        cache.Keep(path, decodedIdentity, std::move(decoded), decodedResult);
    }
    ForgetTurnedPictures();
}

void ImageDocument::ForgetTurnedPictures()
{
    // Pictures turned while the setting was on would come back turned after
    // it was switched off; they are dropped instead.
    if (!applyOrientation && cacheHoldsTurned) {
        cache = PictureCache(cache.Budget());
        cacheHoldsTurned = false;
    }
}

bool ImageDocument::LoadFromCache(const std::string& newPath)
{
    ForgetTurnedPictures();
    if (!cache.Finished(newPath)) {
        return false;
    }
    int result = 1;
    platform::FileIdentity identity;
    std::unique_ptr<PxBitmap> picture = cache.Take(newPath, &result, &identity);
    if (!picture) {
        return false;
    }
    KeepDecoded();
    Install(newPath, std::move(picture), result, identity);
    return true;
}

void ImageDocument::Install(const std::string& newPath, std::unique_ptr<PxBitmap> picture, int result,
                            const platform::FileIdentity& identity)
{
    path = newPath;
    decoded = std::move(picture);
    decodedResult = result;
    decodedIdentity = identity;
    loaded = decodedResult == 0;
    // Turned as its camera recorded, whether it was decoded now or ahead of
    // time (a picture turned once records that it is upright, so one the
    // cache hands back is not turned again); without the memory to turn it,
    // it shows as stored.
    if (loaded && applyOrientation && decoded->Orientation() != kPxOrientationUpright &&
        PxApplyOrientation(*decoded) == 0) {
        cacheHoldsTurned = true;
    }
    // The working copy is the decoded picture as it is; after a failure,
    // whatever size the decode left.
    scaledWidth = decoded->Width();
    scaledHeight = decoded->Height();
    display = {scaledWidth, scaledHeight};
    turns = 0;
    mirrored = false;
    ++generation;
    zoom = 1.0;
    rotation = 0;
    flipHorizontal = false;
    flipVertical = false;
}

void ImageDocument::PrefetchNeighbours(std::int32_t step)
{
    const std::int64_t count = static_cast<std::int64_t>(fileList.size());
    if (!loaded || !decoded || count < 2 || currentIndex < 0 || currentIndex >= count) {
        return;
    }
    const std::uint64_t bytes =
        static_cast<std::uint64_t>(decoded->Stride()) * static_cast<std::uint64_t>(decoded->Height());
    if (!cache.WouldKeep(bytes)) {
        return;
    }
    // The way the user is going first: with two decodes at a time both
    // neighbours start at once, but the first one gets the head start.
    for (const std::int64_t offset : {std::int64_t{step}, -std::int64_t{step}}) {
        const std::int64_t index = ((currentIndex + offset) % count + count) % count;
        const std::string& neighbour = fileList[static_cast<std::size_t>(index)];
        if (neighbour != path) {
            cache.Prefetch(neighbour);
        }
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

}  // namespace

void ImageDocument::ApplyZoom()
{
    if (!decoded) {
        return;
    }
    scaledWidth = TruncatedSize(decoded->Width() * zoom);
    scaledHeight = TruncatedSize(decoded->Height() * zoom);
    display = {scaledWidth, scaledHeight};
    turns = 0;
    mirrored = false;
    ++generation;
}

void ImageDocument::ApplyRotation()
{
    std::int32_t quarters = 0;
    switch (rotation) {
        case 90:
            quarters = 1;
            break;
        case 180:
            quarters = 2;
            break;
        case 270:
            quarters = 3;
            break;
        default:
            return;
    }
    // A turn after a mirror turns the other way round: the mirror image of a
    // clockwise turn is a counter-clockwise one.
    turns = (mirrored ? turns - quarters + 4 : turns + quarters) % 4;
    if (quarters != 2) {
        std::swap(display.width, display.height);
    }
    ++generation;
}

void ImageDocument::ApplyFlips()
{
    if (flipHorizontal) {
        mirrored = !mirrored;
        ++generation;
    }
    if (flipVertical) {
        // Top-bottom is left-right after half a turn.
        turns = (turns + 2) % 4;
        mirrored = !mirrored;
        ++generation;
    }
}

bool ImageDocument::WorkingCopyIsDecoded() const
{
    return decoded && turns == 0 && !mirrored && scaledWidth == decoded->Width() && scaledHeight == decoded->Height();
}

// The part of the working copy at (x, y) comes from one rectangle of the
// scaled picture: undo the mirror, then the turn, and the rectangle's
// corners land on the scaled picture's. That rectangle is scaled on its own
// (the resampler gives the same bytes as for the whole), then turned and
// mirrored like the whole: cutting a rectangle out commutes with turning and
// mirroring, which only move pixels.
bool ImageDocument::RenderPart(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, PxBitmap* part,
                               RenderScratch* scratch) const
{
    if (!decoded || decoded->Pixels() == nullptr || part == nullptr || width <= 0 || height <= 0 || x < 0 || y < 0 ||
        width > display.width - x || height > display.height - y) {
        return false;
    }
    std::int32_t left = mirrored ? display.width - x - width : x;
    const std::int32_t top = y;
    // (left, top) is now the rectangle in the turned picture, whose size is
    // the working copy's. A clockwise quarter turn puts scaled (sx, sy) at
    // (scaledHeight - 1 - sy, sx), half a turn at (W - 1 - sx, H - 1 - sy),
    // three quarters at (sy, scaledWidth - 1 - sx).
    std::int32_t sx = left;
    std::int32_t sy = top;
    std::int32_t sw = width;
    std::int32_t sh = height;
    switch (turns) {
        case 1:
            sx = top;
            sy = scaledHeight - left - width;
            sw = height;
            sh = width;
            break;
        case 2:
            sx = scaledWidth - left - width;
            sy = scaledHeight - top - height;
            break;
        case 3:
            sx = scaledWidth - top - height;
            sy = left;
            sw = height;
            sh = width;
            break;
        default:
            break;
    }
    if (turns == 0 && !mirrored) {
        // Straight into the part, whose store the scaler may write over.
        return decoded->ScalePart(scaledWidth, scaledHeight, sx, sy, sw, sh, part) == 0;
    }
    // The last step writes into the part.
    RenderScratch temporaries;
    RenderScratch& steps = scratch != nullptr ? *scratch : temporaries;
    PxBitmap& scaled = steps.scaled;
    PxBitmap& turned = steps.turned;
    if (decoded->ScalePart(scaledWidth, scaledHeight, sx, sy, sw, sh, &scaled) != 0) {
        return false;
    }
    if (turns == 0) {
        return scaled.Flip(false, part) == 0;
    }
    if (!mirrored) {
        return scaled.Rotate(turns, part) == 0;
    }
    return scaled.Rotate(turns, &turned) == 0 && turned.Flip(false, part) == 0;
}

}  // namespace brelvix
