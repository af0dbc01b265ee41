#include "app/shortcuts_dialog.h"

#include <QGroupBox>
#include <QPushButton>
#include <QStringList>

#include "app/dialog_layout.h"

namespace brelvix::app {

namespace {

// clang-format off
constexpr const char* kShortcutLines[] = {
    "Open file\t\tCtrl + O",
    "Preferences\t\tCtrl + P\t\tTab",
    "Exit\t\t\tAlt + F4\t\tEsc",
    "",
    "Next image\t\tRight\t\tSpace",
    "Previous image\t\tLeft\t\tCtrl + Space",
    "First image\t\tHome",
    "Last image\t\tEnd",
    "Fast forward\t\tPgDn",
    "Rewind\t\t\tPgUp",
    "",
    "Zoom In\t\t\t+",
    "Zoom Out\t\t-",
    "Zoom to 100%\t\tIns",
    "Zoom to best fit\t\t/",
    "",
    "Rotate right\t\tCtrl + Right",
    "Rotate left\t\tCtrl + Left",
    "Flip horizontal\t\tAlt + Left or Right",
    "Flip vertical\t\tAlt + Up or Down",
    "",
    "Start/stop slide show\tEnter",
    "Toggle full screen\tF12\t\tCtrl + Enter",
    "Toggle tool bar\t\tCtrl + T",
    "Toggle status bar\tCtrl + S",
    "",
    "Delete current file\tDel",
    "Open file for editing\tCtrl + E",
    "Refresh file list\tCtrl + R",
    "",
    "Show this window\tF1",
    // Keys added since; the keypad's zoom keys work on the main keyboard too.
    "",
    "Zoom in\t\t\t=",
    "Zoom in more\t\tCtrl + +\t\tCtrl + =",
    "Zoom out more\t\tCtrl + -",
    "Zoom to fit\t\t*",
    "Scroll (modern zoom)\tUp\t\tDown",
    "",
    "Copy picture\t\tCtrl + C",
    "Copy file path\t\tCtrl + Shift + C",
    "Undo delete\t\tCtrl + Z",
    "Show in folder\t\tCtrl + Shift + F",
    "Information panel\tI",
    "",
    "Sort by name\t\tCtrl + 1",
    "Sort by date taken\tCtrl + 2",
    "Sort by date modified\tCtrl + 3",
    "Sort by size\t\tCtrl + 4",
    "Reverse sort order\tCtrl + Shift + R",
};
// clang-format on

}  // namespace

QString ShortcutsText()
{
    QStringList lines;
    for (const char* line : kShortcutLines) {
        lines.append(QString::fromLatin1(line));
    }
    return lines.join(u'\n');
}

ShortcutsDialog::ShortcutsDialog(QWidget* parent, const QString& caption, const QString& text) : QDialog(parent)
{
    setWindowTitle(caption);
    DialogLayout layout;
    layout.Place(new QGroupBox(this), 7, 3, 188, 260);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    layout.Place(okButton, 145, 267, 50, 14);

    body = new ColumnTextLabel(text, this);
    body->setTextFormat(Qt::PlainText);
    layout.Place(body, 14, 12, 176, 247, DialogLayout::Fit::Lines);
    layout.Apply(this, 202, 287);

    CenterOverParent(this, parent);
    okButton->setFocus();
}

ShortcutsDialog::~ShortcutsDialog() = default;

}  // namespace brelvix::app
