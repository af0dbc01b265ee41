#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <cmath>
#include <iterator>
#include <memory>
#include <type_traits>

#include "app/main_frame.h"
#include "app/view_widget.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

constexpr QKeyCombination Key(Qt::Key key)
{
    return QKeyCombination(key);
}
constexpr QKeyCombination Ctrl(Qt::Key key)
{
    return Qt::ControlModifier | key;
}
constexpr QKeyCombination Alt(Qt::Key key)
{
    return Qt::AltModifier | key;
}
// A key of the numeric keypad; the digits arrive like this with Num Lock on.
constexpr QKeyCombination Pad(Qt::Key key)
{
    return Qt::KeypadModifier | key;
}
constexpr QKeyCombination CtrlPad(Qt::Key key)
{
    return (Qt::ControlModifier | Qt::KeypadModifier) | key;
}
constexpr QKeyCombination CtrlShift(Qt::Key key)
{
    return (Qt::ControlModifier | Qt::ShiftModifier) | key;
}

// Toolbar buttons in order; 0 is a separator. Button i (separators not
// counted) shows image i of the strip.
constexpr std::uint16_t kToolbarButtons[] = {kCmdOpen,       kCmdPreferences, 0, kCmdPrevious, kCmdNext, 0,
                                             kCmdFullScreen, kCmdSlideShow};
constexpr int kToolbarImageSize = 24;

// The view's context menu in order; 0 is a separator.
constexpr std::uint16_t kContextMenu[] = {
    kCmdOpen,      kCmdPreferences, 0, kCmdZoomToFit, kCmdZoomTo100, kCmdAutozoom, 0,
    kCmdSlideShow, kCmdFullScreen,  0, kCmdExit};

struct PopupInfo {
    MenuPopup popup;
    const char* title;
};
constexpr PopupInfo kPopups[] = {
    {MenuPopup::File, "&File"}, {MenuPopup::Edit, "&Edit"},   {MenuPopup::Navigation, "&Navigation"},
    {MenuPopup::Sort, "&Sort"}, {MenuPopup::Image, "&Image"}, {MenuPopup::View, "&View"},
    {MenuPopup::Help, "&Help"},
};

// A prompt shows its first line only, at most 255 characters; a tooltip at
// most 79.
QString FirstLine(const char* text, int limit)
{
    if (text == nullptr) {
        return {};
    }
    QString line = QString::fromLatin1(text);
    const qsizetype newline = line.indexOf(u'\n');
    if (newline >= 0) {
        line.truncate(newline);
    }
    return line.left(limit);
}

}  // namespace

namespace {

// Every operation that takes an argument has one of its type in its row,
// and the others have none.
constexpr bool ArgumentsFit(std::span<const CommandInfo> rows)
{
    for (const CommandInfo& row : rows) {
        const bool fits = std::visit(
            [&row](auto operation) {
                using Operation = decltype(operation);
                if constexpr (std::is_same_v<Operation, void (ImageView::*)(NavigationStep)>) {
                    return std::holds_alternative<NavigationStep>(row.argument);
                } else if constexpr (std::is_same_v<Operation, void (ImageView::*)(double)>) {
                    return std::holds_alternative<double>(row.argument);
                } else {
                    return std::holds_alternative<std::monostate>(row.argument);
                }
            },
            row.run);
        if (!fits) {
            return false;
        }
    }
    return true;
}

}  // namespace

