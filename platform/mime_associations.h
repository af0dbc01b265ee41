// Making the program the desktop's default application for file types, the
// way Linux desktops read it: a desktop entry that names the program, and
// the types' lines in the user's mimeapps.list.
//
// mimeapps.list is edited line by line: the lines of the types being set
// change, and every other line (comments, other types, other sections, the
// user's own spacing) stays byte for byte. The file is replaced atomically.
// A file that is not valid text or that the desktop's own key-file reader
// (GLib's) refuses is never rewritten: the association fails and the file
// stays as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brelvix::platform {

// The desktop entry's file name, which is also its id in mimeapps.list.
inline constexpr char kDesktopId[] = "brelvix.desktop";

// The folders the desktop reads, per the XDG base directory scheme.
struct DesktopFolders {
    std::string configHome;             // holds mimeapps.list
    std::string dataHome;               // the user's applications/ folder is below it
    std::vector<std::string> dataDirs;  // installed applications/ folders are below them

    // $XDG_CONFIG_HOME, $XDG_DATA_HOME and $XDG_DATA_DIRS (default
    // /usr/local/share:/usr/share) at the time of the call.
    static DesktopFolders FromEnvironment();
};

struct AssociationResult {
    bool ok = true;
    // On failure: the file or folder that could not be read or written, and
    // a sentence for the user that names it.
    std::string file;
    std::string message;
};

// Returns `text`, a mimeapps.list, with `desktopId` as the default
// application of each of `mimeTypes` ([Default Applications]) and first in
// its associations ([Added Associations]), and no longer among its removed
// associations ([Removed Associations]). Missing sections and lines are
// added at the end. nullopt when `text` is not UTF-8 text that a key-file
// reader accepts.
std::optional<std::string> SetDefaultApplication(std::string_view text, const std::vector<std::string>& mimeTypes,
                                                 const std::string& desktopId);

// Exec value of a desktop entry that starts `programPath` with one file:
// the path, quoted and escaped as the desktop entry format requires when it
// holds reserved characters, followed by " %f".
std::string DesktopExecLine(const std::string& programPath);

// Makes the program at `programPath` the default application for
// `mimeTypes`:
//  1. The desktop entry: an installed kDesktopId (under one of
//     folders.dataDirs) whose Exec starts this very program is used as it
//     is; otherwise `entryTemplate` (a desktop entry) with its Exec set to
//     DesktopExecLine(programPath) is written to
//     folders.dataHome/applications/kDesktopId, which also takes precedence
//     over an installed entry that starts another program.
//  2. folders.configHome/mimeapps.list is edited (SetDefaultApplication) and
//     replaced atomically; missing folders and the file are created.
//  3. update-desktop-database is run on the user's applications folder, when
//     that program exists, so menus and "Open with" lists see the entry.
// Nothing is partly written: a failure in step 1 or 2 leaves mimeapps.list
// as it was.
AssociationResult SetAsDefaultApplication(const std::vector<std::string>& mimeTypes, const std::string& programPath,
                                          const std::string& entryTemplate, const DesktopFolders& folders);

}  // namespace brelvix::platform
