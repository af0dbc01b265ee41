// Start-up helpers of the program's entry, kept apart from main() so tests
// can reach them.
#pragma once

#include <string>
#include <vector>

namespace brelvix::app {

// The arguments after the program name, joined by single spaces: the command
// line's tail.
std::string CommandLineTail(const std::vector<std::string>& arguments);

// The picture path a tail names: when it starts with a double quote, the
// first and the last character are dropped (the last is taken as the closing
// quote, whatever it is); otherwise the tail is taken whole. A relative path
// is made absolute against `currentFolder` without resolving symbolic links
// ("." components are dropped, ".." kept), so the picture's folder lists the
// way it would for a path from the desktop. An empty result means "ask with
// the Open dialog".
std::string PicturePathFromTail(const std::string& tail, const std::string& currentFolder);

// The current folder as the user's shell names it: $PWD when it is absolute
// and is this process's current folder (symbolic links kept), else the
// resolved one.
std::string CurrentFolder();

}  // namespace brelvix::app
