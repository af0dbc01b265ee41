// The frames of one moving picture, composed a few ahead of the screen.
//
// A FrameComposer opens the file as an animation (PxAnimation) and composes
// its frames in order on a worker thread of its own, keeping at most a few
// finished ones waiting (by count, and by bytes for large canvases); it
// then sleeps until the screen takes one. Memory therefore follows the
// picture's size, never its number of frames. Frames carry their position
// in the whole play-through ("sequence": with N frames, N is the first
// frame of the second play), so that loops, drops and steps by hand all
// count the same way. The composer itself loops: at the end of a play it
// goes back to the first frame for as long as the file's loop count lets the
// next frame be shown, and then it stops.
//
// Without a worker (the caller asks for none, or no thread can be had) the
// same work happens on the caller's thread inside Pump, up to the same
// number of frames ahead.
//
// Every call is made from one thread (the window's); the worker is private.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "imaging/animation.h"
#include "imaging/load_control.h"

namespace brelvix {

// One composed frame, ready for the screen.
struct ComposedFrame {
    // The canvas as composed, turned upright as a still picture of the file
    // would be when the composer was asked to.
    std::unique_ptr<PxBitmap> picture;
    std::int64_t sequence = 0;
    std::int32_t index = 0;
    // As the file stores it (AnimationFrameDuration makes it playable).
    std::int32_t delayMs = 0;
};

class FrameComposer {
public:
    struct Options {
        // Turn each frame as the file's orientation asks.
        bool upright = false;
        // Compose on a worker thread; otherwise in Pump.
        bool threaded = true;
        // At most this many frames wait, and at most `bytesAhead` of them
        // (but always one).
        std::int32_t framesAhead = 3;
        std::uint64_t bytesAhead = std::uint64_t{12} << 20;
    };

    enum class State {
        kOpening,  // the file is being opened
        kFrames,   // it has frames; they are being composed
        kStill,    // it opened to one frame or none, or could not be read
    };

    FrameComposer(std::string path, const Options& options);
    // Cancels whatever the worker does and waits for it: at most the
    // composition of one frame that a cancel cannot enter.
    ~FrameComposer();
    FrameComposer(const FrameComposer&) = delete;
    FrameComposer& operator=(const FrameComposer&) = delete;

    // Without a worker: opens the file and composes until enough frames
    // wait. With one it does nothing.
    void Pump();

    // Stops composing without waiting for the worker, which ends within
    // the composition of one frame; nothing more is composed.
    void Cancel();
    // Whether the worker has ended (or there never was one): destroying
    // the composer then waits for nothing.
    bool Ended() const { return ended.load(std::memory_order_acquire); }

    State Opened() const;
    // The canvas size, from kFrames on.
    std::int32_t Width() const;
    std::int32_t Height() const;
    // How many times the animation plays (0: for ever), from kFrames on.
    std::int32_t Plays() const;
    // The number of frames in the file: -1 until it is known.
    std::int32_t FrameCount() const;
    // No frame follows those waiting: the last play's last frame, or a
    // damaged frame, was reached.
    bool Finished() const;

    // The stored delays of the frames waiting, in order.
    std::vector<std::int64_t> ReadyDelays() const;
    // The sequence of the first frame waiting; nothing when none waits.
    std::optional<std::int64_t> FirstReady() const;
    // Takes the first `count` frames waiting and hands back the last of
    // them (the others are kept for reuse, as Recycle does). Nothing when
    // fewer wait.
    std::optional<ComposedFrame> Take(std::int32_t count);
    // Gives back a picture the screen is done with: the next frames are
    // copied into it rather than into fresh memory, whose pages the system
    // must clear first (for a large canvas that costs more than composing).
    // At most kSpares are kept.
    void Recycle(std::unique_ptr<PxBitmap> spent);
    static constexpr std::size_t kSpares = 2;

    // Drops the frames waiting and composes from `sequence` on (going back
    // to the file's start when that frame lies behind). A sequence past the
    // last play, or before the first frame, is ignored.
    void Seek(std::int64_t sequence);

    // Bytes held now: the animation's own (canvas, file) and the frames
    // waiting.
    std::uint64_t HeldBytes() const;

private:
    // What the worker and the caller share, under `mutex`.
    struct Shared {
        State state = State::kOpening;
        std::int32_t width = 0;
        std::int32_t height = 0;
        std::int32_t plays = 0;
        std::int32_t frameCount = -1;
        bool finished = false;
        std::deque<ComposedFrame> ready;
        std::uint64_t readyBytes = 0;
        std::vector<std::unique_ptr<PxBitmap>> spares;
        std::uint64_t spareBytes = 0;
        std::uint64_t animationBytes = 0;
        // A seek asked for and not yet carried out.
        bool seekWanted = false;
        std::int64_t seekTarget = 0;
        // Changes with every seek, so that a frame composed across one is
        // known to be stale.
        std::uint64_t seekGeneration = 0;
        bool stopping = false;
    };

    enum class Work { kDone, kIdle, kOver };

    void Run();
    void OpenNow();
    // Does the next piece of work: a seek, one frame, or the end of a play.
    // With `wait` it sleeps until there is work; without, it reports kIdle.
    // kOver once nothing will ever be composed again.
    Work Step(bool wait);
    // Moves the animation to just before `target` (rewinding when that
    // frame lies behind) so that the next frame kept is the target; false
    // when the file can no longer be read.
    bool MoveTo(std::int64_t target);
    // Whether another frame may wait beside those waiting (lock held).
    bool Room() const;
    // Whether the frame at `sequence` is ever shown (lock held).
    bool Shows(std::int64_t sequence) const;
    // Keeps `spent` for reuse when there is room (lock held).
    void KeepSpare(std::unique_ptr<PxBitmap> spent);
    // A copy of the animation's canvas, in a spare when one fits.
    std::unique_ptr<PxBitmap> CopyOfCanvas();

    const std::string path;
    const Options options;
    PxLoadControl control;

    mutable std::mutex mutex;
    std::condition_variable wake;
    Shared shared;

    // The worker's own (the caller's, without a worker).
    std::unique_ptr<PxAnimation> animation;
    // The sequence the next composed frame gets, and the first one kept:
    // frames before it are composed only to reach it (after a seek).
    std::int64_t nextSequence = 0;
    std::int64_t keepFrom = 0;
    bool opened = false;
    bool atEnd = false;
    bool threaded = false;
    std::atomic<bool> ended{false};
    std::thread worker;
};

}  // namespace brelvix
