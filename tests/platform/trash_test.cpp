#include "platform/trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <ctime>
#include <functional>
#include <iterator>
#include <utility>

#include "platform_test_util.h"
#include "support/temp_dir.h"

namespace brelvix::platform {

namespace {

namespace fs = std::filesystem;

// A home trash in a temporary data folder, and a folder of files to trash on
// the same device.
class TrashTest : public ::testing::Test {
protected:
    TrashTest() : dataHome("XDG_DATA_HOME", (folder.Path() / "data").string())
    {
        fs::create_directories(folder.Path() / "pictures");
        pictures = fs::canonical(folder.Path() / "pictures");
    }

    fs::path Trash() const { return folder.Path() / "data" / "Trash"; }

    std::string Picture(const std::string& name, const std::string& contents = "picture") const
    {
        return folder.Write("pictures/" + name, contents);
    }

    std::string InfoOf(const std::string& entry) const { return ReadText(Trash() / "info" / (entry + ".trashinfo")); }

    TempDir folder;
    ScopedEnv dataHome;
    fs::path pictures;
};

TEST_F(TrashTest, MovesTheFileWithAnExactInfoFile)
{
    const std::string name = "a b%c\xC3\xBC\xFF#?.jpg";
    const std::string path = Picture(name, "jpeg bytes");
    const time_t before = time(nullptr);
    std::string error;
    ASSERT_EQ(MoveToTrash(path, &error), TrashResult::kDone) << error;
    const time_t after = time(nullptr);

    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(ReadText(Trash() / "files" / name), "jpeg bytes");
    // Exactly three lines: the group, Path and DeletionDate.
    const std::string info = InfoOf(name);
    const std::string head = "[Trash Info]\nPath=";
    const size_t dateKey = info.find("\nDeletionDate=");
    ASSERT_EQ(info.compare(0, head.size(), head), 0) << info;
    ASSERT_NE(dateKey, std::string::npos) << info;
    EXPECT_EQ(info.substr(head.size(), dateKey - head.size()), pictures.string() + "/a%20b%25c%C3%BC%FF%23%3F.jpg");
    const std::string date = info.substr(dateKey + 14);
    ASSERT_EQ(date.size(), 20u) << info;
    EXPECT_EQ(date.back(), '\n');
    for (size_t i = 0; i < 19; ++i) {
        const char expected = i == 4 || i == 7 ? '-' : i == 10 ? 'T' : i == 13 || i == 16 ? ':' : '9';
        EXPECT_TRUE(expected == '9' ? std::isdigit(static_cast<unsigned char>(date[i])) != 0 : date[i] == expected)
            << date;
    }

    struct tm local {};
    ASSERT_NE(strptime(date.c_str(), "%Y-%m-%dT%H:%M:%S", &local), nullptr);
    local.tm_isdst = -1;
    const time_t deleted = mktime(&local);
    EXPECT_GE(deleted, before - 1);
    EXPECT_LE(deleted, after + 1);
}

TEST_F(TrashTest, ClashingNamesGetNumberedBeforeTheExtension)
{
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(MoveToTrash(Picture("photo.jpg", "take " + std::to_string(i))), TrashResult::kDone);
    }
    ASSERT_EQ(MoveToTrash(Picture("README")), TrashResult::kDone);
    ASSERT_EQ(MoveToTrash(Picture("README")), TrashResult::kDone);
    ASSERT_EQ(MoveToTrash(Picture(".hidden")), TrashResult::kDone);
    ASSERT_EQ(MoveToTrash(Picture(".hidden")), TrashResult::kDone);

