// Small POSIX file helpers shared by the platform services.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace brelvix::platform {

// Reads exactly `size` bytes, retrying interrupted and short reads. False on
// an error or an early end of file.
bool ReadAll(int file, void* buffer, std::size_t size);

// Writes all `size` bytes, retrying interrupted and short writes.
bool WriteAll(int file, const void* buffer, std::size_t size);

// The folder part of `path` ("." when it has none, "/" for a file in the root).
std::string ParentFolder(const std::string& path);

// Creates `folder` and any missing folder above it with `mode`; folders that
// exist are left as they are. True when `folder` is a folder afterwards.
bool MakeFolders(const std::string& folder, mode_t mode);

// Renames `from` to `to` unless `to` exists (then fails with errno EEXIST),
// atomically where the file system supports it. Returns 0 or -1 with errno.
int RenameNoReplace(const std::string& from, const std::string& to);

// Replaces the file at `path` with `contents` so that a reader sees either
// the old file or the complete new one, also after a crash: a temporary file
// in the same folder is written, flushed to disk and renamed over `path`, and
// the folder is flushed. The old file's permission bits carry over (0600 for a
// new file). The temporary file never survives a failure.
bool ReplaceFileAtomically(const std::string& path, const std::string& contents);

// An exclusive advisory lock on a folder for as long as the object lives, to
// serialise read-change-replace cycles between processes. Best effort: where
// the folder cannot be opened or locked, nothing is locked.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int folder = -1;
};

}  // namespace brelvix::platform
