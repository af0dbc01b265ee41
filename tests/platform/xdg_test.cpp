#include "platform/xdg.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "platform_test_util.h"

namespace brelvix::platform {

namespace {

TEST(Xdg, AbsoluteVariablesWin)
{
    ScopedEnv home("HOME", "/home/u");
    ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    ScopedEnv data("XDG_DATA_HOME", "/data/share");
    EXPECT_EQ(XdgConfigHome(), "/cfg");
    EXPECT_EQ(XdgDataHome(), "/data/share");
}

TEST(Xdg, UnsetEmptyOrRelativeVariablesFallBackToHome)
{
    ScopedEnv home("HOME", "/home/u/");
    for (const std::optional<std::string>& value :
         {std::optional<std::string>(), std::optional<std::string>(""), std::optional<std::string>("relative/dir")}) {
        ScopedEnv config("XDG_CONFIG_HOME", value);
        ScopedEnv data("XDG_DATA_HOME", value);
        EXPECT_EQ(XdgConfigHome(), "/home/u/.config");
        EXPECT_EQ(XdgDataHome(), "/home/u/.local/share");
    }
}

TEST(Xdg, WithoutHomeTheUserDatabaseAnswers)
{
    const passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    const std::string expected = entry->pw_dir;
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    {
        ScopedEnv home("HOME", std::nullopt);
        EXPECT_EQ(HomeDirectory(), expected);
        EXPECT_EQ(XdgConfigHome(), expected + (expected.back() == '/' ? "" : "/") + ".config");
    }
    ScopedEnv home("HOME", "");
    EXPECT_EQ(HomeDirectory(), expected);
}

}  // namespace

}  // namespace brelvix::platform
