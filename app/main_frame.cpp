#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <iterator>
#include <memory>

#include "app/resources.h"
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

// Toolbar buttons in order; 0 is a separator. Button i (separators not
// counted) shows image i of the strip.
constexpr std::uint16_t kToolbarButtons[] = {kCmdOpen,       kCmdPreferences, 0, kCmdPrevious, kCmdNext, 0,
                                             kCmdFullScreen, kCmdSlideShow};
constexpr int kToolbarImageSize = 24;

// The view's context menu: its own texts; 0 is a separator.
struct ContextItem {
    std::uint16_t id;
    const char* text;
};
constexpr ContextItem kContextMenu[] = {
    {kCmdOpen, "Open...\tCtrl+O"},
    {kCmdPreferences, "Pr&eferences...\tCtrl+P"},
    {0, nullptr},
    {kCmdZoomToFit, "Zoom to &Fit\t*"},
    {kCmdZoomTo100, "Zoom to &100%\tInsert"},
    {kCmdAutozoom, "Autozoom to Best Fit\t/"},
    {0, nullptr},
    {kCmdSlideShow, "Slide S&how\tEnter"},
    {kCmdFullScreen, "&Full Screen\tF12"},
    {0, nullptr},
    {kCmdExit, "E&xit"},
};

constexpr std::uint16_t kCheckedCommands[] = {kCmdToolbar, kCmdStatusBar, kCmdFullScreen, kCmdSlideShow, kCmdAutozoom};

