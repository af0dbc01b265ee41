// The command table as the user meets it: menus, prompts, check marks,
// toolbar, context menu, slide show, editor.
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "app/common/app_test_support.h"
#include "app/settings.h"
#include "app/view_widget.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

using FrameCommands = AppTest;

QStringList Texts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return texts;
}

TEST_F(FrameCommands, EveryKeyFiresExactlyOneCommand)
{
    // Qt fires nothing for a key that two actions claim, so a clash would
    // silently disable both commands.
    std::set<QString> seen;
    for (const CommandInfo& command : MainFrame::Commands()) {
        for (QKeyCombination key : command.keys) {
            if (key.key() == Qt::Key_unknown) {
                continue;
            }
            const QString text = QKeySequence(key).toString(QKeySequence::PortableText) +
                                 ((key.keyboardModifiers() & Qt::KeypadModifier) ? "(pad)" : "");
            EXPECT_TRUE(seen.insert(text).second) << text.toStdString() << " is bound twice";
        }
    }
    EXPECT_EQ(seen.size(), 67u);
}

TEST_F(FrameCommands, MenuBarHasTheOriginalPopupsWithTheirSeparatorsAndTheSortMenu)
{
    MainFrame frame;
    QList<QAction*> popups = frame.menuBar()->actions();
    ASSERT_EQ(popups.size(), 7);
    const QStringList titles{"&File", "&Edit", "&Navigation", "&Sort", "&Image", "&View", "&Help"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(popups[i]->text(), titles[i]);
    }
    EXPECT_EQ(Texts(popups[0]->menu()), (QStringList{"&Open...\tCtrl+O", "&Refresh file list\tCtrl+R", "-",
                                                     "Pr&eferences...\tCtrl+P", "-", "E&xit\tEsc"}));
    EXPECT_EQ(Texts(popups[1]->menu()),
              (QStringList{"Delete\tDel", "Open for editing...\tCtrl+E", "-", "&Undo Delete\tCtrl+Z", "-",
                           "&Copy Picture\tCtrl+C", "Copy &Path\tCtrl+Shift+C", "&Show in Folder\tCtrl+Shift+F"}));
    EXPECT_EQ(Texts(popups[2]->menu()), (QStringList{"&Next\tRight", "&Previous\tLeft", "-", "&First image\tHome",
                                                     "&Last image\tEnd", "-", "F&ast Forward\tPgDn", "&Rewind\tPgUp"}));
    EXPECT_EQ(Texts(popups[3]->menu()),
              (QStringList{"By &Name\tCtrl+1", "By Date &Taken\tCtrl+2", "By Date &Modified\tCtrl+3",
                           "By &Size\tCtrl+4", "-", "&Reverse Order\tCtrl+Shift+R"}));
    popups.removeAt(3);
    EXPECT_EQ(Texts(popups[3]->menu()),
              (QStringList{"Zoom &In\t+", "Zoom &Out\t-", "-", "Zoom to &Fit\t*", "Zoom to &100%\tInsert",
                           "Autozoom to Best Fit\t/", "-", "Rotate &Left\tCtrl+Left", "Rotate &Right\tCtrl+Right", "-",
                           "Flip &Horizontal\tAlt+Left,Right", "Flip &Vertical\tAlt+Up,Down"}));
    EXPECT_EQ(Texts(popups[4]->menu()),
              (QStringList{"Slide S&how\tEnter", "&Full Screen\tF12", "-", "&Toolbar\tCtrl+T", "&Status Bar\tCtrl+S",
                           "-", "Scroll U&p\tUp", "Scroll Do&wn\tDown", "&Information Panel\tI"}));
    EXPECT_EQ(frame.StatusText(), "Ready");
}

TEST_F(FrameCommands, StatusBarShowsTheHighlightedItemsPrompt)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    const QString normal = frame->StatusText();
    ASSERT_TRUE(normal.startsWith(" File 1 of 1"));

    QMenu* file = frame->menuBar()->actions()[0]->menu();
    file->popup(frame->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
    EXPECT_EQ(frame->VisibleStatusText(), "");  // nothing highlighted yet
    file->setActiveAction(frame->CommandAction(kCmdOpen));
    EXPECT_EQ(frame->VisibleStatusText(), "Open an existing document");
    file->setActiveAction(frame->CommandAction(kCmdExit));
    EXPECT_EQ(frame->VisibleStatusText(), "Quit the application; prompts to save documents");
    file->setActiveAction(frame->CommandAction(kCmdRefreshFileList));  // has no prompt
    EXPECT_EQ(frame->VisibleStatusText(), "");
    file->hide();
    Settle();
    EXPECT_EQ(frame->VisibleStatusText(), normal);
}

