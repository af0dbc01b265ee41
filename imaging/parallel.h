// Splitting independent work over the processor's cores.
#pragma once

#include <functional>

namespace brelvix {

// How many threads heavy work may use: the processor's cores, at least 1 and
// at most 8 (beyond that the memory bus, not the cores, sets the pace).
int PxWorkerCount();

// Runs task(0) .. task(count - 1), each once, on up to `count` threads, the
// calling one included, and returns when all have finished. When a thread
// cannot be started its tasks run on the calling thread, so the work is
// always done.
void PxRunInParallel(int count, const std::function<void(int)>& task);

}  // namespace brelvix
