// What the command line may ask for besides a picture: help, the version,
// or a folder to start in. The picture path itself is the entry's (the whole
// tail of the command line is one path).
#pragma once

#include <string>
#include <vector>

namespace brelvix::app {

enum class CommandLineRequest {
    OpenPicture,  // the arguments name a picture or folder, or nothing
    ShowHelp,     // the only argument is -h or --help
    ShowVersion,  // the only argument is --version
};

// A lone option is a request; anything else, options among other words
// included, is left to be read as a path.
CommandLineRequest RequestOf(const std::vector<std::string>& arguments);

// For standard output: how to start the program, and "Brelvix 2.1".
std::string UsageText();
std::string VersionText();

// The picture to open for `path`: a folder gives its first picture in the
// order the viewer lists it (with its subfolders when
// `includeSubdirectories`), or the empty path when it holds none, so that the
// user is asked; any other path is returned as it is.
std::string PictureForPath(const std::string& path, bool includeSubdirectories);

}  // namespace brelvix::app
