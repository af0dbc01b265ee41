// Splitting independent work over the processor's cores, and keeping work
// done ahead of time (pictures the user may step to next) out of the way of
// the work the user waits for.
#pragma once

#include <atomic>
#include <functional>

namespace brelvix {

// How many threads heavy work may use: the processor's cores, at least 1 and
// at most 8 (beyond that the memory bus, not the cores, sets the pace).
int PxWorkerCount();

// Runs task(0) .. task(count - 1), each once, on up to `count` threads, the
// calling one included, and returns when all have finished. When a thread
// cannot be started its tasks run on the calling thread, so the work is
// always done.
//
// Called from the foreground, the call is foreground work (PxForegroundWork)
// while it runs. Called from a thread working ahead (PxLowerThreadPriority),
// its helper threads work ahead too, at the same lowered priority, and every
// task first gives way (PxGiveWay) to foreground work: the cores serve what
// the user waits for first.
void PxRunInParallel(int count, const std::function<void(int)>& task);

// The nice value of work ahead: the lowest priority there is, so that the
// scheduler gives such a thread only the time the window's own work leaves.
inline constexpr int kPxWorkAheadNice = 19;

// Makes the calling thread work ahead: its CPU priority drops below the
// window's (nice kPxWorkAheadNice) and it gives way to foreground work in
// PxGiveWay. False when the system refused the lower priority; the thread
// still gives way.
bool PxLowerThreadPriority();

// Whether the calling thread works ahead.
bool PxWorksAhead();

// The kernel's id of the calling thread, for PxRestoreThreadPriority.
int PxThreadId();

// Gives thread `threadId` of this process the priority the process started
// with again, once the user waits for what it does. An unprivileged process
// may lower a priority but not raise it again (unless its RLIMIT_NICE
// allows): false then, and the thread goes on below, which matters only
// while other programs keep the processor busy.
bool PxRestoreThreadPriority(int threadId);

// Marks work the user waits for (a decode of the picture asked for, the
// scaling of what is about to be painted) while it lives, on any thread.
class PxForegroundWork {
public:
    PxForegroundWork();
    ~PxForegroundWork();
    PxForegroundWork(const PxForegroundWork&) = delete;
    PxForegroundWork& operator=(const PxForegroundWork&) = delete;
};

// Called by work ahead between two steps (rows, bands, tiles): waits while
// any PxForegroundWork lives. Returns at once on a thread that does not
// work ahead, and once `stillAhead` (when given) turns false: work the user
// has come to wait for no longer gives way. Whoever clears a `stillAhead`
// calls PxWakeWorkAhead so that a waiting thread sees it.
void PxGiveWay(const std::atomic<bool>* stillAhead = nullptr);
void PxWakeWorkAhead();

// How many threads wait in PxGiveWay right now.
int PxThreadsGivingWay();

}  // namespace brelvix
