#include "viewer/frame_composer.h"

#include <cstring>
#include <system_error>
#include <utility>

#include "imaging/orientation.h"

namespace brelvix {

namespace {

std::uint64_t FrameBytes(const PxBitmap& picture)
{
    const auto pixels = static_cast<std::uint64_t>(picture.Width()) * static_cast<std::uint64_t>(picture.Height());
    return static_cast<std::uint64_t>(picture.Stride()) * static_cast<std::uint64_t>(picture.Height()) +
           (picture.HasAlpha() ? pixels : 0);
}

}  // namespace

FrameComposer::FrameComposer(std::string filePath, const Options& composerOptions)
    : path(std::move(filePath)), options(composerOptions)
{
    control.SetLabel(path);
    if (options.threaded) {
        try {
            worker = std::thread(&FrameComposer::Run, this);
            threaded = true;
        } catch (const std::system_error&) {
            // No thread to be had: the frames are composed in Pump.
        }
    }
    if (!threaded) {
        ended.store(true, std::memory_order_release);
    }
}

FrameComposer::~FrameComposer()
{
    Cancel();
    if (worker.joinable()) {
        worker.join();
    }
}

void FrameComposer::Cancel()
{
    control.Cancel();
    {
        const std::lock_guard lock(mutex);
        shared.stopping = true;
    }
    wake.notify_all();
}

void FrameComposer::Run()
{
    OpenNow();
    while (Step(true) != Work::kOver) {
    }
    // The animation goes with the worker: its memory is not held by a
    // composer that is only waiting to be destroyed.
    animation.reset();
    {
        const std::lock_guard lock(mutex);
        shared.animationBytes = 0;
    }
    ended.store(true, std::memory_order_release);
}

void FrameComposer::Pump()
{
    if (threaded) {
        return;
    }
    if (!opened) {
        opened = true;
        OpenNow();
    }
    while (Step(false) == Work::kDone) {
    }
}

void FrameComposer::OpenNow()
{
    std::unique_ptr<PxAnimation> opening = PxAnimation::Open(path.c_str(), &control);
    const bool moves = opening != nullptr && opening->HasFrames();
    const std::lock_guard lock(mutex);
    if (!moves) {
        shared.state = State::kStill;
        shared.finished = true;
        return;
    }
    animation = std::move(opening);
    shared.state = State::kFrames;
    shared.width = animation->Width();
    shared.height = animation->Height();
    shared.plays = animation->LoopCount();
    shared.frameCount = animation->FrameCount();
    shared.animationBytes = animation->HeldBytes();
}

bool FrameComposer::Room() const
{
    if (shared.ready.empty()) {
        return true;
    }
    const auto count = static_cast<std::int64_t>(shared.ready.size());
    const std::uint64_t each = shared.readyBytes / static_cast<std::uint64_t>(count);
    return count < options.framesAhead && shared.readyBytes + each <= options.bytesAhead;
}

bool FrameComposer::Shows(std::int64_t sequence) const
{
    if (sequence < 0) {
        return false;
    }
    if (shared.plays <= 0 || shared.frameCount <= 0) {
        return true;
    }
    return sequence < std::int64_t{shared.frameCount} * shared.plays;
}

FrameComposer::Work FrameComposer::Step(bool wait)
{
    if (animation == nullptr) {
        return Work::kOver;
    }
    std::optional<std::int64_t> seek;
    std::uint64_t seekGeneration = 0;
    {
        std::unique_lock lock(mutex);
        const auto hasWork = [this] { return shared.stopping || shared.seekWanted || (!shared.finished && Room()); };
        if (wait) {
            wake.wait(lock, hasWork);
        } else if (!hasWork()) {
            return Work::kIdle;
        }
        if (shared.stopping) {
            return Work::kOver;
        }
        if (shared.seekWanted) {
            seek = shared.seekTarget;
            shared.seekWanted = false;
            shared.finished = false;
        }
        seekGeneration = shared.seekGeneration;
    }
    if (seek && !MoveTo(*seek)) {
        const std::lock_guard lock(mutex);
        shared.finished = true;
        return Work::kDone;
    }

    const PxAnimation::Step step = animation->Next(&control);
    if (step == PxAnimation::Step::kCancelled) {
        return Work::kOver;
    }
    if (step == PxAnimation::Step::kEnd) {
        atEnd = true;
        bool again = false;
        {
            const std::lock_guard lock(mutex);
            if (seekGeneration != shared.seekGeneration) {
                return Work::kDone;  // the seek asked for meanwhile decides
            }
            // The count is known now (lower than the file said when a
            // frame was damaged): the sequences so far were one play.
            shared.frameCount = animation->FrameCount();
            shared.plays = animation->LoopCount();
            shared.animationBytes = animation->HeldBytes();
            // One frame is a still picture once more: nothing to play.
            again = shared.frameCount > 1 && Shows(nextSequence);
            shared.finished = !again;
        }
        if (again && animation->Rewind() == 0) {
            atEnd = false;
        } else if (again) {
            const std::lock_guard lock(mutex);
            shared.finished = true;
        }
        return Work::kDone;
    }

    const std::int64_t sequence = nextSequence++;
    ComposedFrame composed;
    if (sequence >= keepFrom) {
        const PxBitmap& canvas = animation->Frame();
        composed.picture = CopyOfCanvas();
        composed.picture->SetOrientation(canvas.Orientation());
        if (options.upright && canvas.Orientation() != kPxOrientationUpright) {
            PxApplyOrientation(*composed.picture);
        }
        composed.sequence = sequence;
        composed.index = animation->FrameIndex();
        composed.delayMs = animation->FrameDelayMs();
    }
    const std::lock_guard lock(mutex);
    shared.frameCount = animation->FrameCount();
    shared.plays = animation->LoopCount();
    shared.animationBytes = animation->HeldBytes();
    if (seekGeneration != shared.seekGeneration || composed.picture == nullptr) {
        return Work::kDone;
    }
    if (composed.picture->Pixels() == nullptr) {
        // Without the memory for a copy the animation ends where it is.
        shared.finished = true;
        return Work::kDone;
    }
    shared.readyBytes += FrameBytes(*composed.picture);
    shared.ready.push_back(std::move(composed));
    if (!Shows(nextSequence)) {
        shared.finished = true;
    }
    return Work::kDone;
}

bool FrameComposer::MoveTo(std::int64_t target)
{
    const std::int32_t count = animation->FrameCount();
    const std::int64_t targetIndex = count > 0 ? target % count : target;
    const std::int64_t playStart = target - targetIndex;
    const std::int64_t composed = animation->FrameIndex();
    keepFrom = target;
    if (atEnd || composed >= targetIndex) {
        nextSequence = playStart;
        atEnd = false;
        return animation->Rewind() == 0;
    }
    nextSequence = playStart + composed + 1;
    return true;
}

FrameComposer::State FrameComposer::Opened() const
{
    const std::lock_guard lock(mutex);
    return shared.state;
}

std::int32_t FrameComposer::Width() const
{
    const std::lock_guard lock(mutex);
    return shared.width;
}

std::int32_t FrameComposer::Height() const
{
    const std::lock_guard lock(mutex);
    return shared.height;
}

std::int32_t FrameComposer::Plays() const
{
    const std::lock_guard lock(mutex);
    return shared.plays;
}

std::int32_t FrameComposer::FrameCount() const
{
    const std::lock_guard lock(mutex);
    return shared.frameCount;
}

bool FrameComposer::Finished() const
{
    const std::lock_guard lock(mutex);
    return shared.finished && !shared.seekWanted;
}

std::vector<std::int64_t> FrameComposer::ReadyDelays() const
{
    const std::lock_guard lock(mutex);
    std::vector<std::int64_t> delays;
    delays.reserve(shared.ready.size());
    for (const ComposedFrame& frame : shared.ready) {
        delays.push_back(frame.delayMs);
    }
    return delays;
}

std::optional<std::int64_t> FrameComposer::FirstReady() const
{
    const std::lock_guard lock(mutex);
    if (shared.ready.empty()) {
        return std::nullopt;
    }
    return shared.ready.front().sequence;
}

std::optional<ComposedFrame> FrameComposer::Take(std::int32_t count)
{
    std::optional<ComposedFrame> taken;
    {
        const std::lock_guard lock(mutex);
        if (count <= 0 || static_cast<std::size_t>(count) > shared.ready.size()) {
            return std::nullopt;
        }
        for (std::int32_t i = 0; i < count; ++i) {
            if (taken) {
                KeepSpare(std::move(taken->picture));
            }
            shared.readyBytes -= FrameBytes(*shared.ready.front().picture);
            taken = std::move(shared.ready.front());
            shared.ready.pop_front();
        }
    }
    wake.notify_all();
    return taken;
}

void FrameComposer::Seek(std::int64_t sequence)
{
    {
        const std::lock_guard lock(mutex);
        if (shared.state != State::kFrames || !Shows(sequence)) {
            return;
        }
        shared.ready.clear();
        shared.readyBytes = 0;
        shared.seekWanted = true;
        shared.seekTarget = sequence;
        ++shared.seekGeneration;
    }
    wake.notify_all();
}

void FrameComposer::Recycle(std::unique_ptr<PxBitmap> spent)
{
    const std::lock_guard lock(mutex);
    KeepSpare(std::move(spent));
}

void FrameComposer::KeepSpare(std::unique_ptr<PxBitmap> spent)
{
    // Once nothing more is composed a spare would only hold memory.
    if (spent != nullptr && spent->Pixels() != nullptr && shared.spares.size() < kSpares && !shared.finished &&
        !shared.stopping) {
        shared.spareBytes += FrameBytes(*spent);
        shared.spares.push_back(std::move(spent));
    }
}

std::unique_ptr<PxBitmap> FrameComposer::CopyOfCanvas()
{
    const PxBitmap& canvas = animation->Frame();
    std::unique_ptr<PxBitmap> copy;
    {
        const std::lock_guard lock(mutex);
        if (!shared.spares.empty()) {
            copy = std::move(shared.spares.back());
            shared.spares.pop_back();
            shared.spareBytes -= FrameBytes(*copy);
        }
    }
    const bool fits = copy != nullptr && canvas.Pixels() != nullptr && copy->Width() == canvas.Width() &&
                      copy->Height() == canvas.Height() && copy->BitsPerPixel() == canvas.BitsPerPixel() &&
                      copy->HasAlpha() == canvas.HasAlpha();
    if (!fits) {
        copy = std::make_unique<PxBitmap>();
        copy->CopyFrom(canvas);
        return copy;
    }
    std::memcpy(copy->Pixels(), canvas.Pixels(), static_cast<std::size_t>(canvas.Stride() * canvas.Height()));
    if (canvas.HasAlpha()) {
        std::memcpy(copy->Alpha(), canvas.Alpha(),
                    static_cast<std::size_t>(std::int64_t{canvas.Width()} * canvas.Height()));
    }
    return copy;
}

std::uint64_t FrameComposer::HeldBytes() const
{
    const std::lock_guard lock(mutex);
    return shared.animationBytes + shared.readyBytes + shared.spareBytes;
}

}  // namespace brelvix
