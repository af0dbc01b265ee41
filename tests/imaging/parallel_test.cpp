#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "imaging/parallel.h"

namespace brelvix {

namespace {

int OwnNice()
{
    return getpriority(PRIO_PROCESS, static_cast<id_t>(PxThreadId()));
}

}  // namespace

TEST(Parallel, HelpersOfWorkAheadRunBelowTheForeground)
{
    const int foregroundNice = OwnNice();
    for (const bool ahead : {false, true}) {
        SCOPED_TRACE(ahead ? "work ahead" : "foreground");
        std::mutex mutex;
        std::vector<int> nices;
        std::vector<bool> aheads;
        // On a thread of its own: a lowered priority cannot always be raised again.
        std::thread([&] {
            if (ahead) {
                EXPECT_TRUE(PxLowerThreadPriority());
            }
            PxRunInParallel(3, [&](int) {
                const std::lock_guard<std::mutex> lock(mutex);
                nices.push_back(OwnNice());
                aheads.push_back(PxWorksAhead());
            });
        }).join();
        EXPECT_EQ(nices, std::vector<int>(3, ahead ? kPxWorkAheadNice : foregroundNice));
        EXPECT_EQ(aheads, std::vector<bool>(3, ahead));
    }
}

TEST(Parallel, WorkAheadWaitsWhileTheUserWaits)
{
    // The scaler's tasks go on once the foreground work ends; a decode the
    // user has come to wait for goes on at once.
    for (const bool userWaits : {false, true}) {
        SCOPED_TRACE(userWaits ? "the user waits for it" : "the foreground work ends");
        std::optional<PxForegroundWork> foreground(std::in_place);
        std::atomic<bool> stillAhead{true};
        std::atomic<int> ran{0};
        const int threads = userWaits ? 1 : 2;
        std::thread ahead([&] {
            PxLowerThreadPriority();
            if (userWaits) {
                PxGiveWay(&stillAhead);
                ran.fetch_add(1);
            } else {
                PxRunInParallel(threads, [&](int) { ran.fetch_add(1); });
            }
        });
        while (PxThreadsGivingWay() < threads && ran.load() == 0) {
            std::this_thread::yield();
        }
        EXPECT_EQ(ran.load(), 0);
        if (userWaits) {
            stillAhead = false;
            PxWakeWorkAhead();
        } else {
            foreground.reset();
        }
        ahead.join();
        EXPECT_EQ(ran.load(), threads);
    }
}

}  // namespace brelvix
