// The default-application writer: what it makes of a user's mimeapps.list,
// the desktop entry it names, and the failures it reports without touching
// the user's files.
#include "platform/mime_associations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform_test_util.h"
#include "support/temp_dir.h"

namespace brelvix::platform {

namespace {

const std::vector<std::string> kPng = {"image/png"};

TEST(MimeAppsList, EditsOnlyTheTypesLines)
{
    struct Case {
        const char* name;
        std::string before;
        std::vector<std::string> types;
        std::string after;
    };
    const Case cases[] = {
        {"empty file gets both sections", "", kPng,
         "[Default Applications]\nimage/png=brelvix.desktop\n\n[Added Associations]\nimage/png=brelvix.desktop;\n"},
        {"comments, spacing, other types and sections stay",
         "# mine\n[Default Applications]\n# keep\ntext/plain = gedit.desktop\nimage/png = old.desktop\n\n"
         "[Other]\n  x=1\n",
         kPng,
         "# mine\n[Default Applications]\n# keep\ntext/plain = gedit.desktop\nimage/png=brelvix.desktop\n\n"
         "[Other]\n  x=1\n\n[Added Associations]\nimage/png=brelvix.desktop;\n"},
        {"added list: ours moves to the front once", "[Added Associations]\nimage/png=a.desktop;brelvix.desktop;b;\n",
         kPng,
         "[Added Associations]\nimage/png=brelvix.desktop;a.desktop;b;\n\n[Default Applications]\n"
         "image/png=brelvix.desktop\n"},
        {"removed list: ours leaves, the line goes when empty",
         "[Removed Associations]\nimage/png=brelvix.desktop;\nimage/gif=x;brelvix.desktop\n",
         {"image/png", "image/gif"},
         "[Removed Associations]\nimage/gif=x;\n\n[Default Applications]\nimage/png=brelvix.desktop\n"
         "image/gif=brelvix.desktop\n\n[Added Associations]\nimage/png=brelvix.desktop;\n"
         "image/gif=brelvix.desktop;\n"},
        {"new line joins the section's last entry, before its trailing comment",
         "[Default Applications]\na/b=c\n# end\n", kPng,
         "[Default Applications]\na/b=c\nimage/png=brelvix.desktop\n# end\n\n[Added Associations]\n"
         "image/png=brelvix.desktop;\n"},
        {"a last line without newline gets one", "[Default Applications]\na/b=c", kPng,
         "[Default Applications]\na/b=c\nimage/png=brelvix.desktop\n\n[Added Associations]\n"
         "image/png=brelvix.desktop;\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SetDefaultApplication(c.before, c.types, "brelvix.desktop"), c.after) << c.name;
    }
}

TEST(MimeAppsList, RefusesWhatIsNotAKeyFile)
{
    const std::string refused[] = {
        "garbage line\n[Default Applications]\ntext/plain=gedit.desktop\n",
        std::string("[Default Applications]\ntext/plain=ged\xff\xfeit.desktop\n"),
        std::string("[Default Applications]\ntext/plain=ok\0hidden\n", 41),
    };
    for (const std::string& text : refused) {
        EXPECT_EQ(SetDefaultApplication(text, kPng, "brelvix.desktop"), std::nullopt) << text;
    }
}

TEST(DesktopExec, QuotesAndEscapesOnlyWhatNeedsIt)
{
    EXPECT_EQ(DesktopExecLine("/usr/bin/brelvix"), "/usr/bin/brelvix %f");
    EXPECT_EQ(DesktopExecLine("/opt/my apps/brelvix"), "\"/opt/my apps/brelvix\" %f");
    EXPECT_EQ(DesktopExecLine("/opt/a$b\"c/100%"), "\"/opt/a\\$b\\\"c/100%%\" %f");
}

class DefaultApplication : public ::testing::Test {
protected:
    void SetUp() override
    {
        folders.configHome = (temp.Path() / "config").string();
        folders.dataHome = (temp.Path() / "data").string();
        folders.dataDirs = {(temp.Path() / "system").string()};
        program = temp.Write("bin/brelvix", std::string("#!/bin/sh\n"));
        chmod(program.c_str(), 0755);
    }

    std::string MimeApps() const { return ReadText(temp.Path() / "config" / "mimeapps.list"); }

    TempDir temp;
    DesktopFolders folders;
    std::string program;
    const std::string entryTemplate =
        "[Desktop Entry]\nType=Application\nName=Brelvix\nExec=brelvix %f\nMimeType=image/png;\n";
};

TEST_F(DefaultApplication, WritesTheUsersEntryNamingThisProgram)
{
    const AssociationResult result = SetAsDefaultApplication(kPng, program, entryTemplate, folders);
    ASSERT_TRUE(result.ok) << result.message;
    const std::string entry = ReadText(temp.Path() / "data" / "applications" / "brelvix.desktop");
    EXPECT_NE(entry.find("Exec=" + program + " %f\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("MimeType=image/png;"), std::string::npos);
    EXPECT_NE(MimeApps().find("[Default Applications]\nimage/png=brelvix.desktop\n"), std::string::npos);
}

TEST_F(DefaultApplication, UsesAnInstalledEntryOnlyWhenItStartsThisProgram)
{
    const std::filesystem::path installed = temp.Path() / "system" / "applications" / "brelvix.desktop";
    const std::filesystem::path userEntry = temp.Path() / "data" / "applications" / "brelvix.desktop";
    temp.Write("system/applications/brelvix.desktop", "[Desktop Entry]\nExec=/bin/true %f\n");
    ASSERT_TRUE(SetAsDefaultApplication(kPng, program, entryTemplate, folders).ok);
    EXPECT_TRUE(std::filesystem::exists(userEntry)) << "another program's entry must not be named";

    std::filesystem::remove(userEntry);
    temp.Write("system/applications/brelvix.desktop", "[Desktop Entry]\nExec=\"" + program + "\" %f\n");
    ASSERT_TRUE(SetAsDefaultApplication(kPng, program, entryTemplate, folders).ok);
    EXPECT_FALSE(std::filesystem::exists(userEntry));
    EXPECT_TRUE(std::filesystem::exists(installed));
}

TEST_F(DefaultApplication, FailuresNameTheFileAndLeaveItAlone)
{
    // An unparsable list stays byte for byte.
    const std::string broken = "not a key file\n[Default Applications]\ntext/plain=gedit.desktop\n";
    temp.Write("config/mimeapps.list", broken);
    AssociationResult result = SetAsDefaultApplication(kPng, program, entryTemplate, folders);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.file, folders.configHome + "/mimeapps.list");
    EXPECT_NE(result.message.find(result.file), std::string::npos);
    EXPECT_EQ(MimeApps(), broken);

    // A list too large to be one is not read.
    temp.Write("config/mimeapps.list", std::string(5 * 1024 * 1024, '#'));
    EXPECT_FALSE(SetAsDefaultApplication(kPng, program, entryTemplate, folders).ok);
    EXPECT_EQ(MimeApps().size(), 5u * 1024 * 1024);

    // A config folder that cannot be created (a file is in its way).
    folders.configHome = temp.Write("blocked", std::string("x")) + "/config";
    result = SetAsDefaultApplication(kPng, program, entryTemplate, folders);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.message.find(folders.configHome), std::string::npos) << result.message;
}

}  // namespace

}  // namespace brelvix::platform
