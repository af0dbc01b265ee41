#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>

#include "app/about_dialog.h"
#include "app/preferences_dialog.h"
#include "app/resources.h"
#include "app/shortcuts_dialog.h"
#include "app/view_widget.h"
#include "platform/trash.h"
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

// Toolbar buttons in order; 0 is a separator. Button i (separators not
// counted) shows image i of the strip.
constexpr std::uint16_t kToolbarButtons[] = {kCmdOpen,       kCmdPreferences, 0, kCmdPrevious, kCmdNext, 0,
                                             kCmdFullScreen, kCmdSlideShow};
constexpr int kToolbarImageSize = 24;

// The view's context menu in order; 0 is a separator.
constexpr std::uint16_t kContextMenu[] = {
    kCmdOpen,      kCmdPreferences, 0, kCmdZoomToFit, kCmdZoomTo100, kCmdAutozoom, 0,
    kCmdSlideShow, kCmdFullScreen,  0, kCmdExit};

constexpr CommandOperation FrameOp(void (MainFrame::*operation)())
{
    return {operation, nullptr};
}
constexpr CommandOperation ViewOp(void (ImageView::*operation)())
{
    return {nullptr, operation};
}

struct PopupInfo {
    MenuPopup popup;
    const char* title;
};
constexpr PopupInfo kPopups[] = {
    {MenuPopup::File, "&File"},   {MenuPopup::Edit, "&Edit"}, {MenuPopup::Navigation, "&Navigation"},
    {MenuPopup::Image, "&Image"}, {MenuPopup::View, "&View"}, {MenuPopup::Help, "&Help"},
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

// Menu order: File, Edit, Navigation, Image, View, Help; rows without a popup
// are reached by keys only.
// clang-format off
const CommandInfo MainFrame::commandTable[] = {
    {.id = kCmdOpen, .popup = MenuPopup::File, .menuText = "&Open...\tCtrl+O", .keys = {Ctrl(Qt::Key_O)},
     .prompt = "Open an existing document", .tooltip = "Open", .run = FrameOp(&MainFrame::Open),
     .contextText = "Open...\tCtrl+O"},
    {.id = kCmdRefreshFileList, .popup = MenuPopup::File, .menuText = "&Refresh file list\tCtrl+R",
     .separatorAfter = true, .keys = {Ctrl(Qt::Key_R)}, .run = ViewOp(&ImageView::RefreshFileList)},
    {.id = kCmdPreferences, .popup = MenuPopup::File, .menuText = "Pr&eferences...\tCtrl+P", .separatorAfter = true,
     .keys = {Ctrl(Qt::Key_P), Key(Qt::Key_Tab)}, .prompt = "Open preferences dialog", .tooltip = "Preferences",
     .run = FrameOp(&MainFrame::ShowPreferences)},
    {.id = kCmdExit, .popup = MenuPopup::File, .menuText = "E&xit\tEsc", .keys = {Key(Qt::Key_Escape)},
     .prompt = "Quit the application; prompts to save documents", .tooltip = "Exit", .run = FrameOp(&MainFrame::Exit),
     .contextText = "E&xit"},

    {.id = kCmdDelete, .popup = MenuPopup::Edit, .menuText = "Delete\tDel", .keys = {Key(Qt::Key_Delete)},
     .run = ViewOp(&ImageView::DeleteCurrentFile)},
    {.id = kCmdOpenForEditing, .popup = MenuPopup::Edit, .menuText = "Open for editing...\tCtrl+E",
     .keys = {Ctrl(Qt::Key_E)}, .run = FrameOp(&MainFrame::OpenForEditing)},

    {.id = kCmdNext, .popup = MenuPopup::Navigation, .menuText = "&Next\tRight",
     .keys = {Key(Qt::Key_Right), Key(Qt::Key_Space), Pad(Qt::Key_6)}, .prompt = "Show next image",
     .tooltip = "Next image", .run = ViewOp(&ImageView::ShowNext)},
    {.id = kCmdPrevious, .popup = MenuPopup::Navigation, .menuText = "&Previous\tLeft", .separatorAfter = true,
     .keys = {Key(Qt::Key_Left), Ctrl(Qt::Key_Space), Pad(Qt::Key_4)}, .prompt = "Show previous image",
     .tooltip = "Previous image", .run = ViewOp(&ImageView::ShowPrevious)},
    {.id = kCmdFirst, .popup = MenuPopup::Navigation, .menuText = "&First image\tHome",
     .keys = {Key(Qt::Key_Home), Pad(Qt::Key_7)}, .prompt = "Show first image", .tooltip = "First image",
     .run = ViewOp(&ImageView::ShowFirst)},
    {.id = kCmdLast, .popup = MenuPopup::Navigation, .menuText = "&Last image\tEnd", .separatorAfter = true,
     .keys = {Key(Qt::Key_End), Pad(Qt::Key_1)}, .prompt = "Show last image", .tooltip = "Last image",
     .run = ViewOp(&ImageView::ShowLast)},
    {.id = kCmdFastForward, .popup = MenuPopup::Navigation, .menuText = "F&ast Forward\tPgDn",
     .keys = {Key(Qt::Key_PageDown), Pad(Qt::Key_3)}, .prompt = "Skip a few images forward", .tooltip = "Forward",
     .run = ViewOp(&ImageView::FastForward)},
    {.id = kCmdRewind, .popup = MenuPopup::Navigation, .menuText = "&Rewind\tPgUp",
     .keys = {Key(Qt::Key_PageUp), Pad(Qt::Key_9)}, .prompt = "Skip a few images backwards", .tooltip = "Backwards",
     .run = ViewOp(&ImageView::Rewind)},

    {.id = kCmdZoomIn, .popup = MenuPopup::Image, .menuText = "Zoom &In\t+", .keys = {Pad(Qt::Key_Plus)},
     .prompt = "Increase image size", .tooltip = "Zoom In", .run = ViewOp(&ImageView::ZoomIn)},
    {.id = kCmdZoomOut, .popup = MenuPopup::Image, .menuText = "Zoom &Out\t-", .separatorAfter = true,
     .keys = {Pad(Qt::Key_Minus)}, .prompt = "Decrease image size", .tooltip = "Zoom Out",
     .run = ViewOp(&ImageView::ZoomOut)},
    {.id = kCmdZoomInByOne, .keys = {CtrlPad(Qt::Key_Plus)}, .run = ViewOp(&ImageView::ZoomInByOne)},
    {.id = kCmdZoomOutByOne, .keys = {CtrlPad(Qt::Key_Minus)}, .run = ViewOp(&ImageView::ZoomOutByOne)},
    {.id = kCmdZoomToFit, .popup = MenuPopup::Image, .menuText = "Zoom to &Fit\t*", .keys = {Pad(Qt::Key_Asterisk)},
     .prompt = "Stretch image to fit in the window", .tooltip = "Zoom to fit", .run = ViewOp(&ImageView::ZoomToFit)},
    {.id = kCmdZoomTo100, .popup = MenuPopup::Image, .menuText = "Zoom to &100%\tInsert",
     .keys = {Key(Qt::Key_Insert), Pad(Qt::Key_0)}, .prompt = "Actual image size", .tooltip = "Zoom to 100%",
     .run = ViewOp(&ImageView::ZoomTo100)},
    {.id = kCmdAutozoom, .popup = MenuPopup::Image, .menuText = "Autozoom to Best Fit\t/", .separatorAfter = true,
     .keys = {Pad(Qt::Key_Slash)}, .prompt = "Zoom image if needed for best fit", .tooltip = "Zoom to best fit",
     .checkable = true, .run = FrameOp(&MainFrame::ToggleAutozoom)},
    {.id = kCmdRotateLeft, .popup = MenuPopup::Image, .menuText = "Rotate &Left\tCtrl+Left",
     .keys = {Ctrl(Qt::Key_Left)}, .prompt = "Rotate image counter clockwise", .tooltip = "Rotate left",
     .run = ViewOp(&ImageView::RotateLeft)},
    {.id = kCmdRotateRight, .popup = MenuPopup::Image, .menuText = "Rotate &Right\tCtrl+Right", .separatorAfter = true,
     .keys = {Ctrl(Qt::Key_Right)}, .prompt = "Rotate image clockwise", .tooltip = "Rotate right",
     .run = ViewOp(&ImageView::RotateRight)},
    {.id = kCmdFlipHorizontal, .popup = MenuPopup::Image, .menuText = "Flip &Horizontal\tAlt+Left,Right",
     .keys = {Alt(Qt::Key_Left), Alt(Qt::Key_Right)}, .prompt = "Flip image horizontally",
     .tooltip = "Flip horizontal", .run = ViewOp(&ImageView::FlipHorizontal)},
    {.id = kCmdFlipVertical, .popup = MenuPopup::Image, .menuText = "Flip &Vertical\tAlt+Up,Down",
     .keys = {Alt(Qt::Key_Up), Alt(Qt::Key_Down)}, .prompt = "Flip image vertically", .tooltip = "Flip vertical",
     .run = ViewOp(&ImageView::FlipVertical)},

    // Enter is either Return key; the keypad's Enter arrives as Key_Enter.
    {.id = kCmdSlideShow, .popup = MenuPopup::View, .menuText = "Slide S&how\tEnter",
     .keys = {Key(Qt::Key_Return), Key(Qt::Key_Enter)}, .prompt = "Start/stop slide show", .tooltip = "Slide show",
     .checkable = true, .run = ViewOp(&ImageView::ToggleSlideShow)},
    {.id = kCmdFullScreen, .popup = MenuPopup::View, .menuText = "&Full Screen\tF12", .separatorAfter = true,
     .keys = {Key(Qt::Key_F12), Pad(Qt::Key_5), Ctrl(Qt::Key_Return), Ctrl(Qt::Key_Enter), Alt(Qt::Key_Return),
              Alt(Qt::Key_Enter)},
     .prompt = "Switch full screen mode on/off", .tooltip = "Full screen", .checkable = true,
     .run = FrameOp(&MainFrame::ToggleFullScreen)},
    {.id = kCmdToolbar, .popup = MenuPopup::View, .menuText = "&Toolbar\tCtrl+T", .keys = {Ctrl(Qt::Key_T)},
     .prompt = "Show or hide the toolbar", .tooltip = "Toggle ToolBar", .checkable = true,
     .run = FrameOp(&MainFrame::ToggleToolbar)},
    {.id = kCmdStatusBar, .popup = MenuPopup::View, .menuText = "&Status Bar\tCtrl+S", .keys = {Ctrl(Qt::Key_S)},
     .prompt = "Show or hide the status bar", .tooltip = "Toggle StatusBar", .checkable = true,
     .run = FrameOp(&MainFrame::ToggleStatusBar)},
    {.id = kCmdToggleInfo, .keys = {Ctrl(Qt::Key_I)}, .run = FrameOp(&MainFrame::ToggleInfo)},

    {.id = kCmdKeyShortcuts, .popup = MenuPopup::Help, .menuText = "Key Shortcuts...\tF1", .keys = {Key(Qt::Key_F1)},
     .run = FrameOp(&MainFrame::ShowKeyShortcuts)},
    {.id = kCmdAbout, .popup = MenuPopup::Help, .menuText = "&About Brelvix...",
     .prompt = "Display program information, version number and copyright", .tooltip = "About",
     .run = FrameOp(&MainFrame::ShowAbout)},
    {.id = kCmdDonate, .popup = MenuPopup::Help, .menuText = "Donate...", .prompt = "Send some money in",
     .tooltip = "Donate", .run = FrameOp(&MainFrame::Donate)},
};
// clang-format on

std::span<const CommandInfo> MainFrame::Commands()
{
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

namespace {

// The toolkit's file dialog, with the request's title and type list.
bool RunFileDialog(QWidget* owner, const OpenFileDialogRequest& request, std::string* chosen)
{
    QStringList filters;
    for (const FileDialogFilter& filter : request.filters) {
        QStringList patterns;
        for (const QString& pattern : QString::fromStdString(filter.patterns).split(u';', Qt::SkipEmptyParts)) {
            // "*.*" means every file, also those without a dot in the name.
            patterns.append(pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern);
        }
        filters.append(QStringLiteral("%1 (%2)").arg(QString::fromStdString(filter.name), patterns.join(u' ')));
    }
    const QString path =
        QFileDialog::getOpenFileName(owner, QString::fromStdString(request.title), QString(), filters.join(";;"));
    if (path.isEmpty()) {
        return false;
    }
    *chosen = QFile::encodeName(path).toStdString();
    return true;
}

}  // namespace

MainFrame::MainFrame(QWidget* parent) : QMainWindow(parent), openDialog(RunFileDialog)
{
    InitBrelvixResources();
    setWindowTitle(QStringLiteral("Brelvix"));
    setWindowIcon(QIcon(QStringLiteral(":/brelvix/brelvix.png")));

    BuildMenus();
    BuildToolBar();
    BuildStatusBar();

    view = new ViewWidget(this, *this, *this);
    setCentralWidget(view);
    view->setFocus();

    SetCheck(kCmdToolbar, true);
    SetCheck(kCmdStatusBar, true);

    // Defaults, then whatever the settings store holds.
    ImageView& image = Image();
    image.document.slideShowDelay = 5.0;
    image.fullScreen = false;
    ZoomToBestFit = false;
    EscFullscreen = false;
    image.document.fastForwardSkip = 20;
    image.document.backgroundColor = 0xFFFFFF;

    // Where the window system would put a new window: a comfortable size on
    // the primary screen; the position is left to the window manager.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize available = screen->availableGeometry().size();
        resize(QSize(1024, 768).boundedTo(available * 9 / 10));
    }

    LoadSettings();
    SetCheck(kCmdAutozoom, ZoomToBestFit);
}

// The view calls back into the frame; it goes first, while the frame is
// still whole.
MainFrame::~MainFrame()
{
    delete view;
}

ImageView& MainFrame::Image()
{
    return view->Image();
}

bool MainFrame::OpenFirstPicture(const std::string& path)
{
    // Best fit at start-up needs the window's real size before it is shown.
    view->SyncGeometry();
    if (!Image().OpenImage(path, true)) {
        return false;
    }
    // A stored minimised state starts as a normal window: a viewer that
    // opens out of sight looks as if it had not started.
    if (windowShow == WindowShow::Maximized) {
        showMaximized();
    } else {
        show();
    }
    return true;
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

QString MainFrame::StatusText() const
{
    return statusPane->text();
}

QString MainFrame::VisibleStatusText() const
{
    return promptPane->isHidden() ? statusPane->text() : promptPane->text();
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
    if (command->run.frame != nullptr) {
        (this->*command->run.frame)();
    } else if (command->run.view != nullptr) {
        (Image().*command->run.view)();
    }
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

// ---- what the frame does for the view

void MainFrame::SetTitle(const std::string& title)
{
    setWindowTitle(DecodeName(title));
}

void MainFrame::SetStatusText(const std::string& text)
{
    statusPane->setText(DecodeName(text));
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

bool MainFrame::ChooseFile(const OpenFileDialogRequest& request, std::string* chosen)
{
    return openDialog(this, request, chosen);
}

namespace {

// A symbolic link counts as itself, even one that leads nowhere.
bool StillThere(const std::string& path)
{
    const QFileInfo info(DecodeName(path));
    return info.exists() || info.isSymLink();
}

}  // namespace

TrashResult MainFrame::MoveToTrash(const std::string& path)
{
    const QString name = QFileInfo(DecodeName(path)).fileName();
    const auto gone = [this, &name] {
        QMessageBox::information(
            this, QStringLiteral("Brelvix"),
            QStringLiteral("\"%1\" is no longer there: another program has removed or renamed it.").arg(name));
        return TrashResult::Missing;
    };
    if (!StillThere(path)) {
        return gone();
    }
    const QMessageBox::StandardButton answer =
        QMessageBox::question(this, QStringLiteral("Brelvix"), QStringLiteral("Move \"%1\" to the trash?").arg(name),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        return TrashResult::Aborted;
    }
    std::string reason;
    if (platform::MoveToTrash(path, &reason) == platform::TrashResult::kDone) {
        return TrashResult::Done;
    }
    if (!StillThere(path)) {
        return gone();
    }
    QMessageBox::warning(this, QStringLiteral("Brelvix"),
                         QStringLiteral("\"%1\" could not be moved to the trash; it is still in its folder.\n\n%2")
                             .arg(name, DecodeName(reason)));
    return TrashResult::Failed;
}

// ---- full screen and closing

void MainFrame::ToggleFullScreen()
{
    ImageView& image = Image();
    if (!image.fullScreen) {
        ShowStatusbar = !statusBar()->isHidden();
        statusBar()->hide();
        // The toolbar keeps its own memory (ShowToolbar), so a toolbar hidden
        // before full screen stays hidden afterwards.
        menuBar()->hide();
        toolBar->hide();
        windowedMaximized = isMaximized();
        windowedGeometry = windowedMaximized && normalGeometry().isValid() ? normalGeometry() : geometry();
        windowedFrame = windowedMaximized && normalFrame.isValid() ? normalFrame : frameGeometry();
        view->SetEdgeVisible(false);
        showFullScreen();
        // The full-screen state is the window manager's to honour; on an X
        // server without one the window covers its screen by itself (with a
        // window manager this asks for the size it gives anyway).
        if (QScreen* current = screen()) {
            setGeometry(current->geometry());
        }
        image.fullScreen = true;
    } else {
        view->SetEdgeVisible(true);
        menuBar()->show();
        toolBar->setVisible(ShowToolbar);
        statusBar()->setVisible(ShowStatusbar);
        if (windowedMaximized) {
            showMaximized();
        } else {
            showNormal();
            setGeometry(windowedGeometry);
        }
        image.fullScreen = false;
    }
    SetCheck(kCmdFullScreen, image.fullScreen);
    view->RepaintNow();
}

void MainFrame::closeEvent(QCloseEvent* event)
{
    // Whatever is still decoding is left, so that the program ends at once.
    Image().CancelLoading();
    if (Image().fullScreen) {
        closingFromFullScreen = true;
        ToggleFullScreen();
    }
    SaveSettings();
    view->StopTimers();
    event->accept();
}

// The stored rectangle is the frame's, title bar and borders included, as
// the window manager places it: a window stored at the screen's top-left
// corner comes back with its title bar there, not above the screen.
QRect MainFrame::PlacementRect() const
{
    if (view->Image().fullScreen || closingFromFullScreen) {
        return windowedFrame;
    }
    if (isMaximized() || isMinimized()) {
        if (normalFrame.isValid()) {
            return normalFrame;
        }
        if (normalGeometry().isValid()) {
            return normalGeometry();
        }
    }
    return frameGeometry();
}

namespace {

// Less than this much of a window on any screen and it counts as lost.
constexpr int kVisibleEnough = 48;

// A rectangle with too little of it on every screen (stored while a monitor
// that is gone now was plugged in) moves onto the nearest screen's free
// area, shrunk to fit; any other stays as it is.
QRect OntoAScreen(QRect frame)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    const QScreen* nearest = nullptr;
    std::int64_t nearestDistance = 0;
    for (const QScreen* screen : screens) {
        const QRect shared = screen->availableGeometry().intersected(frame);
        if (shared.width() >= std::min(kVisibleEnough, frame.width()) &&
            shared.height() >= std::min(kVisibleEnough, frame.height())) {
            return frame;
        }
        const QPoint apart = screen->availableGeometry().center() - frame.center();
        const std::int64_t distance = std::int64_t{apart.x()} * apart.x() + std::int64_t{apart.y()} * apart.y();
        if (nearest == nullptr || distance < nearestDistance) {
            nearest = screen;
            nearestDistance = distance;
        }
    }
    if (nearest == nullptr) {
        return frame;
    }
    const QRect area = nearest->availableGeometry();
    frame.setSize(frame.size().boundedTo(area.size()));
    frame.moveLeft(std::clamp(frame.left(), area.left(), area.right() + 1 - frame.width()));
    frame.moveTop(std::clamp(frame.top(), area.top(), area.bottom() + 1 - frame.height()));
    return frame;
}

}  // namespace

void MainFrame::RestoreFrame(const QRect& stored)
{
    const QRect frame = OntoAScreen(stored);
    normalFrame = frame;
    pendingFrame = frame;
    // A window's position is its frame's; its size is the inside's, which is
    // known only once the window manager has put a frame around it (until
    // then the inside takes the whole rectangle).
    move(frame.topLeft());
    resize(frame.size());
}

void MainFrame::NoteGeometry()
{
    if (!isVisible() || Image().fullScreen || windowState() != Qt::WindowNoState) {
        return;
    }
    const QRect frame = frameGeometry();
    const QRect inside = geometry();
    if (pendingFrame.isValid() && frame != inside) {
        const QRect wanted = pendingFrame;
        pendingFrame = QRect();
        resize(wanted.size() - (frame.size() - inside.size()));
        move(wanted.topLeft());
        return;
    }
    normalFrame = frame;
}

void MainFrame::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    NoteGeometry();
}

void MainFrame::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    NoteGeometry();
}

void MainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Where the frame is known as the window shows, no move follows it.
    NoteGeometry();
    QTimer::singleShot(0, this, [this] { NoteGeometry(); });
}

