#include "platform/xdg.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace brelvix::platform {

namespace {

std::string FromEnvironmentOrHome(const char* variable, const char* fallbackUnderHome)
{
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') {
        return value;
    }
    std::string home = HomeDirectory();
    if (home.empty()) {
        return {};
    }
    if (home.back() != '/') {
        home += '/';
    }
    return home + fallbackUnderHome;
}

}  // namespace

std::string HomeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return home;
    }
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE && buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (found == nullptr || found->pw_dir == nullptr) {
        return {};
    }
    return found->pw_dir;
}

std::string XdgConfigHome()
{
    return FromEnvironmentOrHome("XDG_CONFIG_HOME", ".config");
}

std::string XdgDataHome()
{
    return FromEnvironmentOrHome("XDG_DATA_HOME", ".local/share");
}

}  // namespace brelvix::platform
