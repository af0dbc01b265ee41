// The Preferences dialog: the viewer's settings (subfolders, Esc in full
// screen, slide-show delay, fast-forward step, background colour, image
// editor) and the file types Brelvix should open by default on its first
// page, "General"; on the second, "Viewing", a check box for each setting
// the settings table puts there (settings_table.h).
//
// The dialog edits a copy; the caller applies it (ApplyPreferences) only
// when the dialog ends with OK. The file associations, in contrast, are
// written by OK itself, and only by OK.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "app/settings_table.h"
#include "platform/mime_associations.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace brelvix::app {

class ColorPickerButton;

// One check box of "Create File Associations" and the media types it makes
// Brelvix the default application for.
struct FileTypeAssociation {
    const char* label;
    std::vector<std::string> mimeTypes;
};
// In the order their associations are written: JPG, GIF, TIFF, BMP, PNG, TGA
// (on the first page), then WebP, AVIF, HEIF and JXL (on their own page).
std::span<const FileTypeAssociation> FileTypeAssociations();

// Writes the associations of the ticked types (all of them in one call).
using AssociationWriter = std::function<platform::AssociationResult(const std::vector<std::string>& mimeTypes)>;
// The desktop's: this program, its desktop entry and the folders of the
// environment at the time of the call.
platform::AssociationResult WriteDesktopAssociations(const std::vector<std::string>& mimeTypes);

class PreferencesDialog : public QDialog {
    Q_OBJECT

public:
    // Laid out with `values`, centred over `parent`; the focus is on the
    // delay.
    explicit PreferencesDialog(const SettingsRecord& values, QWidget* parent = nullptr,
                               AssociationWriter writer = WriteDesktopAssociations);
    ~PreferencesDialog() override;

    // The values as the dialog ended: with OK, the edited ones; otherwise
    // those it was opened with.
    const SettingsRecord& Values() const { return values; }

    // Adds a page of further settings. The first call turns the dialog into
    // tabs whose first page, `firstTitle`, is the dialog as it was.
    void AddPage(QWidget* page, const QString& title, const QString& firstTitle = QStringLiteral("General"));

    // OK: reads every control, writes the ticked associations (a failure
    // shows one warning naming the file; the other values stay accepted)
    // and ends the dialog with Accepted.
    void accept() override;

    QLineEdit* DelayEdit() const { return delayEdit; }
    QLineEdit* SkipEdit() const { return skipEdit; }
    QLineEdit* EditorEdit() const { return editorEdit; }
    QCheckBox* SubfoldersBox() const { return subfoldersBox; }
    QCheckBox* EscBox() const { return escBox; }
    // The Viewing page's check box of a setting, or null.
    QCheckBox* ViewingBox(bool SettingsRecord::*field) const;
    // The association box of FileTypeAssociations()[index].
    QCheckBox* AssociationBox(std::size_t index) const { return associationBoxes.at(index); }
    QPushButton* BrowseButton() const { return browseButton; }
    QPushButton* ColorButton() const { return colorButton; }
    ColorPickerButton* ColorPicker() const { return colorPicker; }
    QPushButton* OkButton() const { return okButton; }
    QPushButton* CancelButton() const { return cancelButton; }

private:
    void Browse();

    SettingsRecord values;
    AssociationWriter writer;
    QWidget* page = nullptr;
    QTabWidget* tabs = nullptr;
    QLineEdit* delayEdit = nullptr;
    QLineEdit* skipEdit = nullptr;
    QLineEdit* editorEdit = nullptr;
    QCheckBox* subfoldersBox = nullptr;
    QCheckBox* escBox = nullptr;
    // The Viewing page's check boxes and their fields.
    std::vector<std::pair<bool SettingsRecord::*, QCheckBox*>> viewingBoxes;
    std::vector<QCheckBox*> associationBoxes;
    QPushButton* browseButton = nullptr;
    QPushButton* colorButton = nullptr;
    ColorPickerButton* colorPicker = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
};

}  // namespace brelvix::app