WindowShow MainFrame::PlacementShow() const
{
    if (view->Image().fullScreen || closingFromFullScreen) {
        return windowedMaximized ? WindowShow::Maximized : WindowShow::Normal;
    }
    if (isMinimized()) {
        return WindowShow::Minimized;
    }
    return isMaximized() ? WindowShow::Maximized : WindowShow::Normal;
}

// ---- commands the frame carries out itself

void MainFrame::Open()
{
    ImageView& image = Image();
    // Toggling the show also clears its check mark.
    if (image.OpenImage(std::string(), true) && image.slideShowRunning) {
        image.ToggleSlideShow();
    }
}

void MainFrame::Exit()
{
    if (Image().fullScreen && !EscFullscreen) {
        ToggleFullScreen();
    } else {
        close();
    }
}

void MainFrame::OpenForEditing()
{
    const EditorRequest request = Image().EditorCommand();
    if (request.launch) {
        // The result is not examined: a missing editor shows nothing.
        QProcess::startDetached(QFile::decodeName(request.program.c_str()),
                                {QFile::decodeName(request.argument.c_str())});
        return;
    }
    QMessageBox::warning(this, QString::fromLatin1(request.warningCaption.c_str()),
                         QString::fromLatin1(request.warningText.c_str()));
}

void MainFrame::ToggleAutozoom()
{
    ZoomToBestFit = !ZoomToBestFit;
    SetCheck(kCmdAutozoom, ZoomToBestFit);
    if (ZoomToBestFit) {
        Image().ApplyBestFit();
    } else {
        Image().ZoomTo100();
    }
}

