#include "viewer/animation_player.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace brelvix {

AnimationPlayer::AnimationPlayer(std::string path, const FrameComposer::Options& options, ViewTimer& viewTimer)
    : composer(std::make_unique<FrameComposer>(std::move(path), options)), timer(viewTimer)
{
}

// The timer is not touched here: the view may be going with the window
// that owns it.
AnimationPlayer::~AnimationPlayer() = default;

std::unique_ptr<FrameComposer> AnimationPlayer::Retire()
{
    timer.StopTimer(kAnimationTimerId);
    if (composer != nullptr) {
        composer->Cancel();
    }
    wanted.reset();
    return std::move(composer);
}

std::optional<ComposedFrame> AnimationPlayer::Tick(std::int64_t nowMs)
{
    if (composer == nullptr || still) {
        return std::nullopt;
    }
    composer->Pump();
    switch (composer->Opened()) {
        case FrameComposer::State::kOpening:
            Arm(nowMs, true);
            return std::nullopt;
        case FrameComposer::State::kStill:
            still = true;
            timer.StopTimer(kAnimationTimerId);
            return std::nullopt;
        case FrameComposer::State::kFrames:
            break;
    }
    clock.SetPlays(composer->Plays());
    clock.SetFrameCount(composer->FrameCount());

    std::optional<ComposedFrame> shown = TakeWanted(nowMs);
    // The frames that follow the one on screen, in order, go on the clock's
    // schedule; frames of a seek still under way are not them.
    if (!shown && started && !wanted && composer->FirstReady() == clock.Sequence() + 1) {
        const std::vector<std::int64_t> delays = composer->ReadyDelays();
        const int used = clock.Advance(nowMs, delays);
        if (used > 0) {
            shown = composer->Take(used);
        }
    }
    if (shown) {
        shownIndex = shown->index;
    }
    // Without a worker the next frames are composed now, not at their
    // deadline.
    composer->Pump();
    if (!started && !wanted) {
        still = true;  // the first frame never came
    }
    Arm(nowMs, wanted.has_value());
    return shown;
}

std::optional<ComposedFrame> AnimationPlayer::TakeWanted(std::int64_t nowMs)
{
    if (!wanted) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> first = composer->FirstReady();
    if (first != wanted) {
        // Before the seek's frame arrives, frames still waiting are older
        // ones; when none will come, the step is given up.
        if (!first && composer->Finished()) {
            wanted.reset();
        }
        return std::nullopt;
    }
    std::optional<ComposedFrame> frame = composer->Take(1);
    if (!started) {
        clock.Start(nowMs, frame->delayMs);
        started = true;
    } else {
        clock.ShowAt(nowMs, frame->sequence, frame->delayMs);
    }
    wanted.reset();
    return frame;
}

void AnimationPlayer::Arm(std::int64_t nowMs, bool awaiting)
{
    if (awaiting) {
        timer.StartTimer(kAnimationTimerId, kAnimationPollPeriod);
        return;
    }
    const std::int64_t deadline = clock.Deadline();
    if (deadline == kAnimationNever) {
        timer.StopTimer(kAnimationTimerId);
        return;
    }
    if (deadline <= nowMs) {
        // The next frame is late. Nothing more comes once the composer is
        // done (a damaged frame, or no memory): the frame on screen stays.
        if (!composer->FirstReady() && composer->Finished()) {
            timer.StopTimer(kAnimationTimerId);
        } else {
            timer.StartTimer(kAnimationTimerId, kAnimationPollPeriod);
        }
        return;
    }
    const std::int64_t wait = std::min<std::int64_t>(deadline - nowMs, std::numeric_limits<int>::max());
    timer.StartTimer(kAnimationTimerId, static_cast<int>(wait));
}

void AnimationPlayer::Pause(std::int64_t nowMs)
{
    if (!started || clock.Paused()) {
        return;
    }
    clock.Pause(nowMs);
    Arm(nowMs, wanted.has_value());
}

void AnimationPlayer::Resume(std::int64_t nowMs)
{
    if (!started || !clock.Paused()) {
        return;
    }
    clock.Resume(nowMs);
    Arm(nowMs, wanted.has_value());
}

std::optional<ComposedFrame> AnimationPlayer::Step(int direction, std::int64_t nowMs)
{
    if (!started || composer == nullptr || direction == 0) {
        return std::nullopt;
    }
    clock.Pause(nowMs);
    // Steps pressed quickly one after another count from the one still
    // awaited.
    const std::int64_t from = wanted.value_or(clock.Sequence());
    std::int64_t target = from + (direction > 0 ? 1 : -1);
    if (target < 0) {
        const std::int32_t count = composer->FrameCount();
        if (count <= 0) {
            return std::nullopt;
        }
        target = count - 1;
    }
    if (!clock.Shows(target)) {
        Arm(nowMs, wanted.has_value());
        return std::nullopt;
    }
    if (composer->FirstReady() != target) {
        composer->Seek(target);
    }
    wanted = target;
    composer->Pump();
    std::optional<ComposedFrame> shown = TakeWanted(nowMs);
    if (shown) {
        shownIndex = shown->index;
    }
    composer->Pump();
    Arm(nowMs, wanted.has_value());
    return shown;
}

std::string AnimationPlayer::PositionText() const
{
    if (!started) {
        return {};
    }
    std::string text = "Frame " + std::to_string(std::int64_t{shownIndex} + 1);
    const std::int32_t count = composer != nullptr ? composer->FrameCount() : -1;
    if (count > 0) {
        text += " of " + std::to_string(count);
    }
    if (clock.Paused()) {
        text += " (paused)";
    }
    return text;
}

}  // namespace brelvix