TEST_F(FrameCommands, ToolbarButtonsCarryTooltipsAndDoNotStayDown)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    QStringList tips;
    for (QAction* action : frame->ToolBar()->actions()) {
        tips.append(action->isSeparator() ? QStringLiteral("-") : action->toolTip());
    }
    EXPECT_EQ(tips, (QStringList{"Open", "Preferences", "-", "Previous image", "Next image", "-", "Full screen",
                                 "Slide show"}));
    QAction* slideShow = frame->ToolBar()->actions().last();
    auto* button = qobject_cast<QToolButton*>(frame->ToolBar()->widgetForAction(slideShow));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(frame->Image().Slides().Running());
    EXPECT_TRUE(frame->CommandAction(kCmdSlideShow)->isChecked());
    EXPECT_FALSE(button->isDown());
    EXPECT_FALSE(button->isChecked());
}

TEST_F(FrameCommands, OpenWhileTheSlideShowRunsStopsIt)
{
    const std::string first = WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3});
    const std::string second = WriteSolidBmp(pictures + "/b.bmp", 30, 20, Rgb{4, 5, 6});
    auto frame = OpenFrame(first);
    Press(*frame, Qt::Key_Return);
    ASSERT_TRUE(frame->Image().Slides().Running());
    ASSERT_TRUE(frame->CommandAction(kCmdSlideShow)->isChecked());

    // A cancelled dialog leaves the show running.
    frame->SetOpenDialog(OpenDialogAnswer(""));
    Press(*frame, Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(frame->Image().Slides().Running());
    EXPECT_TRUE(frame->CommandAction(kCmdSlideShow)->isChecked());

    frame->SetOpenDialog(OpenDialogAnswer(second));
    Press(*frame, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(frame->Image().Document().Path(), second);
    EXPECT_FALSE(frame->Image().Slides().Running());
    EXPECT_FALSE(frame->CommandAction(kCmdSlideShow)->isChecked());
    EXPECT_FALSE(frame->StatusText().contains("Slideshow"));
}

TEST_F(FrameCommands, ToolbarKeepsItsOwnMemoryAcrossFullScreen)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    Press(*frame, Qt::Key_T, Qt::ControlModifier);
    EXPECT_TRUE(frame->ToolBar()->isHidden());
    EXPECT_FALSE(frame->Settings().ShowToolbar);
    EXPECT_FALSE(frame->CommandAction(kCmdToolbar)->isChecked());
    EXPECT_FALSE(frame->menuBar()->isHidden());  // only the toolbar goes

    Press(*frame, Qt::Key_F12);
    Press(*frame, Qt::Key_F12);
    Settle();
    EXPECT_FALSE(frame->Image().FullScreen());
    EXPECT_TRUE(frame->ToolBar()->isHidden());
    EXPECT_FALSE(frame->Settings().ShowToolbar);
    frame->close();

    RegistryKey key(StorePath(), RegistryRoot::CurrentUser, kSettingsKeyPath);
    std::int32_t stored = -1;
    ASSERT_TRUE(key.ReadDword("ShowToolbar", &stored));
    EXPECT_EQ(stored, 0);
}

