#include "platform/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/file_util.h"
#include "platform/xdg.h"

namespace brelvix::platform {

namespace {

// Entry names must leave room for the ".trashinfo" suffix within the usual
// 255-byte limit of a file name.
constexpr size_t kInfoSuffixLength = sizeof(".trashinfo") - 1;
constexpr size_t kMaxEntryName = 255 - kInfoSuffixLength;
// An extension is kept apart from the number only while it looks like one.
constexpr size_t kMaxExtension = 16;
constexpr int kMaxAttempts = 10000;

TrashResult Fail(std::string* error, const std::string& reason)
{
    if (error != nullptr) {
        *error = reason;
    }
    return TrashResult::kFailed;
}

std::string SystemReason(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// At most `limit` bytes of `text`, not cutting a UTF-8 sequence in two.
std::string Shorten(const std::string& text, size_t limit)
{
    if (text.size() <= limit) {
        return text;
    }
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return text.substr(0, cut);
}

// The attempt-th name for an entry: the file's own name first, then
// "stem.2.ext", "stem.3.ext"... so the extension still tells the type.
std::string EntryName(const std::string& name, int attempt)
{
    std::string stem = name;
    std::string extension;
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0 && name.size() - dot <= kMaxExtension) {
        stem = name.substr(0, dot);
        extension = name.substr(dot);
    }
    const std::string number = attempt == 1 ? std::string() : '.' + std::to_string(attempt);
    if (attempt == 1 && name.size() <= kMaxEntryName) {
        return name;
    }
    return Shorten(stem, kMaxEntryName - number.size() - extension.size()) + number + extension;
}

std::string DeletionDate()
{
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

void RecordIdentity(const struct stat& status, TrashEntry* entry)
{
    entry->device = static_cast<std::uint64_t>(status.st_dev);
    entry->inode = static_cast<std::uint64_t>(status.st_ino);
    entry->size = status.st_size;
    entry->changedSeconds = status.st_ctim.tv_sec;
    entry->changedNanoseconds = status.st_ctim.tv_nsec;
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// The mount `path` is on, as the kernel numbers mounts; 0 when it cannot
// tell. Two bind mounts of one device share the device number, but a file
// cannot be renamed from one to the other.
std::uint64_t MountOf(const std::string& path)
{
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &info) != 0 ||
        (info.stx_mask & STATX_MNT_ID) == 0) {
        return 0;
    }
    return info.stx_mnt_id;
}

// The device and mount of `path`, or of its nearest ancestor that exists.
dev_t DeviceOf(std::string path, std::uint64_t* mount)
{
    struct stat info {};
    while (stat(path.c_str(), &info) != 0) {
        const std::string parent = ParentFolder(path);
        if (parent == path) {
            return 0;
        }
        path = parent;
    }
    *mount = MountOf(path);
    return info.st_dev;
}

// The top folder of the mount that holds `folder` (a canonical path): the
// device's mount point, or the top of a bind mount of part of it.
std::string TopFolder(std::string folder, dev_t device, std::uint64_t mount)
{
    while (folder != "/") {
        const std::string parent = ParentFolder(folder);
        struct stat info {};
        if (stat(parent.c_str(), &info) != 0 || info.st_dev != device || (mount != 0 && MountOf(parent) != mount)) {
            break;
        }
        folder = parent;
    }
    return folder;
}

// Creates a per-user trash folder on a shared device, or accepts the one there
// if it really is the user's own folder: on a device other users can write to,
// anything else could be a trap laid by one of them.
bool PrepareOwnFolder(const std::string& folder, uid_t uid)
{
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info {};
    return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid;
}

}  // namespace

std::string EncodeTrashPath(const std::string& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') ||
                                (byte != 0 && std::strchr("-_.!~*'()/", byte) != nullptr);
        if (unreserved) {
            out += c;
            continue;
        }
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
    }
    return out;
}

