#include "parallel.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace brelvix {

namespace {

thread_local bool worksAhead = false;

// Foreground work under way, and where work ahead waits for it to end.
std::atomic<int> foregroundWork{0};
std::mutex gateMutex;
std::condition_variable gateTurn;
int waiting = 0;  // under gateMutex

// The nice value of the process as it was started (the main thread's, read
// before any thread lowered its own): what a thread brought forward gets.
int ReadNice()
{
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);
    return errno == 0 ? nice : 0;
}
const int startingNice = ReadNice();

}  // namespace

int PxWorkerCount()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 8u));
}

int PxThreadId()
{
    return static_cast<int>(syscall(SYS_gettid));
}

bool PxLowerThreadPriority()
{
    worksAhead = true;
    // On Linux the nice value belongs to the thread, not the whole process.
    return setpriority(PRIO_PROCESS, static_cast<id_t>(PxThreadId()), std::max(kPxWorkAheadNice, startingNice)) == 0;
}

bool PxWorksAhead()
{
    return worksAhead;
}

bool PxRestoreThreadPriority(int threadId)
{
    return setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), startingNice) == 0;
}

PxForegroundWork::PxForegroundWork()
{
    foregroundWork.fetch_add(1, std::memory_order_acq_rel);
}

PxForegroundWork::~PxForegroundWork()
{
    // Under the lock, so that a thread about to wait either sees the count
    // at 0 or is already waiting when the turn comes.
    const std::lock_guard<std::mutex> lock(gateMutex);
    if (foregroundWork.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        gateTurn.notify_all();
    }
}

void PxGiveWay(const std::atomic<bool>* stillAhead)
{
    if (!worksAhead || foregroundWork.load(std::memory_order_acquire) == 0) {
        return;
    }
    std::unique_lock<std::mutex> lock(gateMutex);
    ++waiting;
    gateTurn.wait(lock, [stillAhead] {
        return foregroundWork.load(std::memory_order_acquire) == 0 ||
               (stillAhead != nullptr && !stillAhead->load(std::memory_order_acquire));
    });
    --waiting;
}

int PxThreadsGivingWay()
{
    const std::lock_guard<std::mutex> lock(gateMutex);
    return waiting;
}

void PxWakeWorkAhead()
{
    const std::lock_guard<std::mutex> lock(gateMutex);
    gateTurn.notify_all();
}

void PxRunInParallel(int count, const std::function<void(int)>& task)
{
    const bool ahead = worksAhead;
    std::optional<PxForegroundWork> foreground;
    if (!ahead) {
        foreground.emplace();
    }
    const auto run = [&task](int index) {
        PxGiveWay();
        task(index);
    };
    std::vector<std::thread> threads;
    int next = 1;
    for (; next < count; ++next) {
        try {
            // A new thread starts with its creator's priority; it works
            // ahead when its creator does.
            threads.emplace_back([&run, ahead, next] {
                worksAhead = ahead;
                run(next);
            });
        } catch (const std::system_error&) {
            break;
        }
    }
    run(0);
    for (; next < count; ++next) {
        run(next);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

}  // namespace brelvix
