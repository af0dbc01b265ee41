// Pictures with frames: animated GIF, WebP, PNG, JPEG XL and AVIF sequences.
//
// A PxAnimation reads one file frame by frame and composes each frame on a
// canvas of its own, on demand, one after the other: it never holds more
// than the canvas and what the next disposal needs, so a long animation
// costs about as much as one still picture of its size, and the first frame
// is ready without reading the rest.
//
// The canvas is a PxBitmap like any decoded picture: the 24-bit store, and
// an alpha plane beside it while some pixel of the composed frame is not
// opaque (it starts transparent; pixels no frame has covered stay so).
//
// Still pictures are not read here: their decoders (CreateFromFile) show
// them. A file of these formats with a single frame opens and says so
// (HasFrames false).
//
// One thread at a time uses an animation (a worker that composes ahead may
// own it); only its load control is shared with other threads.
#pragma once

#include <cstdint>
#include <memory>

#include "bitmap.h"
#include "load_control.h"

namespace brelvix {

class PxAnimation : public PxObject {
public:
    enum class Step {
        kComposed,   // Frame() holds the next frame
        kEnd,        // no frame follows: the file ended or its next frame is damaged; Frame() is unchanged
        kCancelled,  // the control was cancelled; Frame() is unchanged; Rewind before the next Next
    };

    // Opens `path` and reads what precedes the first frame (for GIF, the
    // records up to the second image, to tell whether there is one; their
    // data is stepped over, not decoded). PNG, WebP, JPEG XL and AVIF files
    // are read into memory whole, as their still decoders read them; a GIF
    // is read from the file as its frames are asked for. Null when the file
    // cannot be read, is of none of the five formats, or is damaged before
    // its first frame; also once `control` is cancelled.
    static std::unique_ptr<PxAnimation> Open(const char* path, PxLoadControl* control = nullptr);

    ~PxAnimation() override;
    PxAnimation(const PxAnimation&) = delete;
    PxAnimation& operator=(const PxAnimation&) = delete;

    // The canvas, as the file declares it.
    std::int32_t Width() const { return width; }
    std::int32_t Height() const { return height; }
    std::int32_t FormatId() const { return formatId; }

    // Whether the file has more than one frame. A file that claims more but
    // whose second frame is damaged still says true; its first Next after
    // the first frame then ends.
    bool HasFrames() const { return hasFrames; }

    // How many times the whole animation plays: 0 for ever. A GIF's
    // NETSCAPE2.0 repeat count n plays n + 1 times and a GIF without one
    // plays once, as browsers play them; the other formats store the
    // number of plays itself (AVIF sequences play for ever). Known from
    // Open on, except for a GIF whose repeat count follows its first image.
    std::int32_t LoopCount() const { return loopCount; }
    // The count as the file writes it, for tools that show the file: a GIF's
    // NETSCAPE2.0 repeat count itself (1 without one), else LoopCount().
    std::int32_t StoredLoopCount() const { return storedLoopCount >= 0 ? storedLoopCount : loopCount; }

    // The number of frames: -1 while unknown. WebP, PNG and AVIF declare it
    // and it is known from Open on; GIF and JPEG XL files are counted as
    // they are read, so it is known once Next has ended (or, for JPEG XL,
    // has reached the frame marked last). A damaged frame ends the
    // animation and lowers the count to the frames before it.
    std::int32_t FrameCount() const { return frameCount; }

    // Composes the next frame into Frame(): the first call gives frame 0.
    // With a control, a cancel is seen between rows or library calls, as
    // the decoders see it. After kEnd, Next keeps returning kEnd until
    // Rewind; after kCancelled, kCancelled.
    Step Next(PxLoadControl* control = nullptr);

    // Back to before the first frame; Frame() keeps the last frame composed
    // until the next Next. 0, or 1 when the file can no longer be read (the
    // animation then ends at once).
    int Rewind();

    // The composed frame: the canvas, with its delay as the file stores it
    // (in milliseconds, not yet brought up to a playable minimum) and its
    // index (-1 before the first frame). The bitmap carries the file's
    // orientation, as the still decoders set it. It stays unchanged until
    // the next Next; copy it to keep it (PxBitmap::CopyFrom), or show it
    // without a copy (ShareFrom) for as long as no Next runs.
    const PxBitmap& Frame() const { return canvas; }
    std::int32_t FrameDelayMs() const { return frameDelayMs; }
    std::int32_t FrameIndex() const { return frameIndex; }

    // Bytes this animation holds now: the canvas, the disposal's copy, the
    // file where its library reads from memory, and the library's own
    // canvases where it keeps them; for a cache's accounting.
    std::uint64_t HeldBytes() const;

protected:
    PxAnimation() = default;

    // The format's part. ComposeNext composes the next frame into the
    // canvas and sets its stored delay; it returns kEnd at the end of the
    // file and for a damaged frame, and must then leave the canvas as it
    // was. Restart goes back to before the first frame; false when the file
    // can no longer be read.
    virtual Step ComposeNext(PxLoadControl* control, std::int32_t* delayMs) = 0;
    virtual bool Restart() = 0;
    virtual std::uint64_t SourceBytes() const = 0;

    // Canvas helpers for the formats.

    // Gives the canvas its store (if it has none) and clears it to fully
    // transparent. False when the memory cannot be had.
    bool ClearCanvas();
    // The alpha plane, made (every pixel opaque) if the canvas has none.
    // Null when the memory cannot be had.
    std::uint8_t* CanvasAlpha();
    // Drops the alpha plane once every pixel is opaque again, so that an
    // opaque frame carries none.
    void SettleAlpha();
    // Store row and alpha row of picture row y (0 = top); the alpha row is
    // null without a plane.
    std::uint8_t* CanvasRow(std::int64_t y);
    std::uint8_t* CanvasAlphaRow(std::int64_t y);
    // Replaces the whole canvas by a frame of width x height pixels of four
    // bytes, rows top first `stride` bytes apart, blue-green-red-alpha
    // (`redFirst`: red-green-blue-alpha), not premultiplied. False when the
    // memory cannot be had (the canvas may then be partly written).
    bool PutWholeFrame(const std::uint8_t* pixels, std::int64_t stride, bool redFirst);

    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t formatId = 0;
    bool hasFrames = false;
    std::int32_t loopCount = 1;
    std::int32_t storedLoopCount = -1;
    std::int32_t frameCount = -1;
    PxBitmap canvas;

private:
    std::int32_t frameIndex = -1;
    std::int32_t frameDelayMs = 0;
    enum class State { kPlaying, kEnded, kCancelled } state = State::kPlaying;
};

}  // namespace brelvix
