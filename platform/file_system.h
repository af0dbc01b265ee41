// What the viewer needs to know about files and folders, without any system
// header: a file's identity and size, and the entries of a folder.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

namespace brelvix::platform {

// What identifies the contents of a file without reading it: where it lives
// (device, inode), its size and its modification and status-change times to
// the nanosecond. Two identities are equal when both name no file, or the
// same unchanged file. Symbolic links are followed.
struct FileIdentity {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    std::int64_t changedSeconds = 0;
    std::int64_t changedNanoseconds = 0;

    bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const std::string& path);

// Size of the file in bytes as the file system reports it, or -1 when its
// status cannot be read.
std::int64_t FileSizeOf(const std::string& path);

// The machine's physical memory in bytes; 0 when it cannot be told.
std::uint64_t PhysicalMemoryBytes();

// A folder as device and inode: the same folder reached by two paths (through
// a symbolic link) has the same key.
struct FolderKey {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    auto operator<=>(const FolderKey&) const = default;
};

struct FolderEntry {
    std::string name;
    bool isFolder = false;  // a folder, or a symbolic link to one
};

// An open folder. Subfolders are opened relative to it, so no path length
// limit applies and the process's current directory is never changed.
class Folder {
public:
    // Opens the folder at `path`; IsOpen tells whether that worked.
    explicit Folder(const std::string& path);
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    bool IsOpen() const { return handle >= 0; }

    // False when the folder's status cannot be read.
    bool Key(FolderKey* key) const;

    // The entry `name` of this folder, opened as a folder (following a link).
    Folder Child(const std::string& name) const;

    // Every entry but "." and ".." in the file system's order. False when
    // the folder cannot be read. A symbolic link counts as what it points
    // to; a dangling one as a file.
    bool ReadEntries(std::vector<FolderEntry>* entries) const;

private:
    Folder() = default;

    int handle = -1;
};

}  // namespace brelvix::platform