bool IsCheckable(std::uint16_t id)
{
    for (std::uint16_t checked : kCheckedCommands) {
        if (checked == id) {
            return true;
        }
    }
    return false;
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
    {kCmdOpen, MenuPopup::File, "&Open...\tCtrl+O", false, {Ctrl(Qt::Key_O)}, "Open an existing document", "Open",
     &MainFrame::OnOpen},
    {kCmdRefreshFileList, MenuPopup::File, "&Refresh file list\tCtrl+R", true, {Ctrl(Qt::Key_R)}, nullptr, nullptr,
     &MainFrame::OnRefreshFileList},
    {kCmdPreferences, MenuPopup::File, "Pr&eferences...\tCtrl+P", true, {Ctrl(Qt::Key_P), Key(Qt::Key_Tab)},
     "Open preferences dialog", "Preferences", &MainFrame::OnPreferences},
    {kCmdExit, MenuPopup::File, "E&xit\tEsc", false, {Key(Qt::Key_Escape)},
     "Quit the application; prompts to save documents", "Exit", &MainFrame::OnExit},

    {kCmdDelete, MenuPopup::Edit, "Delete\tDel", false, {Key(Qt::Key_Delete)}, nullptr, nullptr,
     &MainFrame::OnDelete},
    {kCmdOpenForEditing, MenuPopup::Edit, "Open for editing...\tCtrl+E", false, {Ctrl(Qt::Key_E)}, nullptr, nullptr,
     &MainFrame::OnOpenForEditing},

    {kCmdNext, MenuPopup::Navigation, "&Next\tRight", false,
     {Key(Qt::Key_Right), Key(Qt::Key_Space), Pad(Qt::Key_6)}, "Show next image", "Next image",
     &MainFrame::OnNext},
    {kCmdPrevious, MenuPopup::Navigation, "&Previous\tLeft", true,
     {Key(Qt::Key_Left), Ctrl(Qt::Key_Space), Pad(Qt::Key_4)}, "Show previous image", "Previous image",
     &MainFrame::OnPrevious},
    {kCmdFirst, MenuPopup::Navigation, "&First image\tHome", false, {Key(Qt::Key_Home), Pad(Qt::Key_7)},
     "Show first image", "First image", &MainFrame::OnFirst},
    {kCmdLast, MenuPopup::Navigation, "&Last image\tEnd", true, {Key(Qt::Key_End), Pad(Qt::Key_1)},
     "Show last image", "Last image", &MainFrame::OnLast},
    {kCmdFastForward, MenuPopup::Navigation, "F&ast Forward\tPgDn", false, {Key(Qt::Key_PageDown), Pad(Qt::Key_3)},
     "Skip a few images forward", "Forward", &MainFrame::OnFastForward},
    {kCmdRewind, MenuPopup::Navigation, "&Rewind\tPgUp", false, {Key(Qt::Key_PageUp), Pad(Qt::Key_9)},
     "Skip a few images backwards", "Backwards", &MainFrame::OnRewind},

    {kCmdZoomIn, MenuPopup::Image, "Zoom &In\t+", false, {Pad(Qt::Key_Plus)}, "Increase image size", "Zoom In",
     &MainFrame::OnZoomIn},
    {kCmdZoomOut, MenuPopup::Image, "Zoom &Out\t-", true, {Pad(Qt::Key_Minus)}, "Decrease image size", "Zoom Out",
     &MainFrame::OnZoomOut},
    {kCmdZoomInByOne, MenuPopup::None, nullptr, false, {CtrlPad(Qt::Key_Plus)}, nullptr, nullptr,
     &MainFrame::OnZoomInByOne},
    {kCmdZoomOutByOne, MenuPopup::None, nullptr, false, {CtrlPad(Qt::Key_Minus)}, nullptr, nullptr,
     &MainFrame::OnZoomOutByOne},
    {kCmdZoomToFit, MenuPopup::Image, "Zoom to &Fit\t*", false, {Pad(Qt::Key_Asterisk)},
     "Stretch image to fit in the window", "Zoom to fit", &MainFrame::OnZoomToFit},
    {kCmdZoomTo100, MenuPopup::Image, "Zoom to &100%\tInsert", false, {Key(Qt::Key_Insert), Pad(Qt::Key_0)},
     "Actual image size", "Zoom to 100%", &MainFrame::OnZoomTo100},
    {kCmdAutozoom, MenuPopup::Image, "Autozoom to Best Fit\t/", true, {Pad(Qt::Key_Slash)},
     "Zoom image if needed for best fit", "Zoom to best fit", &MainFrame::OnAutozoom},
    {kCmdRotateLeft, MenuPopup::Image, "Rotate &Left\tCtrl+Left", false, {Ctrl(Qt::Key_Left)},
     "Rotate image counter clockwise", "Rotate left", &MainFrame::OnRotateLeft},
    {kCmdRotateRight, MenuPopup::Image, "Rotate &Right\tCtrl+Right", true, {Ctrl(Qt::Key_Right)},
     "Rotate image clockwise", "Rotate right", &MainFrame::OnRotateRight},
    {kCmdFlipHorizontal, MenuPopup::Image, "Flip &Horizontal\tAlt+Left,Right", false,
     {Alt(Qt::Key_Left), Alt(Qt::Key_Right)}, "Flip image horizontally", "Flip horizontal",
     &MainFrame::OnFlipHorizontal},
    {kCmdFlipVertical, MenuPopup::Image, "Flip &Vertical\tAlt+Up,Down", false, {Alt(Qt::Key_Up), Alt(Qt::Key_Down)},
     "Flip image vertically", "Flip vertical", &MainFrame::OnFlipVertical},

    // Enter is either Return key; the keypad's Enter arrives as Key_Enter.
    {kCmdSlideShow, MenuPopup::View, "Slide S&how\tEnter", false, {Key(Qt::Key_Return), Key(Qt::Key_Enter)},
     "Start/stop slide show", "Slide show", &MainFrame::OnSlideShow},
    {kCmdFullScreen, MenuPopup::View, "&Full Screen\tF12", true,
     {Key(Qt::Key_F12), Pad(Qt::Key_5), Ctrl(Qt::Key_Return), Ctrl(Qt::Key_Enter), Alt(Qt::Key_Return),
      Alt(Qt::Key_Enter)},
     "Switch full screen mode on/off", "Full screen", &MainFrame::OnFullScreen},
    {kCmdToolbar, MenuPopup::View, "&Toolbar\tCtrl+T", false, {Ctrl(Qt::Key_T)}, "Show or hide the toolbar",
     "Toggle ToolBar", &MainFrame::OnToolbar},
    {kCmdStatusBar, MenuPopup::View, "&Status Bar\tCtrl+S", false, {Ctrl(Qt::Key_S)}, "Show or hide the status bar",
     "Toggle StatusBar", &MainFrame::OnStatusBar},
    {kCmdToggleInfo, MenuPopup::None, nullptr, false, {Ctrl(Qt::Key_I)}, nullptr, nullptr, &MainFrame::OnToggleInfo},

    {kCmdKeyShortcuts, MenuPopup::Help, "Key Shortcuts...\tF1", false, {Key(Qt::Key_F1)}, nullptr, nullptr,
     &MainFrame::OnKeyShortcuts},
    {kCmdAbout, MenuPopup::Help, "&About Brelvix...", false, {}, "Display program information, version number and copyright",
     "About", &MainFrame::OnAbout},
    {kCmdDonate, MenuPopup::Help, "Donate...", false, {}, "Send some money in", "Donate", &MainFrame::OnDonate},
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

MainFrame::MainFrame(QWidget* parent) : QMainWindow(parent)
{
    InitBrelvixResources();
    setWindowTitle(QStringLiteral("Brelvix"));
    setWindowIcon(QIcon(QStringLiteral(":/brelvix/brelvix.png")));

    BuildMenus();
    BuildToolBar();
    BuildStatusBar();

    view = new ViewWidget(this);
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

MainFrame::~MainFrame() = default;

ImageView& MainFrame::Image()
{
    return view->Image();
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
        action->setCheckable(IsCheckable(command.id));
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

void MainFrame::SetStatusText(const QString& text)
{
    statusPane->setText(text);
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
    if (const CommandInfo* command = FindCommand(id)) {
        (this->*command->handler)();
    }
}

QMenu* MainFrame::CreateContextMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    WatchMenuPrompts(menu);
    for (const ContextItem& item : kContextMenu) {
        if (item.id == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromLatin1(item.text));
        action->setData(item.id);
        if (IsCheckable(item.id)) {
            action->setCheckable(true);
            action->setChecked(CommandAction(item.id)->isChecked());
        }
    }
    return menu;
}

void MainFrame::ShowContextMenu(const QPoint& globalPosition)
{
    std::unique_ptr<QMenu> menu(CreateContextMenu(this));
    QAction* chosen = menu->exec(globalPosition);
    if (chosen != nullptr) {
        const auto id = static_cast<std::uint16_t>(chosen->data().toUInt());
        menu.reset();
        ExecuteCommand(id);
    }
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
    if (Image().fullScreen) {
        closingFromFullScreen = true;
        ToggleFullScreen();
    }
    SaveSettings();
    view->StopTimers();
    event->accept();
}

QRect MainFrame::PlacementRect() const
{
    if (view->ImageConst().fullScreen || closingFromFullScreen) {
        return windowedGeometry;
    }
    if ((isMaximized() || isMinimized()) && normalGeometry().isValid()) {
        return normalGeometry();
    }
    return geometry();
}

int MainFrame::PlacementShow() const
{
    if (view->ImageConst().fullScreen || closingFromFullScreen) {
        return windowedMaximized ? 3 : 1;
    }
    if (isMinimized()) {
        return 2;
    }
    return isMaximized() ? 3 : 1;
}

void MainFrame::ShowWithStoredState()
{
    // A stored minimised state starts as a normal window: a viewer that
    // opens out of sight looks as if it had not started.
    if (windowShow == 3) {
        showMaximized();
    } else {
        show();
    }
}

// ---- command handlers

void MainFrame::OnOpen()
{
    ImageView& image = Image();
    if (image.OpenImage(std::string(), true) && image.slideShowRunning) {
        image.ToggleSlideShow();
        SetCheck(kCmdSlideShow, false);
    }
}

void MainFrame::OnRefreshFileList()
{
    Image().RefreshFileList();
}

// Preferences, Key Shortcuts, About and Donate get their boxes with the
// dialogs; until then the commands exist and do nothing.
void MainFrame::OnPreferences() {}

void MainFrame::OnExit()
{
    if (Image().fullScreen && !EscFullscreen) {
        ToggleFullScreen();
    } else {
        close();
    }
}

void MainFrame::OnDelete()
{
    Image().DeleteCurrentFile();
}

void MainFrame::OnOpenForEditing()
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

void MainFrame::OnNext()
{
    Image().ShowNext();
}
void MainFrame::OnPrevious()
{
    Image().ShowPrevious();
}
void MainFrame::OnFirst()
{
    Image().ShowFirst();
}
void MainFrame::OnLast()
{
    Image().ShowLast();
}
void MainFrame::OnFastForward()
{
    Image().FastForward();
}
void MainFrame::OnRewind()
{
    Image().Rewind();
}
void MainFrame::OnZoomIn()
{
    Image().ZoomIn();
}
void MainFrame::OnZoomOut()
{
    Image().ZoomOut();
}
void MainFrame::OnZoomInByOne()
{
    Image().ZoomInByOne();
}
void MainFrame::OnZoomOutByOne()
{
    Image().ZoomOutByOne();
}
void MainFrame::OnZoomToFit()
{
    Image().ZoomToFit();
}
void MainFrame::OnZoomTo100()
{
    Image().ZoomTo100();
}

void MainFrame::OnAutozoom()
{
    ZoomToBestFit = !ZoomToBestFit;
    SetCheck(kCmdAutozoom, ZoomToBestFit);
    if (ZoomToBestFit) {
        Image().ApplyBestFit();
    } else {
        Image().ZoomTo100();
    }
}

void MainFrame::OnRotateLeft()
{
    Image().RotateLeft();
}
void MainFrame::OnRotateRight()
{
    Image().RotateRight();
}
void MainFrame::OnFlipHorizontal()
{
    Image().FlipHorizontal();
}
void MainFrame::OnFlipVertical()
{
    Image().FlipVertical();
}

void MainFrame::OnSlideShow()
{
    Image().ToggleSlideShow();
    SetCheck(kCmdSlideShow, Image().slideShowRunning);
}

void MainFrame::OnFullScreen()
{
    ToggleFullScreen();
}

void MainFrame::OnToolbar()
{
    ShowToolbar = !ShowToolbar;
    toolBar->setVisible(ShowToolbar && !Image().fullScreen);
    SetCheck(kCmdToolbar, ShowToolbar);
}

void MainFrame::OnStatusBar()
{
    const bool visible = statusBar()->isHidden();
    ShowStatusbar = visible;
    statusBar()->setVisible(visible);
    SetCheck(kCmdStatusBar, visible);
}

void MainFrame::OnToggleInfo()
{
    Image().document.showInfoInFullScreen = !Image().document.showInfoInFullScreen;
    view->RepaintNow();
}

void MainFrame::OnKeyShortcuts() {}
void MainFrame::OnAbout() {}
void MainFrame::OnDonate() {}

}  // namespace brelvix::app
