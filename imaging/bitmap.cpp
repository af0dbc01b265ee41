#include "bitmap.h"

#include <cstring>
#include <new>
#include <utility>

#include "pixel_memory.h"

namespace brelvix {

std::int32_t RowBytes(std::int32_t width, std::int32_t bitsPerPixel)
{
    // Computed in 64 bits so that absurd header values cannot overflow; the
    // result is only meaningful for sizes the caller will accept anyway.
    std::int64_t bytes = static_cast<std::int64_t>(width) * bitsPerPixel / 8;
    if (bitsPerPixel == 1 && width % 8 != 0) {
        bytes += 1;
    }
    bytes = (bytes + 3) & ~std::int64_t{3};
    return static_cast<std::int32_t>(bytes);
}

std::int32_t RowPadding(std::int32_t width, std::int32_t bitsPerPixel)
{
    const std::int64_t plain = static_cast<std::int64_t>(width) * bitsPerPixel / 8;
    return static_cast<std::int32_t>(RowBytes(width, bitsPerPixel) - plain);
}

PxImage::~PxImage()
{
    delete[] rows;
}

void PxBitmap::ReleaseStore()
{
    platformBitmap.reset();
    pixels = nullptr;
    DropAlpha();
}

void PxBitmap::DropAlpha()
{
    alphaPlane.reset();
    alpha = nullptr;
}

int PxBitmap::CreateAlphaPlane()
{
    DropAlpha();
    if (pixels == nullptr || width <= 0 || height <= 0) {
        return 1;
    }
    const std::uint64_t bytes = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    alphaPlane = PxZeroed<std::uint8_t>(bytes);
    if (!alphaPlane) {
        return 1;
    }
    alpha = alphaPlane.get();
    std::memset(alpha, 0xFF, static_cast<std::size_t>(bytes));
    return 0;
}

void PxBitmap::SetDimensions(std::int32_t newWidth, std::int32_t newHeight, std::int32_t newBitsPerPixel)
{
    width = newWidth;
    height = newHeight;
    bitsPerPixel = newBitsPerPixel;
}

int PxBitmap::ReuseOrCreateStore(std::int32_t newWidth, std::int32_t newHeight)
{
    if (platformBitmap && bitsPerPixel == 24 && width == newWidth && height == newHeight) {
        // Every pixel is written over; the padding is cleared as a fresh
        // store has it, so that the result does not depend on the store's past.
        // The caller writes the pixels only; transparency of the store's
        // past must not stay with them.
        DropAlpha();
        const std::int64_t used = 3 * static_cast<std::int64_t>(width);
        const std::int64_t stride = Stride();
        for (std::int64_t row = 0; stride > used && row < height; ++row) {
            std::memset(pixels + row * stride + used, 0, static_cast<std::size_t>(stride - used));
        }
        return 0;
    }
    SetDimensions(newWidth, newHeight, 24);
    return CreatePixelStore();
}

int PxBitmap::CreatePixelStore()
{
    bitsPerPixel = 24;
    ReleaseStore();
    if (width <= 0 || height <= 0) {
        return 1;
    }
    // Null past the store cap as well as when the memory cannot be had.
    platformBitmap =
        PxZeroed<std::uint8_t>(static_cast<std::uint64_t>(StoreStride(width)) * static_cast<std::uint64_t>(height));
    pixels = platformBitmap.get();
    return pixels != nullptr ? 0 : 1;
}

PxBitmap& PxBitmap::CopyFrom(const PxBitmap& source)
{
    if (&source == this) {
        return *this;
    }
    ReleaseStore();
    SetDimensions(source.width, source.height, source.bitsPerPixel);
    // Without a source store there is nothing to copy, and this bitmap ends
    // up sized but without a store, like the source.
    if (source.pixels != nullptr && CreatePixelStore() == 0) {
        std::memcpy(pixels, source.pixels, static_cast<std::size_t>(Stride() * height));
        if (source.alpha != nullptr && CreateAlphaPlane() == 0) {
            std::memcpy(alpha, source.alpha, static_cast<std::size_t>(std::int64_t{width} * height));
        }
    }
    return *this;
}

void PxBitmap::MoveFrom(PxBitmap& source)
{
    if (&source == this) {
        return;
    }
    ReleaseStore();
    width = source.width;
    height = source.height;
    bitsPerPixel = source.bitsPerPixel;
    platformBitmap = std::move(source.platformBitmap);
    pixels = source.pixels;
    source.pixels = nullptr;
    alphaPlane = std::move(source.alphaPlane);
    alpha = source.alpha;
    source.alpha = nullptr;
    source.width = 0;
    source.height = 0;
    source.bitsPerPixel = 0;
}

void PxBitmap::ShareFrom(const PxBitmap& source)
{
    if (&source == this) {
        return;
    }
    ReleaseStore();
    SetDimensions(source.width, source.height, source.bitsPerPixel);
    pixels = source.pixels;
    alpha = source.alpha;
}

std::uint8_t** PxBitmap::GetRows()
{
    delete[] rows;
    rows = nullptr;
    if (height <= 0) {
        return nullptr;
    }
    rows = new (std::nothrow) std::uint8_t*[static_cast<std::size_t>(height)];
    if (rows == nullptr) {
        return nullptr;
    }
    const std::int64_t stride = Stride();
    for (std::int32_t i = 0; i < height; ++i) {
        rows[i] = pixels != nullptr ? pixels + static_cast<std::int64_t>(i) * stride : nullptr;
    }
    return rows;
}

int PxBitmap::Draw(PxDrawTarget* target, int x, int y, std::uint32_t rop) const
{
    if (target == nullptr || pixels == nullptr) {
        return 0;
    }
    return target->DrawPixels(x, y, width, height, pixels, static_cast<std::int32_t>(Stride()), rop);
}

void PxBitmap::GetFormatName(char* buffer) const
{
    const char* name = "Unknown";
    switch (formatId) {
    case 1: name = "BMP"; break;
    case 3: name = "TARGA"; break;
    case 4: name = "TIFF"; break;
    case 5: name = "JPEG"; break;
    case 6: name = "PNG"; break;
    case 10: name = "PCX"; break;
    case 12: name = "GIF"; break;
    case 14: name = "PSD"; break;
    case 15: name = "WebP"; break;
    case 16: name = "AVIF"; break;
    case 17: name = "HEIF"; break;
    case 18: name = "JPEG XL"; break;
    default: break;
    }
    std::strcpy(buffer, name);
}

}  // namespace brelvix
