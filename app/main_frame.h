// The main window: menu bar, toolbar, status bar and the picture view, the
// command table every menu item, key, toolbar button and context-menu entry
// goes through (command_table.cpp), full screen and the window's placement
// (frame_placement.cpp), and the settings read at creation and written at
// close (settings.cpp).
#pragma once

#include <QKeyCombination>
#include <QMainWindow>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>

#include "app/command_table.h"
#include "app/settings_table.h"
#include "platform/show_in_folder.h"
#include "platform/trash.h"
#include "viewer/file_order.h"
#include "viewer/view_host.h"

class QAction;
class QLabel;
class QUrl;
class QMenu;
class QToolBar;

namespace brelvix {
class ImageView;
}

namespace brelvix::app {

class HandOff;
class InfoPanel;
class PictureClipboard;
class ViewWidget;

// The status bar's text at creation.
inline constexpr char kReadyText[] = "Ready";

class MainFrame : public QMainWindow, public ViewFrame, public ViewShell {
    Q_OBJECT

public:
    // Asks the user for a picture on behalf of the view: true and the chosen
    // path, or false when the user cancelled.
    using OpenDialog = std::function<bool(QWidget* owner, const OpenFileDialogRequest& request, std::string* chosen)>;

    // Builds the bars and the view, sets the defaults and loads the settings
    // (the stored placement is applied but the window is not shown).
    explicit MainFrame(QWidget* parent = nullptr);
    ~MainFrame() override;

    // The whole command table, in menu order.
    static std::span<const CommandInfo> Commands();
    // The row for `id`, or null.
    static const CommandInfo* FindCommand(std::uint16_t id);

    // Runs the command's operation; unknown ids do nothing.
    void ExecuteCommand(std::uint16_t id);
    // The command bound to a key with its modifiers (the keypad's marked by
    // Qt::KeypadModifier), or 0.
    static std::uint16_t CommandForKey(QKeyCombination key);

    // Opens the first picture (the Open dialog asks when `path` is empty)
    // and shows the frame in the show state the settings gave. False when
    // the dialog was cancelled: nothing was shown and nothing will be saved.
    bool OpenFirstPicture(const std::string& path);

    // The Open dialog the view's requests go to; the toolkit's file dialog
    // unless replaced (tests answer it without showing anything).
    void SetOpenDialog(OpenDialog dialog) { openDialog = std::move(dialog); }

    // Show in folder: asks the desktop's file manager (done may run on
    // another thread), and opens a folder's address where none answers;
    // platform::ShowInFileManagerAsync and the desktop's URL opener unless
    // replaced (tests).
    using FolderShower =
        std::function<void(const std::string& path, std::function<void(platform::ShowInFolderResult)> done)>;
    using UrlOpener = std::function<void(const QUrl& url)>;
    void SetFolderShower(FolderShower shower) { folderShower = std::move(shower); }
    void SetUrlOpener(UrlOpener opener) { urlOpener = std::move(opener); }

    // The side panel with the picture's details (info_panel.cpp).
    InfoPanel* Information() const { return infoPanel; }
    PictureClipboard* Clipboard() const { return clipboard; }
    // The moves to the trash of this run that can be undone.
    const platform::TrashHistory& TrashMoves() const { return trashMoves; }
    // A passing message in the status bar, over its normal text.
    void ShowPassingMessage(const QString& text);

    // Settings store: all values read once at creation and written once at
    // close (settings.cpp).
    void LoadSettings();
    void SaveSettings();
    // What the frame and the view hold now, the window's placement as it
    // would be stored.
    SettingsRecord Record() const;
    const FrameSettings& Settings() const { return settings; }
    // Takes the frame's part of `record` (bars shown or hidden, check marks)
    // and hands the viewer's to the view. The placement is taken as it is
    // but not applied: that happens once, when the settings are loaded.
    void ApplySettings(const SettingsRecord& record);

    ImageView& Image();
    const ImageView& Image() const;
    ViewWidget* View() const { return view; }

    // The menu-bar (and key) action of a command, or null.
    QAction* CommandAction(std::uint16_t id) const;
    QToolBar* ToolBar() const { return toolBar; }
    // Builds the view's context menu with the current check marks; the
    // caller owns it.
    QMenu* CreateContextMenu(QWidget* parent);

    // The status bar's normal text, and what the status bar shows right now
    // (a menu prompt while a menu item is highlighted).
    QString StatusText() const;
    QString VisibleStatusText() const;

