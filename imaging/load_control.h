// Cancelling and following a load from another thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "parallel.h"

namespace brelvix {

class PxLoadControl;

// A gate for tests that need a decode in progress: while a hold is in place,
// a load with a control that the hold takes stops at its decoder's first
// PxLoadGoesOn (after the decoder has opened the file and read what comes
// before the pixels) until the hold opens, goes, or the load is cancelled.
// A load kept there for a minute goes on by itself and the hold records it
// (Expired), so that a test that would otherwise hang fails. Without a hold
// a load pays one relaxed atomic load per PxLoadGoesOn. One hold at a time.
class PxLoadHold {
public:
    // Holds the loads whose control's label `takes` accepts; every load
    // when it is empty.
    explicit PxLoadHold(std::function<bool(const std::string& label)> takes = {}) : accepts(std::move(takes))
    {
        const std::lock_guard lock(Mutex());
        Current() = this;
        Installed().store(true, std::memory_order_release);
    }
    // Opens and waits until no load is at the gate any more.
    ~PxLoadHold()
    {
        std::unique_lock lock(Mutex());
        open = true;
        Changed().notify_all();
        Changed().wait(lock, [this] { return waiting == 0; });
        Current() = nullptr;
        Installed().store(false, std::memory_order_release);
    }
    PxLoadHold(const PxLoadHold&) = delete;
    PxLoadHold& operator=(const PxLoadHold&) = delete;

    // Lets every load through, those waiting and those to come.
    void Open()
    {
        const std::lock_guard lock(Mutex());
        open = true;
        Changed().notify_all();
    }
    // Waits until `count` loads are at the gate; false when that has not
    // happened within a minute (the test then fails instead of hanging).
    bool WaitUntilHeld(int count) const
    {
        std::unique_lock lock(Mutex());
        return Changed().wait_for(lock, std::chrono::minutes(1), [this, count] { return waiting >= count; });
    }
    // Waits until no load is at the gate (each went on: the hold opened, or
    // it was cancelled); false after a minute.
    bool WaitUntilNoneHeld() const
    {
        std::unique_lock lock(Mutex());
        return Changed().wait_for(lock, std::chrono::minutes(1), [this] { return waiting == 0; });
    }
    // How many loads are at the gate now.
    int Held() const
    {
        const std::lock_guard lock(Mutex());
        return waiting;
    }
    // Whether a load stayed a minute at the gate and went on by itself.
    bool Expired() const
    {
        const std::lock_guard lock(Mutex());
        return expired;
    }

    static bool Active() noexcept { return Installed().load(std::memory_order_relaxed); }
    // A load at its first PxLoadGoesOn while a hold may be in place.
    static void Pass(const PxLoadControl& control);
    // A load was cancelled: one at the gate leaves it.
    static void Wake()
    {
        const std::lock_guard lock(Mutex());
        Changed().notify_all();
    }

private:
    static std::mutex& Mutex()
    {
        static std::mutex mutex;
        return mutex;
    }
    static std::condition_variable& Changed()
    {
        static std::condition_variable changed;
        return changed;
    }
    static PxLoadHold*& Current()
    {
        static PxLoadHold* current = nullptr;
        return current;
    }
    static std::atomic<bool>& Installed()
    {
        static std::atomic<bool> installed{false};
        return installed;
    }

    std::function<bool(const std::string&)> accepts;
    bool open = false;
    int waiting = 0;
    bool expired = false;
};

// Shared by a load and whoever started it (any thread). Decoders look at
// Cancelled() often enough that a cancel takes effect within a few
// milliseconds of decoding work (per row, band, scan or chunk the library
// hands back), and report how far they are.
//
// A cancelled load fails: CreateFromFile returns 1 and Cancelled() is true.
// Its bitmap may hold part of the picture; it must never be shown or kept.
class PxLoadControl {
public:
    // From any thread; sticky.
    void Cancel() noexcept
    {
        cancelled.store(true, std::memory_order_release);
        if (PxLoadHold::Active()) {
            PxLoadHold::Wake();
        }
        // A decode ahead that gives way leaves at once.
        if (ahead.exchange(false, std::memory_order_acq_rel)) {
            PxWakeWorkAhead();
        }
    }
    bool Cancelled() const noexcept { return cancelled.load(std::memory_order_acquire); }

    // 0..1000: how much of the decode is done, as the decoder can tell.
    // 1000 once a load has succeeded.
    int Progress() const noexcept { return progress.load(std::memory_order_relaxed); }

    // Decoders only. Values are clamped to 0..1000, and a value below the
    // current one is ignored, so that whoever shows it never sees it go back.
    void SetProgress(int permille) noexcept
    {
        const int value = permille < 0 ? 0 : (permille > 1000 ? 1000 : permille);
        int current = progress.load(std::memory_order_relaxed);
        while (value > current && !progress.compare_exchange_weak(current, value, std::memory_order_relaxed)) {
        }
    }

    // What is being loaded (the file's path), set before the load starts;
    // a PxLoadHold picks the loads it holds by it.
    void SetLabel(std::string text) { label = std::move(text); }
    const std::string& Label() const { return label; }

    // Decoders only (PxLoadGoesOn): true the first time.
    bool FirstCheck() noexcept { return !checked.exchange(true, std::memory_order_relaxed); }

    // A decode ahead of what the user asked for, on a thread that works
    // ahead (PxLowerThreadPriority): at each check it gives way while work
    // the user waits for runs (PxGiveWay). Whoever clears it, once the user
    // waits for this decode or it is cancelled, calls PxWakeWorkAhead.
    void SetAhead(bool on) noexcept { ahead.store(on, std::memory_order_release); }
    bool Ahead() const noexcept { return ahead.load(std::memory_order_acquire); }
    const std::atomic<bool>* AheadFlag() const noexcept { return &ahead; }

private:
    std::atomic<bool> cancelled{false};
    std::atomic<int> progress{0};
    std::string label;
    std::atomic<bool> checked{false};
    std::atomic<bool> ahead{false};
};

inline void PxLoadHold::Pass(const PxLoadControl& control)
{
    std::unique_lock lock(Mutex());
    PxLoadHold* hold = Current();
    if (hold == nullptr || hold->open || (hold->accepts && !hold->accepts(control.Label()))) {
        return;
    }
    ++hold->waiting;
    Changed().notify_all();
    if (!Changed().wait_for(lock, std::chrono::minutes(1),
                            [hold, &control] { return hold->open || control.Cancelled(); })) {
        hold->expired = true;
    }
    --hold->waiting;
    Changed().notify_all();
}

// A decoder's check between two rows, bands or passes: reports that `done`
// of `total` units of its work are finished and says whether to go on
// (false once the load is cancelled). Without a control it only tests the
// pointer, so a load without one runs as fast as ever. `total` must stay
// below 2^53, which any count of rows, pixels or blocks does.
inline bool PxLoadGoesOn(PxLoadControl* control, std::int64_t done, std::int64_t total) noexcept
{
    if (control == nullptr) {
        return true;
    }
    if (PxLoadHold::Active() && control->FirstCheck()) [[unlikely]] {
        PxLoadHold::Pass(*control);
    }
    if (total > 0 && done > 0) {
        control->SetProgress(static_cast<int>((done < total ? done : total) * 1000 / total));
    }
    if (control->Ahead()) {
        PxGiveWay(control->AheadFlag());
    }
    return !control->Cancelled();
}

}  // namespace brelvix