bool DecodeTrashPath(const std::string& encoded, std::string* path)
{
    const auto hex = [](char c) {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    };
    path->clear();
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            *path += encoded[i];
            continue;
        }
        const int high = i + 2 < encoded.size() ? hex(encoded[i + 1]) : -1;
        const int low = i + 2 < encoded.size() ? hex(encoded[i + 2]) : -1;
        if (high < 0 || low < 0) {
            return false;
        }
        *path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

std::vector<TrashCandidate> ChooseTrashFolders(const TrashSituation& situation)
{
    if (!situation.homeTrash.empty() && situation.fileDevice == situation.homeTrashDevice &&
        situation.fileMount == situation.homeTrashMount) {
        return {{situation.homeTrash, false, false}};
    }
    if (situation.topFolder.empty()) {
        return {};
    }
    const std::string top = situation.topFolder == "/" ? std::string() : situation.topFolder;
    const std::string uid = std::to_string(situation.uid);
    std::vector<TrashCandidate> candidates;
    if (situation.sharedTrashUsable) {
        candidates.push_back({top + "/.Trash/" + uid, true, true});
    }
    candidates.push_back({top + "/.Trash-" + uid, true, true});
    return candidates;
}

TrashResult MoveIntoTrashFolder(const std::string& absolutePath, const std::string& trashFolder,
                                const std::string& recordedPath, std::string* error, TrashEntry* entry)
{
    struct stat status {};
    if (lstat(absolutePath.c_str(), &status) != 0) {
        return Fail(error, SystemReason(absolutePath));
    }
    const std::string files = trashFolder + "/files/";
    const std::string info = trashFolder + "/info/";
    if (!MakeFolders(files, 0700) || !MakeFolders(info, 0700)) {
        return Fail(error, SystemReason("cannot set up the trash folder " + trashFolder));
    }
    const size_t slash = absolutePath.find_last_of('/');
    const std::string name = slash == std::string::npos ? absolutePath : absolutePath.substr(slash + 1);
    const std::string contents =
        "[Trash Info]\nPath=" + EncodeTrashPath(recordedPath) + "\nDeletionDate=" + DeletionDate() + "\n";

    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        const std::string entryName = EntryName(name, attempt);
        const std::string infoPath = info + entryName + ".trashinfo";
        // Creating the info file exclusively is what reserves the name against
        // other programs trashing at the same moment.
        const int file = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (file < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return Fail(error, SystemReason(infoPath));
        }
        // A file left in files/ without its info file must not be replaced.
        if (Exists(files + entryName)) {
            close(file);
            unlink(infoPath.c_str());
            continue;
        }
        bool written = WriteAll(file, contents.data(), contents.size()) && fsync(file) == 0;
        written = close(file) == 0 && written;
        if (!written) {
            const std::string reason = SystemReason(infoPath);
            unlink(infoPath.c_str());
            return Fail(error, reason);
        }
        if (RenameNoReplace(absolutePath, files + entryName) == 0) {
            if (entry != nullptr) {
                // The move itself changed the entry's status time.
                lstat((files + entryName).c_str(), &status);
                *entry = TrashEntry{absolutePath, files + entryName, infoPath};
                RecordIdentity(status, entry);
            }
            return TrashResult::kDone;
        }
        const int renameError = errno;
        unlink(infoPath.c_str());
        if (renameError != EEXIST) {
            errno = renameError;
            return Fail(error, SystemReason(absolutePath));
        }
    }
    return Fail(error, "no free name in the trash for " + name);
}