// Menu order: File, Edit, Navigation, Image, View, Help; rows without a popup
// are reached by keys only.
// clang-format off
constexpr CommandInfo MainFrame::commandTable[] = {
    {.id = kCmdOpen, .popup = MenuPopup::File, .menuText = "&Open...\tCtrl+O", .keys = {Ctrl(Qt::Key_O)},
     .prompt = "Open an existing document", .tooltip = "Open", .run = &MainFrame::Open,
     .contextText = "Open...\tCtrl+O"},
    {.id = kCmdRefreshFileList, .popup = MenuPopup::File, .menuText = "&Refresh file list\tCtrl+R",
     .separatorAfter = true, .keys = {Ctrl(Qt::Key_R)}, .run = &ImageView::RefreshFileList},
    {.id = kCmdPreferences, .popup = MenuPopup::File, .menuText = "Pr&eferences...\tCtrl+P", .separatorAfter = true,
     .keys = {Ctrl(Qt::Key_P), Key(Qt::Key_Tab)}, .prompt = "Open preferences dialog", .tooltip = "Preferences",
     .run = &MainFrame::ShowPreferences},
    {.id = kCmdExit, .popup = MenuPopup::File, .menuText = "E&xit\tEsc", .keys = {Key(Qt::Key_Escape)},
     .prompt = "Quit the application; prompts to save documents", .tooltip = "Exit", .run = &MainFrame::Exit,
     .contextText = "E&xit"},

    {.id = kCmdDelete, .popup = MenuPopup::Edit, .menuText = "Delete\tDel", .keys = {Key(Qt::Key_Delete)},
     .run = &ImageView::DeleteCurrentFile},
    {.id = kCmdOpenForEditing, .popup = MenuPopup::Edit, .menuText = "Open for editing...\tCtrl+E",
     .separatorAfter = true, .keys = {Ctrl(Qt::Key_E)}, .run = &MainFrame::OpenForEditing},
    {.id = kCmdUndoDelete, .popup = MenuPopup::Edit, .menuText = "&Undo Delete\tCtrl+Z", .separatorAfter = true,
     .keys = {Ctrl(Qt::Key_Z)}, .prompt = "Put the last picture moved to the trash back in its folder",
     .tooltip = "Undo delete", .run = &MainFrame::UndoDelete},
    {.id = kCmdCopyPicture, .popup = MenuPopup::Edit, .menuText = "&Copy Picture\tCtrl+C", .keys = {Ctrl(Qt::Key_C)},
     .prompt = "Copy the picture to the clipboard", .tooltip = "Copy picture", .run = &MainFrame::CopyPicture},
    {.id = kCmdCopyPath, .popup = MenuPopup::Edit, .menuText = "Copy &Path\tCtrl+Shift+C",
     .keys = {CtrlShift(Qt::Key_C)}, .prompt = "Copy the picture's file path to the clipboard",
     .tooltip = "Copy path", .run = &MainFrame::CopyPath},
    {.id = kCmdShowInFolder, .popup = MenuPopup::Edit, .menuText = "&Show in Folder\tCtrl+Shift+F",
     .keys = {CtrlShift(Qt::Key_F)}, .prompt = "Show the picture in the file manager", .tooltip = "Show in folder",
     .run = &MainFrame::ShowInFolder},

    {.id = kCmdNext, .popup = MenuPopup::Navigation, .menuText = "&Next\tRight",
     .keys = {Key(Qt::Key_Right), Key(Qt::Key_Space), Pad(Qt::Key_6)}, .prompt = "Show next image",
     .tooltip = "Next image", .run = &ImageView::Navigate, .argument = NavigationStep::Next},
    {.id = kCmdPrevious, .popup = MenuPopup::Navigation, .menuText = "&Previous\tLeft", .separatorAfter = true,
     .keys = {Key(Qt::Key_Left), Ctrl(Qt::Key_Space), Pad(Qt::Key_4)}, .prompt = "Show previous image",
     .tooltip = "Previous image", .run = &ImageView::Navigate, .argument = NavigationStep::Previous},
    {.id = kCmdFirst, .popup = MenuPopup::Navigation, .menuText = "&First image\tHome",
     .keys = {Key(Qt::Key_Home), Pad(Qt::Key_7)}, .prompt = "Show first image", .tooltip = "First image",
     .run = &ImageView::Navigate, .argument = NavigationStep::First},
    {.id = kCmdLast, .popup = MenuPopup::Navigation, .menuText = "&Last image\tEnd", .separatorAfter = true,
     .keys = {Key(Qt::Key_End), Pad(Qt::Key_1)}, .prompt = "Show last image", .tooltip = "Last image",
     .run = &ImageView::Navigate, .argument = NavigationStep::Last},
    {.id = kCmdFastForward, .popup = MenuPopup::Navigation, .menuText = "F&ast Forward\tPgDn",
     .keys = {Key(Qt::Key_PageDown), Pad(Qt::Key_3)}, .prompt = "Skip a few images forward", .tooltip = "Forward",
     .run = &ImageView::Navigate, .argument = NavigationStep::FastForward},
    {.id = kCmdRewind, .popup = MenuPopup::Navigation, .menuText = "&Rewind\tPgUp",
     .keys = {Key(Qt::Key_PageUp), Pad(Qt::Key_9)}, .prompt = "Skip a few images backwards", .tooltip = "Backwards",
     .run = &ImageView::Navigate, .argument = NavigationStep::Rewind},

    {.id = kCmdSortByName, .popup = MenuPopup::Sort, .menuText = "By &Name\tCtrl+1", .keys = {Ctrl(Qt::Key_1)},
     .prompt = "Sort the file list by name", .tooltip = "Sort by name", .checkable = true,
     .run = &MainFrame::SortByName},
    {.id = kCmdSortByDateTaken, .popup = MenuPopup::Sort, .menuText = "By Date &Taken\tCtrl+2",
     .keys = {Ctrl(Qt::Key_2)}, .prompt = "Sort the file list by the date each picture was taken",
     .tooltip = "Sort by date taken", .checkable = true, .run = &MainFrame::SortByDateTaken},
    {.id = kCmdSortByDateModified, .popup = MenuPopup::Sort, .menuText = "By Date &Modified\tCtrl+3",
     .keys = {Ctrl(Qt::Key_3)}, .prompt = "Sort the file list by the date each file was last changed",
     .tooltip = "Sort by date modified", .checkable = true, .run = &MainFrame::SortByDateModified},
    {.id = kCmdSortBySize, .popup = MenuPopup::Sort, .menuText = "By &Size\tCtrl+4", .separatorAfter = true,
     .keys = {Ctrl(Qt::Key_4)}, .prompt = "Sort the file list by file size", .tooltip = "Sort by size",
     .checkable = true, .run = &MainFrame::SortBySize},
    {.id = kCmdSortReverse, .popup = MenuPopup::Sort, .menuText = "&Reverse Order\tCtrl+Shift+R",
     .keys = {CtrlShift(Qt::Key_R)}, .prompt = "Turn the order of the file list round",
     .tooltip = "Reverse order", .checkable = true, .run = &MainFrame::ToggleSortReverse},

    // The main keyboard's keys act like the keypad's: laptops have no keypad.
    {.id = kCmdZoomIn, .popup = MenuPopup::Image, .menuText = "Zoom &In\t+",
     .keys = {Pad(Qt::Key_Plus), Key(Qt::Key_Plus), Key(Qt::Key_Equal)},
     .prompt = "Increase image size", .tooltip = "Zoom In", .run = &ImageView::ZoomStep, .argument = kFineZoomStep},
    {.id = kCmdZoomOut, .popup = MenuPopup::Image, .menuText = "Zoom &Out\t-", .separatorAfter = true,
     .keys = {Pad(Qt::Key_Minus), Key(Qt::Key_Minus)}, .prompt = "Decrease image size", .tooltip = "Zoom Out",
     .run = &ImageView::ZoomStep, .argument = -kFineZoomStep},
    {.id = kCmdZoomInByOne, .keys = {CtrlPad(Qt::Key_Plus), Ctrl(Qt::Key_Plus), Ctrl(Qt::Key_Equal)},
     .run = &ImageView::ZoomStep, .argument = kCoarseZoomStep},
    {.id = kCmdZoomOutByOne, .keys = {CtrlPad(Qt::Key_Minus), Ctrl(Qt::Key_Minus)}, .run = &ImageView::ZoomStep,
     .argument = -kCoarseZoomStep},
    {.id = kCmdZoomToFit, .popup = MenuPopup::Image, .menuText = "Zoom to &Fit\t*",
     .keys = {Pad(Qt::Key_Asterisk), Key(Qt::Key_Asterisk)},
     .prompt = "Stretch image to fit in the window", .tooltip = "Zoom to fit", .run = &ImageView::ZoomToFit},
    {.id = kCmdZoomTo100, .popup = MenuPopup::Image, .menuText = "Zoom to &100%\tInsert",
     .keys = {Key(Qt::Key_Insert), Pad(Qt::Key_0)}, .prompt = "Actual image size", .tooltip = "Zoom to 100%",
     .run = &ImageView::ZoomTo100},
    {.id = kCmdAutozoom, .popup = MenuPopup::Image, .menuText = "Autozoom to Best Fit\t/", .separatorAfter = true,
     .keys = {Pad(Qt::Key_Slash), Key(Qt::Key_Slash)}, .prompt = "Zoom image if needed for best fit", .tooltip = "Zoom to best fit",
     .checkable = true, .run = &MainFrame::ToggleAutozoom},
    {.id = kCmdRotateLeft, .popup = MenuPopup::Image, .menuText = "Rotate &Left\tCtrl+Left",
     .keys = {Ctrl(Qt::Key_Left)}, .prompt = "Rotate image counter clockwise", .tooltip = "Rotate left",
     .run = &ImageView::RotateLeft},
    {.id = kCmdRotateRight, .popup = MenuPopup::Image, .menuText = "Rotate &Right\tCtrl+Right", .separatorAfter = true,
     .keys = {Ctrl(Qt::Key_Right)}, .prompt = "Rotate image clockwise", .tooltip = "Rotate right",
     .run = &ImageView::RotateRight},
    {.id = kCmdFlipHorizontal, .popup = MenuPopup::Image, .menuText = "Flip &Horizontal\tAlt+Left,Right",
     .keys = {Alt(Qt::Key_Left), Alt(Qt::Key_Right)}, .prompt = "Flip image horizontally",
     .tooltip = "Flip horizontal", .run = &ImageView::FlipHorizontal},
    {.id = kCmdFlipVertical, .popup = MenuPopup::Image, .menuText = "Flip &Vertical\tAlt+Up,Down",
     .keys = {Alt(Qt::Key_Up), Alt(Qt::Key_Down)}, .prompt = "Flip image vertically", .tooltip = "Flip vertical",
     .run = &ImageView::FlipVertical},

    // Enter is either Return key; the keypad's Enter arrives as Key_Enter.
    {.id = kCmdSlideShow, .popup = MenuPopup::View, .menuText = "Slide S&how\tEnter",
     .keys = {Key(Qt::Key_Return), Key(Qt::Key_Enter)}, .prompt = "Start/stop slide show", .tooltip = "Slide show",
     .checkable = true, .run = &ImageView::ToggleSlideShow},
    {.id = kCmdFullScreen, .popup = MenuPopup::View, .menuText = "&Full Screen\tF12", .separatorAfter = true,
     .keys = {Key(Qt::Key_F12), Pad(Qt::Key_5), Ctrl(Qt::Key_Return), Ctrl(Qt::Key_Enter), Alt(Qt::Key_Return),
              Alt(Qt::Key_Enter)},
     .prompt = "Switch full screen mode on/off", .tooltip = "Full screen", .checkable = true,
     .run = &MainFrame::ToggleFullScreen},
    {.id = kCmdToolbar, .popup = MenuPopup::View, .menuText = "&Toolbar\tCtrl+T", .keys = {Ctrl(Qt::Key_T)},
     .prompt = "Show or hide the toolbar", .tooltip = "Toggle ToolBar", .checkable = true,
     .run = &MainFrame::ToggleToolbar},
    {.id = kCmdStatusBar, .popup = MenuPopup::View, .menuText = "&Status Bar\tCtrl+S", .separatorAfter = true,
     .keys = {Ctrl(Qt::Key_S)}, .prompt = "Show or hide the status bar", .tooltip = "Toggle StatusBar",
     .checkable = true, .run = &MainFrame::ToggleStatusBar},
    // They scroll only with the modern zoom on.
    {.id = kCmdScrollUp, .popup = MenuPopup::View, .menuText = "Scroll U&p\tUp", .keys = {Key(Qt::Key_Up)},
     .prompt = "Scroll up by a tenth of the view (modern zoom)", .run = &ImageView::ScrollLineUp},
    {.id = kCmdScrollDown, .popup = MenuPopup::View, .menuText = "Scroll Do&wn\tDown", .keys = {Key(Qt::Key_Down)},
     .prompt = "Scroll down by a tenth of the view (modern zoom)", .run = &ImageView::ScrollLineDown},
    {.id = kCmdToggleInfo, .keys = {Ctrl(Qt::Key_I)}, .run = &MainFrame::ToggleInfo},
    {.id = kCmdInfoPanel, .popup = MenuPopup::View, .menuText = "&Information Panel\tI", .keys = {Key(Qt::Key_I)},
     .prompt = "Show or hide the picture information panel", .tooltip = "Information panel", .checkable = true,
     .run = &MainFrame::ToggleInfoPanel},

    {.id = kCmdKeyShortcuts, .popup = MenuPopup::Help, .menuText = "Key Shortcuts...\tF1", .keys = {Key(Qt::Key_F1)},
     .run = &MainFrame::ShowKeyShortcuts},
    {.id = kCmdAbout, .popup = MenuPopup::Help, .menuText = "&About Brelvix...",
     .prompt = "Display program information, version number and copyright", .tooltip = "About",
     .run = &MainFrame::ShowAbout},
    {.id = kCmdDonate, .popup = MenuPopup::Help, .menuText = "Donate...", .prompt = "Send some money in",
     .tooltip = "Donate", .run = &MainFrame::Donate},
};
// clang-format on

