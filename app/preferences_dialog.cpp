#include "app/preferences_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTabWidget>
#include <algorithm>
#include <iterator>

#include "app/color_picker.h"
#include "app/dialog_layout.h"
#include "app/resources.h"
#include "app/text_numbers.h"

namespace brelvix::app {

namespace {

// A check box whose text wraps within its width: the Viewing page keeps the
// first page's width, and some of its texts are longer than a line.
class WrappingCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

    // The height that shows the whole text at the box's width.
    int WrappedHeight() const
    {
        return fontMetrics().boundingRect(TextRect(rect()), Qt::TextWordWrap, text()).height();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        painter.drawControl(QStyle::CE_CheckBox, option);
        painter.drawText(TextRect(rect()), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignVCenter, text());
    }
    // The text is part of the box, on every line.
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

private:
    QRect TextRect(const QRect& area) const
    {
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        option.rect = area;
        return style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    }
};

const FileTypeAssociation kAssociations[] = {
    {"JPG", {"image/jpeg"}},  {"GIF", {"image/gif"}},   {"TIFF", {"image/tiff"}},
    {"BMP", {"image/bmp"}},   {"PNG", {"image/png"}},   {"TGA", {"image/x-tga"}},
    {"WebP", {"image/webp"}}, {"AVIF", {"image/avif"}}, {"HEIF", {"image/heif", "image/heic"}},
    {"JXL", {"image/jxl"}},
};

// Where each association box sits, in the order the keyboard visits them.
struct BoxPlace {
    std::size_t association;  // index into kAssociations
    int x, y, width;
};
constexpr BoxPlace kBoxPlaces[] = {
    {0, 18, 171, 28},   // JPG
    {3, 136, 171, 29},  // BMP
    {1, 56, 171, 27},   // GIF
    {2, 95, 171, 31},   // TIFF
    {4, 18, 184, 29},   // PNG
    {5, 56, 184, 29},   // TGA
};
// The newer formats have a page of their own, laid out the same way, so that
// the first page stays as it was.
constexpr BoxPlace kNewerBoxPlaces[] = {
    {6, 18, 17, 31},   // WebP
    {7, 56, 17, 31},   // AVIF
    {8, 95, 17, 31},   // HEIF
    {9, 136, 17, 29},  // JXL
};
static_assert(std::size(kBoxPlaces) + std::size(kNewerBoxPlaces) == std::size(kAssociations));

// The dialog's size in dialog units, and the height of the part above the
// buttons (the first page when there are several).
constexpr int kDialogWidth = 188;
constexpr int kDialogHeight = 223;
constexpr int kPageHeight = 200;

QString DelayText(double delay)
{
    return QString::asprintf("%3.2f", delay);
}

// In the Browse dialog's "Executable files" view: folders, and the files
// the user may run (executables on Linux have no extension to filter by).
class ExecutableFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void SetExecutablesOnly(bool only)
    {
        executablesOnly = only;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!executablesOnly || files == nullptr) {
            return true;
        }
        const QModelIndex index = files->index(row, 0, parent);
        return files->isDir(index) || files->fileInfo(index).isExecutable();
    }

private:
    bool executablesOnly = true;
};

}  // namespace

std::span<const FileTypeAssociation> FileTypeAssociations()
{
    return kAssociations;
}

platform::AssociationResult WriteDesktopAssociations(const std::vector<std::string>& mimeTypes)
{
    InitBrelvixResources();
    QFile entry(QStringLiteral(":/brelvix/brelvix.desktop"));
    entry.open(QIODevice::ReadOnly);
    const QByteArray entryTemplate = entry.readAll();
    return platform::SetAsDefaultApplication(mimeTypes,
                                             QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString(),
                                             entryTemplate.toStdString(), platform::DesktopFolders::FromEnvironment());
}

