#include "platform/launch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#if __has_include(<linux/close_range.h>)
#include <linux/close_range.h>
#endif

extern char** environ;

namespace brelvix::platform {

namespace {

bool IsExecutableFile(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The file to execute. The search happens here, before forking, because
// between fork and exec only async-signal-safe calls are allowed (the viewer
// has threads).
std::string ResolveProgram(const std::string& program)
{
    if (program.find('/') != std::string::npos) {
        return program;
    }
    const char* path = std::getenv("PATH");
    const std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) {
            end = folders.size();
        }
        // An empty entry means the current folder.
        const std::string folder = end == start ? "." : folders.substr(start, end - start);
        const std::string candidate = folder + '/' + program;
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

// Runs in the grandchild: a clean signal state, no stray descriptors, then exec.
[[noreturn]] void ExecProgram(const char* file, char* const* argv, int report)
{
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Dispositions set to "ignore" survive exec; programs expect defaults.
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) {
        sigaction(sig, &defaults, nullptr);
    }
#ifdef CLOSE_RANGE_CLOEXEC
    // Descriptors the viewer opened without close-on-exec stay with it.
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
#endif
    execve(file, argv, environ);
    const int error = errno;
    ssize_t ignored = write(report, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

}  // namespace

bool LaunchDetached(const std::string& program, const std::vector<std::string>& arguments)
{
    if (program.empty()) {
        return false;
    }
    const std::string file = ResolveProgram(program);
    if (file.empty()) {
        return false;
    }
    std::vector<std::string> strings;
    strings.reserve(arguments.size() + 1);
    strings.push_back(program);
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : strings) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    // The grandchild reports a failed exec through this pipe; a successful
    // exec closes it (close-on-exec), which the parent reads as success.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    const pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        // The intermediate child: a new session, then the real program in a
        // grandchild that init adopts once this one exits.
        close(report[0]);
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            ExecProgram(file.c_str(), argv.data(), report[1]);
        }
        if (grandchild < 0) {
            const int error = errno;
            ssize_t ignored = write(report[1], &error, sizeof error);
            (void)ignored;
        }
        _exit(0);
    }
    close(report[1]);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    do {
        got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    return got == 0;
}

bool OpenUrl(const std::string& url)
{
    return LaunchDetached("xdg-open", {url});
}

}  // namespace brelvix::platform