TrashResult MoveToTrash(const std::string& path, std::string* error, TrashEntry* entry)
{
    // Split off the last component; trailing slashes of a folder do not count.
    const size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) {
        return Fail(error, "nothing to trash");
    }
    const std::string trimmed = path.substr(0, end + 1);
    const size_t slash = trimmed.find_last_of('/');
    const std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (name == "." || name == "..") {
        return Fail(error, "cannot trash " + path);
    }
    struct stat file {};
    if (lstat(trimmed.c_str(), &file) != 0) {
        return Fail(error, SystemReason(path));
    }
    // The folder path without symbolic links, so that the recorded location
    // and the device's top folder agree with where the file really is.
    char* folder = realpath(ParentFolder(trimmed).c_str(), nullptr);
    if (folder == nullptr) {
        return Fail(error, SystemReason(path));
    }
    const std::string canonicalFolder = folder;
    free(folder);
    const std::string absolutePath = (canonicalFolder == "/" ? "" : canonicalFolder) + '/' + name;

    // Moving a file anywhere changes its folder. When the folder does not
    // allow that (no write permission, a read-only mount), that is what the
    // user needs to hear; every trash would refuse for the same cause, each
    // in its own words (a bind mount answers "Invalid cross-device link").
    if (access(canonicalFolder.c_str(), W_OK | X_OK) != 0) {
        return Fail(error, SystemReason("cannot remove files from " + canonicalFolder));
    }

    TrashSituation situation;
    situation.fileDevice = file.st_dev;
    situation.fileMount = MountOf(absolutePath);
    const std::string dataHome = XdgDataHome();
    if (!dataHome.empty()) {
        situation.homeTrash = dataHome + "/Trash";
        situation.homeTrashDevice = DeviceOf(situation.homeTrash, &situation.homeTrashMount);
    }
    situation.uid = getuid();
    situation.topFolder = TopFolder(canonicalFolder, file.st_dev, situation.fileMount);
    struct stat shared {};
    const std::string sharedTrash = (situation.topFolder == "/" ? "" : situation.topFolder) + "/.Trash";
    situation.sharedTrashUsable =
        lstat(sharedTrash.c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX) != 0;

    const std::vector<TrashCandidate> candidates = ChooseTrashFolders(situation);
    if (candidates.empty()) {
        return Fail(error, "no trash for " + path);
    }
    // The first candidate is where the file belongs; a fallback's failure
    // says little about why the file is still there.
    std::string firstReason;
    for (const TrashCandidate& candidate : candidates) {
        std::string reason;
        if (candidate.mustBeOwnFolder && !PrepareOwnFolder(candidate.folder, situation.uid)) {
            reason = "cannot use the trash folder " + candidate.folder;
        } else {
            std::string recorded = absolutePath;
            if (candidate.relativePaths) {
                recorded = situation.topFolder == "/" ? absolutePath.substr(1)
                                                      : absolutePath.substr(situation.topFolder.size() + 1);
            }
            if (MoveIntoTrashFolder(absolutePath, candidate.folder, recorded, &reason, entry) == TrashResult::kDone) {
                return TrashResult::kDone;
            }
        }
        if (firstReason.empty()) {
            firstReason = reason;
        }
    }
    return Fail(error, firstReason);
}

