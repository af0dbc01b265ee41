// Small POSIX file helpers shared by the platform services.
#pragma once

#include <cstddef>
#include <string>

namespace brelvix::platform {

// Writes all `size` bytes, retrying interrupted and short writes.
bool WriteAll(int file, const void* buffer, std::size_t size);

// The folder part of `path` ("." when it has none, "/" for a file in the root).
std::string ParentFolder(const std::string& path);

// Creates `folder` and any missing folder above it with the permission bits
// `mode`; folders that exist are left as they are. True when `folder` is a
// folder afterwards.
bool MakeFolders(const std::string& folder, unsigned mode);

// Renames `from` to `to` unless `to` exists (then fails with errno EEXIST),
// atomically where the file system supports it. Never copies. Returns 0 or
// -1 with errno.
int RenameNoReplace(const std::string& from, const std::string& to);

}  // namespace brelvix::platform
