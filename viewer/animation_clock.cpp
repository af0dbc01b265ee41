#include "animation_clock.h"

#include <algorithm>

namespace brelvix {

namespace {

// Browsers treat delays up to this as "as fast as possible" and slow them down.
constexpr std::int64_t kFastestStoredDelayMs = 10;
constexpr std::int64_t kFastDelayPlaysAsMs = 100;

// Adds without overflowing: deadlines of absurd schedules saturate instead.
std::int64_t Later(std::int64_t time, std::int64_t duration)
{
    return time > kAnimationNever - duration ? kAnimationNever - 1 : time + duration;
}

}  // namespace

std::int64_t AnimationFrameDuration(std::int64_t storedDelayMs)
{
    return storedDelayMs <= kFastestStoredDelayMs ? kFastDelayPlaysAsMs : storedDelayMs;
}

AnimationClock::AnimationClock(std::int32_t playCount) : plays(std::max(playCount, 0)) {}

void AnimationClock::Start(std::int64_t nowMs, std::int64_t storedDelayMs)
{
    started = true;
    paused = false;
    sequence = 0;
    end = Later(nowMs, AnimationFrameDuration(storedDelayMs));
}

void AnimationClock::SetFrameCount(std::int32_t count)
{
    if (count > 0) {
        frameCount = count;
    }
}

bool AnimationClock::Shows(std::int64_t position) const
{
    if (position < 0) {
        return false;
    }
    if (plays == 0 || frameCount == 0) {
        return true;
    }
    // Both factors stay below 2^31, so the product fits.
    return position < std::int64_t{frameCount} * plays;
}

std::int32_t AnimationClock::FrameIndex() const
{
    return static_cast<std::int32_t>(frameCount > 0 ? sequence % frameCount : sequence);
}

std::int64_t AnimationClock::Play() const
{
    return frameCount > 0 ? sequence / frameCount : 0;
}

std::int64_t AnimationClock::Deadline() const
{
    if (!started || paused || !Shows(sequence + 1)) {
        return kAnimationNever;
    }
    return end;
}

int AnimationClock::Advance(std::int64_t nowMs, std::span<const std::int64_t> readyDelaysMs)
{
    if (!started || paused) {
        return 0;
    }
    int used = 0;
    // Each step starts the next frame at the scheduled end of the one
    // before, not at `nowMs`: that is what keeps the deadlines absolute.
    while (used < static_cast<int>(readyDelaysMs.size()) && nowMs >= end && Shows(sequence + 1)) {
        end = Later(end, AnimationFrameDuration(readyDelaysMs[static_cast<std::size_t>(used)]));
        ++sequence;
        ++used;
    }
    return used;
}

void AnimationClock::Pause(std::int64_t nowMs)
{
    if (!started || paused) {
        return;
    }
    paused = true;
    remaining = std::max<std::int64_t>(end - nowMs, 0);
}

void AnimationClock::Resume(std::int64_t nowMs)
{
    if (!started || !paused) {
        return;
    }
    paused = false;
    end = Later(nowMs, remaining);
}

void AnimationClock::ShowAt(std::int64_t nowMs, std::int64_t newSequence, std::int64_t storedDelayMs)
{
    started = true;
    sequence = std::max<std::int64_t>(newSequence, 0);
    const std::int64_t duration = AnimationFrameDuration(storedDelayMs);
    end = Later(nowMs, duration);
    remaining = duration;
}

}  // namespace brelvix