PreferencesDialog::PreferencesDialog(const SettingsRecord& initial, QWidget* parent, AssociationWriter write)
    : QDialog(parent), values(initial), writer(std::move(write))
{
    setWindowTitle(QStringLiteral("Preferences"));
    DialogLayout layout;
    page = new QWidget(this);
    layout.Place(page, 0, 0, kDialogWidth, kPageHeight);

    // Frames first, so that the controls lie above them and get the mouse.
    const auto group = [&](const char* title, int x, int y, int width, int height) {
        layout.Place(new QGroupBox(QString::fromLatin1(title), page), x, y, width, height);
    };
    group(" Program Settings ", 7, 3, 174, 112);
    group(" Image Editor Path ", 7, 118, 174, 36);
    group(" Create File Associations ", 7, 157, 174, 42);
    const auto label = [&](const char* text, int y) {
        layout.Place(new QLabel(QString::fromLatin1(text), page), 19, y, 98, 8, DialogLayout::Fit::Width);
    };
    label("Slide show delay (in seconds):", 55);
    label("Files to skip on fast forward:", 77);
    label("Background color:", 99);

    // The controls in the order the keyboard visits them.
    delayEdit = new QLineEdit(DelayText(values.slideShowDelay), page);
    layout.Place(delayEdit, 127, 52, 42, 14);
    skipEdit = new QLineEdit(QString::number(values.fastForwardSkip), page);
    layout.Place(skipEdit, 128, 74, 42, 14);
    colorButton = new QPushButton(QStringLiteral("Button1"), page);
    colorButton->setAutoDefault(false);
    layout.Place(colorButton, 128, 95, 42, 14);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setDefault(true);
    layout.Place(okButton, 77, 202, 50, 14);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setAutoDefault(false);
    layout.Place(cancelButton, 131, 202, 50, 14);

    subfoldersBox = new QCheckBox(QStringLiteral(" Include subdirectories when reading file list"), page);
    subfoldersBox->setChecked(values.includeSubdirectories);
    layout.Place(subfoldersBox, 17, 16, 158, 10, DialogLayout::Fit::Width);
    escBox = new QCheckBox(QStringLiteral(" Exit program when Esc pressed in full screen"), page);
    escBox->setChecked(values.EscFullscreen);
    layout.Place(escBox, 17, 32, 158, 10, DialogLayout::Fit::Width);

    editorEdit = new QLineEdit(QFile::decodeName(QByteArray::fromStdString(values.imageEditorPath)), page);
    layout.Place(editorEdit, 18, 133, 134, 14);
    browseButton = new QPushButton(QStringLiteral("..."), page);
    browseButton->setAutoDefault(false);
    layout.Place(browseButton, 154, 133, 16, 14);

    // Unticked at every opening: they say what to register now, not what
    // was registered before.
    associationBoxes.resize(std::size(kAssociations));
    for (const BoxPlace& place : kBoxPlaces) {
        auto* box = new QCheckBox(QString::fromLatin1(kAssociations[place.association].label), page);
        associationBoxes[place.association] = box;
        layout.Place(box, place.x, place.y, place.width, 10, DialogLayout::Fit::Width);
    }
    const DialogUnits units = layout.Apply(this, kDialogWidth, kDialogHeight);

    QWidget* previous = nullptr;
    for (QWidget* control : std::initializer_list<QWidget*>{delayEdit, skipEdit, colorButton, okButton, cancelButton,
                                                            subfoldersBox, escBox, editorEdit, browseButton}) {
        if (previous != nullptr) {
            setTabOrder(previous, control);
        }
        previous = control;
    }
    for (const BoxPlace& place : kBoxPlaces) {
        setTabOrder(previous, associationBoxes[place.association]);
        previous = associationBoxes[place.association];
    }

    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(browseButton, &QPushButton::clicked, this, &PreferencesDialog::Browse);

    // The second page, in the first page's units and with the first page's
    // rhythm of check boxes; the first stays as it is.
    auto* viewing = new QWidget;
    int y = 16;
    for (const SettingRow& row : SettingRows()) {
        const auto* field = std::get_if<bool SettingsRecord::*>(&row.field);
        if (row.page != PreferencesPage::Viewing || field == nullptr) {
            continue;
        }
        auto* box = new WrappingCheckBox(QString::fromLatin1(row.label), viewing);
        box->setChecked(values.*(*field));
        box->setGeometry(units.Rect(17, y, 158, 10));
        // A further line of text takes a line's height, 8 units.
        const int lineHeight = std::max(1, box->fontMetrics().lineSpacing());
        const int extraLines = std::max(0, (box->WrappedHeight() + lineHeight - 1) / lineHeight - 1);
        box->setGeometry(units.Rect(17, y, 158, 10 + 8 * extraLines));
        viewingBoxes.emplace_back(*field, box);
        y += 16 + 8 * extraLines;
    }
    AddPage(viewing, QStringLiteral("Viewing"));

    auto* fileTypes = new QWidget;
    (new QGroupBox(QStringLiteral(" Create File Associations "), fileTypes))->setGeometry(units.Rect(7, 3, 174, 32));
    for (const BoxPlace& place : kNewerBoxPlaces) {
        auto* box = new QCheckBox(QString::fromLatin1(kAssociations[place.association].label), fileTypes);
        box->setGeometry(units.Rect(place.x, place.y, place.width, 10));
        associationBoxes[place.association] = box;
    }
    AddPage(fileTypes, QStringLiteral("File Types"));
    // Qt orders only widgets of one window, so the page joins the dialog first.
    QWidget* previousBox = associationBoxes[kBoxPlaces[std::size(kBoxPlaces) - 1].association];
    for (const BoxPlace& place : kNewerBoxPlaces) {
        setTabOrder(previousBox, associationBoxes[place.association]);
        previousBox = associationBoxes[place.association];
    }

    CenterOverParent(this, parent);

    colorPicker = new ColorPickerButton(this);
    colorPicker->SubclassButton(colorButton);
    colorPicker->SetAutomaticText(QString());
    colorPicker->SetColor(values.backgroundColor);

    delayEdit->setFocus();
    delayEdit->selectAll();
}

