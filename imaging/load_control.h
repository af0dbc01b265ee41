// Cancelling and following a load from another thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace brelvix {

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
    void Cancel() noexcept { cancelled.store(true, std::memory_order_release); }
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

private:
    std::atomic<bool> cancelled{false};
    std::atomic<int> progress{0};
};

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
    if (total > 0 && done > 0) {
        control->SetProgress(static_cast<int>((done < total ? done : total) * 1000 / total));
    }
    return !control->Cancelled();
}

}  // namespace brelvix
