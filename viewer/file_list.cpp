// Building the document's file list: the folder scan and the position of the
// opened picture in it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "viewer/image_document.h"

namespace brelvix {

namespace {

unsigned char FoldCase(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

// Folder contents are read before anything is entered, so that a subfolder's
// block can be placed where its name falls in the parent's order and no
// folder stays open longer than the scan of its own subtree needs.
struct Entry {
    std::string name;
    unsigned char type;  // d_type, DT_UNKNOWN when the file system does not say
};

using Visited = std::set<std::pair<dev_t, ino_t>>;

class FolderScanner {
public:
    FolderScanner(std::vector<std::string>& list, bool subfolders) : list_(list), subfolders_(subfolders) {}

    // Scans the open folder `fd` (taking ownership of it) whose path is
    // `folder`. Returns false when it cannot be read.
    bool Scan(int fd, const std::string& folder)
    {
        struct stat status {};
        if (::fstat(fd, &status) != 0) {
            ::close(fd);
            return false;
        }
        // A folder met again through a link would make the scan endless.
        if (!visited_.insert({status.st_dev, status.st_ino}).second) {
            ::close(fd);
            return true;
        }
        DIR* dir = ::fdopendir(fd);
        if (dir == nullptr) {
            ::close(fd);
            return false;
        }
        std::vector<Entry> entries;
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
                continue;
            }
            entries.push_back(Entry{name, entry->d_type});
        }
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return CompareNaturally(a.name, b.name) < 0; });

        // Joining with a separator that is already there would give paths
        // that never equal the opened one ("//a.jpg" for "/a.jpg").
        const std::string prefix = (!folder.empty() && folder.back() == '/') ? folder : folder + "/";
        for (const Entry& entry : entries) {
            if (IsFolder(dirfd(dir), entry)) {
                if (subfolders_) {
                    const int child = ::openat(dirfd(dir), entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                    if (child >= 0) {
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
        ::closedir(dir);
        return true;
    }

private:
    static bool IsFolder(int dirFd, const Entry& entry)
    {
        if (entry.type == DT_DIR) {
            return true;
        }
        if (entry.type != DT_UNKNOWN && entry.type != DT_LNK) {
            return false;
        }
        // Links count as what they point to; a dangling one as a file.
        struct stat status {};
        return ::fstatat(dirFd, entry.name.c_str(), &status, 0) == 0 && S_ISDIR(status.st_mode);
    }

    std::vector<std::string>& list_;
    bool subfolders_;
    Visited visited_;
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
        const unsigned char fa = FoldCase(ca);
        const unsigned char fb = FoldCase(cb);
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

bool ImageDocument::ScanFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    FolderScanner scanner(fileList, includeSubdirectories);
    return scanner.Scan(fd, folder);
}

namespace {

bool EqualIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ImageDocument::BuildFileList(const std::string& picturePath)
{
    const std::size_t slash = picturePath.rfind('/');
    if (slash == std::string::npos) {
        return false;
    }
    // A picture at the root has the folder "/", not the empty string.
    const std::string folder = slash == 0 ? std::string("/") : picturePath.substr(0, slash);
    fileList.clear();
    if (!ScanFolder(folder)) {
        return false;
    }
    // A folder may hold a.jpg and A.JPG: each must find itself, so an exact
    // match wins over one that ignores letter case.
    const auto exact = std::find(fileList.begin(), fileList.end(), picturePath);
    auto found = exact;
    if (found == fileList.end()) {
        found = std::find_if(fileList.begin(), fileList.end(),
                             [&](const std::string& entry) { return EqualIgnoringCase(entry, picturePath); });
    }
    currentIndex = static_cast<std::int32_t>(found - fileList.begin());
    return true;
}

}  // namespace brelvix
