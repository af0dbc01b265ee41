// A text label that behaves as a web link: drawn underlined in the link
// colour (the visited colour once opened), a pointing hand over the text, a
// tooltip naming the address, opened by a click or by Enter or Space while
// it has the focus.
#pragma once

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <cstdint>
#include <optional>
#include <string_view>

#include <QLabel>

namespace brelvix::app {

// The settings key whose "Anchor Color" and "Anchor Color Visited" values,
// when present, replace the two link colours.
inline constexpr char kLinkColorsKeyPath[] = "Software\\Microsoft\\Internet Explorer\\Settings";

// A colour written as "red,green,blue" in decimal: the first comma ends the
// red part, the second the green part, and the rest is blue. A part is read
// as an optional minus and the digits up to the first other character (0 when
// there are none), after leading blanks; each part keeps its low 8 bits, so
// 300 is 44. The text is refused (nullopt) when a comma is missing, the blue
// part is empty, or the red or green part reads as -1. The result is
// 0x00BBGGRR.
std::optional<std::uint32_t> ParseColorText(std::string_view text);

class HyperLink : public QObject {
    Q_OBJECT

public:
    explicit HyperLink(QObject* parent = nullptr);
    ~HyperLink() override;

    // Takes over the drawing and input of `control`. Without a label of its own the link shows the
    // control's text, and without a target it opens its label. The tooltip
    // shows the target as it is now; a target set later does not change it.
    // A control that shows a picture or a frame keeps its own look and only
    // gains the link's input.
    void Attach(QLabel* control);

    // The text drawn in place of the control's own.
    void SetLabel(const QString& text);
    // What activating the link opens.
    void SetTarget(const QString& target);

    // Opens the target with the desktop's handler for its kind of address.
    // On success the link turns to the visited colour. Returns whether it
    // could be opened.
    bool Activate();

    QString Label() const { return label.value_or(QString()); }
    QString Target() const { return target.value_or(QString()); }
    bool Visited() const { return visited; }
    QColor LinkColor() const { return linkColor; }
    QColor VisitedColor() const { return visitedColor; }
    // Where the text is drawn, in the control's coordinates.
    QRect LinkRect() const { return linkRect; }
    const QCursor& HandCursor() const { return handCursor; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ReadLinkColors();
    void UpdateLinkRect();
    QString ShownText() const;
    void Paint();
    void UpdateCursor(const QPoint& position);

    // Guarded: the dialog may delete its controls before their links.
    QPointer<QLabel> control;
    // The object the filter watches, compared by address only: while a label
    // is being destroyed its events still pass the filter, and it is no
    // longer a QLabel that the guarded pointer could be read as.
    const QObject* watchedObject = nullptr;
    std::optional<QString> label;
    std::optional<QString> target;
    QCursor handCursor;
    QFont linkFont;
    QRect linkRect;
    QColor linkColor{0, 0, 255};
    QColor visitedColor{128, 0, 128};
    bool visited = false;
    bool paintLabel = true;
    bool pressed = false;
};

}  // namespace brelvix::app
