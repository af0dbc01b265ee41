#include "parallel.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace brelvix {

int PxWorkerCount()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 8u));
}

void PxRunInParallel(int count, const std::function<void(int)>& task)
{
    std::vector<std::thread> threads;
    int next = 1;
    for (; next < count; ++next) {
        try {
            threads.emplace_back(task, next);
        } catch (const std::system_error&) {
            break;
        }
    }
    task(0);
    for (; next < count; ++next) {
        task(next);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

}  // namespace brelvix
