// The frame's side of the conveniences beyond the original commands: the
// Sort menu, undoing a move to the trash and showing the picture in its
// folder, and what they share with copying and the information panel.
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>
#include <QUrl>

#include "app/hand_off.h"
#include "app/info_panel.h"
#include "app/main_frame.h"
#include "app/picture_clipboard.h"
#include "app/view_widget.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

// How long a passing message stays in the status bar.
constexpr int kPassingMessageMs = 4000;

constexpr std::uint16_t kSortCommands[] = {kCmdSortByName, kCmdSortByDateTaken, kCmdSortByDateModified,
                                           kCmdSortBySize};

}  // namespace

void MainFrame::SetUpConveniences()
{
    handOff = std::make_shared<HandOff>(this);
    folderShower = [](const std::string& path, std::function<void(platform::ShowInFolderResult)> done) {
        platform::ShowInFileManagerAsync(path, std::move(done));
    };
    urlOpener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    clipboard = new PictureClipboard(this, [this](const QString& text) { ShowPassingMessage(text); });
    infoPanel = new InfoPanel(this);
    infoPanel->hide();
    addDockWidget(Qt::RightDockWidgetArea, infoPanel);
    resizeDocks({infoPanel}, {280}, Qt::Horizontal);
    connect(infoPanel, &InfoPanel::Closed, this, [this] {
        settings.showInfoPanel = false;
        SetCheck(kCmdInfoPanel, false);
    });
}

void MainFrame::ShowConvenienceSettings()
{
    const SortOrder order = SortOrderFromSetting(Image().Settings().sortOrder);
    for (std::size_t i = 0; i < std::size(kSortCommands); ++i) {
        SetCheck(kSortCommands[i], static_cast<std::size_t>(order) == i);
    }
    SetCheck(kCmdSortReverse, Image().Settings().sortReverse);
    SetCheck(kCmdInfoPanel, settings.showInfoPanel);
    SetInfoPanelShown(settings.showInfoPanel && !Image().FullScreen());
}

void MainFrame::ShowPassingMessage(const QString& text)
{
    statusBar()->showMessage(text, kPassingMessageMs);
}

// ---- the Sort menu

void MainFrame::ChooseSortOrder(SortOrder order)
{
    ViewerSettings chosen = Image().Settings();
    chosen.sortOrder = static_cast<std::int32_t>(order);
    Image().ApplySettings(chosen);
    ShowConvenienceSettings();
}

void MainFrame::ToggleSortReverse()
{
    ViewerSettings chosen = Image().Settings();
    chosen.sortReverse = !chosen.sortReverse;
    Image().ApplySettings(chosen);
    ShowConvenienceSettings();
}

// ---- undo a move to the trash

void MainFrame::UndoDelete()
{
    if (trashMoves.Empty()) {
        ShowPassingMessage(QStringLiteral("There is no move to the trash to undo"));
        return;
    }
    platform::TrashEntry entry;
    std::string reason;
    const platform::RestoreResult result = trashMoves.UndoLatest(&entry, &reason);
    const QString name = QFileInfo(DecodeName(entry.originalPath)).fileName();
    const QString folder = QFileInfo(DecodeName(entry.originalPath)).absolutePath();
    switch (result) {
        case platform::RestoreResult::kDone:
            Image().OpenImage(entry.originalPath, true);
            ShowPassingMessage(QStringLiteral("\"%1\" is back in its folder").arg(name));
            break;
        case platform::RestoreResult::kOccupied:
            // Kept for another try once the name is free again.
            QMessageBox::information(this, QStringLiteral("Brelvix"),
                                     QStringLiteral("\"%1\" was not put back: a file of that name is in %2 again.\n\n"
                                                    "Both stay where they are; the one moved away is still in the "
                                                    "trash.")
                                         .arg(name, folder));
            break;
        case platform::RestoreResult::kGone:
            QMessageBox::information(this, QStringLiteral("Brelvix"),
                                     QStringLiteral("\"%1\" is no longer in the trash: it was emptied, or the file "
                                                    "was put back or removed there.")
                                         .arg(name));
            break;
        case platform::RestoreResult::kFailed:
            QMessageBox::warning(this, QStringLiteral("Brelvix"),
                                 QStringLiteral("\"%1\" could not be put back; it is still in the trash.\n\n%2")
                                     .arg(name, DecodeName(reason)));
            break;
    }
}

// ---- show in folder

void MainFrame::ShowInFolder()
{
    const std::string path = Image().Document().Path();
    if (path.empty()) {
        return;
    }
    // The answer comes on the file manager's thread, perhaps after the frame
    // is gone: it goes through the hand-off, which drops it then.
    folderShower(path, [hand = handOff, self = this, path](platform::ShowInFolderResult result) {
        hand->Post([self, path, result] {
            if (result != platform::ShowInFolderResult::kShown) {
                // Without the selection, but every desktop opens a folder.
                self->urlOpener(QUrl::fromLocalFile(QFileInfo(DecodeName(path)).absolutePath()));
            }
        });
    });
}

}  // namespace brelvix::app
