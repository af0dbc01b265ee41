// The commands of the main frame as data: one row per command with its menu
// text, popup, keys, prompt, tooltip and what it runs, with its argument.
// Menus, the toolbar, the context menu, the keys and the status prompts are
// all built from the rows (command_table.cpp).
#pragma once

#include <QKeyCombination>
#include <cstdint>
#include <variant>

#include "viewer/navigator.h"

namespace brelvix {
class ImageView;
}

namespace brelvix::app {

class MainFrame;

// Command ids: one number per command, shared by menus, keys, toolbar and
// context menu.
enum CommandId : std::uint16_t {
    kCmdOpen = 57601,
    kCmdRefreshFileList = 32859,
    kCmdPreferences = 32772,
    kCmdExit = 57665,
    kCmdDelete = 32855,
    kCmdOpenForEditing = 32856,
    kCmdNext = 32778,
    kCmdPrevious = 32803,
    kCmdFirst = 32780,
    kCmdLast = 32781,
    kCmdFastForward = 32804,
    kCmdRewind = 32805,
    kCmdZoomIn = 32782,
    kCmdZoomOut = 32783,
    kCmdZoomInByOne = 32850,
    kCmdZoomOutByOne = 32851,
    kCmdZoomToFit = 32785,
    kCmdZoomTo100 = 32786,
    kCmdAutozoom = 32810,
    kCmdRotateLeft = 32787,
    kCmdRotateRight = 32788,
    kCmdFlipHorizontal = 32789,
    kCmdFlipVertical = 32790,
    kCmdSlideShow = 32800,
    kCmdFullScreen = 32801,
    kCmdToolbar = 59392,
    kCmdStatusBar = 59393,
    kCmdToggleInfo = 32849,
    kCmdKeyShortcuts = 32843,
    kCmdAbout = 57664,
    kCmdDonate = 32838,
    kCmdScrollUp = 33030,
    kCmdScrollDown = 33031,
    // Conveniences beyond the original commands.
    kCmdCopyPicture = 33010,
    kCmdCopyPath = 33011,
    kCmdUndoDelete = 33012,
    kCmdShowInFolder = 33013,
    kCmdInfoPanel = 33014,
    kCmdSortByName = 33015,
    kCmdSortByDateTaken = 33016,
    kCmdSortByDateModified = 33017,
    kCmdSortBySize = 33018,
    kCmdSortReverse = 33019,
};

// Which menu-bar popup shows a command.
enum class MenuPopup { None, File, Edit, Navigation, Sort, Image, View, Help };

// What a command runs: an operation of the frame or of the picture view,
// with or without an argument; nothing for a row that has nothing to do.
using CommandHandler = std::variant<std::monostate, void (MainFrame::*)(), void (ImageView::*)(),
                                    void (ImageView::*)(NavigationStep), void (ImageView::*)(double)>;
// The argument an operation of the view is called with (the navigation
// step, the zoom step); of the type the handler takes.
using CommandArgument = std::variant<std::monostate, NavigationStep, double>;

// One row of the command table.
struct CommandInfo {
    std::uint16_t id = 0;
    MenuPopup popup = MenuPopup::None;
    // Menu text with its mnemonic and, after a tab, the key text; null for
    // commands reached by keys only.
    const char* menuText = nullptr;
    // A separator follows the item in its popup.
    bool separatorAfter = false;
    // Key bindings; unused slots hold Qt::Key_unknown. A keypad key carries
    // Qt::KeypadModifier.
    QKeyCombination keys[6] = {};
    // Status-bar prompt while the menu item is highlighted, and the toolbar
    // tooltip; null when the command has none.
    const char* prompt = nullptr;
    const char* tooltip = nullptr;
    // The menu item carries a check mark.
    bool checkable = false;
    CommandHandler run = {};
    CommandArgument argument = {};
    // The context menu's text, where it differs from the menu text.
    const char* contextText = nullptr;
};

}  // namespace brelvix::app
