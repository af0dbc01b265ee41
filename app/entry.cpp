#include "app/entry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace brelvix::app {

std::string CommandLineTail(const std::vector<std::string>& arguments)
{
    std::string tail;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) {
            tail += ' ';
        }
        tail += arguments[i];
    }
    return tail;
}

namespace {

// Joins folder and relative path, dropping "." components and doubled
// slashes; ".." stays, since resolving it lexically would be wrong across a
// symbolic link.
std::string JoinWithoutDots(const std::string& folder, const std::string& relative)
{
    std::string result = folder;
    while (result.size() > 1 && result.back() == '/') {
        result.pop_back();
    }
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos) {
            end = relative.size();
        }
        const std::string part = relative.substr(start, end - start);
        if (!part.empty() && part != ".") {
            if (result.empty() || result.back() != '/') {
                result += '/';
            }
            result += part;
        }
        start = end + 1;
    }
    return result;
}

}  // namespace

std::string PicturePathFromTail(const std::string& tail, const std::string& currentFolder)
{
    std::string path = tail;
    if (!path.empty() && path.front() == '"') {
        path = path.size() < 2 ? std::string() : path.substr(1, path.size() - 2);
    }
    if (path.empty() || path.front() == '/' || currentFolder.empty()) {
        return path;
    }
    return JoinWithoutDots(currentFolder, path);
}

std::string CurrentFolder()
{
    const char* shellFolder = std::getenv("PWD");
    struct stat named {};
    struct stat current {};
    if (shellFolder != nullptr && shellFolder[0] == '/' && stat(shellFolder, &named) == 0 && stat(".", &current) == 0 &&
        named.st_dev == current.st_dev && named.st_ino == current.st_ino) {
        return shellFolder;
    }
    std::string buffer(256, '\0');
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return std::string();
        }
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(buffer.find('\0'));
    return buffer;
}

}  // namespace brelvix::app
