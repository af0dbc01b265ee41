#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>

#include "support/temp_dir.h"
#include "view_fakes.h"

namespace brelvix {

namespace {

TEST(Panning, SmallPictureShowsTheArrowAndDoesNotDrag)
{
    ViewFixture f;
    f.ShowPicture(300, 200);
    f.view.OnCursorRequest(true);
    EXPECT_EQ(f.window.cursor, ViewCursor::Arrow);
    f.view.OnLeftButtonDown(100, 100);
    EXPECT_FALSE(f.view.Geometry().Dragging());
    f.view.OnMouseMove(50, 50, kViewKeyLeftButton);
    EXPECT_EQ(f.view.Geometry().OffsetX(), 0);
}

TEST(Panning, FollowsTheMouseWithinThePicture)
{
    ViewFixture f;  // client 800 x 600
    f.ShowPicture(2000, 500);
    f.view.OnCursorRequest(true);
    EXPECT_EQ(f.window.cursor, ViewCursor::Hand);
    EXPECT_EQ(f.view.SavedCursor(), ViewCursor::Arrow);
    // Over the border or the scroll bars: always the arrow.
    f.view.OnCursorRequest(false);
    EXPECT_EQ(f.window.cursor, ViewCursor::Arrow);

    f.view.OnLeftButtonDown(400, 300);
    ASSERT_TRUE(f.view.Geometry().Dragging());
    EXPECT_TRUE(f.view.Geometry().CanPanHorizontally());
    EXPECT_FALSE(f.view.Geometry().CanPanVertically());
    f.view.OnMouseMove(300, 250, kViewKeyLeftButton);  // 100 to the left
    EXPECT_EQ(f.view.Geometry().OffsetX(), 100);
    EXPECT_EQ(f.view.Geometry().OffsetY(), 0) << "only horizontal panning";
    EXPECT_EQ(f.window.Bar(ScrollAxis::Horizontal).position, 100);
    f.view.OnMouseMove(5000, 250, kViewKeyLeftButton);
    EXPECT_EQ(f.view.Geometry().OffsetX(), 0);
    f.view.OnMouseMove(-30000, 250, kViewKeyLeftButton);
    EXPECT_EQ(f.view.Geometry().OffsetX(), 1200);
    f.view.OnLeftButtonUp(0, 0);
    EXPECT_FALSE(f.view.Geometry().Dragging());
    f.view.OnMouseMove(0, 0, kViewKeyLeftButton);
    EXPECT_EQ(f.view.Geometry().OffsetX(), 1200);

    // The context menu opens at the release point on the screen.
    f.view.OnRightButtonUp(30, 40);
    EXPECT_EQ(f.frame.contextMenus, (std::vector<std::pair<int, int>>{{130, 90}}));
}

TEST(Panning, AnotherKeyOrButtonEndsTheDrag)
{
    for (unsigned keys : {kViewKeyLeftButton | kViewKeyShift, kViewKeyLeftButton | kViewKeyRightButton,
                          kViewKeyLeftButton | kViewKeyControl, 0u}) {
        ViewFixture f;
        f.ShowPicture(2000, 2000);
        f.view.OnLeftButtonDown(400, 300);
        f.view.OnMouseMove(300, 200, keys);
        EXPECT_FALSE(f.view.Geometry().Dragging()) << keys;
        EXPECT_EQ(f.view.Geometry().OffsetX(), 0) << keys;
        f.view.OnMouseMove(200, 100, kViewKeyLeftButton);
        EXPECT_EQ(f.view.Geometry().OffsetX(), 0) << keys;
    }
}

TEST(Opening, DialogTextsAndCancel)
{
    ViewFixture f;
    f.view.OpenImage("/kept.png", false);
    EXPECT_FALSE(f.view.OpenImage("", true));
    EXPECT_EQ(f.view.Document().Path(), "/kept.png");
    ASSERT_EQ(f.shell.dialogs.size(), 1u);
    EXPECT_EQ(f.shell.dialogs[0].title, "Select an image file to view");
    // Every format read, PCX included, named and matched; the dialog starts
    // in the shown picture's folder.
    EXPECT_EQ(f.shell.dialogs[0].filters,
              (std::vector<FileDialogFilter>{
                  {"Image files (JPG, GIF, TIF, BMP, PNG, TGA, PCX, WebP, AVIF, HEIF, JXL)",
                   "*.jpg;*.jpeg;*.gif;*.png;*.bmp;*.tif;*.tiff;*.tga;*.pcx;*.webp;*.avif;*.heic;*.heif;*.jxl;"},
                  {"All files", "*.*"}}));
    EXPECT_EQ(f.shell.dialogs[0].folder, "/");

    TempDir dir;
    const std::string chosen = dir.Write("pick.bmp", Bmp24Header(8, 8));
    f.shell.dialogAnswers = {chosen};
    EXPECT_TRUE(f.view.OpenImage("", true));
    EXPECT_EQ(f.view.Document().Path(), chosen);
    EXPECT_EQ(f.view.Navigation().Files().Entries(), std::vector<std::string>{chosen});
    EXPECT_FALSE(f.view.OpenImage("", true));
    EXPECT_EQ(f.shell.dialogs.back().folder, dir.Path().string());

    // Without a picture the frame picks the folder.
    ViewFixture fresh;
    EXPECT_FALSE(fresh.view.OpenImage("", true));
    EXPECT_EQ(fresh.shell.dialogs.back().folder, "");
}

TEST(Dropping, FirstFileOnlyAndOnlyListedTypes)
{
    TempDir dir;
    const std::string first = dir.Write("first.TIFF", "not a picture inside");
    const std::string second = dir.Write("second.png", "");
    ViewFixture f;
    f.view.ToggleSlideShow();
    f.view.OnFilesDropped({first, second, dir.Path().string() + "/third.jpg"});
    EXPECT_EQ(f.timer.periods.size(), 1u) << "a running show is not re-armed";
    EXPECT_EQ(f.view.Document().Path(), first);
    EXPECT_EQ(f.view.Navigation().Files().Entries(), (std::vector<std::string>{first, second}));
    EXPECT_EQ(f.view.Navigation().Files().CurrentIndex(), 0);

    for (const std::string& ignored : {dir.Path().string() + "/a.pcx", dir.Path().string() + "/README",
                                       std::string("/dotted.dir/README"), std::string()}) {
        f.view.OnFilesDropped({ignored});
        EXPECT_EQ(f.view.Document().Path(), first) << ignored;
    }
    f.view.OnFilesDropped({});
    EXPECT_EQ(f.view.Document().Path(), first);
}

// A folder of `count` pictures named p01.bmp ... opened at `position`.
struct Folder {
    TempDir dir;
    std::vector<std::string> pictures;
    explicit Folder(int count)
    {
        for (int i = 1; i <= count; ++i) {
            pictures.push_back(dir.Write(NumberedName("p", 100 + i, ".bmp"), Bmp24Header(2, 2)));
        }
    }
};

TEST(Deleting, ShowsTheNextPictureOrThePreviousAfterTheLast)
{
    Folder folder(10);
    ViewFixture f;
    ASSERT_TRUE(f.view.OpenImage(folder.pictures[3], true));
    ASSERT_EQ(f.view.Navigation().Files().CurrentIndex(), 3);  // position 4 of 10
    f.view.DeleteCurrentFile();
    EXPECT_EQ(f.shell.trashed, std::vector<std::string>{folder.pictures[3]});
    EXPECT_EQ(f.view.Document().Path(), folder.pictures[4]);
    EXPECT_EQ(f.view.Navigation().Files().CurrentIndex(), 3);
    EXPECT_EQ(f.view.Navigation().Files().Entries().size(), 9u);
    EXPECT_EQ(f.frame.status.rfind(" File 4 of 9 ", 0), 0u) << f.frame.status;

    Folder ten(10);
    ASSERT_TRUE(f.view.OpenImage(ten.pictures[9], true));
    ASSERT_EQ(f.view.Navigation().Files().CurrentIndex(), 9);  // the last of 10
    f.view.DeleteCurrentFile();
    EXPECT_EQ(f.view.Document().Path(), ten.pictures[8]);
    EXPECT_EQ(f.view.Navigation().Files().CurrentIndex(), 8);
    EXPECT_EQ(f.frame.status.rfind(" File 9 of 9 ", 0), 0u) << f.frame.status;
}

// Declined, or refused by the trash: the picture stays. Gone already (another
// program was first): the next one shows.
TEST(Refreshing, AfterTheFileWentMovesOnAsDeletingDoes)
{
    Folder folder(3);
    ViewFixture f;
    ASSERT_TRUE(f.view.OpenImage(folder.pictures[1], true));
    std::filesystem::rename(folder.pictures[1], folder.dir.Path() / "renamed.txt");
    f.view.RefreshFileList();
    EXPECT_EQ(f.view.Document().Path(), folder.pictures[2]);
    EXPECT_EQ(f.frame.status.rfind(" File 2 of 2 ", 0), 0u) << f.frame.status;

    std::filesystem::remove(folder.pictures[2]);  // the last one
    f.view.RefreshFileList();
    EXPECT_EQ(f.view.Document().Path(), folder.pictures[0]);
    EXPECT_EQ(f.frame.status.rfind(" File 1 of 1 ", 0), 0u) << f.frame.status;

    // None left: another picture is asked for, and without one the frame
    // closes. Nothing went to the trash.
    std::filesystem::remove(folder.pictures[0]);
    f.view.RefreshFileList();
    EXPECT_EQ(f.shell.dialogs.size(), 1u);
    EXPECT_EQ(f.frame.closeRequests, 1);
    EXPECT_TRUE(f.shell.trashed.empty());
}

TEST(Deleting, DeclinedOrRefusedKeepsThePictureAndAFileGoneAlreadyMovesOn)
{
    for (const TrashResult answer : {TrashResult::Aborted, TrashResult::Failed, TrashResult::Missing}) {
        SCOPED_TRACE(static_cast<int>(answer));
        const bool movesOn = answer == TrashResult::Missing;
        Folder folder(3);
        ViewFixture f;
        ASSERT_TRUE(f.view.OpenImage(folder.pictures[0], true));
        f.shell.trashAnswer = answer;
        ASSERT_TRUE(!movesOn || ::unlink(folder.pictures[0].c_str()) == 0);
        const int repaints = f.window.invalidations;
        f.view.DeleteCurrentFile();
        EXPECT_EQ(f.shell.trashed, std::vector<std::string>{folder.pictures[0]});
        EXPECT_EQ(f.view.Document().Path(), folder.pictures[movesOn ? 1 : 0]);
        EXPECT_EQ(f.view.Navigation().Files().CurrentIndex(), 0);
        EXPECT_EQ(f.view.Navigation().Files().Entries().size(), movesOn ? 2u : 3u);
        EXPECT_EQ(f.window.invalidations == repaints, !movesOn);
    }
}

TEST(Deleting, OnlyPictureAsksForAnotherOrCloses)
{
    Folder folder(1);
    ViewFixture f;
    ASSERT_TRUE(f.view.OpenImage(folder.pictures[0], true));
    f.view.DeleteCurrentFile();
    EXPECT_EQ(f.shell.dialogs.size(), 1u);
    EXPECT_EQ(f.frame.closeRequests, 1);

    Folder other(2);
    Folder lonely(1);
    ASSERT_TRUE(f.view.OpenImage(lonely.pictures[0], true));
    f.shell.dialogAnswers = {other.pictures[1]};
    f.view.ToggleSlideShow();
    const std::size_t armed = f.timer.periods.size();
    f.view.DeleteCurrentFile();
    EXPECT_EQ(f.frame.closeRequests, 1);
    EXPECT_EQ(f.view.Document().Path(), other.pictures[1]);
    EXPECT_EQ(f.view.Navigation().Files().CurrentIndex(), 1);
    EXPECT_EQ(f.view.Navigation().Files().Entries().size(), 2u);
    EXPECT_EQ(f.timer.periods.size(), armed + 1) << "a running show is re-armed";
}

TEST(Editor, LaunchesWithThePathAsOneArgumentOrWarns)
{
    ViewFixture f;
    f.view.OpenImage("/my pictures/a b.jpg", false);
    EditorRequest none = f.view.EditorCommand();
    EXPECT_FALSE(none.launch);
    EXPECT_EQ(none.warningText,
              "There's no application assigned to edit images\nPlease use the Preferences dialog to assign an editor.");
    EXPECT_EQ(none.warningCaption, "Editing Application");

    f.Set(&ViewerSettings::imageEditorPath, "/usr/bin/painter");
    EditorRequest launch = f.view.EditorCommand();
    EXPECT_TRUE(launch.launch);
    EXPECT_EQ(launch.program, "/usr/bin/painter");
    EXPECT_EQ(launch.argument, "/my pictures/a b.jpg");
}

}  // namespace

}  // namespace brelvix
