#include "viewer/list_order.h"

#include <utility>

namespace brelvix {

ListOrder::~ListOrder() = default;

bool ListOrder::Apply(FileList& list, OrderedFiles ordered)
{
    const bool changed = ordered.files != list.Entries();
    // A position outside the list (a picture the list does not hold, or the
    // old position kept by a scan that failed) is the list's business.
    const std::int32_t index = list.Holds(list.CurrentIndex()) ? ordered.currentIndex : list.CurrentIndex();
    list.Assign(std::move(ordered.files), index);
    return changed;
}

std::optional<std::vector<FileSortKey>> ListOrder::KnownKeys(const FileList& list) const
{
    std::vector<FileSortKey> keys;
    std::vector<std::size_t> missing;
    keys.reserve(list.Entries().size());
    for (const std::string& file : list.Entries()) {
        const auto found = known.find(file);
        if (found == known.end()) {
            missing.push_back(keys.size());
            if (missing.size() > kReadAtOnce) {
                return std::nullopt;
            }
            keys.emplace_back();
        } else {
            keys.push_back(found->second);
        }
    }
    for (const std::size_t index : missing) {
        keys[index] = ReadSortKey(list.Entries()[index], order);
    }
    return keys;
}

bool ListOrder::Arrange(FileList& list, SortOrder newOrder, bool newReverse, bool built)
{
    ++generation;
    reader.Cancel();
    due = false;
    running = false;
    const bool orderChanged = newOrder != order;
    if (orderChanged) {
        known.clear();
    }
    order = newOrder;
    reverse = newReverse;

    if (order == SortOrder::Name) {
        // A list just built stands in the name order already.
        if (!built || reverse) {
            Apply(list, OrderFiles(list.Entries(), {}, order, reverse, list.CurrentIndex()));
        }
        return false;
    }
    const std::optional<std::vector<FileSortKey>> keys = KnownKeys(list);
    if (keys) {
        Apply(list, OrderFiles(list.Entries(), *keys, order, reverse, list.CurrentIndex()));
    }
    // Files just listed may have changed since their keys were read; turning
    // the same list round needs no reading.
    due = built || orderChanged || !keys;
    return due;
}

void ListOrder::StartReading(const FileList& list)
{
    if (!due) {
        return;
    }
    due = false;
    running = true;
    const std::uint64_t asked = generation;
    reader.Start(list.Entries(), order, [this, asked](std::vector<std::string> files, std::vector<FileSortKey> keys) {
        const std::lock_guard<std::mutex> hold(mailboxLock);
        mailbox = Finished{asked, std::move(files), std::move(keys)};
    });
}

bool ListOrder::Deliver(FileList& list)
{
    std::optional<Finished> finished;
    {
        const std::lock_guard<std::mutex> hold(mailboxLock);
        finished.swap(mailbox);
    }
    if (!finished || finished->generation != generation) {
        return false;
    }
    running = false;
    // Another arrangement would have counted up; this guards the list
    // changing behind the order's back all the same.
    if (finished->files != list.Entries() || finished->keys.size() != finished->files.size()) {
        return false;
    }
    known.clear();
    for (std::size_t i = 0; i < finished->files.size(); ++i) {
        known.emplace(finished->files[i], finished->keys[i]);
    }
    return Apply(list, OrderFiles(finished->files, finished->keys, order, reverse, list.CurrentIndex()));
}

}  // namespace brelvix
