// The picture on screen.
//
// The document keeps the picture exactly as decoded and a working copy that
// is drawn. The decoded picture never changes after loading; every change of
// zoom, rotation or flips rebuilds the working copy from it in one order:
// scale, rotate, mirror left-right, mirror top-bottom. The working copy is
// kept as its size and its orientation only: any rectangle of it is made on
// demand (RenderPart), byte for byte what the same place of the whole would
// hold. A 24-megapixel photo at 1000 % would need a working copy of 2.4 GB;
// the screen shows a few megabytes of it.
//
// Which picture to show, the list it belongs to and the pictures decoded
// ahead are the navigator's (viewer/navigator.h); the zoom, turns and
// mirrors the viewport's (viewer/viewport.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/reduced_load.h"
#include "platform/file_system.h"

namespace brelvix {

// The size of the working copy, in pixels.
struct WorkingCopySize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t Width() const { return width; }
    std::int32_t Height() const { return height; }
};

// A picture as a decode left it: what PxBitmap::CreateFromFile returned for
// it, and the file's identity taken before the decode, so that a picture
// kept for later is known to be stale once its file changes.
struct DecodedPicture {
    std::unique_ptr<PxBitmap> bitmap;
    int result = 1;
    platform::FileIdentity identity;
};

class ImageDocument {
public:
    ImageDocument();
    ~ImageDocument();
    ImageDocument(const ImageDocument&) = delete;
    ImageDocument& operator=(const ImageDocument&) = delete;

    // Decodes the file at `newPath` and shows it (Install). The old picture
    // is gone even when the new one fails. Returns Loaded().
    bool Load(const std::string& newPath, bool upright);
    // Makes `picture`, decoded from `newPath`, the decoded picture and the
    // working copy (unscaled, unturned), after a failure whatever size the
    // decode left. With `upright` a picture whose file records another
    // orientation is turned upright first (one turned before is not turned
    // again); true when it was turned now.
    bool Install(const std::string& newPath, DecodedPicture picture, bool upright);
    // Shows a reduced first look at `newPath` until the picture itself is
    // installed. The document then behaves as if the picture were there:
    // its size is the file's (turned upright with `upright`, as Install
    // turns the picture), so the working copy has the size and place the
    // picture's will have, and zoom, turns and mirrors apply to the
    // picture's size; only its pixels come from the reduced picture, scaled
    // up to that size.
    void InstallFirstLook(const std::string& newPath, PxReducedPicture& look, bool upright);
    // Whether what is shown is such a first look, not the picture.
    bool ShowsFirstLook() const { return firstLook; }
    // Hands the decoded picture over (to be kept for later); the document
    // then has none until the next Install. A first look is never the
    // picture: nothing is handed over for it. Once a frame of a moving
    // picture took its place there is nothing to keep either: a later frame
    // is not what decoding the file gives (the bitmap handed over is null).
    DecodedPicture Release();
    // The picture on screen no longer is what a load of its file would give
    // (the screen's colours changed): it is not to be kept for later.
    void MarkStale() { decoded.identity = {}; }

    // Puts a frame of the moving picture in place of the decoded picture's
    // pixels (and transparency). It must be of the same size; zoom, turns
    // and mirrors stay, and so do the file's format, orientation and
    // colour information. `frame` gets the pixels shown until now, of the
    // same size, for the next frame to be copied into. False, changing
    // nothing, without a loaded picture or for a frame of another size.
    bool ShowFrame(PxBitmap& frame);
    // Whether a frame took the place of the picture as decoded.
    bool ShowsFrame() const { return showsFrame; }

    // The working copy becomes the decoded picture scaled by `zoom` (each
    // size truncated toward zero), unturned and unmirrored. Without a
    // decoded picture nothing happens.
    void ApplyZoom(double zoom);
    // Turns the working copy by `rotation` degrees clockwise (90, 180, 270;
    // other values do nothing).
    void ApplyRotation(std::int32_t rotation);
    // Mirrors the working copy left-right, then top-bottom, as the flags say.
    void ApplyFlips(bool flipHorizontal, bool flipVertical);

