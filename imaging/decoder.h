// The decoder framework: palette entries, the abstract decoder, the trace
// function and the one decoder that only recognises its format.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "bitmap.h"
#include "file_stream.h"
#include "format_detect.h"
#include "load_control.h"
#include "load_error.h"
#include "reduced_load.h"

namespace brelvix {

// One palette entry. A new entry is all zero (black, transparent).
class PxColor {
public:
    virtual ~PxColor() = default;
    void Set(std::uint8_t newRed, std::uint8_t newGreen, std::uint8_t newBlue, std::uint8_t newAlpha)
    {
        red = newRed;
        green = newGreen;
        blue = newBlue;
        alpha = newAlpha;
    }

    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 0;
};

// Base of every decoder. A decoder decodes one file: CreateFromFile creates
// it, calls Decode once and destroys it.
//
// Decode follows one template: ReadHeader sizes the bitmap (a rejected header
// leaves it 0 x 0), the bitmap's store is created (failure: Decode returns 1),
// then the pixel step converts the data into the store. Trouble met only in
// the pixel step leaves the rest of the store black and Decode returns 0.
//
// With a load control, the pixel step passes PxLoadGoesOn between rows,
// bands or passes (never per pixel): it reports progress there, and once the
// load is cancelled it stops and Decode returns 1.
//
// A decoder fails one way: `return Fail(reason);` where it finds the
// trouble, codec libraries' error codes and jumps included, so that the
// reason travels beside the 1 to the loader. A plain 1 follows only a step
// that recorded its reason itself (CreateStore, ReadWholeFileIntoScratch)
// or a stop for a cancel, whose reason is the control's (Error).
class PxDecoder : public PxObject {
public:
    PxDecoder() = default;
    ~PxDecoder() override;
    PxDecoder(const PxDecoder&) = delete;
    PxDecoder& operator=(const PxDecoder&) = delete;

    // 0 on success, 1 on failure.
    virtual int Decode(PxFileStream& stream, PxBitmap& bitmap) = 0;
    // 0 when the header is accepted (the bitmap is then sized), non-zero when not.
    virtual int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) = 0;

    // The control of the load, or null (the default): set before Decode.
    void SetLoadControl(PxLoadControl* newControl) { control = newControl; }

    // Asks for a reduced decode (imaging/reduced_load.h), set before Decode:
    // Decode then records the file's size in `request` and sizes the bitmap
    // with the reduced size, or fails as Unsupported right after the header
    // when no reduction keeps the size asked for. False, with nothing
    // changed, from a decoder whose library offers no reduced decode.
    virtual bool SetReduction(PxReduction* request)
    {
        static_cast<void>(request);
        return false;
    }

    // Why Decode returned 1. Once the load is cancelled that is the cancel,
    // whatever the decoder met on its way out (a library stopped half-way
    // may well report damage).
    PxLoadError Error() const { return Cancelled() ? PxLoadError::Cancelled : failure; }

    // Sets palette entry `index` mod 256.
    void SetPaletteEntry(std::int32_t index, std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                         std::uint8_t alpha)
    {
        palette[index & 0xFF].Set(red, green, blue, alpha);
    }

protected:
    PxColor palette[256];
    // A decoder's working block (the whole file for the codec libraries that
    // read from memory, the TGA colour map); released with the decoder.
    PxBuffer<std::uint8_t> scratch;
    PxLoadControl* control = nullptr;

    // True once the load has been cancelled; false without a control.
    bool Cancelled() const { return control != nullptr && control->Cancelled(); }

    // Records why the decode fails and returns `result`. The first reason
    // stays: a header rejected as damaged is not made a store failure by
    // the step that then finds the bitmap 0 x 0.
    int Fail(PxLoadError reason, int result = 1)
    {
        if (failure == PxLoadError::None) {
            failure = reason;
        }
        return result;
    }

    // The bitmap's CreatePixelStore; a failure records PxStoreError.
    int CreateStore(PxBitmap& bitmap);

    // Reads the whole file into `scratch`, for the codec libraries that read
    // from memory. `delivered` receives the bytes that actually arrived: a
    // file that shrank since it was opened is shorter, never padded with
    // unread memory. False, with nothing allocated, when the file is larger
    // than kPxMaxStoreBytes or the memory cannot be had (the reason is
    // recorded).
    bool ReadWholeFileIntoScratch(PxFileStream& stream, std::uint64_t* delivered);

private:
    PxLoadError failure = PxLoadError::None;
};

// Receives the library's fixed progress texts and discards them.
void PxTrace(const char* text);

// "8BPS" files are recognised but never decoded: the header step leaves the
// bitmap 0 x 0, so the store cannot be created and the load fails.
class PxDecoderPSD : public PxDecoder {
public:
    int Decode(PxFileStream& stream, PxBitmap& bitmap) override;
    int ReadHeader(PxFileStream& stream, PxBitmap& bitmap) override;
};

// Store row `storeRow` (0 = bottom of the picture) of a bitmap with a store.
inline std::uint8_t* PxStoreRow(PxBitmap& bitmap, std::int64_t storeRow)
{
    return bitmap.Pixels() + storeRow * bitmap.Stride();
}

// Copies `width` pixels of four bytes (blue, green, red, one ignored byte)
// into `bgr` as the store's three bytes per pixel. Writes exactly 3 * width
// bytes (never the row's padding) and reads bytes 0 to 4 * width - 2 of
// `bgrx`: the last pixel's fourth byte is not read, so a row laid out as
// ignored byte, blue, green, red is copied by passing it from its second
// byte. This is the copier for every source that delivers such rows.
inline void PxCopyBgrxRow(const std::uint8_t* bgrx, std::uint8_t* bgr, std::int64_t width)
{
    if (width <= 0) {
        return;
    }
    // Four bytes go out per pixel and the next pixel overwrites the fourth;
    // the last pixel takes three so that nothing past the row is touched.
    for (std::int64_t j = 0; j + 1 < width; ++j) {
        std::memcpy(bgr + 3 * j, bgrx + 4 * j, 4);
    }
    std::memcpy(bgr + 3 * (width - 1), bgrx + 4 * (width - 1), 3);
}

// Creates the decoder for a format id, or null when the id has none.
std::unique_ptr<PxDecoder> PxCreateDecoder(int formatId);

}  // namespace brelvix