    // The check mark of a checkable command in the menu bar.
    void SetCheck(std::uint16_t id, bool checked);

    // ViewFrame
    void SetTitle(const std::string& title) override;
    void SetStatusText(const std::string& text) override;
    bool BestFitSetting() const override { return settings.ZoomToBestFit; }
    // Enters or leaves full screen (the window system's own full-screen
    // state); the bars are hidden while it is on and the view loses its edge.
    void ToggleFullScreen() override;
    void SetSlideShowChecked(bool checked) override { SetCheck(kCmdSlideShow, checked); }
    // Shows the context menu at a screen point in device pixels and runs the
    // chosen command.
    void ShowContextMenu(int screenX, int screenY) override;
    void RequestClose() override { close(); }
    // ViewShell
    bool ChooseFile(const OpenFileDialogRequest& request, std::string* chosen) override;
    TrashResult MoveToTrash(const std::string& path) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    QMenu* createPopupMenu() override { return nullptr; }

private:
    // Commands the frame carries out itself.
    void Open();
    void Exit();
    void OpenForEditing();
    void ToggleAutozoom();
    void ToggleToolbar();
    void ToggleStatusBar();
    void ToggleInfo();
    void ShowPreferences();
    void ShowKeyShortcuts();
    void ShowAbout();
    void Donate();
    // Copying (picture_clipboard.cpp), the information panel
    // (info_panel.cpp), the list's order, undoing a move to the trash and
    // showing the file in its folder (frame_conveniences.cpp).
    void CopyPicture();
    void CopyPath();
    void ToggleInfoPanel();
    void SortByName() { ChooseSortOrder(SortOrder::Name); }
    void SortByDateTaken() { ChooseSortOrder(SortOrder::DateTaken); }
    void SortByDateModified() { ChooseSortOrder(SortOrder::DateModified); }
    void SortBySize() { ChooseSortOrder(SortOrder::Size); }
    void ChooseSortOrder(SortOrder order);
    void ToggleSortReverse();
    void UndoDelete();
    void ShowInFolder();
    // Creates the clipboard, the panel and the file manager's hand-off.
    void SetUpConveniences();
    // The check marks of the Sort menu and the panel as the settings say.
    void ShowConvenienceSettings();
    // Shows or hides the information panel (full screen hides it).
    void SetInfoPanelShown(bool shown);
    // The owner of a box the frame opens: the window the user is in.
    QWidget* DialogOwner();

    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void WatchMenuPrompts(QMenu* menu);
    void ShowMenuPrompt(const QString& prompt);
    void EndMenuPrompt();
    // Windowed frame rectangle and show state to store: the remembered ones
    // while full screen is on or was just left for closing.
    QRect PlacementRect() const;
    // Places the window's frame (title bar and borders included) at the
    // stored rectangle, moved onto a screen when it lies off every one.
    void RestoreFrame(const QRect& frame);
    // Follows the frame: keeps its normal rectangle, and sizes the inside of
    // a restored window once the window manager has framed it.
    void NoteGeometry();
    WindowShow PlacementShow() const;

    static const CommandInfo commandTable[];

    FrameSettings settings;
    ViewWidget* view = nullptr;
    QToolBar* toolBar = nullptr;
    QLabel* statusPane = nullptr;
    QLabel* promptPane = nullptr;
    std::map<std::uint16_t, QAction*> actions;
    OpenDialog openDialog;
    FolderShower folderShower;
    UrlOpener urlOpener;
    // Threads report back to the frame through it (hand_off.h).
    std::shared_ptr<HandOff> handOff;
    InfoPanel* infoPanel = nullptr;
    PictureClipboard* clipboard = nullptr;
    platform::TrashHistory trashMoves;
    bool closingFromFullScreen = false;
    // Full-screen memory: the windowed geometry (inside the frame, to
    // restore), the frame's normal rectangle (to store) and whether the
    // window was maximised when full screen began.
    QRect windowedGeometry;
    QRect windowedFrame;
    bool windowedMaximized = false;
    // The frame's rectangle the last time the window lay normally (neither
    // maximised, minimised nor full screen).
    QRect normalFrame;
    // The stored frame rectangle until the window manager has framed the
    // window: only then is known how much of it the inside may take.
    QRect pendingFrame;
};

}  // namespace brelvix::app