void MainFrame::ToggleToolbar()
{
    ShowToolbar = !ShowToolbar;
    toolBar->setVisible(ShowToolbar && !Image().fullScreen);
    SetCheck(kCmdToolbar, ShowToolbar);
}

void MainFrame::ToggleStatusBar()
{
    const bool visible = statusBar()->isHidden();
    ShowStatusbar = visible;
    statusBar()->setVisible(visible);
    SetCheck(kCmdStatusBar, visible);
}

void MainFrame::ToggleInfo()
{
    Image().document.showInfoInFullScreen = !Image().document.showInfoInFullScreen;
    view->RepaintNow();
}

// ---- the dialogs

QWidget* MainFrame::DialogOwner()
{
    QWidget* active = QApplication::activeWindow();
    return active != nullptr ? active : this;
}

void MainFrame::ShowPreferences()
{
    ImageDocument& document = Image().document;
    PreferencesValues values;
    values.backgroundColor = document.backgroundColor;
    values.escFullscreen = EscFullscreen;
    values.includeSubdirectories = document.includeSubdirectories;
    values.slideShowDelay = document.slideShowDelay;
    values.fastForwardSkip = document.fastForwardSkip;
    values.imageEditorPath = document.imageEditorPath;
    values.applyOrientation = document.applyOrientation;
    PreferencesDialog dialog(values, DialogOwner());
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    ApplyPreferences(dialog.Values(), document, &EscFullscreen);
    // The picture on screen is loaded again, so that it shows at once
    // turned (or not) as the setting now says.
    if (document.applyOrientation != values.applyOrientation && !document.path.empty()) {
        Image().OpenImage(document.path, false);
    }
    // A new background shows at once.
    view->RepaintNow();
}

void MainFrame::ShowKeyShortcuts()
{
    ShortcutsDialog(DialogOwner()).exec();
}

void MainFrame::ShowAbout()
{
    AboutDialog(DialogOwner()).exec();
}

void MainFrame::Donate()
{
    // Like any web page, a page that does not open is not reported.
    OpenDonationPage();
}

}  // namespace brelvix::app