std::span<const CommandInfo> MainFrame::Commands()
{
    static_assert(ArgumentsFit(commandTable));
    return {commandTable, std::size(commandTable)};
}

const CommandInfo* MainFrame::FindCommand(std::uint16_t id)
{
    for (const CommandInfo& command : Commands()) {
        if (command.id == id) {
            return &command;
        }
    }
    return nullptr;
}

void MainFrame::BuildMenus()
{
    for (const CommandInfo& command : Commands()) {
        auto* action = new QAction(this);
        action->setData(command.id);
        if (command.menuText != nullptr) {
            action->setText(QString::fromLatin1(command.menuText));
        }
        QList<QKeySequence> shortcuts;
        for (QKeyCombination key : command.keys) {
            if (key.key() != Qt::Key_unknown) {
                shortcuts.append(QKeySequence(key));
            }
        }
        action->setShortcuts(shortcuts);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setCheckable(command.checkable);
        const std::uint16_t id = command.id;
        connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        // Added to the frame itself so the keys keep working while the menu
        // bar is hidden in full screen.
        addAction(action);
        actions[command.id] = action;
    }

    for (const PopupInfo& popupInfo : kPopups) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(popupInfo.title));
        WatchMenuPrompts(menu);
        for (const CommandInfo& command : Commands()) {
            if (command.popup != popupInfo.popup) {
                continue;
            }
            menu->addAction(actions[command.id]);
            if (command.separatorAfter) {
                menu->addSeparator();
            }
        }
    }
}