    // Makes `part` the width x height rectangle at (x, y) of the working copy
    // (picture coordinates, top-left origin): the decoded picture's pixels
    // scaled, turned and mirrored exactly as a whole working copy built in
    // that order would hold them there (a part that already has a store of
    // that size may keep it). False, with `part` unchanged or without a
    // store, when there are no decoded pixels, the rectangle is not inside
    // the working copy or memory cannot be had. Safe to call from several
    // threads at once while the document does not change. A turned or
    // mirrored part goes through `scratch` on its way (the caller's own, one
    // per thread, whose stores then serve part after part), or through
    // temporaries without one.
    //
    // With a `backdrop`, transparent pixels come out blended over it (the
    // part is then opaque); without one the part keeps the alpha plane.
    struct RenderScratch {
        PxBitmap scaled;
        PxBitmap turned;
    };
    struct Backdrop {
        // The background colour, 0x00BBGGRR.
        std::uint32_t color = 0;
        // The checkerboard instead of the colour (imaging/alpha.h), its
        // squares counted from the working copy's top-left corner, so that
        // they move with the picture and a part made once stays right.
        bool checkerboard = false;
        bool operator==(const Backdrop&) const = default;
    };
    bool RenderPart(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, PxBitmap* part,
                    RenderScratch* scratch = nullptr, const Backdrop* backdrop = nullptr) const;
    // The working copy is the decoded picture itself (zoom gives its size,
    // neither turned nor mirrored) and opaque: it can be drawn straight from
    // the store.
    bool WorkingCopyIsDecoded() const;
    // The decoded picture has transparent pixels, which show what lies
    // behind them: the parts made of it depend on the backdrop.
    bool HasTransparency() const { return decoded.bitmap && decoded.bitmap->HasAlpha(); }
    // Changes whenever the working copy does (load, zoom, turn, mirror), so
    // that parts made of an older one are known to be stale.
    std::uint64_t Generation() const { return generation; }

    // Full path of the current picture; empty until the first Install.
    const std::string& Path() const { return path; }
    // The last Install was of a picture that decoded.
    bool Loaded() const { return loaded; }
    // Why it did not; None when it did or before the first Install.
    PxLoadError LoadError() const
    {
        return loaded || !decoded.bitmap ? PxLoadError::None : decoded.bitmap->LoadError();
    }
    // The picture as decoded; null before the first Install.
    const PxBitmap* Decoded() const { return decoded.bitmap.get(); }
    // Its size (a first look's file's); 0 x 0 without one.
    std::int32_t DecodedWidth() const { return firstLook ? fileWidth : (decoded.bitmap ? decoded.bitmap->Width() : 0); }
    std::int32_t DecodedHeight() const
    {
        return firstLook ? fileHeight : (decoded.bitmap ? decoded.bitmap->Height() : 0);
    }
    // The size of the working copy that is drawn (its pixels: RenderPart).
    const WorkingCopySize& Display() const { return display; }

private:
    // RenderPart without the backdrop.
    bool MakePart(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, PxBitmap* part,
                  RenderScratch* scratch) const;

    std::string path;
    bool loaded = false;
    DecodedPicture decoded;
    WorkingCopySize display;
    // The scaled picture's size, before turning.
    std::int32_t scaledWidth = 0;
    std::int32_t scaledHeight = 0;
    // How the working copy lies: the scaled picture turned by `turns`
    // quarter turns clockwise, then mirrored left-right when `mirrored`.
    // Every sequence of turns and mirrors comes down to one such pair
    // (mirroring top-bottom is half a turn and a left-right mirror).
    std::int32_t turns = 0;
    bool mirrored = false;
    std::uint64_t generation = 0;
    bool showsFrame = false;
    // A first look is shown; the picture is fileWidth x fileHeight.
    bool firstLook = false;
    std::int32_t fileWidth = 0;
    std::int32_t fileHeight = 0;
};

}  // namespace brelvix
