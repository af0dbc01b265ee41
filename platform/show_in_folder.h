// Showing a file in the desktop's file manager, selected in its folder.
//
// Desktops' file managers (and the portals in front of them) answer the
// org.freedesktop.FileManager1 interface on the session bus; its ShowItems
// method opens a file's folder with the file selected. When no session bus
// exists or nothing answers there, the caller opens the folder itself
// instead, which every desktop can do but without the selection.
#pragma once

#include <functional>
#include <string>

namespace brelvix::platform {

enum class ShowInFolderResult {
    kShown,          // a file manager took the request
    kNoFileManager,  // the session bus has none, or it did not answer in time
    kNoSessionBus,   // there is no session bus to ask
};

// Whether a session bus can be reached without starting one:
// $DBUS_SESSION_BUS_ADDRESS, or the socket $XDG_RUNTIME_DIR/bus. Never
// launches a bus (as an X11 session's autolaunch would), so asking costs
// nothing where there is none. The address, when `address` is given.
bool HasSessionBus(std::string* address = nullptr);

// Asks the file manager to show `path` (made absolute against the current
// folder when relative) selected in its folder, and waits at most
// `timeoutMs` milliseconds for the answer; a file manager that the bus
// starts on demand needs that long to come up. `error` (when given)
// receives the bus's reason for every result but kShown.
ShowInFolderResult ShowInFileManager(const std::string& path, int timeoutMs = 5000, std::string* error = nullptr);

// The same without waiting: without a session bus `done` runs at once on
// the calling thread with kNoSessionBus; otherwise the request runs on a
// thread of its own and `done` runs there with the result, so it must hand
// the result over to the caller's thread and must not rely on anything that
// may be gone by then.
void ShowInFileManagerAsync(const std::string& path, std::function<void(ShowInFolderResult)> done,
                            int timeoutMs = 10000);

}  // namespace brelvix::platform
