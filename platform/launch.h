// Starting other programs without waiting for them.
#pragma once

#include <string>
#include <vector>

namespace brelvix::platform {

// Starts `program` with `arguments`, each handed over as one argument exactly
// as given (a path with spaces stays one argument; nothing is split or
// quoted). A program name without a slash is looked up in $PATH at the time
// of the call. The program runs detached: in a session of its own, not a child
// of this process, so nobody has to wait for it and it outlives the viewer.
// It inherits the environment and the current folder.
//
// Returns true once the program has been executed, false when it could not be
// (no such program, not executable, no process available); a program that
// starts and then fails is not reported.
bool LaunchDetached(const std::string& program, const std::vector<std::string>& arguments);

// Opens a web address (or file) with the desktop's preferred application,
// through xdg-open. Returns whether xdg-open could be started.
bool OpenUrl(const std::string& url);

}  // namespace brelvix::platform
