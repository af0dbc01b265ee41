#include "platform/launch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform_test_util.h"
#include "support/temp_dir.h"

namespace brelvix::platform {

namespace {

namespace fs = std::filesystem;

// Waits (at most ten seconds) for a file that a launched program writes.
std::string WaitForFile(const fs::path& path)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(path) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadText(path);
}

// A shell command that writes its arguments, one a line, to the file named
// by its first argument, appearing there complete in one rename.
const char* const kRecordArguments =
    "out=$1; shift; printf '%s\\n' \"$#\" \"$@\" > \"$out.tmp\"; mv \"$out.tmp\" \"$out\"";

TEST(LaunchDetached, HandsEachArgumentOverWhole)
{
    TempDir folder;
    const fs::path out = folder.Path() / "arguments";
    ASSERT_TRUE(LaunchDetached("/bin/sh", {"-c", kRecordArguments, "sh", out.string(), "/pictures/my holiday 1.jpg", "",
                                           "two\nlines", "$HOME *"}));
    EXPECT_EQ(WaitForFile(out), "4\n/pictures/my holiday 1.jpg\n\ntwo\nlines\n$HOME *\n");
}

TEST(LaunchDetached, ProgramRunsDetachedInItsOwnSession)
{
    TempDir folder;
    const fs::path out = folder.Path() / "stat";
    ASSERT_TRUE(
        LaunchDetached("/bin/sh", {"-c", "cat /proc/$$/stat > \"$1.tmp\"; mv \"$1.tmp\" \"$1\"", "sh", out.string()}));
    // Nothing is left for this process to reap.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    // Fields after the command name: state, parent, process group, session.
    const std::string stat = WaitForFile(out);
    const size_t close = stat.rfind(')');
    ASSERT_NE(close, std::string::npos) << stat;
    char state = 0;
    long parent = 0;
    long group = 0;
    long session = 0;
    ASSERT_EQ(sscanf(stat.c_str() + close + 1, " %c %ld %ld %ld", &state, &parent, &group, &session), 4) << stat;
    EXPECT_NE(parent, static_cast<long>(getpid()));
    EXPECT_NE(session, static_cast<long>(getsid(0)));
}

TEST(LaunchDetached, FindsProgramsOnThePath)
{
    TempDir folder;
    const fs::path out = folder.Path() / "arguments";
    folder.Write("bin/recorder", std::string("#!/bin/sh\n") + kRecordArguments + "\n");
    fs::permissions(folder.Path() / "bin" / "recorder", fs::perms::owner_all);
    ScopedEnv path("PATH", "/nonexistent::" + (folder.Path() / "bin").string() + ":/usr/bin:/bin");
    ASSERT_TRUE(LaunchDetached("recorder", {out.string(), "x y"}));
    EXPECT_EQ(WaitForFile(out), "1\nx y\n");
}

TEST(LaunchDetached, ReportsProgramsThatCannotStart)
{
    TempDir folder;
    const std::string plain = folder.Write("not-executable", "#!/bin/sh\nexit 0\n");
    fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write);
    // Executable, but its interpreter does not exist: exec itself fails.
    const std::string broken = folder.Write("broken", "#!/nonexistent/interpreter\n");
    fs::permissions(broken, fs::perms::owner_all);

    EXPECT_FALSE(LaunchDetached("", {}));
    EXPECT_FALSE(LaunchDetached("/nonexistent/editor", {"a.jpg"}));
    EXPECT_FALSE(LaunchDetached(plain, {"a.jpg"}));
    EXPECT_FALSE(LaunchDetached(broken, {"a.jpg"}));
    EXPECT_FALSE(LaunchDetached(folder.Path().string(), {}));
    {
        ScopedEnv path("PATH", folder.Path().string());
        EXPECT_FALSE(LaunchDetached("sh", {"-c", "exit 0"}));
    }
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(OpenUrl, HandsTheAddressToXdgOpen)
{
    TempDir folder;
    const fs::path out = folder.Path() / "arguments";
    folder.Write("bin/xdg-open",
                 std::string("#!/bin/sh\nset -- ") + out.string() + " \"$@\"\n" + kRecordArguments + "\n");
    fs::permissions(folder.Path() / "bin" / "xdg-open", fs::perms::owner_all);
    {
        ScopedEnv path("PATH", (folder.Path() / "bin").string() + ":/usr/bin:/bin");
        ASSERT_TRUE(OpenUrl("https://example.org/a b?x=1&y=2"));
        EXPECT_EQ(WaitForFile(out), "1\nhttps://example.org/a b?x=1&y=2\n");
    }
    ScopedEnv path("PATH", (folder.Path() / "empty").string());
    EXPECT_FALSE(OpenUrl("https://example.org/"));
}

}  // namespace

}  // namespace brelvix::platform
