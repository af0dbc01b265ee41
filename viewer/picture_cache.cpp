#include "viewer/picture_cache.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "imaging/load_control.h"
#include "viewer/screen_colors.h"
#include "imaging/parallel.h"

namespace brelvix {

namespace {

constexpr std::size_t kMaxRunning = 2;

std::uint64_t StoreBytes(const PxBitmap* bitmap)
{
    if (bitmap == nullptr || bitmap->Pixels() == nullptr) {
        return 0;
    }
    return static_cast<std::uint64_t>(bitmap->Stride()) * static_cast<std::uint64_t>(bitmap->Height());
}

}  // namespace

// Shared by a cache and its decoding threads, which may outlive the cache's
// hold on them (decodes being left).
struct PictureCache::Wake {
    void Set(std::function<void()> next)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        call = std::move(next);
    }
    std::function<void()> Get()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return call;
    }
    void Call()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (call) {
            call();
        }
    }

    std::mutex mutex;
    std::function<void()> call;
};

struct PictureCache::Entry {
    // An entry is only ever destroyed once its decode is over; one still
    // running is cancelled first, which ends it within milliseconds.
    ~Entry()
    {
        CancelDecode();
        Finish();
    }

    void CancelDecode()
    {
        lookControl.Cancel();
        control.Cancel();
    }

    // The user now waits for a decode started ahead of time.
    void BringForward()
    {
        if (!control.Ahead()) {
            return;
        }
        control.SetAhead(false);
        PxWakeWorkAhead();
        // The thread restores its priority itself when it has not yet
        // published its id (see the decoding thread).
        if (const int id = threadId.load(); id != 0) {
            PxRestoreThreadPriority(id);
        }
    }

    void Finish()
    {
        if (thread.joinable()) {
            thread.join();
        }
    }

    bool Finished() const { return finished.load(std::memory_order_acquire); }

    std::string path;
    std::thread thread;
    PxLoadControl control;
    std::shared_ptr<Wake> wake;
    std::atomic<int> threadId{0};
    // The first look asked for, its decode and the picture it made; written
    // by the decoding thread before `lookReady`, taken after it.
    FirstLook look;
    PxLoadControl lookControl;
    std::unique_ptr<PxReducedPicture> firstLook;
    std::atomic<bool> lookReady{false};
    std::atomic<bool> finished{false};
    // Written by the decoding thread before `finished`, read after it.
    platform::FileIdentity identity;
    std::unique_ptr<PxBitmap> bitmap;
    int result = 1;
    std::uint64_t lastUse = 0;
    // Started for the user waiting for it: kept whatever its size until it
    // is taken or given up.
    bool wanted = false;
    // The screen colours it was prepared under (viewer/screen_colors.h).
    std::uint64_t colors = 0;
};

void PictureCache::Decode(Entry& state)
{
    // Work ahead runs below the window's priority; the decode the user
    // waits for makes work ahead give way while it runs.
    std::optional<PxForegroundWork> foreground;
    if (state.control.Ahead()) {
        PxLowerThreadPriority();
    } else {
        foreground.emplace();
    }
    state.threadId.store(PxThreadId());
    if (!state.control.Ahead() && !foreground) {
        PxRestoreThreadPriority(PxThreadId());  // brought forward meanwhile
    }
    state.identity = platform::IdentityOf(state.path);
    if (state.look.width > 0 && state.look.height > 0) {
        auto look = std::make_unique<PxReducedPicture>();
        if (PxLoadReduced(state.path.c_str(), state.look.width, state.look.height, look.get(), &state.lookControl,
                          state.look.upright) == 0) {
            PrepareForScreen(look->reduced);
            state.firstLook = std::move(look);
            state.lookReady.store(true, std::memory_order_release);
            state.wake->Call();
        }
    }
    state.bitmap = std::make_unique<PxBitmap>();
    state.result = state.bitmap->CreateFromFile(state.path.c_str(), &state.control);
    if (state.result == 0) {
        state.colors = PrepareForScreen(*state.bitmap);
    }
    state.finished.store(true, std::memory_order_release);
    state.wake->Call();
}

std::uint64_t PictureCache::DefaultBudget()
{
    const std::uint64_t memory = platform::PhysicalMemoryBytes();
    return memory == 0 ? kDefaultPictureCacheBudget : std::min(kDefaultPictureCacheBudget, memory / 4);
}

