// The orders the file list can be put in besides the name: the date each
// picture was taken, the date it was last modified, and its size, each
// either way round.
//
// Ordering a folder of thousands of photos by date taken reads a little of
// every file, so the work comes in two steps: ReadSortKeys reads what the
// order needs (on a worker thread, stopping when told), then OrderFiles puts
// the list in order and says where the current picture went, which takes
// milliseconds and runs where the list lives. SortKeyReader runs the first
// step on a thread of its own.
#pragma once

#include <atomic>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace brelvix {

// The numbers are those stored as the "SortOrder" setting.
enum class SortOrder : std::int32_t {
    Name = 0,  // the folder scan's natural order
    DateTaken = 1,
    DateModified = 2,
    Size = 3,
};

// The order a stored "SortOrder" value names; any other number is Name.
SortOrder SortOrderFromSetting(std::int64_t value);

// A moment on the local wall clock: seconds since 1970-01-01 00:00 as the
// clock on the wall read then, without a time zone. Cameras record the time
// they were taken that way; a file's modification time is turned into it,
// so that pictures with and without a date taken sort on one clock.
struct WallClockTime {
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;

    auto operator<=>(const WallClockTime&) const = default;
};

// What ordering a file needs.
struct FileSortKey {
    bool exists = false;  // its status could be read; files that vanished sort last
    std::int64_t size = 0;
    WallClockTime modified;
    std::optional<WallClockTime> taken;  // read only for SortOrder::DateTaken
};

// Reads the key of one file for `order`: its status for every order but
// Name, and for DateTaken the Exif date from the file's header (never
// decoding the picture).
FileSortKey ReadSortKey(const std::string& path, SortOrder order);

// Reads the keys of `files` for `order`, one for each, in list order. Safe
// on any thread; `cancel` is looked at before each file, and once it is set
// the reading stops and the result is false (`keys` then holds those read so
// far). Name needs no keys: `keys` comes back empty and the result is true.
bool ReadSortKeys(const std::vector<std::string>& files, SortOrder order, const std::atomic<bool>& cancel,
                  std::vector<FileSortKey>* keys);

struct OrderedFiles {
    std::vector<std::string> files;
    std::vector<FileSortKey> keys;  // in the new order; empty when none were given
    // Where the entry that stood at the given current position is now; the
    // list's length when that position was outside the list.
    std::int32_t currentIndex = 0;
};

// Puts `files` in `order` (reversed when `reverse`) using their `keys` as
// ReadSortKeys read them for that order. Pictures without a date taken sort
// by their modification date; equal keys fall back to the name order, so
// the order is total and the same list always comes out the same. Reverse
// turns the whole order round, name fall-back included. Files whose status
// could not be read come last either way. Keys that do not match the list
// (another length) are ignored and the name order is used.
OrderedFiles OrderFiles(const std::vector<std::string>& files, const std::vector<FileSortKey>& keys, SortOrder order,
                        bool reverse, std::int32_t currentIndex);

// Reads sort keys on a thread of its own, one list at a time, so that the
// window goes on while thousands of files are read.
class SortKeyReader {
public:
    using Done = std::function<void(std::vector<std::string> files, std::vector<FileSortKey> keys)>;

    SortKeyReader() = default;
    ~SortKeyReader();  // cancels a reading and waits for its thread
    SortKeyReader(const SortKeyReader&) = delete;
    SortKeyReader& operator=(const SortKeyReader&) = delete;

    // Starts reading the keys of `files` for `order`; a reading in progress
    // is cancelled first. When every key is read, `done` runs on the reading
    // thread with the list it was given and its keys (never after a
    // cancel): it must hand both over to the thread that owns the list,
    // which checks that its list is still that one before ordering it.
    void Start(std::vector<std::string> files, SortOrder order, Done done);

    // Stops a reading in progress and waits until its thread has ended.
    void Cancel();

private:
    std::thread worker;
    std::atomic<bool> cancel{false};
};

// Orders two paths as the folder scan lists them: folder by folder, each
// name in natural order (CompareNaturally), so that a subfolder's pictures
// stand where the subfolder's name falls. Returns < 0, 0 or > 0.
int ComparePathsNaturally(const std::string& a, const std::string& b);

}  // namespace brelvix