void MainFrame::BuildToolBar()
{
    toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar->setObjectName(QStringLiteral("toolbar"));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setIconSize(QSize(kToolbarImageSize, kToolbarImageSize));
    addToolBar(Qt::TopToolBarArea, toolBar);

    const QPixmap strip(QStringLiteral(":/brelvix/toolbar.png"));
    int image = 0;
    for (std::uint16_t id : kToolbarButtons) {
        if (id == 0) {
            toolBar->addSeparator();
            continue;
        }
        const CommandInfo* command = FindCommand(id);
        // Buttons have actions of their own: the Full Screen and Slide Show
        // buttons do not stay down while their mode is on.
        auto* action = new QAction(toolBar);
        action->setData(id);
        action->setIcon(QIcon(strip.copy(image * kToolbarImageSize, 0, kToolbarImageSize, kToolbarImageSize)));
        action->setText(FirstLine(command->tooltip, 79));
        action->setToolTip(FirstLine(command->tooltip, 79));
        connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        toolBar->addAction(action);
        ++image;
    }
}

void MainFrame::BuildStatusBar()
{
    statusPane = new QLabel(QString::fromLatin1(kReadyText));
    statusPane->setTextFormat(Qt::PlainText);
    promptPane = new QLabel;
    promptPane->setTextFormat(Qt::PlainText);
    promptPane->hide();
    statusBar()->addWidget(statusPane, 1);
    statusBar()->addWidget(promptPane, 1);
    statusBar()->setSizeGripEnabled(true);
}

