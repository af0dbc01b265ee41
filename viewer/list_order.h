// The order the navigator's list is shown in (viewer/file_order.h).
//
// A folder scan lists its pictures by name. Any other order needs a key of
// every file, and reading the dates of thousands of photos takes seconds, so
// the list is put in order in two steps: at once as far as nothing has to
// be read (the name order itself, or the keys of the last reading of the
// same files), then again once a reading on a thread of its own has the
// keys of every file as they are now. The reading starts only when the
// navigator asks for it, after the picture is on screen, so that it never
// delays the picture. Either way the current picture keeps its place: the
// position follows it into the new order.
//
// All calls come from the thread that owns the list; the reading hands its
// keys over through a mailbox the owner empties (Deliver).
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "viewer/file_list.h"
#include "viewer/file_order.h"

namespace brelvix {

class ListOrder {
public:
    // At most this many files without a known key are read at once, on the
    // caller's thread, so that a picture added to an ordered folder (or one
    // put back from the trash) takes its place without waiting.
    static constexpr std::size_t kReadAtOnce = 16;

    ListOrder() = default;
    ~ListOrder();
    ListOrder(const ListOrder&) = delete;
    ListOrder& operator=(const ListOrder&) = delete;

    SortOrder Order() const { return order; }
    bool Reverse() const { return reverse; }

    // Puts `list` in `order` (reversed when `reverse`) as far as that needs
    // no reading. `built`: the list was just built by the folder scan, so it
    // stands in the name order and its files may have changed. A reading
    // still running is given up. Returns true when the keys must be read
    // (StartReading, then Deliver until Reading() is false).
    bool Arrange(FileList& list, SortOrder newOrder, bool newReverse, bool built);

    // A reading is due: Arrange asked for one and it has not started.
    bool ReadingDue() const { return due; }
    // Starts reading the keys of `list`, the list last arranged.
    void StartReading(const FileList& list);
    // A reading is due or running and its keys have not been delivered.
    bool Reading() const { return due || running; }

    // Takes a finished reading, if there is one, and orders `list` by its
    // keys when the list still holds the files it read. Returns true when
    // the list's order changed.
    bool Deliver(FileList& list);

private:
    struct Finished {
        std::uint64_t generation = 0;
        std::vector<std::string> files;
        std::vector<FileSortKey> keys;
    };

    // The keys of every entry of `list` from the last reading, the few it
    // lacks read now; nothing when more are missing.
    std::optional<std::vector<FileSortKey>> KnownKeys(const FileList& list) const;
    // Makes `list` the ordered files; the position follows the current
    // picture (a position outside the list stays as it is).
    static bool Apply(FileList& list, OrderedFiles ordered);

    SortOrder order = SortOrder::Name;
    bool reverse = false;
    // Counts the arrangements, so that a reading made for an older one is
    // known as such.
    std::uint64_t generation = 0;
    bool due = false;
    bool running = false;
    // The keys of the last reading delivered, by path, for its order.
    std::unordered_map<std::string, FileSortKey> known;

    std::mutex mailboxLock;
    std::optional<Finished> mailbox;
    // Last: it goes first, and its thread with it, before the mailbox.
    SortKeyReader reader;
};

}  // namespace brelvix