    EXPECT_EQ(ListFolder(Trash() / "files"), (std::vector<std::string>{".hidden", ".hidden.2", "README", "README.2",
                                                                       "photo.2.jpg", "photo.3.jpg", "photo.jpg"}));
    EXPECT_EQ(ReadText(Trash() / "files" / "photo.jpg"), "take 1");
    EXPECT_EQ(ReadText(Trash() / "files" / "photo.3.jpg"), "take 3");
    EXPECT_NE(InfoOf("photo.3.jpg").find("\nPath=" + pictures.string() + "/photo.jpg\n"), std::string::npos);
    EXPECT_EQ(ListFolder(Trash() / "info").size(), 7u);
}

TEST_F(TrashTest, NeverReplacesAFileLeftInTheTrashWithoutInfo)
{
    fs::create_directories(Trash() / "files");
    folder.Write("data/Trash/files/orphan.png", "older");
    ASSERT_EQ(MoveToTrash(Picture("orphan.png", "newer")), TrashResult::kDone);
    EXPECT_EQ(ReadText(Trash() / "files" / "orphan.png"), "older");
    EXPECT_EQ(ReadText(Trash() / "files" / "orphan.2.png"), "newer");
    EXPECT_EQ(ListFolder(Trash() / "info"), std::vector<std::string>{"orphan.2.png.trashinfo"});
}

TEST_F(TrashTest, MissingFileFailsAndWritesNoInfo)
{
    std::string error;
    EXPECT_EQ(MoveToTrash((pictures / "absent.jpg").string(), &error), TrashResult::kFailed);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(ListFolder(Trash() / "info").empty());
    EXPECT_EQ(MoveToTrash(""), TrashResult::kFailed);
}

TEST_F(TrashTest, UnusableTrashFailsCleanly)
{
    fs::create_directories(folder.Path() / "data");
    folder.Write("data/Trash", "a file where the trash should be");
    const std::string path = Picture("kept.jpg");
    EXPECT_EQ(MoveToTrash(path), TrashResult::kFailed);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(ReadText(Trash()), "a file where the trash should be");
}

TEST_F(TrashTest, FailedMoveRemovesItsInfoFile)
{
    // A folder cannot be moved into itself: the info file is written, the
    // rename fails, and the info file must go again.
    const fs::path album = pictures / "album";
    fs::create_directories(album);
    const fs::path trash = album / "Trash";
    std::string error;
    EXPECT_EQ(MoveIntoTrashFolder(album.string(), trash.string(), album.string(), &error), TrashResult::kFailed);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(album));
    EXPECT_TRUE(ListFolder(trash / "info").empty());
    EXPECT_TRUE(ListFolder(trash / "files").empty());
}

TEST_F(TrashTest, TrashesALinkNotItsTarget)
{
    const std::string target = Picture("target.jpg", "target");
    fs::create_symlink(target, pictures / "link.jpg");
    ASSERT_EQ(MoveToTrash((pictures / "link.jpg").string()), TrashResult::kDone);
    EXPECT_EQ(ReadText(target), "target");
    EXPECT_TRUE(fs::is_symlink(Trash() / "files" / "link.jpg"));
}

TEST_F(TrashTest, FoldersAndLinkedFoldersRecordTheRealLocation)
{
    fs::create_directories(pictures / "real" / "album");
    fs::create_symlink(pictures / "real", pictures / "shortcut");
    ASSERT_EQ(MoveToTrash((pictures / "shortcut" / "album" / "").string()), TrashResult::kDone);
    EXPECT_TRUE(fs::is_directory(Trash() / "files" / "album"));
    EXPECT_NE(InfoOf("album").find("\nPath=" + pictures.string() + "/real/album\n"), std::string::npos);
}

TEST_F(TrashTest, RelativePathsAreRecordedAbsolute)
{
    Picture("relative.jpg");
    const fs::path previous = fs::current_path();
    fs::current_path(pictures);
    const TrashResult result = MoveToTrash("relative.jpg");
    fs::current_path(previous);
    ASSERT_EQ(result, TrashResult::kDone);
    EXPECT_NE(InfoOf("relative.jpg").find("\nPath=" + pictures.string() + "/relative.jpg\n"), std::string::npos);
}