TEST_F(FrameCommands, StatusBarCommandHidesAndShowsIt)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    Press(*frame, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(frame->statusBar()->isHidden());
    EXPECT_FALSE(frame->Settings().ShowStatusbar);
    EXPECT_FALSE(frame->CommandAction(kCmdStatusBar)->isChecked());
    Press(*frame, Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(frame->statusBar()->isHidden());
    EXPECT_TRUE(frame->Settings().ShowStatusbar);
    EXPECT_TRUE(frame->CommandAction(kCmdStatusBar)->isChecked());
}

TEST_F(FrameCommands, AutozoomCommandFlipsTheSettingAndItsCheckMark)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 50, 40, Rgb{1, 2, 3}));
    Press(*frame, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier);
    ASSERT_DOUBLE_EQ(frame->Image().Geometry().Zoom(), 2.0);
    Press(*frame, Qt::Key_Slash, Qt::KeypadModifier);  // on: an enlarged picture that fits stays
    EXPECT_TRUE(frame->Settings().ZoomToBestFit);
    EXPECT_TRUE(frame->CommandAction(kCmdAutozoom)->isChecked());
    EXPECT_DOUBLE_EQ(frame->Image().Geometry().Zoom(), 2.0);
    Press(*frame, Qt::Key_Slash, Qt::KeypadModifier);  // off: back to 100 %
    EXPECT_FALSE(frame->Settings().ZoomToBestFit);
    EXPECT_FALSE(frame->CommandAction(kCmdAutozoom)->isChecked());
    EXPECT_DOUBLE_EQ(frame->Image().Geometry().Zoom(), 1.0);
}

TEST_F(FrameCommands, ContextMenuRoutesItsCommandAndShowsCheckMarks)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    Press(*frame, Qt::Key_Return);  // slide show on
    std::unique_ptr<QMenu> menu(frame->CreateContextMenu(frame.get()));
    EXPECT_EQ(Texts(menu.get()), (QStringList{"Open...\tCtrl+O", "Pr&eferences...\tCtrl+P", "-", "Zoom to &Fit\t*",
                                              "Zoom to &100%\tInsert", "Autozoom to Best Fit\t/", "-",
                                              "Slide S&how\tEnter", "&Full Screen\tF12", "-", "E&xit"}));
    EXPECT_TRUE(menu->actions()[7]->isChecked());
    EXPECT_FALSE(menu->actions()[8]->isChecked());
    EXPECT_FALSE(menu->actions()[5]->isChecked());
    menu.reset();

    // Right button up over the view opens it; choosing Slide Show stops the show.
    bool shown = false;
    QTimer chooser;
    chooser.setInterval(10);
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (popup == nullptr) {
            return;
        }
        chooser.stop();
        shown = true;
        popup->setActiveAction(popup->actions()[7]);
        QTest::keyClick(popup, Qt::Key_Return);
    });
    chooser.start();
    QTest::mouseClick(frame->View()->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(shown);
    EXPECT_FALSE(frame->Image().Slides().Running());
    EXPECT_FALSE(frame->CommandAction(kCmdSlideShow)->isChecked());
}

TEST_F(FrameCommands, CtrlIFlipsTheOverlaySetting)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    ASSERT_FALSE(frame->Image().Settings().showInfoInFullScreen);
    Press(*frame, Qt::Key_I, Qt::ControlModifier);
    EXPECT_TRUE(frame->Image().Settings().showInfoInFullScreen);
    Press(*frame, Qt::Key_I, Qt::ControlModifier);
    EXPECT_FALSE(frame->Image().Settings().showInfoInFullScreen);
}

TEST_F(FrameCommands, EditorWithoutAPathShowsTheWarning)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    MessageBoxAnswer answer(QMessageBox::Ok);
    Press(*frame, Qt::Key_E, Qt::ControlModifier);
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(answer.caption, "Editing Application");
    EXPECT_EQ(answer.text,
              "There's no application assigned to edit images\nPlease use the Preferences dialog to assign an editor.");
    EXPECT_EQ(answer.icon, QMessageBox::Warning);
}

TEST_F(FrameCommands, EditorReceivesThePictureAsOneArgument)
{
    const std::string picture = WriteSolidBmp(pictures + "/holiday pictures/sea view.bmp", 20, 20, Rgb{1, 2, 3});
    const std::string record = (temp.Path() / "arguments.txt").string();
    const std::string editor = (temp.Path() / "editor.sh").string();
    {
        std::ofstream script(editor);
        script << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > '" << record << ".part'\nmv '" << record << ".part' '"
               << record << "'\n";
    }
    std::filesystem::permissions(editor, std::filesystem::perms::owner_all);

    auto frame = OpenFrame(picture);
    Change(*frame, [&](SettingsRecord& settings) { settings.imageEditorPath = editor; });
    Press(*frame, Qt::Key_E, Qt::ControlModifier);
    for (int i = 0; i < 500 && !std::filesystem::exists(record); ++i) {
        QTest::qWait(10);
    }
    std::ifstream in(record);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "1\n" + picture + "\n");
}

}  // namespace

}  // namespace brelvix::app