PictureCache::PictureCache(std::uint64_t budgetBytes) : wake(std::make_shared<Wake>()), budget(budgetBytes) {}
PictureCache::~PictureCache() = default;
PictureCache::PictureCache(PictureCache&& other) noexcept = default;

PictureCache& PictureCache::operator=(PictureCache&& other) noexcept
{
    if (this == &other) {
        return *this;
    }
    std::function<void()> own = wake != nullptr ? wake->Get() : std::function<void()>();
    entries = std::move(other.entries);
    leaving = std::move(other.leaving);
    budget = other.budget;
    useCounter = other.useCounter;
    wake = std::move(other.wake);
    if (wake == nullptr) {
        wake = std::make_shared<Wake>();
    }
    wake->Set(std::move(own));
    return *this;
}

void PictureCache::SetWake(std::function<void()> next)
{
    if (wake == nullptr) {
        wake = std::make_shared<Wake>();
    }
    wake->Set(std::move(next));
}

bool PictureCache::FirstLookReady(const std::string& path) const
{
    const auto found = Find(path);
    return found != entries.end() && (*found)->lookReady.load(std::memory_order_acquire);
}

std::unique_ptr<PxReducedPicture> PictureCache::TakeFirstLook(const std::string& path)
{
    const auto found = Find(path);
    if (found == entries.end() || !(*found)->lookReady.exchange(false, std::memory_order_acq_rel)) {
        return nullptr;
    }
    // The identity was taken before the first look was decoded.
    if ((*found)->identity != platform::IdentityOf(path)) {
        return nullptr;
    }
    return std::move((*found)->firstLook);
}

std::vector<std::unique_ptr<PictureCache::Entry>>::iterator PictureCache::Find(const std::string& path)
{
    return std::find_if(entries.begin(), entries.end(),
                        [&path](const std::unique_ptr<Entry>& entry) { return entry->path == path; });
}

std::vector<std::unique_ptr<PictureCache::Entry>>::const_iterator PictureCache::Find(const std::string& path) const
{
    return std::find_if(entries.begin(), entries.end(),
                        [&path](const std::unique_ptr<Entry>& entry) { return entry->path == path; });
}

bool PictureCache::Holds(const std::string& path) const
{
    return Find(path) != entries.end();
}

bool PictureCache::Finished(const std::string& path) const
{
    const auto found = Find(path);
    return found != entries.end() && (*found)->Finished();
}

int PictureCache::Progress(const std::string& path) const
{
    const auto found = Find(path);
    if (found == entries.end()) {
        return 0;
    }
    return (*found)->Finished() ? 1000 : (*found)->control.Progress();
}

void PictureCache::Cancel(const std::string& path)
{
    const auto found = Find(path);
    if (found == entries.end()) {
        return;
    }
    if ((*found)->Finished()) {
        (*found)->wanted = false;
        Trim();
    } else {
        Drop(found);
    }
}

void PictureCache::Drop(std::vector<std::unique_ptr<Entry>>::iterator entry)
{
    // Most decoders stop within milliseconds of a cancel, but AVIF and HEIF
    // pictures decode in one library call that a cancel cannot enter; the
    // caller never waits for that call to return.
    (*entry)->CancelDecode();
    if (!(*entry)->Finished()) {
        leaving.push_back(std::move(*entry));
    }
    entries.erase(entry);
}

std::uint64_t PictureCache::HeldBytes() const
{
    std::uint64_t bytes = 0;
    for (const auto& entry : entries) {
        if (entry->Finished()) {
            bytes += StoreBytes(entry->bitmap.get());
        }
    }
    return bytes;
}

void PictureCache::Trim()
{
    std::erase_if(leaving, [](const std::unique_ptr<Entry>& entry) { return entry->Finished(); });
    std::erase_if(entries, [this](const std::unique_ptr<Entry>& entry) {
        return entry->Finished() &&
               ((!entry->wanted && !WouldKeep(StoreBytes(entry->bitmap.get()))) || !ScreenColorsCurrent(entry->colors));
    });
    std::vector<Entry*> finished;
    std::uint64_t held = 0;
    for (const auto& entry : entries) {
        if (entry->Finished() && !entry->wanted) {
            finished.push_back(entry.get());
            held += StoreBytes(entry->bitmap.get());
        }
    }
    std::sort(finished.begin(), finished.end(), [](const Entry* a, const Entry* b) { return a->lastUse < b->lastUse; });
    for (Entry* oldest : finished) {
        if (held <= budget) {
            break;
        }
        held -= StoreBytes(oldest->bitmap.get());
        std::erase_if(entries, [oldest](const std::unique_ptr<Entry>& entry) { return entry.get() == oldest; });
    }
}