namespace {

RestoreResult RestoreFail(std::string* error, RestoreResult result, const std::string& reason)
{
    if (error != nullptr) {
        *error = reason;
    }
    return result;
}

// The Path value of an info file, decoded; false when the file cannot be
// read (errno tells why) or holds no usable Path.
bool ReadRecordedPath(const std::string& infoPath, std::string* path, bool* readable)
{
    *readable = false;
    const int file = open(infoPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return false;
    }
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while (text.size() < 64 * 1024 && (got = read(file, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(file);
    *readable = got == 0;
    // The first Path key of the [Trash Info] group.
    bool inGroup = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line[0] == '[') {
            inGroup = line == "[Trash Info]";
        } else if (inGroup && line.compare(0, 5, "Path=") == 0) {
            return DecodeTrashPath(line.substr(5), path) && !path->empty();
        }
    }
    return false;
}

// A recorded path that climbs out of where it points ("..") is not one this
// program or a file manager writes.
bool HasParentStep(const std::string& path)
{
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        end = end == std::string::npos ? path.size() : end;
        if (path.compare(start, end - start, "..") == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// The top folder a device's trash records paths against: the parent of
// $top/.Trash-$uid, or the grandparent of $top/.Trash/$uid.
std::string TopFolderOfTrash(const std::string& trashFolder)
{
    const std::string parent = ParentFolder(trashFolder);
    const std::string name = trashFolder.substr(trashFolder.find_last_of('/') + 1);
    return name.compare(0, 7, ".Trash-") == 0 ? parent : ParentFolder(parent);
}

}  // namespace

RestoreResult RestoreFromTrash(const TrashEntry& entry, std::string* error)
{
    std::string recorded;
    bool readable = false;
    if (!ReadRecordedPath(entry.infoPath, &recorded, &readable) || HasParentStep(recorded)) {
        if (readable || !recorded.empty()) {
            return RestoreFail(error, RestoreResult::kFailed, "its trash information is damaged: " + entry.infoPath);
        }
        if (errno == ENOENT) {
            return RestoreFail(error, RestoreResult::kGone, "it is no longer in the trash");
        }
        return RestoreFail(error, RestoreResult::kFailed, SystemReason(entry.infoPath));
    }
    struct stat trashed {};
    if (lstat(entry.filesPath.c_str(), &trashed) != 0) {
        return RestoreFail(error, RestoreResult::kGone, "it is no longer in the trash");
    }
    // The same entry name may since have been given to another file.
    TrashEntry found;
    RecordIdentity(trashed, &found);
    if ((entry.device != 0 || entry.inode != 0) &&
        (found.device != entry.device || found.inode != entry.inode || found.size != entry.size ||
         found.changedSeconds != entry.changedSeconds || found.changedNanoseconds != entry.changedNanoseconds)) {
        return RestoreFail(error, RestoreResult::kGone, "it is no longer in the trash");
    }
    std::string original = recorded;
    if (original[0] != '/') {
        const std::string top = TopFolderOfTrash(ParentFolder(ParentFolder(entry.infoPath)));
        original = (top == "/" ? "" : top) + '/' + recorded;
    }
    if (Exists(original)) {
        return RestoreFail(error, RestoreResult::kOccupied, "a file named " + original + " exists again");
    }
    if (!MakeFolders(ParentFolder(original), 0777)) {
        return RestoreFail(error, RestoreResult::kFailed, SystemReason(ParentFolder(original)));
    }
    if (RenameNoReplace(entry.filesPath, original) != 0) {
        if (errno == EEXIST) {
            return RestoreFail(error, RestoreResult::kOccupied, "a file named " + original + " exists again");
        }
        if (errno == ENOENT && !Exists(entry.filesPath)) {
            return RestoreFail(error, RestoreResult::kGone, "it is no longer in the trash");
        }
        return RestoreFail(error, RestoreResult::kFailed, SystemReason(original));
    }
    // The file is back; an info file left behind would only make the trash
    // list an entry without a file.
    unlink(entry.infoPath.c_str());
    return RestoreResult::kDone;
}

void TrashHistory::Remember(const TrashEntry& entry)
{
    entries.push_back(entry);
    if (entries.size() > kLimit) {
        entries.erase(entries.begin());
    }
}

RestoreResult TrashHistory::UndoLatest(TrashEntry* entry, std::string* error)
{
    if (entries.empty()) {
        if (entry != nullptr) {
            *entry = TrashEntry();
        }
        return RestoreFail(error, RestoreResult::kGone, "nothing was moved to the trash");
    }
    if (entry != nullptr) {
        *entry = entries.back();
    }
    const RestoreResult result = RestoreFromTrash(entries.back(), error);
    if (result == RestoreResult::kDone || result == RestoreResult::kGone) {
        entries.pop_back();
    }
    return result;
}

}  // namespace brelvix::platform
