#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <utility>

namespace brelvix::platform {

std::uint64_t PhysicalMemoryBytes()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

FileIdentity IdentityOf(const std::string& path)
{
    FileIdentity identity;
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        identity.exists = true;
        identity.device = status.st_dev;
        identity.inode = status.st_ino;
        identity.size = status.st_size;
        identity.modifiedSeconds = status.st_mtim.tv_sec;
        identity.modifiedNanoseconds = status.st_mtim.tv_nsec;
        identity.changedSeconds = status.st_ctim.tv_sec;
        identity.changedNanoseconds = status.st_ctim.tv_nsec;
    }
    return identity;
}

std::int64_t FileSizeOf(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(status.st_size);
}

Folder::Folder(const std::string& path) : handle(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

Folder::~Folder()
{
    if (handle >= 0) {
        ::close(handle);
    }
}

Folder::Folder(Folder&& other) noexcept : handle(std::exchange(other.handle, -1)) {}

Folder& Folder::operator=(Folder&& other) noexcept
{
    if (this != &other) {
        if (handle >= 0) {
            ::close(handle);
        }
        handle = std::exchange(other.handle, -1);
    }
    return *this;
}

bool Folder::Key(FolderKey* key) const
{
    struct stat status {};
    if (handle < 0 || ::fstat(handle, &status) != 0) {
        return false;
    }
    *key = FolderKey{status.st_dev, status.st_ino};
    return true;
}

Folder Folder::Child(const std::string& name) const
{
    Folder child;
    if (handle >= 0) {
        child.handle = ::openat(handle, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    return child;
}

bool Folder::ReadEntries(std::vector<FolderEntry>* entries) const
{
    // The listing gets a descriptor of its own, which closedir closes; this
    // one stays open for the subfolders.
    const int listing = handle >= 0 ? ::dup(handle) : -1;
    if (listing < 0) {
        return false;
    }
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
        ::close(listing);
        return false;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat status {};
            isFolder = ::fstatat(handle, name, &status, 0) == 0 && S_ISDIR(status.st_mode);
        }
        entries->push_back(FolderEntry{name, isFolder});
    }
    ::closedir(dir);
    return true;
}

}  // namespace brelvix::platform
