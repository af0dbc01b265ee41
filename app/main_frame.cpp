#include "app/main_frame.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <memory>

#include "app/about_dialog.h"
#include "app/hand_off.h"
#include "app/info_panel.h"
#include "app/preferences_dialog.h"
#include "app/resources.h"
#include "app/shortcuts_dialog.h"
#include "app/view_widget.h"
#include "platform/trash.h"
#include "viewer/image_view.h"

namespace brelvix::app {

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
    const QString path = QFileDialog::getOpenFileName(owner, QString::fromStdString(request.title),
                                                      DecodeName(request.folder), filters.join(";;"));
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
    SetUpConveniences();

    // Where the window system would put a new window: a comfortable size on
    // the primary screen; the position is left to the window manager.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize available = screen->availableGeometry().size();
        resize(QSize(1024, 768).boundedTo(available * 9 / 10));
    }

    // The defaults, then whatever the settings store holds.
    LoadSettings();
}

// The view calls back into the frame; it goes first, while the frame is
// still whole.
MainFrame::~MainFrame()
{
    handOff->Close();
    delete view;
}

ImageView& MainFrame::Image()
{
    return view->Image();
}

const ImageView& MainFrame::Image() const
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
    if (settings.windowShow == static_cast<std::int32_t>(WindowShow::Maximized)) {
        showMaximized();
    } else {
        show();
    }
    return true;
}

QString MainFrame::StatusText() const
{
    return statusPane->text();
}

QString MainFrame::VisibleStatusText() const
{
    return promptPane->isHidden() ? statusPane->text() : promptPane->text();
}

// ---- what the frame does for the view

void MainFrame::SetTitle(const std::string& title)
{
    setWindowTitle(DecodeName(title));
    // Every change of the picture on screen rewrites the title.
    if (infoPanel != nullptr) {
        infoPanel->Follow(Image());
    }
}

void MainFrame::SetStatusText(const std::string& text)
{
    statusPane->setText(DecodeName(text));
}

bool MainFrame::ChooseFile(const OpenFileDialogRequest& request, std::string* chosen)
{
    // Without a picture's folder the dialog starts where a picture was last
    // chosen, also in an earlier run.
    OpenFileDialogRequest asked = request;
    if (asked.folder.empty()) {
        asked.folder = settings.openFolder;
    }
    if (!openDialog(this, asked, chosen)) {
        return false;
    }
    settings.openFolder = QFile::encodeName(QFileInfo(DecodeName(*chosen)).absolutePath()).toStdString();
    return true;
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
    platform::TrashEntry entry;
    if (platform::MoveToTrash(path, &reason, &entry) == platform::TrashResult::kDone) {
        trashMoves.Remember(entry);
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

// ---- commands the frame carries out itself

void MainFrame::Open()
{
    ImageView& image = Image();
    // Toggling the show also clears its check mark.
    if (image.OpenImage(std::string(), true) && image.Slides().Running()) {
        image.ToggleSlideShow();
    }
}

void MainFrame::Exit()
{
    if (Image().FullScreen() && !settings.EscFullscreen) {
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
    settings.ZoomToBestFit = !settings.ZoomToBestFit;
    SetCheck(kCmdAutozoom, settings.ZoomToBestFit);
    if (settings.ZoomToBestFit) {
        Image().ApplyBestFit();
    } else {
        Image().ZoomTo100();
    }
}

void MainFrame::ToggleToolbar()
{
    settings.ShowToolbar = !settings.ShowToolbar;
    toolBar->setVisible(settings.ShowToolbar && !Image().FullScreen());
    SetCheck(kCmdToolbar, settings.ShowToolbar);
}

void MainFrame::ToggleStatusBar()
{
    const bool visible = statusBar()->isHidden();
    settings.ShowStatusbar = visible;
    statusBar()->setVisible(visible);
    SetCheck(kCmdStatusBar, visible);
}

void MainFrame::ToggleInfo()
{
    ViewerSettings toggled = Image().Settings();
    toggled.showInfoInFullScreen = !toggled.showInfoInFullScreen;
    Image().ApplySettings(toggled);
}

// ---- the dialogs

QWidget* MainFrame::DialogOwner()
{
    QWidget* active = QApplication::activeWindow();
    return active != nullptr ? active : this;
}

void MainFrame::ShowPreferences()
{
    SettingsRecord record = Record();
    PreferencesDialog dialog(record, DialogOwner());
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    ApplyPreferences(dialog.Values(), record);
    ApplySettings(record);
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