TEST_F(TrashTest, LongNamesAreShortenedToFitTheInfoFile)
{
    // 240 bytes of two-byte characters, so a cut could split one.
    std::string stem;
    while (stem.size() < 240) {
        stem += "\xC3\xA9";
    }
    const std::string name = stem + ".jpeg";
    ASSERT_EQ(MoveToTrash(Picture(name, "first")), TrashResult::kDone);
    ASSERT_EQ(MoveToTrash(Picture(name, "second")), TrashResult::kDone);
    const std::vector<std::string> entries = ListFolder(Trash() / "files");
    ASSERT_EQ(entries.size(), 2u);
    for (const std::string& entry : entries) {
        EXPECT_LE(entry.size() + std::string(".trashinfo").size(), 255u);
        EXPECT_EQ(entry.substr(entry.size() - 5), ".jpeg");
        EXPECT_TRUE(fs::exists(Trash() / "info" / (entry + ".trashinfo")));
        // Whole characters only: the stem is still pairs of C3 A9.
        const std::string entryStem = entry.substr(0, entry.find('.'));
        EXPECT_EQ(entryStem.size() % 2, 0u);
        EXPECT_EQ(entryStem, stem.substr(0, entryStem.size()));
    }
    // The full path is recorded, not the shortened name.
    EXPECT_NE(InfoOf(entries[0]).find(std::string("%C3%A9.jpeg\n")), std::string::npos);
}

TEST_F(TrashTest, UndoPutsTheFileBackFromItsInfoWhenThereIsRoom)
{
    const std::string path = Picture("album/100% a b.jpg", "jpeg bytes");
    TrashEntry entry;
    ASSERT_EQ(MoveToTrash(path, nullptr, &entry), TrashResult::kDone);
    EXPECT_EQ(entry.originalPath, path);
    EXPECT_EQ(entry.filesPath, (Trash() / "files" / "100% a b.jpg").string());
    EXPECT_EQ(entry.infoPath, (Trash() / "info" / "100% a b.jpg.trashinfo").string());
    // A file of that name came back meanwhile: both stay where they are.
    Picture("album/100% a b.jpg", "new");
    std::string error;
    EXPECT_EQ(RestoreFromTrash(entry, &error), RestoreResult::kOccupied);
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_EQ(ReadText(path), "new");
    // Once it has gone with its folder, the folder is made again.
    fs::remove_all(pictures / "album");
    ASSERT_EQ(RestoreFromTrash(entry, &error), RestoreResult::kDone) << error;
    EXPECT_EQ(ReadText(path), "jpeg bytes");
    EXPECT_TRUE(ListFolder(Trash() / "files").empty());
    EXPECT_TRUE(ListFolder(Trash() / "info").empty());
    EXPECT_EQ(RestoreFromTrash(entry, &error), RestoreResult::kGone);  // done once
}

TEST_F(TrashTest, UndoReportsAnEntryThatLeftTheTrash)
{
    const std::function<void(const TrashEntry&)> meanwhile[] = {
        [](const TrashEntry& entry) {  // the trash was emptied
            fs::remove(entry.filesPath);
            fs::remove(entry.infoPath);
        },
        [](const TrashEntry& entry) { fs::remove(entry.filesPath); },
        [](const TrashEntry& entry) { fs::remove(entry.infoPath); },
        [this](const TrashEntry& entry) {  // emptied, and another a.jpg trashed under the same entry name
            fs::remove(entry.filesPath);
            fs::remove(entry.infoPath);
            ASSERT_EQ(MoveToTrash(Picture("a.jpg", "another picture")), TrashResult::kDone);
        },
    };
    for (std::size_t i = 0; i < std::size(meanwhile); ++i) {
        TrashEntry entry;
        ASSERT_EQ(MoveToTrash(Picture("a.jpg", "trashed"), nullptr, &entry), TrashResult::kDone);
        meanwhile[i](entry);
        std::string error;
        EXPECT_EQ(RestoreFromTrash(entry, &error), RestoreResult::kGone) << i;
        EXPECT_FALSE(fs::exists(pictures / "a.jpg")) << i;
        fs::remove_all(Trash());
    }
}

