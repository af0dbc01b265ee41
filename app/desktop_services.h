// The desktop services the application uses, behind names of its own: the
// trash's result type clashes with the view's, so only this file's source
// sees the platform's trash header.
#pragma once

#include <string>

// Moves the file to the user's trash; true when it is there.
bool MoveFileToTrash(const std::string& path);
