#include "viewer/file_list.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "platform/ascii.h"
#include "platform/file_system.h"

namespace brelvix {

namespace {

bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

// Folder contents are read before anything is entered, so that a subfolder's
// block can be placed where its name falls in the parent's order and no
// folder stays open longer than the scan of its own subtree needs.
class FolderScanner {
public:
    FolderScanner(std::vector<std::string>& list, bool subfolders) : list_(list), subfolders_(subfolders) {}

    // Scans `folder`, opened from the path `path`. Returns false when it
    // cannot be read.
    bool Scan(const platform::Folder& folder, const std::string& path)
    {
        platform::FolderKey key;
        if (!folder.Key(&key)) {
            return false;
        }
        // A folder met again through a link would make the scan endless.
        if (!visited_.insert(key).second) {
            return true;
        }
        std::vector<platform::FolderEntry> entries;
        if (!folder.ReadEntries(&entries)) {
            return false;
        }
        std::sort(entries.begin(), entries.end(), [](const platform::FolderEntry& a, const platform::FolderEntry& b) {
            return CompareNaturally(a.name, b.name) < 0;
        });

        // Joining with a separator that is already there would give paths
        // that never equal the opened one ("//a.jpg" for "/a.jpg").
        const std::string prefix = (!path.empty() && path.back() == '/') ? path : path + "/";
        for (const platform::FolderEntry& entry : entries) {
            if (entry.isFolder) {
                if (subfolders_) {
                    const platform::Folder child = folder.Child(entry.name);
                    if (child.IsOpen()) {
                        Scan(child, prefix + entry.name);  // an unreadable subfolder is left out
                    }
                }
                continue;
            }
            const std::size_t dot = entry.name.rfind('.');
            if (dot != std::string::npos && IsPictureExtension(entry.name.substr(dot + 1))) {
                list_.push_back(prefix + entry.name);
            }
        }
        return true;
    }

private:
    std::vector<std::string>& list_;
    bool subfolders_;
    std::set<platform::FolderKey> visited_;
};

// Compares two runs of digits by value: leading zeros do not count.
int CompareDigitRuns(const char*& a, const char* aEnd, const char*& b, const char* bEnd)
{
    while (a < aEnd && *a == '0') {
        ++a;
    }
    while (b < bEnd && *b == '0') {
        ++b;
    }
    const char* aRun = a;
    const char* bRun = b;
    while (a < aEnd && IsDigit(static_cast<unsigned char>(*a))) {
        ++a;
    }
    while (b < bEnd && IsDigit(static_cast<unsigned char>(*b))) {
        ++b;
    }
    const std::ptrdiff_t aLength = a - aRun;
    const std::ptrdiff_t bLength = b - bRun;
    if (aLength != bLength) {
        return aLength < bLength ? -1 : 1;
    }
    const int order = std::memcmp(aRun, bRun, static_cast<std::size_t>(aLength));
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

bool IsPictureExtension(const std::string& extension)
{
    for (const char* known : kPictureExtensions) {
        if (platform::EqualIgnoringAsciiCase(extension, known)) {
            return true;
        }
    }
    return false;
}

int CompareNaturally(const std::string& first, const std::string& second)
{
    const char* a = first.data();
    const char* b = second.data();
    const char* aEnd = a + first.size();
    const char* bEnd = b + second.size();
    while (a < aEnd && b < bEnd) {
        const unsigned char ca = static_cast<unsigned char>(*a);
        const unsigned char cb = static_cast<unsigned char>(*b);
        if (IsDigit(ca) && IsDigit(cb)) {
            const int order = CompareDigitRuns(a, aEnd, b, bEnd);
            if (order != 0) {
                return order;
            }
            continue;
        }
        const auto fa = static_cast<unsigned char>(platform::AsciiLower(*a));
        const auto fb = static_cast<unsigned char>(platform::AsciiLower(*b));
        if (fa != fb) {
            return fa < fb ? -1 : 1;
        }
        ++a;
        ++b;
    }
    if (a < aEnd || b < bEnd) {
        return a < aEnd ? 1 : -1;
    }
    // Equal for a reader (a.jpg and A.JPG, img1 and img01): byte order decides.
    const int order = first.compare(second);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool FileList::ScanFolder(const std::string& folder, bool includeSubdirectories)
{
    const platform::Folder opened(folder);
    if (!opened.IsOpen()) {
        return false;
    }
    FolderScanner scanner(entries, includeSubdirectories);
    return scanner.Scan(opened, folder);
}

bool FileList::BuildFileList(const std::string& picturePath, bool includeSubdirectories)
{
    const std::size_t slash = picturePath.rfind('/');
    if (slash == std::string::npos) {
        return false;
    }
    // A picture at the root has the folder "/", not the empty string.
    const std::string folder = slash == 0 ? std::string("/") : picturePath.substr(0, slash);
    entries.clear();
    if (!ScanFolder(folder, includeSubdirectories)) {
        return false;
    }
    // A folder may hold a.jpg and A.JPG: each must find itself, so an exact
    // match wins over one that ignores letter case.
    auto found = std::find(entries.begin(), entries.end(), picturePath);
    if (found == entries.end()) {
        found = std::find_if(entries.begin(), entries.end(), [&](const std::string& entry) {
            return platform::EqualIgnoringAsciiCase(entry, picturePath);
        });
    }
    currentIndex = static_cast<std::int32_t>(found - entries.begin());
    return true;
}

}  // namespace brelvix