void MainFrame::WatchMenuPrompts(QMenu* menu)
{
    // While a menu is open the status bar shows the highlighted item's prompt
    // (empty for items without one) instead of its normal text.
    connect(menu, &QMenu::aboutToShow, this, [this] { ShowMenuPrompt(QString()); });
    connect(menu, &QMenu::hovered, this, [this](QAction* action) {
        const CommandInfo* command = FindCommand(static_cast<std::uint16_t>(action->data().toUInt()));
        ShowMenuPrompt(command != nullptr ? FirstLine(command->prompt, 255) : QString());
    });
    connect(menu, &QMenu::aboutToHide, this, [this] { EndMenuPrompt(); });
}

void MainFrame::ShowMenuPrompt(const QString& prompt)
{
    promptPane->setText(prompt);
    statusPane->hide();
    promptPane->show();
}

void MainFrame::EndMenuPrompt()
{
    promptPane->hide();
    promptPane->clear();
    statusPane->show();
}

bool MainFrame::event(QEvent* event)
{
    // Prompts come from the menus themselves (WatchMenuPrompts); the toolkit's
    // own status tips (toolbar hover) would overwrite the status text.
    if (event->type() == QEvent::StatusTip) {
        return true;
    }
    return QMainWindow::event(event);
}

QAction* MainFrame::CommandAction(std::uint16_t id) const
{
    const auto found = actions.find(id);
    return found == actions.end() ? nullptr : found->second;
}