PreferencesDialog::~PreferencesDialog() = default;

void PreferencesDialog::AddPage(QWidget* newPage, const QString& title, const QString& firstTitle)
{
    if (tabs == nullptr) {
        // The page keeps its size inside the tabs; the dialog grows around
        // it and the buttons move down with it.
        const QSize pageSize = page->size();
        tabs = new QTabWidget(this);
        page->setFixedSize(pageSize);
        tabs->addTab(page, firstTitle);
        tabs->move(0, 0);
        tabs->resize(tabs->minimumSizeHint().expandedTo(pageSize));
        const QSize growth = tabs->size() - pageSize;
        for (QPushButton* button : {okButton, cancelButton}) {
            button->move(button->pos() + QPoint(growth.width(), growth.height()));
        }
        setFixedSize(size() + growth);
        tabs->show();
        setTabOrder(editorEdit, browseButton);
    }
    tabs->addTab(newPage, title);
}

void PreferencesDialog::Browse()
{
    QFileDialog dialog(this, QStringLiteral("Select an executable to edit images with"));
    // The toolkit's own dialog: the "Executable files" view needs its model.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QString executables = QStringLiteral("Executable files (*)");
    dialog.setNameFilters({executables, QStringLiteral("All files (*)")});
    dialog.selectNameFilter(executables);
    auto* filter = new ExecutableFilter(&dialog);
    dialog.setProxyModel(filter);
    connect(&dialog, &QFileDialog::filterSelected, filter,
            [filter, executables](const QString& chosen) { filter->SetExecutablesOnly(chosen == executables); });

    // Start where the current editor is, else where programs live.
    const QFileInfo current(editorEdit->text());
    dialog.setDirectory(!editorEdit->text().isEmpty() && current.dir().exists() ? current.dir().path()
                                                                                : QStringLiteral("/usr/bin"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        editorEdit->setText(dialog.selectedFiles().constFirst());
    }
}

QCheckBox* PreferencesDialog::ViewingBox(bool SettingsRecord::*field) const
{
    for (const auto& [boxField, box] : viewingBoxes) {
        if (boxField == field) {
            return box;
        }
    }
    return nullptr;
}

void PreferencesDialog::accept()
{
    values.EscFullscreen = escBox->isChecked();
    values.includeSubdirectories = subfoldersBox->isChecked();
    values.slideShowDelay = DecimalPrefix(delayEdit->text().toStdString());
    values.fastForwardSkip = IntegerPrefix(skipEdit->text().toStdString());
    values.imageEditorPath = QFile::encodeName(editorEdit->text()).toStdString();
    values.backgroundColor = colorPicker->GetColor();
    for (const auto& [field, box] : viewingBoxes) {
        values.*field = box->isChecked();
    }

    std::vector<std::string> mimeTypes;
    for (std::size_t i = 0; i < associationBoxes.size(); ++i) {
        if (associationBoxes[i]->isChecked()) {
            mimeTypes.insert(mimeTypes.end(), kAssociations[i].mimeTypes.begin(), kAssociations[i].mimeTypes.end());
        }
    }
    if (!mimeTypes.empty() && writer) {
        const platform::AssociationResult result = writer(mimeTypes);
        if (!result.ok) {
            QMessageBox::warning(this, QStringLiteral("Create File Associations"),
                                 QStringLiteral("Brelvix could not be made the default application for the "
                                                "chosen file types.\n\n") +
                                     QString::fromStdString(result.message));
        }
    }
    QDialog::accept();
}

}  // namespace brelvix::app
