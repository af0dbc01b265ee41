// When the frames of a moving picture go on screen.
//
// Pure arithmetic on times the caller passes in (milliseconds of a steady
// clock): nothing here reads a clock, sleeps or starts a timer, so the
// caller decides what "now" is and tests can play an hour in a microsecond.
//
// Frames follow a schedule of absolute deadlines. Each frame ends exactly
// its own duration after the scheduled end of the one before, whenever it
// actually reached the screen: a frame shown late is not shown longer, and
// its lateness does not push the frames after it back. A frame whose time
// is already over when a later frame is ready is dropped.
#pragma once

#include <cstdint>
#include <limits>
#include <span>

namespace brelvix {

// A deadline that never comes: the animation is paused, over, or not started.
inline constexpr std::int64_t kAnimationNever = std::numeric_limits<std::int64_t>::max();

// How long a frame stays on screen for the delay its file stores: delays of
// 0 to 10 ms mean 100 ms, as web browsers play them (such files were made
// for browsers, and shown at face value they race by); every other delay
// plays as stored.
std::int64_t AnimationFrameDuration(std::int64_t storedDelayMs);

// The schedule of one animation on screen. Frames are counted by their
// position in the whole play-through ("sequence": 0 is the first frame of
// the first play, and with N frames, N is the first frame of the second).
class AnimationClock {
public:
    // `plays`: how many times the whole animation plays, 0 for ever.
    // Negative values count as 0.
    explicit AnimationClock(std::int32_t plays = 0);

    // The first frame goes on screen at `nowMs` and the schedule starts.
    void Start(std::int64_t nowMs, std::int64_t storedDelayMs);

    // The number of frames in the file, once the frame source knows it
    // (it may find out only at the end of the first play). Until then every
    // frame the caller has ready is taken to be shown. Not positive: ignored.
    void SetFrameCount(std::int32_t count);
    std::int32_t FrameCount() const { return frameCount; }

    // Whether the frame at `sequence` is ever shown: false past the last
    // frame of the last play. The composer stops there.
    bool Shows(std::int64_t sequence) const;

    // The frame on screen: its sequence, its index in the file (the
    // sequence itself while the frame count is unknown) and its play (0 for
    // the first).
    std::int64_t Sequence() const { return sequence; }
    std::int32_t FrameIndex() const;
    std::int64_t Play() const;

    // When the frame on screen ends: the moment to call Advance again.
    // kAnimationNever before Start, while paused, and once the frame on
    // screen is the last one to show (it then stays).
    std::int64_t Deadline() const;

    // Moves the schedule on to `nowMs`. `readyDelaysMs` are the stored
    // delays of the frames composed after the one on screen, in order.
    // Returns how many of them are used up: 0 keeps the frame on screen;
    // k > 0 puts the k-th of them on screen, the k - 1 before it being
    // dropped because their time passed while a later frame was ready. A
    // frame is never dropped for want of a successor: when the composer
    // falls behind, the last ready frame shows late, and the deadlines after
    // it stay where the schedule put them.
    int Advance(std::int64_t nowMs, std::span<const std::int64_t> readyDelaysMs);

    // Stops the schedule with the frame on screen, keeping the time it has
    // left, and starts it again with that time from `nowMs`.
    void Pause(std::int64_t nowMs);
    void Resume(std::int64_t nowMs);
    bool Paused() const { return paused; }

    // Puts the frame at `sequence` on screen at `nowMs` with its full
    // duration, as a step by hand does; a paused schedule stays paused (and
    // resumes with that full duration).
    void ShowAt(std::int64_t nowMs, std::int64_t newSequence, std::int64_t storedDelayMs);

private:
    std::int32_t plays = 0;
    std::int32_t frameCount = 0;  // 0 while unknown
    bool started = false;
    bool paused = false;
    std::int64_t sequence = 0;
    std::int64_t end = 0;        // scheduled end of the frame on screen
    std::int64_t remaining = 0;  // its time left, while paused
};

}  // namespace brelvix
