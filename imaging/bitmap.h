// The image library's picture type.
//
// A PxBitmap with a pixel store always holds 24-bit pixels in the byte order
// blue, green, red; rows are bottom-up (the first row in memory is the bottom
// row of the picture) and each row is padded to a multiple of 4 bytes. Every
// decoder writes this layout, and the window draws it without conversion.
#pragma once

#include <cstddef>
#include <cstdint>

#include "load_error.h"
#include "picture_meta.h"
#include "pixel_memory.h"

namespace brelvix {

class PxLoadControl;
class PxResampler;
struct PxReduction;

// Root of the library's class tree; owns nothing.
class PxObject {
public:
    virtual ~PxObject() = default;
};

// Aligned row length in bytes for a row of `width` pixels of `bitsPerPixel`
// bits, rounded up to a multiple of 4. For 24 bits it is the store's stride.
std::int32_t RowBytes(std::int32_t width, std::int32_t bitsPerPixel);
// RowBytes minus the unpadded row length: the padding at the end of a row.
std::int32_t RowPadding(std::int32_t width, std::int32_t bitsPerPixel);

// 64-bit stride of a 24-bit row; never overflows for any 32-bit width.
inline std::int64_t StoreStride(std::int64_t width)
{
    return (3 * width + 3) & ~std::int64_t{3};
}

// Where PxBitmap::Draw copies its pixels. The window side implements it; the
// rows handed over are the store itself (bottom-up BGR, `stride` bytes apart,
// row 0 = bottom of the picture) and are valid only during the call.
class PxDrawTarget {
public:
    virtual ~PxDrawTarget() = default;
    // Copies a width x height picture with its top-left corner at (x, y).
    // Returns non-zero on success.
    virtual int DrawPixels(int x, int y, int width, int height, const std::uint8_t* pixels, std::int32_t stride,
                           std::uint32_t rop) = 0;
};

// The plain source copy, the only raster operation the viewer uses.
inline constexpr std::uint32_t kPxSourceCopy = 0x00CC0020;

// Picture geometry. Never used on its own.
class PxImage : public PxObject {
public:
    ~PxImage() override;

protected:
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitsPerPixel = 0;
    std::uint8_t** rows = nullptr;   // owned row table; entry 0 is the bottom row
    std::uint8_t* pixels = nullptr;  // first byte of the store, owned by the store handle
};

class PxBitmap : public PxImage {
public:
    PxBitmap() = default;
    ~PxBitmap() override = default;
    PxBitmap(const PxBitmap&) = delete;
    PxBitmap& operator=(const PxBitmap&) = delete;

    // Records the geometry; the store and the row table are left alone.
    void SetDimensions(std::int32_t newWidth, std::int32_t newHeight, std::int32_t newBitsPerPixel);

    std::int32_t Width() const { return width; }
    std::int32_t Height() const { return height; }
    std::int32_t BitsPerPixel() const { return bitsPerPixel; }
    std::int32_t FormatId() const { return formatId; }
    std::uint8_t* Pixels() const { return pixels; }
    // Row length of the store in bytes (3 * width rounded up to 4).
    std::int64_t Stride() const { return StoreStride(width); }

    // Replaces the store by a fresh zeroed one of the current width and
    // height and sets the depth to 24. Returns 0, or 1 when the size is not
    // positive, exceeds kPxMaxStoreBytes or the memory cannot be had; the
    // bitmap then has no store.
    int CreatePixelStore();

    // Makes this bitmap a copy of `source` (geometry and store, padding
    // included). The format id and the row table are not copied. Without a
    // source store, or when no store can be made, this bitmap keeps the
    // source's dimensions and has no store.
    PxBitmap& CopyFrom(const PxBitmap& source);

    // Takes over the store of `source`, which is left empty (0 x 0, no
    // store). The format id stays. Cheaper than CopyFrom when the source is
    // a temporary.
    void MoveFrom(PxBitmap& source);

    // Makes this bitmap show the store of `source` without copying it: the
    // same geometry and the same bytes, owned by `source`. The source must
    // keep that store, and nothing may write into it, for as long as this
    // bitmap shows it (until its next store, MoveFrom, CopyFrom or its end);
    // meant for a working copy that equals a picture that never changes.
    // Without a source store this bitmap is sized and has none.
    void ShareFrom(const PxBitmap& source);

    // Rebuilds and returns the row table (height entries, entry i = pixels +
    // i * stride). Valid until the next store replaces this one.
    std::uint8_t** GetRows();

    // Copies the whole picture unscaled to `target` with its top-left corner
    // at (x, y). Returns non-zero on success; a bitmap without a store draws
    // nothing and returns 0.
    int Draw(PxDrawTarget* target, int x, int y, std::uint32_t rop) const;

    // Writes the display name of the format id with its NUL; needs 8 bytes.
    void GetFormatName(char* buffer) const;

