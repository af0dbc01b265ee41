#include "app/command_line.h"

#include <sys/stat.h>

#include "app/about_dialog.h"
#include "viewer/file_list.h"

namespace brelvix::app {

CommandLineRequest RequestOf(const std::vector<std::string>& arguments)
{
    if (arguments.size() != 1) {
        return CommandLineRequest::OpenPicture;
    }
    if (arguments[0] == "-h" || arguments[0] == "--help") {
        return CommandLineRequest::ShowHelp;
    }
    if (arguments[0] == "--version") {
        return CommandLineRequest::ShowVersion;
    }
    return CommandLineRequest::OpenPicture;
}

std::string UsageText()
{
    return "Usage: brelvix [PICTURE | FOLDER]\n"
           "Shows PICTURE and lists the pictures of its folder to step through; with\n"
           "a FOLDER, starts at its first picture. Without either, asks for a picture.\n"
           "\n"
           "  -h, --help   show this help and exit\n"
           "  --version    show the version and exit\n";
}

std::string VersionText()
{
    return std::string("Brelvix ") + kProgramVersion + "\n";
}

std::string PictureForPath(const std::string& path, bool includeSubdirectories)
{
    struct stat status {};
    if (path.empty() || stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return path;
    }
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    FileList list;
    if (!list.ScanFolder(folder, includeSubdirectories) || list.Entries().empty()) {
        return std::string();
    }
    return list.Entries().front();
}

}  // namespace brelvix::app
