// A moving picture on screen: which of its frames shows when.
//
// The player takes frames from a FrameComposer and puts them on screen on
// the AnimationClock's schedule of absolute deadlines, through the view's
// timer (kAnimationTimerId): the timer is armed for the next deadline, and
// while a frame is awaited (the file still opening, the composer behind, a
// step by hand not yet composed) it looks again every kAnimationPollPeriod.
// Paused, or after the last frame of the last play, it is not armed at all.
//
// Nothing here reads a clock: every call gets the time from the caller
// (milliseconds of a steady clock), so the schedule can be driven in tests
// without waiting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "viewer/animation_clock.h"
#include "viewer/frame_composer.h"
#include "viewer/view_host.h"

namespace brelvix {

// The view's timer that plays a moving picture.
inline constexpr unsigned kAnimationTimerId = 4;
// How often a frame that is awaited is looked for, in milliseconds.
inline constexpr int kAnimationPollPeriod = 5;

class AnimationPlayer {
public:
    // Starts composing the frames of `path`; the timer must outlive the
    // player.
    AnimationPlayer(std::string path, const FrameComposer::Options& options, ViewTimer& timer);
    // Stops the timer; the composer's worker is cancelled and waited for
    // (Retire hands it over instead).
    ~AnimationPlayer();
    AnimationPlayer(const AnimationPlayer&) = delete;
    AnimationPlayer& operator=(const AnimationPlayer&) = delete;

    // The timer expired, or playing begins: moves on to `nowMs` and hands
    // back the frame that is to show now, if another one is; then arms the
    // timer for what comes next.
    std::optional<ComposedFrame> Tick(std::int64_t nowMs);

    // The file turned out to hold one frame (or could not be read as
    // frames): there is nothing to play, and the still stays.
    bool Still() const { return still; }
    // Its first frame is on screen and the schedule runs (or is paused).
    bool Started() const { return started; }
    bool Paused() const { return clock.Paused(); }
    void Pause(std::int64_t nowMs);
    void Resume(std::int64_t nowMs);

    // Pauses, then asks for the frame one after (`direction` > 0) or one
    // before the frame on screen; the first frame steps back to the last
    // once the number of frames is known. The frame comes back at once
    // when it is ready, else from a later Tick. Nothing before the first
    // frame is on screen, and nothing past the last frame of the last play.
    std::optional<ComposedFrame> Step(int direction, std::int64_t nowMs);

    // The frame on screen: its index in the file (0 before Started) and the
    // number of frames, -1 while unknown.
    std::int32_t FrameIndex() const { return shownIndex; }
    std::int32_t FrameCount() const { return composer != nullptr ? composer->FrameCount() : -1; }
    // "Frame 3 of 10", or "Frame 3" while the count is unknown, with
    // " (paused)" while paused; empty before Started.
    std::string PositionText() const;

    // Gives back the picture of a frame that left the screen, for the
    // frames to come to be composed into.
    void Recycle(std::unique_ptr<PxBitmap> spent)
    {
        if (composer != nullptr) {
            composer->Recycle(std::move(spent));
        }
    }
    // Bytes the frames and the animation hold now.
    std::uint64_t HeldBytes() const { return composer != nullptr ? composer->HeldBytes() : 0; }

    // Stops playing at once and hands the composer over, its worker
    // cancelled but perhaps not yet ended; destroying it waits for that.
    std::unique_ptr<FrameComposer> Retire();

private:
    // Takes the frame awaited by a step or the start when it is ready.
    std::optional<ComposedFrame> TakeWanted(std::int64_t nowMs);
    void Arm(std::int64_t nowMs, bool awaiting);

    std::unique_ptr<FrameComposer> composer;
    ViewTimer& timer;
    AnimationClock clock;
    bool started = false;
    bool still = false;
    // The frame a step asked for (or the first frame, before the start).
    std::optional<std::int64_t> wanted = 0;
    std::int32_t shownIndex = 0;
};

}  // namespace brelvix