    // Loads a file; 0 on success, 1 on any failure. Never throws. With a
    // `control`, the load can be cancelled from another thread (it then
    // fails, and control->Cancelled() is true) and reports its progress,
    // which reaches 1000 when the load succeeds. Without one it runs exactly
    // as it always has. With a `reduction` the load asks for a reduced
    // decode (PxLoadReduced in imaging/reduced_load.h is the way in).
    int CreateFromFile(const char* path, PxLoadControl* control = nullptr, PxReduction* reduction = nullptr);
    // Why the last CreateFromFile failed; None after a success or before any
    // load. Like the format id it belongs to the loaded file: copies and
    // moves of the store leave it alone.
    PxLoadError LoadError() const { return loadError; }

    // Quarter turn (code 1, 2, 3 = 90, 180, 270 degrees clockwise; any other
    // code copies) into `destination`. 0 on success, 1 on failure.
    int Rotate(std::int32_t code, PxBitmap* destination) const;
    // Mirror left-right (vertical false) or top-bottom (vertical true).
    int Flip(bool vertical, PxBitmap* destination) const;
    // Two-pass tent-filter resampling to newWidth x newHeight.
    int Scale(std::int32_t newWidth, std::int32_t newHeight, PxBitmap* destination) const;
    // The partWidth x partHeight rectangle at (x, y) (picture coordinates,
    // top-left origin) of what Scale(newWidth, newHeight) would make, byte
    // for byte, without making the rest: a view of a picture zoomed far
    // beyond the store cap needs only what is on screen. A destination that
    // owns a store of exactly the part's size is written over instead of
    // getting a fresh one, with the same bytes as a fresh one would hold, so
    // that a view making parts again and again does not fault in and zero
    // new memory each time (Rotate and Flip do the same). 0 on success, 1
    // when the rectangle is not inside the scaled picture or a store cannot
    // be had.
    int ScalePart(std::int32_t newWidth, std::int32_t newHeight, std::int32_t x, std::int32_t y, std::int32_t partWidth,
                  std::int32_t partHeight, PxBitmap* destination) const;

    // Transparency read from the file, kept beside the 24-bit store so that
    // the store holds exactly what it holds without it: one byte a pixel (0
    // transparent to 255 opaque), rows bottom-up like the store's and `width`
    // bytes apart, without padding. Most pictures have none (HasAlpha false).
    // A new store (CreatePixelStore, a store written over by a transform)
    // starts without one; CopyFrom copies it, MoveFrom moves it and ShareFrom
    // shows the source's, as they do with the store.
    bool HasAlpha() const { return alpha != nullptr; }
    const std::uint8_t* Alpha() const { return alpha; }
    std::uint8_t* Alpha() { return alpha; }
    // Gives the bitmap an alpha plane of its width x height, every pixel
    // opaque. 0, or 1 without a store or when the memory cannot be had (the
    // bitmap then has no plane).
    int CreateAlphaPlane();
    void DropAlpha();

    // Only the loader sets the format id.
    void SetFormatId(std::int32_t id) { formatId = id; }

    // How the file says its stored picture is meant to be shown, as the Exif
    // Orientation tag counts (imaging/orientation.h): 1 (as stored) unless the
    // decoder found another value. Decoders set it and leave the pixels as
    // stored; PxApplyOrientation turns them and sets it back to 1. Like the
    // format id, it belongs to the loaded file: copies and moves of the store
    // leave it alone.
    std::int32_t Orientation() const { return orientation; }
    void SetOrientation(std::int32_t value) { orientation = value; }

    // The colour profile, Exif block and sample depth the file gave
    // (imaging/picture_meta.h). Decoders fill it; like the format id and the
    // orientation it belongs to the loaded file, and copies and moves of the
    // store leave it alone.
    const PxPictureMeta& Meta() const { return meta; }
    PxPictureMeta& Meta() { return meta; }

private:
    // Resamples the alpha plane into `destination` as its store was just
    // resampled (the part at column `left`, row `bottom` counted from the
    // bottom, of the newWidth x newHeight picture); drops its plane when
    // this bitmap has none. 0, or 1 without memory.
    int ScaleAlpha(const PxResampler& resampler, std::int32_t newWidth, std::int32_t newHeight, std::int32_t left,
                   std::int32_t bottom, std::int32_t partWidth, std::int32_t partHeight, PxBitmap* destination) const;
    void ReleaseStore();
    // Keeps the store when this bitmap owns one of exactly width x height at
    // 24 bits (its row padding cleared), else makes a fresh one as
    // CreatePixelStore does. For those who then write every pixel.
    int ReuseOrCreateStore(std::int32_t newWidth, std::int32_t newHeight);

    std::int32_t formatId = 0;
    std::int32_t orientation = 1;
    PxLoadError loadError = PxLoadError::None;
    PxPictureMeta meta;
    // The store's allocation (stands in for the platform bitmap handle);
    // null when the store is shown from another bitmap (ShareFrom).
    PxBuffer<std::uint8_t> platformBitmap;
    // The alpha plane and its allocation (null when shown from another
    // bitmap, as with the store).
    std::uint8_t* alpha = nullptr;
    PxBuffer<std::uint8_t> alphaPlane;
};

}  // namespace brelvix
