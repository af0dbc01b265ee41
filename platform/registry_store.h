// The per-user registry: keys holding named, typed values, kept in one
// human-readable file (by default $XDG_CONFIG_HOME/brelvix/registry).
//
// Keys are backslash-separated paths ("HKEY_CURRENT_USER\SOFTWARE\...");
// the first component is, by the callers' convention, the root key, but the
// store gives no component a special meaning. Key paths and value names are
// compared without regard to ASCII letter case, as the registry does; a key or
// value keeps the spelling it was created with. Empty path components
// ("A\\B", a leading or trailing backslash) make a key path invalid; every
// operation on an invalid path fails. The empty value name is the key's
// default (unnamed) value.
//
// A value is a type tag and the exact bytes given: an 8-byte double under the
// dword tag, strings without a terminating zero, strings holding newlines or
// bytes that are not UTF-8, and empty values all read back unchanged.
//
// The file is the only state (outside grouped changes, see BeginChanges).
// Queries answer from the file as last read, and read it again only when it
// has changed since (another identity: device, inode, size or times), so a
// run of queries parses it once. Every change reads the file again, applies
// the change and replaces the file atomically (QSaveFile), under a lock file
// beside it (QLockFile, "<file>.lock"). A crash never leaves half a file, and
// two processes sharing the store never lose each other's other values; the
// last write of one value wins.
//
// The file is read line by line. A line the store does not understand (a
// value a later version wrote, a hand edit, a line cut short) is kept byte
// for byte and written back where it stood; what parses is used. A missing
// or empty file is an empty store. A file in which nothing is recognisable
// (nor the header line, nor a key, nor a value) reads as an empty store and
// is renamed aside to "<file>.corrupt-YYYYmmdd-HHMMSS" (with "-2", "-3"...
// when that name is taken) the first time the store touches it; the next
// change starts a fresh file. A file that cannot be read (no permission, or
// larger than 16 MiB) reads as an empty store and is never renamed nor
// replaced: changes fail. See Problem.
//
// Temporary files that writers killed halfway left beside the file are
// removed by the next change once they are a minute old.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brelvix::platform {

// Type tags, with the numbers the registry gives them.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;

struct RegistryStoreState;

class RegistryStore {
public:
    // `filePath` is the store's file; its folder is created (mode 0700) by the
    // first change when it does not exist. Nothing is read here.
    explicit RegistryStore(std::string filePath);
    // Commits changes still pending (see BeginChanges).
    virtual ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // "<XdgConfigHome()>/brelvix/registry", from the environment at the time
    // of the call; empty when there is no home folder.
    static std::string DefaultPath();

    const std::string& FilePath() const { return filePath; }

    enum class FileProblem {
        kNone,
        kUnreadable,  // it cannot be read: empty store, changes fail
        kReadOnly,    // it, or its folder, cannot be written: changes fail
        kKeptAside,   // nothing in it was recognisable: this store renamed it
                      // to KeptAsidePath()
    };
    // What is wrong with the file, reading it first if it changed since it
    // was last read.
    FileProblem Problem();
    // Where the file was renamed to when this store last kept it aside;
    // empty when it did not.
    const std::string& KeptAsidePath() const;

    // True when the key exists. A key exists once created, and so does every
    // key above it.
    bool KeyExists(const std::string& key);

    // Creates the key and every missing key above it. True when the key exists
    // afterwards (also when it existed before); false for an invalid path or
    // when the file cannot be replaced.
    bool CreateKey(const std::string& key);

    // Reads a value. True when the key and the value exist; then `type` and
    // `data` (each may be null) receive its tag and bytes. On false both are
    // left as they were.
    bool QueryValue(const std::string& key, const std::string& name, std::uint32_t* type,
                    std::vector<std::uint8_t>* data);

    // Creates or replaces a value. Fails, changing nothing, when the key does
    // not exist (keys are never created implicitly) or the file cannot be
    // replaced. `data` may be null when `size` is 0.
    bool SetValue(const std::string& key, const std::string& name, std::uint32_t type, const void* data,
                  std::size_t size);

    // Groups changes so that many values cost one replacement of the file
    // (each replacement waits for the disk). After BeginChanges, CreateKey
    // and SetValue answer as usual but act on the store as read at
    // that moment, and queries see their effect; CommitChanges then reads the
    // file again, applies the same changes in order (dropping any that no
    // longer apply, such as a value for a key another process removed) and
    // replaces it once. Returns whether that succeeded (true when nothing was
    // pending). A second BeginChanges before the commit changes nothing.
    void BeginChanges();
    bool CommitChanges();

private:
    std::string filePath;
    std::unique_ptr<RegistryStoreState> state;
};

}  // namespace brelvix::platform
