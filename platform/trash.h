// Moving files to the desktop's trash in the freedesktop.org trash layout
// (version 1.0), so that file managers list them and can put them back.
//
// A file on the same device and mount as the home trash
// ($XDG_DATA_HOME/Trash) goes there, with its absolute path recorded. A file
// elsewhere goes to the trash of its mount: $topdir/.Trash/$uid when the
// administrator provided a usable $topdir/.Trash, else $topdir/.Trash-$uid,
// with its path recorded relative to $topdir (the mount's top folder).
// Files are never copied: a file that cannot be renamed into a trash stays
// where it is.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brelvix::platform {

enum class TrashResult { kDone, kFailed };

// Where a file moved to the trash went, enough to put it back.
struct TrashEntry {
    std::string originalPath;  // absolute, symbolic links of its folder resolved
    std::string filesPath;     // the file itself, in the trash's files/ folder
    std::string infoPath;      // its .trashinfo, in the trash's info/ folder
    // The entry's identity in the trash, so that another file trashed later
    // under the same entry name (perhaps reusing the inode) is never taken
    // for it. All zero: not checked.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t changedSeconds = 0;
    std::int64_t changedNanoseconds = 0;
};

// Moves the file, folder or symbolic link at `path` (a symbolic link itself,
// not its target) to the trash. The entry's info file is created exclusively
// before the move and removed again when the move fails, so a failure leaves
// neither a stray info file nor a changed trash. On failure `error` (when
// given) receives a short English reason: the one that explains it to the
// user (a folder that does not let files be removed from it is named as
// such, not hidden behind a later attempt's reason). On success `entry`
// (when given) receives where the file went.
TrashResult MoveToTrash(const std::string& path, std::string* error = nullptr, TrashEntry* entry = nullptr);

enum class RestoreResult {
    kDone,      // the file is back at its original path
    kOccupied,  // a file of that name exists there again; both stay where they are
    kGone,      // the entry is no longer in the trash (emptied, restored, or replaced)
    kFailed,    // it could not be moved back; `error` says why
};

// Puts a trashed file back at the path its .trashinfo records (relative
// paths of a device's trash count from that device's top folder), creating
// the folders on the way when they went meanwhile, and removes the info
// file. The file is never copied and never replaces anything. `error` (when
// given) receives a short English reason for every result but kDone.
RestoreResult RestoreFromTrash(const TrashEntry& entry, std::string* error = nullptr);

// The last moves to the trash of a run, newest last, for undoing them one
// after another. Holds at most kLimit entries; older ones are forgotten.
class TrashHistory {
public:
    static constexpr std::size_t kLimit = 10;

    void Remember(const TrashEntry& entry);
    bool Empty() const { return entries.empty(); }
    std::size_t Size() const { return entries.size(); }

    // Puts the newest entry back (RestoreFromTrash). It is forgotten when that
    // is done or the entry has left the trash; when its place is taken or
    // the move fails it stays, so that undoing again, once the user has
    // made room, tries it again. `entry` (when given) receives the entry
    // tried. With nothing to undo, kGone and an empty entry.
    RestoreResult UndoLatest(TrashEntry* entry = nullptr, std::string* error = nullptr);

private:
    std::vector<TrashEntry> entries;
};

// The building blocks, exposed for tests.

// Moves `absolutePath` into the trash folder `trashFolder` (the one holding
// files/ and info/, both created when missing) and records `recordedPath` as
// its original location. The entry takes the file's own name, or the first
// free one of "stem.2.ext", "stem.3.ext"... (a long name is shortened so that
// its info file name still fits the file system).
TrashResult MoveIntoTrashFolder(const std::string& absolutePath, const std::string& trashFolder,
                                const std::string& recordedPath, std::string* error = nullptr,
                                TrashEntry* entry = nullptr);

// A trash folder to try, and how the original location is recorded in it.
struct TrashCandidate {
    std::string folder;
    bool relativePaths = false;    // recorded relative to the device's top folder
    bool mustBeOwnFolder = false;  // must be a real folder owned by the user, not a link
};

// What MoveToTrash found out about a file and the places it could go.
struct TrashSituation {
    dev_t fileDevice = 0;
    dev_t homeTrashDevice = 0;  // of the home trash, or of its nearest existing ancestor
    // The mounts of the two (0 where the system cannot tell): a bind mount
    // shares its device with the mount it shows part of, yet files cannot
    // be renamed across.
    std::uint64_t fileMount = 0;
    std::uint64_t homeTrashMount = 0;
    std::string homeTrash;  // $XDG_DATA_HOME/Trash
    std::string topFolder;  // top folder of the file's mount
    uid_t uid = 0;
    // $topFolder/.Trash exists, is a folder and not a symbolic link, and has
    // the sticky bit set.
    bool sharedTrashUsable = false;
};

// The trash folders to try for a file, best first.
std::vector<TrashCandidate> ChooseTrashFolders(const TrashSituation& situation);

// The info file's Path value: every byte but the unreserved characters of
// RFC 2396 and '/' percent-encoded.
std::string EncodeTrashPath(const std::string& path);

// The reverse of EncodeTrashPath for any percent-encoded text; false when a
// '%' is not followed by two hexadecimal digits.
bool DecodeTrashPath(const std::string& encoded, std::string* path);

}  // namespace brelvix::platform