void PictureCache::Prefetch(const std::string& path, const FirstLook& look)
{
    Begin(path, true, look);
}

bool PictureCache::Start(const std::string& path, const FirstLook& look)
{
    return Begin(path, false, look);
}

bool PictureCache::Begin(const std::string& path, bool limited, const FirstLook& look)
{
    Trim();
    const auto found = Find(path);
    if (found != entries.end()) {
        (*found)->lastUse = ++useCounter;
        (*found)->wanted = (*found)->wanted || !limited;
        if (!limited) {
            (*found)->BringForward();
        }
        return true;
    }
    // Decodes being left still hold a thread and memory until they end.
    const auto running = std::count_if(entries.begin(), entries.end(),
                                       [](const std::unique_ptr<Entry>& entry) { return !entry->Finished(); }) +
                         static_cast<std::ptrdiff_t>(leaving.size());
    if (limited && static_cast<std::size_t>(running) >= kMaxRunning) {
        return false;
    }
    auto entry = std::make_unique<Entry>();
    entry->path = path;
    entry->control.SetLabel(path);
    entry->control.SetAhead(limited);
    entry->lookControl.SetLabel(path + kFirstLookLabel);
    entry->look = look;
    if (wake == nullptr) {
        wake = std::make_shared<Wake>();
    }
    entry->wake = wake;
    entry->lastUse = ++useCounter;
    entry->wanted = !limited;
    try {
        entry->thread = std::thread([state = entry.get()] { Decode(*state); });
    } catch (const std::system_error&) {
        return false;
    }
    entries.push_back(std::move(entry));
    return true;
}

std::unique_ptr<PxBitmap> PictureCache::Take(const std::string& path, int* result, platform::FileIdentity* identity)
{
    const auto found = Find(path);
    if (found == entries.end()) {
        Trim();
        return nullptr;
    }
    std::unique_ptr<Entry> wanted = std::move(*found);
    entries.erase(found);
    wanted->Finish();
    Trim();
    // Only the same unchanged file gives what a load now would (a file that
    // was missing then and is missing now fails the same way).
    if (!wanted->bitmap || wanted->control.Cancelled() || wanted->identity != platform::IdentityOf(path) ||
        !ScreenColorsCurrent(wanted->colors)) {
        return nullptr;
    }
    if (result != nullptr) {
        *result = wanted->result;
    }
    if (identity != nullptr) {
        *identity = wanted->identity;
    }
    return std::move(wanted->bitmap);
}

void PictureCache::Keep(const std::string& path, const platform::FileIdentity& identity,
                        std::unique_ptr<PxBitmap> picture, int result)
{
    if (!picture || !identity.exists || !WouldKeep(StoreBytes(picture.get()))) {
        return;
    }
    const auto found = Find(path);
    if (found != entries.end()) {
        // What was on screen is at least as fresh as anything decoded of
        // the same path before it.
        Drop(found);
    }
    auto entry = std::make_unique<Entry>();
    entry->path = path;
    entry->identity = identity;
    entry->bitmap = std::move(picture);
    entry->result = result;
    entry->colors = ScreenColorsVersion();
    entry->lastUse = ++useCounter;
    entry->finished.store(true, std::memory_order_release);
    entries.push_back(std::move(entry));
    Trim();
}

bool PictureCache::CancelAll(std::uint32_t waitMs)
{
    const auto unfinished = [](const std::unique_ptr<Entry>& entry) { return !entry->Finished(); };
    for (const auto& entry : entries) {
        entry->CancelDecode();
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        const bool running = std::any_of(entries.begin(), entries.end(), unfinished) ||
                             std::any_of(leaving.begin(), leaving.end(), unfinished);
        if (!running) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void PictureCache::Wait()
{
    for (const auto& entry : entries) {
        entry->Finish();
    }
    Trim();
}

}  // namespace brelvix
