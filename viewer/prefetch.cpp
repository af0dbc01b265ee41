#include "viewer/prefetch.h"

#include <sys/stat.h>

#include <atomic>
#include <system_error>
#include <thread>
#include <utility>

namespace brelvix {

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
    FileIdentity identity;
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
            state->identity = IdentityOf(state->path);
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
    if (!wanted->bitmap || !(wanted->identity == IdentityOf(path))) {
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
