#include "app/settings.h"

#include <QFile>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "app/main_frame.h"
#include "app/settings_table.h"
#include "app/view_widget.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

std::string RootName(RegistryRoot root)
{
    return root == RegistryRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_CLASSES_ROOT";
}

}  // namespace

RegistryKey::RegistryKey(RegistryRoot root, const std::string& path, OpenMode mode)
    : RegistryKey(platform::RegistryStore::DefaultPath(), root, path, mode)
{
}

RegistryKey::RegistryKey(const std::string& storePath, RegistryRoot root, const std::string& path, OpenMode mode)
    : store(storePath), keyPath(RootName(root) + "\\" + path)
{
    if (storePath.empty()) {
        return;
    }
    open = mode == kCreate ? store.CreateKey(keyPath) : store.KeyExists(keyPath);
}

bool RegistryKey::Read(const std::string& name, std::size_t size, void* destination)
{
    if (!open) {
        return false;
    }
    std::vector<std::uint8_t> data;
    if (!store.QueryValue(keyPath, name, nullptr, &data) || data.size() != size) {
        return false;
    }
    std::memcpy(destination, data.data(), size);
    return true;
}

bool RegistryKey::ReadDword(const std::string& name, std::int32_t* destination)
{
    std::uint8_t bytes[4];
    if (!Read(name, sizeof bytes, bytes)) {
        return false;
    }
    *destination = qFromLittleEndian<std::int32_t>(bytes);
    return true;
}

bool RegistryKey::ReadDouble(const std::string& name, double* destination)
{
    std::uint8_t bytes[8];
    if (!Read(name, sizeof bytes, bytes)) {
        return false;
    }
    *destination = std::bit_cast<double>(qFromLittleEndian<std::uint64_t>(bytes));
    return true;
}

bool RegistryKey::ReadString(const std::string& name, std::string* destination)
{
    if (!open) {
        return false;
    }
    std::vector<std::uint8_t> data;
    if (!store.QueryValue(keyPath, name, nullptr, &data)) {
        return false;
    }
    // A terminator written by another tool ends the text.
    const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
    destination->assign(data.begin(), end);
    return true;
}

bool RegistryKey::WriteDword(const std::string& name, std::int32_t value)
{
    std::uint8_t bytes[4];
    qToLittleEndian(value, bytes);  // stored little-endian whatever the machine
    return open && store.SetValue(keyPath, name, platform::kRegDword, bytes, sizeof bytes);
}

bool RegistryKey::WriteDouble(const std::string& name, double value)
{
    std::uint8_t bytes[8];
    qToLittleEndian(std::bit_cast<std::uint64_t>(value), bytes);
    return open && store.SetValue(keyPath, name, platform::kRegDword, bytes, sizeof bytes);
}

bool RegistryKey::WriteString(const std::string& name, const std::string& text)
{
    return open && store.SetValue(keyPath, name, platform::kRegSz, text.data(), text.size());
}

bool RegistryKey::WriteEmptyValue(const std::string& name)
{
    return open && store.SetValue(keyPath, name, platform::kRegNone, nullptr, 0);
}

void ReportSettingsFileProblem(QWidget* parent, platform::RegistryStore& store)
{
    const QString file = QFile::decodeName(store.FilePath().c_str());
    QString text;
    switch (store.Problem()) {
        case platform::RegistryStore::FileProblem::kNone:
            return;
        case platform::RegistryStore::FileProblem::kUnreadable:
            text = QStringLiteral(
                       "Brelvix cannot read its settings file\n%1\n\nThe default settings are used, "
                       "and changes to them will not be saved.")
                       .arg(file);
            break;
        case platform::RegistryStore::FileProblem::kReadOnly:
            text = QStringLiteral(
                       "Brelvix cannot write its settings file\n%1\n\nChanges to the settings will not be "
                       "saved.")
                       .arg(file);
            break;
        case platform::RegistryStore::FileProblem::kKeptAside:
            text = QStringLiteral(
                       "Brelvix could not make sense of its settings file\n%1\n\nIt was kept as\n%2\n"
                       "and the default settings are used.")
                       .arg(file, QFile::decodeName(store.KeptAsidePath().c_str()));
            break;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Settings"), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Not a box of its own event loop: starting goes on, and the box shows
    // over the window once it is up.
    QTimer::singleShot(0, box, [box] { box->open(); });
}

// ---- the frame's settings

void MainFrame::LoadSettings()
{
    RegistryKey key(RegistryRoot::CurrentUser, kSettingsKeyPath);
    SettingsRecord record = DefaultSettings();
    // The new window's own placement is the default of the window values.
    const QRect current = geometry();
    record.windowLeft = current.left();
    record.windowTop = current.top();
    record.windowRight = current.left() + current.width();
    record.windowBottom = current.top() + current.height();
    // Any stored edge counts as a stored rectangle; without one the window
    // manager places the new window.
    const bool storedRect = ReadSettings(key, record);
    ReportSettingsFileProblem(this, key.Store());
    ApplySettings(record);

    // The rectangle is the frame's; one off every screen comes back onto the
    // nearest. One without area is passed over, as no window can take it.
    const std::int64_t width = std::int64_t{record.windowRight} - record.windowLeft;
    const std::int64_t height = std::int64_t{record.windowBottom} - record.windowTop;
    if (storedRect && width > 0 && height > 0 && width <= QWIDGETSIZE_MAX && height <= QWIDGETSIZE_MAX) {
        RestoreFrame(QRect(record.windowLeft, record.windowTop, static_cast<int>(width), static_cast<int>(height)));
    }
}

void MainFrame::SaveSettings()
{
    // The key is created when it is missing; otherwise nothing would ever
    // persist.
    RegistryKey key(RegistryRoot::CurrentUser, kSettingsKeyPath, RegistryKey::kCreate);
    // All values, one replacement of the file: each replacement waits for
    // the disk, and closing the window should not.
    key.BeginChanges();
    WriteSettings(key, Record());
    key.CommitChanges();
}

SettingsRecord MainFrame::Record() const
{
    SettingsRecord record;
    static_cast<FrameSettings&>(record) = settings;
    static_cast<ViewerSettings&>(record) = Image().Settings();
    const QRect rect = PlacementRect();
    const WindowShow show = PlacementShow();
    record.windowFlags =
        show == WindowShow::Minimized && (windowState() & Qt::WindowMaximized) ? kRestoreToMaximized : 0;
    record.windowShow = static_cast<std::int32_t>(show);
    record.windowLeft = rect.left();
    record.windowTop = rect.top();
    record.windowRight = rect.left() + rect.width();
    record.windowBottom = rect.top() + rect.height();
    return record;
}

void MainFrame::ApplySettings(const SettingsRecord& record)
{
    settings = record;
    const bool fullScreen = Image().FullScreen();
    toolBar->setVisible(settings.ShowToolbar && !fullScreen);
    SetCheck(kCmdToolbar, settings.ShowToolbar);
    statusBar()->setVisible(settings.ShowStatusbar && !fullScreen);
    SetCheck(kCmdStatusBar, settings.ShowStatusbar);
    SetCheck(kCmdAutozoom, settings.ZoomToBestFit);
    Image().ApplySettings(record);
    ShowConvenienceSettings();
}

}  // namespace brelvix::app
