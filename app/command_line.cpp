#include "app/command_line.h"

#include <sys/stat.h>

#include <algorithm>
#include <iterator>

#include "app/about_dialog.h"
#include "app/entry.h"
#include "viewer/file_list.h"

namespace brelvix::app {

namespace {

// The options Qt's application object takes out of the arguments itself:
// those of QGuiApplication, QApplication and the X11 platform. Each may be
// written with one dash or two.
const char* const kToolkitOptionsWithValue[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowtitle",
    "qwindowicon", "geometry",           "title",         "icon",   "display",         "name",
    "style",       "stylesheet",         "session",
};
const char* const kToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};
// Written only as "-name=value".
const char* const kToolkitJoinedOptions[] = {"style", "stylesheet", "qmljsdebugger"};

bool OneOf(const std::string& name, const auto& names)
{
    return std::any_of(std::begin(names), std::end(names), [&name](const char* known) { return name == known; });
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine result;
    std::vector<std::string> words;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            words.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "-h" || argument == "--help") {
            result.request = CommandLineRequest::ShowHelp;
            return result;
        }
        if (argument == "--version") {
            result.request = CommandLineRequest::ShowVersion;
            return result;
        }
        const std::string name = argument.substr(argument[1] == '-' ? 2 : 1);
        const std::size_t equals = name.find('=');
        if (OneOf(name, kToolkitFlags)) {
            result.toolkitArguments.push_back(argument);
        } else if (equals != std::string::npos && OneOf(name.substr(0, equals), kToolkitJoinedOptions)) {
            result.toolkitArguments.push_back(argument);
        } else if (OneOf(name, kToolkitOptionsWithValue)) {
            if (i + 1 == arguments.size()) {
                result.request = CommandLineRequest::UnknownOption;
                result.problem = "option " + argument + " needs a value";
                return result;
            }
            result.toolkitArguments.push_back(argument);
            result.toolkitArguments.push_back(arguments[++i]);
        } else {
            result.request = CommandLineRequest::UnknownOption;
            result.problem = "unknown option " + argument;
            return result;
        }
    }
    if (!words.empty()) {
        result.picture = words.front();
        result.ignored.assign(words.begin() + 1, words.end());
    }
    return result;
}

std::string IgnoredArgumentsNote(const CommandLine& commandLine)
{
    if (commandLine.ignored.empty()) {
        return std::string();
    }
    std::string note = "brelvix: opens one picture at a time; ignored:";
    for (const std::string& argument : commandLine.ignored) {
        note += ' ' + argument;
    }
    return note + '\n';
}

std::string PicturePathFromArgument(const std::string& argument, const std::string& currentFolder)
{
    struct stat status {};
    if (!argument.empty() && argument[0] == '"' && lstat((currentFolder + '/' + argument).c_str(), &status) == 0) {
        // A file whose name really starts with a quote: no quote to drop.
        return PicturePathFromTail("./" + argument, currentFolder);
    }
    return PicturePathFromTail(argument, currentFolder);
}

std::string UsageText()
{
    return "Usage: brelvix [PICTURE | FOLDER]\n"
           "Shows PICTURE and lists the pictures of its folder to step through; with\n"
           "a FOLDER, starts at its first picture. Without either, asks for a picture.\n"
           "\n"
           "  -h, --help   show this help and exit\n"
           "  --version    show the version and exit\n"
           "  --           end of the options: what follows is a picture, even if it\n"
           "               starts with -\n"
           "\n"
           "Qt's own options (such as -platform NAME or -style NAME) are passed on to it.\n";
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
