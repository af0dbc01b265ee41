#include "viewer/image_document.h"

#include <limits>

#include "imaging/alpha.h"
#include "imaging/orientation.h"
#include "viewer/screen_colors.h"

namespace brelvix {

ImageDocument::ImageDocument() = default;
ImageDocument::~ImageDocument() = default;

bool ImageDocument::Load(const std::string& newPath, bool upright)
{
    DecodedPicture picture;
    picture.identity = platform::IdentityOf(newPath);
    picture.bitmap = std::make_unique<PxBitmap>();
    picture.result = picture.bitmap->CreateFromFile(newPath.c_str());
    Install(newPath, std::move(picture), upright);
    return loaded;
}

bool ImageDocument::Install(const std::string& newPath, DecodedPicture picture, bool upright)
{
    path = newPath;
    firstLook = false;
    decoded = std::move(picture);
    if (!decoded.bitmap) {
        decoded.bitmap = std::make_unique<PxBitmap>();
        decoded.result = 1;
    }
    loaded = decoded.result == 0;
    // A picture turned once records that it is upright, so one decoded
    // ahead of time and kept is not turned again; without the memory to
    // turn it, it shows as stored.
    const bool turned = loaded && upright && decoded.bitmap->Orientation() != kPxOrientationUpright &&
                        PxApplyOrientation(*decoded.bitmap) == 0;
    // Decodes on threads of their own have converted their picture already;
    // one decoded here, or before the screen's colours were known, is
    // converted now.
    if (loaded) {
        PrepareForScreen(*decoded.bitmap);
    }
    scaledWidth = decoded.bitmap->Width();
    scaledHeight = decoded.bitmap->Height();
    display = {scaledWidth, scaledHeight};
    turns = 0;
    mirrored = false;
    ++generation;
    showsFrame = false;
    return turned;
}

void ImageDocument::InstallFirstLook(const std::string& newPath, PxReducedPicture& look, bool upright)
{
    DecodedPicture picture;
    picture.bitmap = std::make_unique<PxBitmap>();
    picture.bitmap->MoveFrom(look.reduced);
    picture.bitmap->SetOrientation(look.reduced.Orientation());
    picture.bitmap->SetFormatId(look.reduced.FormatId());
    picture.result = 0;
    const bool turned = Install(newPath, std::move(picture), upright);
    // Orientations 5 to 8 turn the picture by a quarter.
    const std::int32_t orientation = look.reduced.Orientation();
    const bool transposed = turned && orientation >= 5 && orientation <= 8;
    fileWidth = transposed ? look.fileHeight : look.fileWidth;
    fileHeight = transposed ? look.fileWidth : look.fileHeight;
    firstLook = true;
    scaledWidth = fileWidth;
    scaledHeight = fileHeight;
    display = {scaledWidth, scaledHeight};
}

DecodedPicture ImageDocument::Release()
{
    ++generation;
    if (firstLook) {
        firstLook = false;
        showsFrame = false;
        decoded = DecodedPicture{};
        return {};
    }
    DecodedPicture picture = std::move(decoded);
    decoded = {};
    if (showsFrame) {
        picture.bitmap.reset();
    }
    showsFrame = false;
    return picture;
}

bool ImageDocument::ShowFrame(PxBitmap& frame)
{
    PxBitmap* picture = decoded.bitmap.get();
    if (!loaded || firstLook || picture == nullptr || frame.Pixels() == nullptr || frame.Width() != picture->Width() ||
        frame.Height() != picture->Height()) {
        return false;
    }
    // The picture's store goes to `frame` in exchange, to be filled again:
    // memory fresh from the system costs more to touch than a copy.
    PxBitmap previous;
    previous.MoveFrom(*picture);
    picture->MoveFrom(frame);
    frame.MoveFrom(previous);
    showsFrame = true;
    ++generation;
    return true;
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

void ImageDocument::ApplyZoom(double zoom)
{
    if (!decoded.bitmap) {
        return;
    }
    scaledWidth = TruncatedSize(DecodedWidth() * zoom);
    scaledHeight = TruncatedSize(DecodedHeight() * zoom);
    display = {scaledWidth, scaledHeight};
    turns = 0;
    mirrored = false;
    ++generation;
}

void ImageDocument::ApplyRotation(std::int32_t rotation)
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

void ImageDocument::ApplyFlips(bool flipHorizontal, bool flipVertical)
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
    const PxBitmap* picture = decoded.bitmap.get();
    return picture != nullptr && !picture->HasAlpha() && !firstLook && turns == 0 && !mirrored &&
           scaledWidth == picture->Width() &&
           scaledHeight == picture->Height();
}

// The part of the working copy at (x, y) comes from one rectangle of the
// scaled picture: undo the mirror, then the turn, and the rectangle's
// corners land on the scaled picture's. That rectangle is scaled on its own
// (the resampler gives the same bytes as for the whole), then turned and
// mirrored like the whole: cutting a rectangle out commutes with turning and
// mirroring, which only move pixels.
bool ImageDocument::RenderPart(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, PxBitmap* part,
                               RenderScratch* scratch, const Backdrop* backdrop) const
{
    if (!MakePart(x, y, width, height, part, scratch)) {
        return false;
    }
    // Every step before made the part's store its own (scaling writes into
    // it, turns and mirrors copy), so blending cannot reach the decoded
    // picture.
    if (backdrop != nullptr && part->HasAlpha()) {
        const bool premultiplied = decoded.bitmap->Meta().alphaPremultiplied;
        if (backdrop->checkerboard) {
            PxBlendOverCheckerboard(*part, x, y, premultiplied);
        } else {
            PxBlendOverColor(*part, backdrop->color, premultiplied);
        }
    }
    return true;
}

bool ImageDocument::MakePart(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, PxBitmap* part,
                             RenderScratch* scratch) const
{
    const PxBitmap* picture = decoded.bitmap.get();
    if (picture == nullptr || picture->Pixels() == nullptr || part == nullptr || width <= 0 || height <= 0 || x < 0 ||
        y < 0 || width > display.width - x || height > display.height - y) {
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
        return picture->ScalePart(scaledWidth, scaledHeight, sx, sy, sw, sh, part) == 0;
    }
    // The last step writes into the part.
    RenderScratch temporaries;
    RenderScratch& steps = scratch != nullptr ? *scratch : temporaries;
    PxBitmap& scaled = steps.scaled;
    PxBitmap& turned = steps.turned;
    if (picture->ScalePart(scaledWidth, scaledHeight, sx, sy, sw, sh, &scaled) != 0) {
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