TEST_F(TrashTest, HistoryUndoesTheLastTenMovesNewestFirst)
{
    TrashHistory history;
    for (int i = 0; i < 12; ++i) {
        TrashEntry entry;
        ASSERT_EQ(MoveToTrash(Picture(std::to_string(i) + ".jpg"), nullptr, &entry), TrashResult::kDone);
        history.Remember(entry);
    }
    EXPECT_EQ(history.Size(), TrashHistory::kLimit);
    Picture("11.jpg", "in the way");
    TrashEntry tried;
    EXPECT_EQ(history.UndoLatest(&tried), RestoreResult::kOccupied);
    EXPECT_EQ(tried.originalPath, (pictures / "11.jpg").string());
    fs::remove(pictures / "11.jpg");
    int undone = 0;
    while (history.UndoLatest(&tried) == RestoreResult::kDone) {
        EXPECT_EQ(tried.originalPath, (pictures / (std::to_string(11 - undone++) + ".jpg")).string());
    }
    EXPECT_EQ(undone, 10);  // 11.jpg back to 2.jpg
    EXPECT_TRUE(history.Empty());
    EXPECT_TRUE(tried.originalPath.empty());
}

TEST_F(TrashTest, UndoFromADeviceTrashCountsFromItsTopFolder)
{
    // A device's trash records paths relative to the device's top folder;
    // here the temporary folder stands in for it.
    const fs::path top = folder.Path();
    const std::string path = Picture("b.jpg", "on a stick");
    TrashEntry entry;
    ASSERT_EQ(MoveIntoTrashFolder(path, (top / ".Trash-1000").string(), "pictures/b.jpg", nullptr, &entry),
              TrashResult::kDone);
    EXPECT_NE(ReadText(entry.infoPath).find("\nPath=pictures/b.jpg\n"), std::string::npos);
    ASSERT_EQ(RestoreFromTrash(entry), RestoreResult::kDone);
    EXPECT_EQ(ReadText(path), "on a stick");

    // An info file that climbs out is not followed.
    ASSERT_EQ(MoveIntoTrashFolder(path, (top / ".Trash-1000").string(), "pictures/../../b.jpg", nullptr, &entry),
              TrashResult::kDone);
    EXPECT_EQ(RestoreFromTrash(entry), RestoreResult::kFailed);
    EXPECT_TRUE(fs::exists(entry.filesPath));
}

// The reason a refused move gives to a process that folder permissions
// bind ("" when the file moved). Root ignores them, so as root the move
// runs in a child process that has given root up.
std::string ReasonAsOrdinaryUser(const std::string& path)
{
    std::string error;
    if (geteuid() != 0) {
        return MoveToTrash(path, &error) == TrashResult::kFailed ? error : "";
    }
    int channel[2];
    if (pipe(channel) != 0) {
        return "no pipe";
    }
    const pid_t child = fork();
    if (child == 0) {
        error = "cannot give up root";
        if (setresgid(65534, 65534, 65534) == 0 && setresuid(65534, 65534, 65534) == 0 &&
            MoveToTrash(path, &error) == TrashResult::kDone) {
            error.clear();
        }
        _exit(write(channel[1], error.data(), error.size()) < 0 ? 1 : 0);
    }
    close(channel[1]);
    char buffer[512];
    ssize_t got = 0;
    while ((got = read(channel[0], buffer, sizeof buffer)) > 0) {
        error.append(buffer, static_cast<std::size_t>(got));
    }
    close(channel[0]);
    waitpid(child, nullptr, 0);
    return error;
}

