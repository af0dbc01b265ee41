// Decoded pictures kept and made ahead of time, so that stepping through a
// folder shows each picture at once: the pictures recently shown, and the
// neighbours in both directions, decoded on threads of their own while the
// user looks at the current one (the first picture too, while the window
// system is being set up).
//
// A picture is handed out only when its file is still the one that was
// decoded (same device, inode, size, modification and change times, taken
// before the decode and again when it is asked for), so what the viewer
// shows is always what a load at that moment would give.
//
// Memory: the finished pictures held stay within a budget, by default
// kDefaultPictureCacheBudget or a quarter of the machine's memory, whichever
// is smaller; the pictures used longest ago go first. A picture larger than
// half the budget is never kept, and nothing is decoded ahead beside one, so
// that a huge picture costs no more than itself. Up to two decodes ahead run
// at a time, beside the one the user waits for; their pictures count once
// they are finished.
//
// Every decode can be left: dropping a picture still being decoded (Cancel,
// replacing the cache, destroying it) cancels its decode and waits only the
// few milliseconds a decoder takes to notice. A cancelled decode is never
// handed out or kept.
//
// Decodes ahead never compete with what the user waits for: their threads
// run below the window's priority and give way while a decode the user
// waits for runs (imaging/parallel.h). A decode ahead that the user comes to
// wait for stops giving way and gets its priority back where the system
// allows it.
//
// The decode the user waits for can first make a reduced first look at a
// large picture (PxLoadReduced), handed out on its own while the picture
// itself is still being decoded.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/reduced_load.h"
#include "platform/file_system.h"

namespace brelvix {

inline constexpr std::uint64_t kDefaultPictureCacheBudget = std::uint64_t{512} << 20;

// The size a first look must have at least (PxLoadReduced's; `upright` as
// there); none when either side is not positive.
struct FirstLook {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool upright = false;
};

// A decode's first look is labelled with its path and this after it, so that
// a PxLoadHold can tell it from the decode of the picture itself.
inline constexpr char kFirstLookLabel[] = " (first look)";

class PictureCache {
public:
    // The budget a cache has by default: kDefaultPictureCacheBudget, but never
    // more than a quarter of the machine's memory.
    static std::uint64_t DefaultBudget();

    explicit PictureCache(std::uint64_t budgetBytes = DefaultBudget());
    // Cancels the decodes still running.
    ~PictureCache();
    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;
    PictureCache(PictureCache&& other) noexcept;
    // Cancels this one's decodes, then takes over the other's; the wake
    // stays this one's and serves the decodes taken over.
    PictureCache& operator=(PictureCache&& other) noexcept;

    // Starts decoding `path` in the background unless it is held or being
    // decoded already, first making a first look at `look` as Start does.
    // Nothing starts while two decodes are running or when no thread can be
    // had.
    void Prefetch(const std::string& path, const FirstLook& look = {});
    // The same for the picture the user waits for: it starts whatever else
    // is running, first making a reduced first look at `look` when the
    // format offers one. A decode ahead of the same picture already running
    // goes on as one the user waits for. False when it is neither held nor
    // being decoded (no thread could be had).
    bool Start(const std::string& path, const FirstLook& look = {});
    // Whether the first look at `path` is ready to be taken.
    bool FirstLookReady(const std::string& path) const;
    // The first look at `path` when it is ready and the file is still the
    // one whose decode began; the decode of the picture goes on. Null
    // otherwise.
    std::unique_ptr<PxReducedPicture> TakeFirstLook(const std::string& path);
    // Called on a decoding thread each time a first look or a picture is
    // done, so that the window can look at once; empty by default.
    void SetWake(std::function<void()> wake);
    // Whether the picture of `path` is held and its decode over.
    bool Finished(const std::string& path) const;
    // How far the decode of `path` is, 0..1000 (1000 when it is finished, 0
    // when nothing of it is held).
    int Progress(const std::string& path) const;
    // Drops `path` if it is still being decoded, cancelling its decode; a
    // finished picture stays.
    void Cancel(const std::string& path);

    // The picture of `path` if it is held or being decoded and the file is
    // unchanged, waiting for its decode to finish; it leaves the cache.
    // `result` receives what PxBitmap::CreateFromFile returned for it and
    // `identity` the file's identity at the decode. Null otherwise (a stale
    // picture is dropped).
    std::unique_ptr<PxBitmap> Take(const std::string& path, int* result, platform::FileIdentity* identity);

    // Keeps a picture that was on screen, decoded from the file `identity`
    // describes with the result `result`, as the one used last.
    void Keep(const std::string& path, const platform::FileIdentity& identity, std::unique_ptr<PxBitmap> picture,
              int result);

    // Whether the cache would keep a picture with a store of `bytes` bytes.
    bool WouldKeep(std::uint64_t bytes) const { return bytes <= budget / 2; }

    // Waits until no decode is running; what they made stays held.
    void Wait();
    // Cancels every decode still running and waits up to `waitMs`
    // milliseconds for them to end. True when none is left running: some
    // libraries decode a whole picture in one call that a cancel cannot
    // enter.
    bool CancelAll(std::uint32_t waitMs);

    // Whether `path` is held or being decoded.
    bool Holds(const std::string& path) const;
    // Bytes of the finished pictures held.
    std::uint64_t HeldBytes() const;
    std::uint64_t Budget() const { return budget; }

private:
    struct Entry;
    // Drops pictures too large to keep and, beyond the budget, the ones used
    // longest ago (never one still decoding).
    void Trim();
    std::vector<std::unique_ptr<Entry>>::iterator Find(const std::string& path);
    // Takes `entry` out of the cache, cancelling its decode; one still
    // running ends in `leaving`, so that nobody waits for it.
    void Drop(std::vector<std::unique_ptr<Entry>>::iterator entry);
    std::vector<std::unique_ptr<Entry>>::const_iterator Find(const std::string& path) const;
    // Starts decoding `path` unless it is held; with `limited`, not while
    // kMaxRunning decodes run. Whether it is held afterwards.
    bool Begin(const std::string& path, bool limited, const FirstLook& look);

    struct Wake;
    // What a decoding thread does.
    static void Decode(Entry& state);

    std::shared_ptr<Wake> wake;
    std::uint64_t budget;
    std::uint64_t useCounter = 0;
    std::vector<std::unique_ptr<Entry>> entries;
    // Cancelled decodes that have not ended yet; they go once they have.
    std::vector<std::unique_ptr<Entry>> leaving;
};

}  // namespace brelvix
