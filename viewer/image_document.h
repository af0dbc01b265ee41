// The picture on screen and what the viewer knows about it.
//
// The document keeps the picture exactly as decoded and a working copy that
// is drawn. The decoded picture never changes after loading; every change of
// zoom, rotation or flips rebuilds the working copy from it in one order:
// scale, rotate, mirror left-right, mirror top-bottom. The working copy is
// kept as its size and its orientation only: any rectangle of it is made on
// demand (RenderPart), byte for byte what the same place of the whole would
// hold. A 24-megapixel photo at 1000 % would need a working copy of 2.4 GB;
// the screen shows a few megabytes of it. Beside that it holds
// the file list of the picture's folder with the current position, and the
// viewer's settings fields, which the application's settings code reads and
// writes directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "platform/file_system.h"
#include "viewer/picture_cache.h"

namespace brelvix {

// The extensions of listed pictures, without the dot; compared without regard
// to letter case. PCX pictures open but are never listed or accepted by drop.
inline constexpr const char* kPictureExtensions[] = {"jpg", "jpeg", "bmp",  "gif",  "tif",  "tiff", "png",
                                                     "tga", "webp", "avif", "heic", "heif", "jxl"};

// True when `extension` (without the dot) is one of kPictureExtensions,
// letter case ignored.
bool IsPictureExtension(const std::string& extension);

// Orders two file names the way a person reads them: letters without regard
// to case, runs of digits by their value (img2 before img10). Names that
// compare equal that way are ordered by their bytes, so the order is total.
// Returns < 0, 0 or > 0.
int CompareNaturally(const std::string& a, const std::string& b);

// The status bar's file size.
using platform::FileSizeOf;

// The size of the working copy, in pixels.
struct WorkingCopySize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t Width() const { return width; }
    std::int32_t Height() const { return height; }
};

class ImageDocument {
public:
    ImageDocument();
    ~ImageDocument();
    ImageDocument(const ImageDocument&) = delete;
    ImageDocument& operator=(const ImageDocument&) = delete;

    // Replaces the decoded picture by the file at `path` (the old one is gone
    // even when the new one fails), makes the working copy show it and resets
    // zoom to 1.0, rotation to 0 and both flips. Sets `path` and `loaded`.
    // The file list and the position are not touched. Returns `loaded`.
    // After a failure the working copy is whatever the decode left. The
    // picture that goes is handed to the cache, and a picture the cache
    // holds of the same unchanged file is taken instead of decoding it
    // again.
    // With applyOrientation the decoded picture is turned upright first.
    bool Load(const std::string& newPath);
    // What Load does, but only with a picture of `newPath` whose decode in
    // the cache is over (started with cache.Start): true once it is shown.
    // False, changing nothing, while it is still decoding or when the cache
    // holds nothing of the file as it is now.
    bool LoadFromCache(const std::string& newPath);

    // Starts decoding the list's entries `step` places from the current one
    // and then `step` places the other way (wrapping around) in the
    // background, so that stepping on or back finds them ready. Nothing
    // happens without a loaded picture, with fewer than two entries, or when
    // the current picture is too large for the cache to keep another beside.
    void PrefetchNeighbours(std::int32_t step);

    // The working copy becomes decoded scaled by zoom (each size truncated
    // toward zero), unturned and unmirrored. Without a decoded picture
    // nothing happens.
    void ApplyZoom();
    // Turns the working copy by `rotation` (90, 180, 270 clockwise; other
    // values do nothing).
    void ApplyRotation();
    // Mirrors the working copy left-right, then top-bottom, as the flags say.
    void ApplyFlips();

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
    struct RenderScratch {
        PxBitmap scaled;
        PxBitmap turned;
    };
    bool RenderPart(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, PxBitmap* part,
                    RenderScratch* scratch = nullptr) const;
    // The working copy is the decoded picture itself (zoom gives its size,
    // neither turned nor mirrored): it can be drawn straight from the store.
    bool WorkingCopyIsDecoded() const;
    // Changes whenever the working copy does (load, zoom, turn, mirror), so
    // that parts made of an older one are known to be stale.
    std::uint64_t Generation() const { return generation; }

    // Lists the pictures of the folder of `picturePath` (the part before its
    // last '/') and sets currentIndex to the picture's position: the first
    // entry equal to it byte for byte, else the first equal without regard to
    // letter case, else the length of the list. Returns false, leaving list
    // and position as they were, when the path has no '/'; returns false with
    // an empty list and the position unchanged when the folder cannot be read.
    bool BuildFileList(const std::string& picturePath);

    // Appends the pictures of `folder` to fileList: entries in natural name
    // order, each as folder + "/" + name; with includeSubdirectories, each
    // subfolder's pictures (depth-first) stand where the subfolder's name
    // falls. A folder already entered in this scan (same device and inode,
    // e.g. through a symbolic link loop) is not entered again. The current
    // directory of the process is never changed. Returns false when `folder`
    // cannot be opened and read.
    bool ScanFolder(const std::string& folder);

    // Full path of the current picture; empty at construction.
    std::string path;
    // The last Load succeeded.
    bool loaded = false;
    // The picture as decoded; null until the first Load.
    std::unique_ptr<PxBitmap> decoded;
    // The size of the working copy that is drawn (its pixels: RenderPart).
    WorkingCopySize display;

    // Setting: the folder scan enters subfolders.
    bool includeSubdirectories = false;
    // Position of the current picture in fileList; may equal the list's
    // length when the picture is not listed.
    std::int32_t currentIndex = 0;
    // Setting: how many entries fast forward and rewind move.
    std::int32_t fastForwardSkip = 20;
    // Full paths of the listed pictures, in scan order.
    std::vector<std::string> fileList;
    // Setting: slide-show period in seconds.
    double slideShowDelay = 5.0;
    // Setting: draw the information overlay in full screen.
    bool showInfoInFullScreen = false;
    // Setting: colour around and behind the picture, 0x00BBGGRR.
    std::uint32_t backgroundColor = 0;
    // Scale factor of the working copy; 1.0 is 100 %.
    double zoom = 1.0;
    // Clockwise rotation in degrees: 0, 90, 180 or 270.
    std::int32_t rotation = 0;
    bool flipHorizontal = false;
    bool flipVertical = false;
    // Setting: the program "Open for editing" starts; empty when none.
    std::string imageEditorPath;
    // Setting: each picture is turned upright as its file's orientation
    // (a camera's Exif tag, or the format's own) asks, right after loading,
    // so that zoom, turns, mirrors and sizes all work on the upright picture.
    bool applyOrientation = true;

    // Pictures recently shown and decoded ahead of time; Load takes from it.
    PictureCache cache;

private:
    // Makes `picture`, decoded from `newPath` with `result`, the decoded
    // picture and the working copy, as the end of a load does.
    void Install(const std::string& newPath, std::unique_ptr<PxBitmap> picture, int result,
                 const platform::FileIdentity& identity);

    // Hands the decoded picture to the cache.
    void KeepDecoded();
    // Drops the pictures the cache keeps turned upright once the setting is
    // off.
    void ForgetTurnedPictures();

    // The file the decoded picture came from, as it was at the decode, and
    // what the decode returned: what the cache needs to keep it.
    platform::FileIdentity decodedIdentity;
    int decodedResult = 1;
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
    // The cache may hold a picture turned upright (applyOrientation).
    bool cacheHoldsTurned = false;
};

}  // namespace brelvix
