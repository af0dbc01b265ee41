#include "viewer/prefetch.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/file_system.h"

namespace brelvix {

namespace {

// Running decodes at most, the dropped ones still finishing included.
constexpr std::size_t kMaxRunning = 2;

}  // namespace

struct PicturePrefetch::Job {
    // A job is only ever destroyed once its decode is over.
    ~Job() { Finish(); }

    // Waits for the decode; at once when it has been waited for before.
    void Finish()
    {
        if (thread.joinable()) {
            thread.join();
        }
    }

    bool Finished() const { return finished.load(std::memory_order_acquire); }

    std::string path;
    std::thread thread;
    std::atomic<bool> finished{false};
    // Written by the decoding thread before `finished`, read after join.
    platform::FileIdentity identity;
    std::unique_ptr<PxBitmap> bitmap;
    int result = 1;
};

PicturePrefetch::PicturePrefetch() = default;
PicturePrefetch::~PicturePrefetch() = default;
PicturePrefetch::PicturePrefetch(PicturePrefetch&& other) noexcept = default;
PicturePrefetch& PicturePrefetch::operator=(PicturePrefetch&& other) noexcept = default;

void PicturePrefetch::Drop()
{
    if (current) {
        dropped.push_back(std::move(current));
    }
    std::erase_if(dropped, [](const std::unique_ptr<Job>& job) { return job->Finished(); });
}

void PicturePrefetch::Start(const std::string& path)
{
    if (current && current->path == path) {
        return;
    }
    Drop();
    if (dropped.size() >= kMaxRunning) {
        return;
    }
    auto job = std::make_unique<Job>();
    job->path = path;
    try {
        job->thread = std::thread([state = job.get()] {
            state->identity = platform::IdentityOf(state->path);
            state->bitmap = std::make_unique<PxBitmap>();
            state->result = state->bitmap->CreateFromFile(state->path.c_str());
            state->finished.store(true, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        return;
    }
    current = std::move(job);
}

std::unique_ptr<PxBitmap> PicturePrefetch::Take(const std::string& path, int* result)
{
    std::unique_ptr<Job> wanted;
    if (current && current->path == path) {
        wanted = std::move(current);
    }
    Drop();
    if (!wanted) {
        return nullptr;
    }
    wanted->Finish();
    // Only the same unchanged file gives what a load now would.
    if (!wanted->bitmap || !wanted->identity.exists || wanted->identity != platform::IdentityOf(path)) {
        return nullptr;
    }
    if (result != nullptr) {
        *result = wanted->result;
    }
    return std::move(wanted->bitmap);
}

void PicturePrefetch::Wait()
{
    dropped.clear();
    if (current) {
        current->Finish();
    }
}

}  // namespace brelvix
