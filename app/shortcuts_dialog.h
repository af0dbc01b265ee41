// The Key Shortcuts box: every key of the program on one page, in columns.
#pragma once

#include <QDialog>
#include <QString>

class QPushButton;

namespace brelvix::app {

class ColumnTextLabel;

inline constexpr char kShortcutsCaption[] = "Brelvix Keyboard Shortcuts";

// The box's text: one line per key, columns separated by tabs.
QString ShortcutsText();

class ShortcutsDialog : public QDialog {
    Q_OBJECT

public:
    // Laid out with `caption` and `body`, centred over `parent`.
    explicit ShortcutsDialog(QWidget* parent = nullptr, const QString& caption = QLatin1String(kShortcutsCaption),
                             const QString& body = ShortcutsText());
    ~ShortcutsDialog() override;

    ColumnTextLabel* Body() const { return body; }
    QPushButton* OkButton() const { return okButton; }

private:
    ColumnTextLabel* body = nullptr;
    QPushButton* okButton = nullptr;
};

}  // namespace brelvix::app
