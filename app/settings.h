// Typed values in one key of the per-user registry store.
//
// A RegistryKey is a local object whose life is one load, one save or one
// association write: it opens the key when constructed (creating it only when
// asked to); reads answer from the store's file as parsed once (again only
// after it changed) and every write reaches the file. Reads and writes report
// success as a boolean; the settings code ignores it, so a
// missing key or an unreadable store simply leaves the defaults in place.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry_store.h"

class QWidget;

namespace brelvix::app {

// The settings key below the current user's root.
inline constexpr char kSettingsKeyPath[] = "SOFTWARE\\Dunmere Corporation\\Brelvix";

enum class RegistryRoot {
    CurrentUser,  // the user's settings
    ClassesRoot,  // file types and their openers
};

class RegistryKey {
public:
    enum OpenMode {
        kOpenExisting,  // never creates the key; reads and writes fail without it
        kCreate,        // creates the key (and the keys above it) when missing
    };

    // Opens `path` below `root` in the store at platform::RegistryStore::DefaultPath().
    RegistryKey(RegistryRoot root, const std::string& path, OpenMode mode = kOpenExisting);
    // The same in the store file `storePath` (tests point it anywhere).
    RegistryKey(const std::string& storePath, RegistryRoot root, const std::string& path,
                OpenMode mode = kOpenExisting);

    // The key exists and reads and writes may succeed.
    bool IsOpen() const { return open; }
    // The key's full path inside the store, root included.
    const std::string& KeyPath() const { return keyPath; }

    // Reads succeed only for a value whose data has exactly the destination's
    // size (4 bytes, 8 bytes); the stored type tag is not compared. On
    // failure the destination keeps its value.
    bool ReadDword(const std::string& name, std::int32_t* destination);
    bool ReadDouble(const std::string& name, double* destination);
    // Any length; the stored bytes without a terminator.
    bool ReadString(const std::string& name, std::string* destination);

    // The dword tag with 4 little-endian bytes.
    bool WriteDword(const std::string& name, std::int32_t value);
    // The dword tag with the 8 bytes of the double: it reads back bit for bit.
    bool WriteDouble(const std::string& name, double value);
    // The string tag with the text's bytes, no terminating zero.
    bool WriteString(const std::string& name, const std::string& text);
    // The none tag with no data.
    bool WriteEmptyValue(const std::string& name);

    // Groups the writes that follow into one replacement of the store file,
    // made by CommitChanges (or when the key goes); see platform::RegistryStore.
    void BeginChanges() { store.BeginChanges(); }
    bool CommitChanges() { return store.CommitChanges(); }

    platform::RegistryStore& Store() { return store; }

private:
    bool Read(const std::string& name, std::size_t size, void* destination);

    platform::RegistryStore store;
    std::string keyPath;
    bool open = false;
};

// Tells the user, in one message box shown once the event loop runs, when the
// store's file cannot be read, cannot be written, or held nothing usable and
// was set aside, naming the file: settings are then not what the user chose,
// or will not be kept. Says nothing when all is well.
void ReportSettingsFileProblem(QWidget* parent, platform::RegistryStore& store);

}  // namespace brelvix::app
