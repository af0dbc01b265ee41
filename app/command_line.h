// The command line as Linux programs take it: options first or anywhere,
// "--" ends them, the first other argument is the picture or folder to
// open. The toolkit's own options (-platform, -style, -display...) are
// recognised and handed on to it, so that they are neither refused nor
// taken for a picture.
#pragma once

#include <string>
#include <vector>

namespace brelvix::app {

enum class CommandLineRequest {
    OpenPicture,    // open `picture` (the Open dialog when it is empty)
    ShowHelp,       // -h or --help
    ShowVersion,    // --version
    UnknownOption,  // `problem` says which; the usage goes to standard error, exit status 2
};

struct CommandLine {
    CommandLineRequest request = CommandLineRequest::OpenPicture;
    std::string picture;               // the first argument that is not an option, as given
    std::vector<std::string> ignored;  // the further ones
    // The toolkit's options with their values, in their order, for the
    // toolkit's own argument list.
    std::vector<std::string> toolkitArguments;
    std::string problem;  // for UnknownOption: "unknown option --bogus"
};

// Reads the arguments after the program name. Options are read in order
// until "--"; the first of -h/--help, --version or an option nobody knows
// decides the request. A lone "-" is an argument, not an option.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The line that tells the user which arguments were ignored, or "" when
// none were.
std::string IgnoredArgumentsNote(const CommandLine& commandLine);

// The picture path an argument names, absolute against `currentFolder`
// (symbolic links kept, "." steps dropped). An argument that starts with a
// double quote and names no file as it stands comes from a launcher that
// quoted the path into it: its first and last characters are dropped, as
// the program has always done with a quoted command line.
std::string PicturePathFromArgument(const std::string& argument, const std::string& currentFolder);

// For standard output: how to start the program, and "Brelvix 2.1".
std::string UsageText();
std::string VersionText();

// The picture to open for `path`: a folder gives its first picture in the
// order the viewer lists it (with its subfolders when
// `includeSubdirectories`), or the empty path when it holds none, so that the
// user is asked; any other path is returned as it is.
std::string PictureForPath(const std::string& path, bool includeSubdirectories);

}  // namespace brelvix::app
