#include "viewer/file_order.h"

#include <algorithm>
#include <ctime>
#include <numeric>
#include <string_view>

#include "imaging/exif_block.h"
#include "imaging/exif_info.h"
#include "platform/file_system.h"
#include "viewer/file_list.h"

namespace brelvix {

namespace {

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar
// (Howard Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

WallClockTime WallClock(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t hour, std::int64_t minute,
                        std::int64_t second, std::int32_t nanoseconds)
{
    return {DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second, nanoseconds};
}

WallClockTime WallClockOf(std::int64_t secondsSinceEpoch, std::int64_t nanoseconds)
{
    const auto moment = static_cast<time_t>(secondsSinceEpoch);
    struct tm local {};
    if (localtime_r(&moment, &local) == nullptr) {
        return {secondsSinceEpoch, static_cast<std::int32_t>(nanoseconds)};
    }
    return WallClock(std::int64_t{local.tm_year} + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                     local.tm_sec, static_cast<std::int32_t>(nanoseconds));
}

// Three-way comparison of two readable files' keys for an order.
std::strong_ordering CompareKeys(const FileSortKey& a, const FileSortKey& b, SortOrder order)
{
    switch (order) {
        case SortOrder::DateTaken:
            return a.taken.value_or(a.modified) <=> b.taken.value_or(b.modified);
        case SortOrder::DateModified:
            return a.modified <=> b.modified;
        case SortOrder::Size:
            return a.size <=> b.size;
        case SortOrder::Name:
            break;
    }
    return std::strong_ordering::equal;
}

}  // namespace

SortOrder SortOrderFromSetting(std::int64_t value)
{
    switch (value) {
        case 1:
            return SortOrder::DateTaken;
        case 2:
            return SortOrder::DateModified;
        case 3:
            return SortOrder::Size;
        default:
            return SortOrder::Name;
    }
}

int ComparePathsNaturally(const std::string& a, const std::string& b)
{
    std::size_t aStart = 0;
    std::size_t bStart = 0;
    for (;;) {
        const std::size_t aEnd = std::min(a.find('/', aStart), a.size());
        const std::size_t bEnd = std::min(b.find('/', bStart), b.size());
        const std::string_view aPart(a.data() + aStart, aEnd - aStart);
        const std::string_view bPart(b.data() + bStart, bEnd - bStart);
        if (aPart != bPart) {
            return CompareNaturally(std::string(aPart), std::string(bPart));
        }
        const bool aDone = aEnd == a.size();
        const bool bDone = bEnd == b.size();
        if (aDone || bDone) {
            // A folder before what it holds.
            return aDone == bDone ? 0 : (aDone ? -1 : 1);
        }
        aStart = aEnd + 1;
        bStart = bEnd + 1;
    }
}

FileSortKey ReadSortKey(const std::string& path, SortOrder order)
{
    FileSortKey key;
    if (order == SortOrder::Name) {
        return key;
    }
    const platform::FileIdentity identity = platform::IdentityOf(path);
    if (!identity.exists) {
        return key;
    }
    key.exists = true;
    key.size = identity.size;
    key.modified = WallClockOf(identity.modifiedSeconds, identity.modifiedNanoseconds);
    if (order == SortOrder::DateTaken) {
        std::vector<std::uint8_t> block;
        if (PxReadExifBlockOfFile(path, &block)) {
            if (const std::optional<PxDateTime> date = PxExifDateTaken(block.data(), block.size())) {
                key.taken = WallClock(date->year, date->month, date->day, date->hour, date->minute, date->second, 0);
            }
        }
    }
    return key;
}

bool ReadSortKeys(const std::vector<std::string>& files, SortOrder order, const std::atomic<bool>& cancel,
                  std::vector<FileSortKey>* keys)
{
    keys->clear();
    if (order == SortOrder::Name) {
        return true;
    }
    keys->reserve(files.size());
    for (const std::string& file : files) {
        if (cancel.load(std::memory_order_relaxed)) {
            return false;
        }
        keys->push_back(ReadSortKey(file, order));
    }
    return true;
}

OrderedFiles OrderFiles(const std::vector<std::string>& files, const std::vector<FileSortKey>& keys, SortOrder order,
                        bool reverse, std::int32_t currentIndex)
{
    const std::size_t count = files.size();
    // The name order once, as ranks, so that the order's own sort compares
    // numbers only.
    std::vector<std::size_t> byName(count);
    std::iota(byName.begin(), byName.end(), std::size_t{0});
    std::sort(byName.begin(), byName.end(), [&files](std::size_t a, std::size_t b) {
        const int byPath = ComparePathsNaturally(files[a], files[b]);
        return byPath != 0 ? byPath < 0 : a < b;
    });
    std::vector<std::size_t> rank(count);
    for (std::size_t i = 0; i < count; ++i) {
        rank[byName[i]] = i;
    }

    const bool useKeys = order != SortOrder::Name && keys.size() == count;
    std::vector<std::size_t> from(count);
    std::iota(from.begin(), from.end(), std::size_t{0});
    std::sort(from.begin(), from.end(), [&](std::size_t a, std::size_t b) {
        if (useKeys) {
            const FileSortKey& ka = keys[a];
            const FileSortKey& kb = keys[b];
            if (ka.exists != kb.exists) {
                return ka.exists;
            }
            if (ka.exists) {
                const std::strong_ordering byKey = CompareKeys(ka, kb, order);
                if (byKey != 0) {
                    return reverse ? byKey > 0 : byKey < 0;
                }
            }
        }
        return reverse ? rank[a] > rank[b] : rank[a] < rank[b];
    });

    OrderedFiles result;
    result.files.reserve(count);
    for (const std::size_t index : from) {
        result.files.push_back(files[index]);
        if (keys.size() == count) {
            result.keys.push_back(keys[index]);
        }
    }
    result.currentIndex = static_cast<std::int32_t>(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (currentIndex >= 0 && from[i] == static_cast<std::size_t>(currentIndex)) {
            result.currentIndex = static_cast<std::int32_t>(i);
        }
    }
    return result;
}

SortKeyReader::~SortKeyReader()
{
    Cancel();
}

void SortKeyReader::Start(std::vector<std::string> files, SortOrder order, Done done)
{
    Cancel();
    worker = std::thread([this, files = std::move(files), order, done = std::move(done)]() mutable {
        std::vector<FileSortKey> keys;
        if (ReadSortKeys(files, order, cancel, &keys)) {
            done(std::move(files), std::move(keys));
        }
    });
}

void SortKeyReader::Cancel()
{
    if (worker.joinable()) {
        cancel.store(true);
        worker.join();
    }
    cancel.store(false);
}

}  // namespace brelvix