TEST_F(TrashTest, AReadOnlyFolderIsTheReasonGiven)
{
    const std::string path = Picture("kept.jpg");
    // The child, if any, must reach the file and own a trash.
    fs::permissions(folder.Path(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    fs::create_directories(Trash());
    fs::permissions(Trash(), fs::perms::all);
    fs::permissions(pictures, fs::perms::owner_write, fs::perm_options::remove);
    const std::string error = ReasonAsOrdinaryUser(path);
    fs::permissions(pictures, fs::perms::owner_write, fs::perm_options::add);
    if (error == "cannot give up root") {
        GTEST_SKIP() << "running as root without the right to become another user";
    }
    EXPECT_EQ(error, "cannot remove files from " + pictures.string() + ": Permission denied");
    EXPECT_TRUE(fs::exists(path));
    EXPECT_TRUE(ListFolder(Trash() / "info").empty());
}

TEST(EncodeTrashPath, EscapesAllButUnreservedCharacters)
{
    EXPECT_EQ(EncodeTrashPath("/home/u/My Pictures/a-b_c.d!~*'()"), "/home/u/My%20Pictures/a-b_c.d!~*'()");
    EXPECT_EQ(EncodeTrashPath("/x/100%;=&+$,:@[]\"<>\\\n"), "/x/100%25%3B%3D%26%2B%24%2C%3A%40%5B%5D%22%3C%3E%5C%0A");
    EXPECT_EQ(EncodeTrashPath(std::string("\xE2\x82\xAC\x80\x7F\0", 6)), "%E2%82%AC%80%7F%00");
}

TEST(ChooseTrashFolders, HomeTrashForFilesOnItsDevice)
{
    TrashSituation situation;
    situation.fileDevice = 7;
    situation.homeTrashDevice = 7;
    situation.homeTrash = "/home/u/.local/share/Trash";
    situation.topFolder = "/home";
    situation.uid = 1000;
    situation.sharedTrashUsable = true;
    const std::vector<TrashCandidate> candidates = ChooseTrashFolders(situation);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].folder, "/home/u/.local/share/Trash");
    EXPECT_FALSE(candidates[0].relativePaths);
}

TEST(ChooseTrashFolders, VolumeTrashForFilesElsewhere)
{
    TrashSituation situation;
    situation.fileDevice = 9;
    situation.homeTrashDevice = 7;
    situation.homeTrash = "/home/u/.local/share/Trash";
    situation.topFolder = "/media/u/stick";
    situation.uid = 1000;

    std::vector<TrashCandidate> candidates = ChooseTrashFolders(situation);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].folder, "/media/u/stick/.Trash-1000");
    EXPECT_TRUE(candidates[0].relativePaths);
    EXPECT_TRUE(candidates[0].mustBeOwnFolder);

    // An administrator's shared trash comes first, the per-user folder stays
    // as the fallback.
    situation.sharedTrashUsable = true;
    candidates = ChooseTrashFolders(situation);
    ASSERT_EQ(candidates.size(), 2u);
    EXPECT_EQ(candidates[0].folder, "/media/u/stick/.Trash/1000");
    EXPECT_TRUE(candidates[0].relativePaths);
    EXPECT_EQ(candidates[1].folder, "/media/u/stick/.Trash-1000");

    // A device mounted at the root gets no doubled slash.
    situation.topFolder = "/";
    situation.sharedTrashUsable = false;
    candidates = ChooseTrashFolders(situation);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].folder, "/.Trash-1000");

    // A bind mount shares the home trash's device, not its mount: renaming
    // across would fail, so the mount's own trash is used.
    situation.fileDevice = 7;
    situation.homeTrashDevice = 7;
    situation.fileMount = 41;
    situation.homeTrashMount = 40;
    situation.topFolder = "/srv/photos";
    candidates = ChooseTrashFolders(situation);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].folder, "/srv/photos/.Trash-1000");
    situation.topFolder = "/";
    situation.fileDevice = 9;

    // Without a home folder every file goes to its device's trash.
    situation.homeTrash.clear();
    situation.homeTrashDevice = 9;
    candidates = ChooseTrashFolders(situation);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].folder, "/.Trash-1000");
}

}  // namespace

}  // namespace brelvix::platform
