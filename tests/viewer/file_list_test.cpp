#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

namespace fs = std::filesystem;

// The names of the listed entries relative to `root` (which they must start
// with, followed by a '/').
std::vector<std::string> Relative(const std::vector<std::string>& list, const std::string& root)
{
    std::vector<std::string> names;
    for (const std::string& entry : list) {
        EXPECT_EQ(entry.rfind(root + "/", 0), 0u) << entry;
        names.push_back(entry.substr(root.size() + 1));
    }
    return names;
}

TEST(FileList, PicturesOnlyInNaturalOrder)
{
    TempDir dir;
    for (const char* name : {"img10.jpg",   "c.txt",   "B.PNG",   "d.pcx",   "img2.jpg", "a.jpg",  ".hidden.gif",
                             "README",      "x.TIFF",  "y.tga",   "z.jpeg",  "w.bmp",    "v.tif",  "archive.jpg.gz",
                             "caf\xe9.png", "n1.webp", "n2.AVIF", "n3.heic", "n4.Heif",  "n5.jxl", "n6.jxl.part"}) {
        dir.Write(name, "");
    }
    fs::create_directory(dir.Path() / "folder.jpg");  // a folder is never a picture
    dir.Write("S/inside.jpg", "");

    FileList list;
    const std::string root = dir.Path().string();
    ASSERT_TRUE(list.BuildFileList(root + "/a.jpg", false));
    EXPECT_EQ(Relative(list.Entries(), root),
              (std::vector<std::string>{".hidden.gif", "a.jpg", "B.PNG", "caf\xe9.png", "img2.jpg", "img10.jpg",
                                        "n1.webp", "n2.AVIF", "n3.heic", "n4.Heif", "n5.jxl", "v.tif", "w.bmp",
                                        "x.TIFF", "y.tga", "z.jpeg"}));
    EXPECT_EQ(list.CurrentIndex(), 1);

    // A picture of another type opened through "All files" is not listed:
    // its position is the list's length.
    ASSERT_TRUE(list.BuildFileList(root + "/d.pcx", false));
    EXPECT_EQ(list.CurrentIndex(), 16);
}

TEST(FileList, SubfoldersStandWhereTheirNamesFallAndLoopsEnd)
{
    TempDir dir;
    TempDir elsewhere;
    const std::string root = dir.Path().string();
    dir.Write("a.jpg", "");
    dir.Write("x.jpg", "");
    dir.Write("S/z.jpg", "");
    dir.Write("S/y.jpg", "");
    dir.Write("S/T/w.png", "");
    elsewhere.Write("q.gif", "");
    ASSERT_EQ(::symlink("..", (dir.Path() / "S" / "up").c_str()), 0);         // back to the root
    ASSERT_EQ(::symlink(".", (dir.Path() / "S" / "T" / "self").c_str()), 0);  // to itself
    ASSERT_EQ(::symlink(elsewhere.Path().c_str(), (dir.Path() / "link").c_str()), 0);

    char before[4096];
    ASSERT_NE(::getcwd(before, sizeof before), nullptr);

    FileList list;
    ASSERT_TRUE(list.BuildFileList(root + "/x.jpg", true));
    EXPECT_EQ(Relative(list.Entries(), root),
              (std::vector<std::string>{"a.jpg", "link/q.gif", "S/T/w.png", "S/y.jpg", "S/z.jpg", "x.jpg"}));
    EXPECT_EQ(list.CurrentIndex(), 5);

    char after[4096];
    ASSERT_NE(::getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after) << "the scan must not change the current directory";

    ASSERT_TRUE(list.BuildFileList(root + "/x.jpg", false));
    EXPECT_EQ(Relative(list.Entries(), root), (std::vector<std::string>{"a.jpg", "x.jpg"}));
}

TEST(FileList, EachOfTwoNamesDifferingInCaseFindsItself)
{
    TempDir dir;
    const std::string root = dir.Path().string();
    dir.Write("a.jpg", "");
    dir.Write("A.JPG", "");
    dir.Write("b.jpg", "");

    FileList list;
    ASSERT_TRUE(list.BuildFileList(root + "/a.jpg", false));
    EXPECT_EQ(Relative(list.Entries(), root), (std::vector<std::string>{"A.JPG", "a.jpg", "b.jpg"}));
    EXPECT_EQ(list.CurrentIndex(), 1);
    ASSERT_TRUE(list.BuildFileList(root + "/A.JPG", false));
    EXPECT_EQ(list.CurrentIndex(), 0);
    // Only when no entry matches exactly does letter case stop counting.
    ASSERT_TRUE(list.BuildFileList(root + "/B.Jpg", false));
    EXPECT_EQ(list.CurrentIndex(), 2);
    // A path written differently from the scan's form is not found.
    ASSERT_TRUE(list.BuildFileList(root + "//b.jpg", false));
    EXPECT_EQ(list.CurrentIndex(), 3);
}