void MainFrame::SetCheck(std::uint16_t id, bool checked)
{
    if (QAction* action = CommandAction(id)) {
        action->setChecked(checked);
    }
}

void MainFrame::ExecuteCommand(std::uint16_t id)
{
    const CommandInfo* command = FindCommand(id);
    if (command == nullptr) {
        return;
    }
    std::visit(
        [this, command](auto operation) {
            using Operation = decltype(operation);
            if constexpr (std::is_same_v<Operation, void (MainFrame::*)()>) {
                (this->*operation)();
            } else if constexpr (std::is_same_v<Operation, void (ImageView::*)()>) {
                (Image().*operation)();
            } else if constexpr (std::is_same_v<Operation, void (ImageView::*)(NavigationStep)>) {
                (Image().*operation)(std::get<NavigationStep>(command->argument));
            } else if constexpr (std::is_same_v<Operation, void (ImageView::*)(double)>) {
                (Image().*operation)(std::get<double>(command->argument));
            }
        },
        command->run);
}

std::uint16_t MainFrame::CommandForKey(QKeyCombination key)
{
    for (const CommandInfo& command : Commands()) {
        for (const QKeyCombination bound : command.keys) {
            if (bound.key() != Qt::Key_unknown && bound == key) {
                return command.id;
            }
        }
    }
    return 0;
}

// The keypad's bindings reach the frame here. On X11 the toolkit leaves the
// keypad mark out when it matches shortcuts, so a shortcut that carries it
// never fires from a real keypad (the key then arrives here unused); where a
// shortcut does fire, the key never gets here. Either way each press acts
// once.
void MainFrame::keyPressEvent(QKeyEvent* event)
{
    constexpr Qt::KeyboardModifiers kBindingModifiers =
        Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::KeypadModifier;
    if (event->modifiers().testFlag(Qt::KeypadModifier)) {
        // A keypad key bound as itself, or else bound as the same key of the
        // main keyboard (the keypad's Enter, and its arrows with Num Lock
        // off), as the shortcut would have matched it.
        const Qt::KeyboardModifiers modifiers = event->modifiers() & kBindingModifiers;
        std::uint16_t id = CommandForKey(QKeyCombination(modifiers, Qt::Key(event->key())));
        if (id == 0) {
            id = CommandForKey(QKeyCombination(modifiers & ~Qt::KeypadModifier, Qt::Key(event->key())));
        }
        if (id != 0) {
            event->accept();
            ExecuteCommand(id);
            return;
        }
    }
    QMainWindow::keyPressEvent(event);
}

QMenu* MainFrame::CreateContextMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    WatchMenuPrompts(menu);
    for (std::uint16_t id : kContextMenu) {
        const CommandInfo* command = FindCommand(id);
        if (command == nullptr) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(
            QString::fromLatin1(command->contextText != nullptr ? command->contextText : command->menuText));
        action->setData(id);
        action->setCheckable(command->checkable);
        action->setChecked(command->checkable && CommandAction(id)->isChecked());
    }
    return menu;
}

void MainFrame::ShowContextMenu(int screenX, int screenY)
{
    const double ratio = view->devicePixelRatioF();
    std::unique_ptr<QMenu> menu(CreateContextMenu(this));
    QAction* chosen = menu->exec(QPoint(int(std::lround(screenX / ratio)), int(std::lround(screenY / ratio))));
    if (chosen != nullptr) {
        const auto id = static_cast<std::uint16_t>(chosen->data().toUInt());
        menu.reset();
        ExecuteCommand(id);
    }
}

}  // namespace brelvix::app
