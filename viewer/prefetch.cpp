#include "viewer/prefetch.h"

#include <sys/stat.h>

#include <atomic>
#include <system_error>
#include <thread>
#include <utility>

namespace {

// What identifies the contents of a file without reading it.
struct FileIdentity {
    bool valid = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const FileIdentity& other) const
    {
        return valid && other.valid && device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

FileIdentity IdentityOf(const std::string& path)
{
    FileIdentity identity;
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        identity.valid = true;
        identity.device = status.st_dev;
        identity.inode = status.st_ino;
        identity.size = status.st_size;
        identity.modified = status.st_mtim;
        identity.changed = status.st_ctim;
    }
    return identity;
}

// Running decodes at most, the dropped ones still finishing included.
constexpr std::size_t kMaxRunning = 2;

}  // namespace

struct PicturePrefetch::Job {
    std::string path;
    std::thread thread;
    std::atomic<bool> finished{false};
    bool dropped = false;
    // Written by the decoding thread before `finished`, read after join.
    FileIdentity identity;
    std::unique_ptr<PxBitmap> bitmap;
    int result = 1;
};

PicturePrefetch::PicturePrefetch() = default;

PicturePrefetch::~PicturePrefetch()
{
    Reap(true);
}

PicturePrefetch::PicturePrefetch(PicturePrefetch&& other) noexcept : jobs(std::move(other.jobs))
{
    other.jobs.clear();
}

PicturePrefetch& PicturePrefetch::operator=(PicturePrefetch&& other) noexcept
{
    if (this != &other) {
        for (const auto& job : jobs) {
            job->dropped = true;
        }
        Reap(true);
        jobs = std::move(other.jobs);
        other.jobs.clear();
    }
    return *this;
}

void PicturePrefetch::Reap(bool wait)
{
    for (auto it = jobs.begin(); it != jobs.end();) {
        Job& job = **it;
        if (wait || job.finished.load(std::memory_order_acquire)) {
            if (job.thread.joinable()) {
                job.thread.join();
            }
            if (wait && !job.dropped) {
                ++it;
                continue;
            }
        }
        if (job.dropped && !job.thread.joinable()) {
            it = jobs.erase(it);
        } else {
            ++it;
        }
    }
}

void PicturePrefetch::Start(const std::string& path)
{
    for (const auto& job : jobs) {
        if (!job->dropped && job->path == path) {
            return;
        }
        job->dropped = true;
    }
    Reap(false);
    if (jobs.size() >= kMaxRunning) {
        return;
    }
    auto job = std::make_shared<Job>();
    job->path = path;
    try {
        job->thread = std::thread([job] {
            job->identity = IdentityOf(job->path);
            job->bitmap = std::make_unique<PxBitmap>();
            job->result = job->bitmap->CreateFromFile(job->path.c_str());
            job->finished.store(true, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        return;
    }
    jobs.push_back(std::move(job));
}

std::unique_ptr<PxBitmap> PicturePrefetch::Take(const std::string& path, int* result)
{
    std::shared_ptr<Job> wanted;
    for (const auto& job : jobs) {
        if (!job->dropped && job->path == path && !wanted) {
            wanted = job;
        }
        job->dropped = true;
    }
    if (wanted && wanted->thread.joinable()) {
        wanted->thread.join();
    }
    Reap(false);
    if (!wanted || !wanted->bitmap || !(wanted->identity == IdentityOf(path))) {
        return nullptr;
    }
    if (result != nullptr) {
        *result = wanted->result;
    }
    return std::move(wanted->bitmap);
}

void PicturePrefetch::Wait()
{
    Reap(true);
}