TEST(FileList, FailuresKeepWhatTheyShould)
{
    TempDir dir;
    const std::string root = dir.Path().string();
    dir.Write("a.jpg", "");
    dir.Write("b.jpg", "");
    FileList list;
    ASSERT_TRUE(list.BuildFileList(root + "/b.jpg", false));
    ASSERT_EQ(list.CurrentIndex(), 1);

    // A bare name has no folder: list and position stay.
    EXPECT_FALSE(list.BuildFileList("b.jpg", false));
    EXPECT_EQ(list.Entries().size(), 2u);
    EXPECT_EQ(list.CurrentIndex(), 1);

    // A folder that cannot be read empties the list; the position stays.
    EXPECT_FALSE(list.BuildFileList(root + "/missing/b.jpg", false));
    EXPECT_TRUE(list.Entries().empty());
    EXPECT_EQ(list.CurrentIndex(), 1);

    // Not a folder at all.
    EXPECT_FALSE(list.BuildFileList(root + "/a.jpg/b.jpg", false));
    EXPECT_TRUE(list.Entries().empty());
}

TEST(FileList, PictureAtTheRootIsJoinedWithOneSeparator)
{
    FileList list;
    ASSERT_TRUE(list.BuildFileList("/brelvix-no-such-picture.jpg", false));
    for (const std::string& entry : list.Entries()) {
        EXPECT_NE(entry.rfind("//", 0), 0u) << entry;
    }
    EXPECT_EQ(list.CurrentIndex(), static_cast<int>(list.Entries().size()));
}

TEST(FileList, PathsLongerThanOldLimitsAreListed)
{
    TempDir dir;
    std::string relative;
    for (int i = 0; i < 12; ++i) {
        relative += std::string(60, static_cast<char>('a' + i)) + "/";
    }
    const std::string picture = dir.Write(relative + "deep.bmp", Bmp24Header(3, 2));
    ASSERT_GT(picture.size(), 700u);

    ImageDocument shown;
    EXPECT_TRUE(shown.Load(picture, true));
    FileList list;
    ASSERT_TRUE(list.BuildFileList(picture, false));
    ASSERT_EQ(list.Entries().size(), 1u);
    EXPECT_EQ(list.Entries()[0], picture);
    EXPECT_EQ(list.CurrentIndex(), 0);

    // With subfolders on, the same file is reached from the top.
    ASSERT_TRUE(list.BuildFileList(dir.Path().string() + "/top.bmp", true));
    EXPECT_EQ(list.Entries(), std::vector<std::string>{picture});
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

TEST(CompareNaturally, OrdersAsPeopleReadAndIsTotal)
{
    EXPECT_LT(CompareNaturally("img2.jpg", "img10.jpg"), 0);
    EXPECT_LT(CompareNaturally("a.jpg", "B.jpg"), 0);
    EXPECT_LT(CompareNaturally("B.jpg", "c.jpg"), 0);
    EXPECT_LT(CompareNaturally("x", "x1"), 0);
    EXPECT_LT(CompareNaturally("img9", "img010"), 0);
    EXPECT_LT(CompareNaturally("a99", "a123456789012345678901234567890"), 0);  // longer than 64 bits
    EXPECT_LT(CompareNaturally("9", "a"), 0);
    // Equal for a reader: byte order decides, so nothing compares equal but
    // the same name.
    EXPECT_LT(CompareNaturally("A.JPG", "a.jpg"), 0);
    EXPECT_LT(CompareNaturally("img01", "img1"), 0);
    EXPECT_EQ(CompareNaturally("same", "same"), 0);

    const std::vector<std::string> names = {"a",   "A",   "a1",  "a01",  "a001",     "a2",   "a10",  "a-1",
                                            "a_1", "a 1", "a1b", "a01b", "b",        "B1",   "10",   "9",
                                            "009", "",    ".x",  "z",    "\xc3\xa9", "a1a2", "a1a10"};
    for (const std::string& a : names) {
        for (const std::string& b : names) {
            EXPECT_EQ(Sign(CompareNaturally(a, b)), -Sign(CompareNaturally(b, a))) << a << " / " << b;
            EXPECT_EQ(CompareNaturally(a, b) == 0, a == b) << a << " / " << b;
            for (const std::string& c : names) {
                if (CompareNaturally(a, b) < 0 && CompareNaturally(b, c) < 0) {
                    EXPECT_LT(CompareNaturally(a, c), 0) << a << " < " << b << " < " << c;
                }
            }
        }
    }
}

}  // namespace

}  // namespace brelvix
