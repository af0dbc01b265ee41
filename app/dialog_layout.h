// Placing the program's dialogs: positions given in dialog units, which
// scale with the dialog's font so a larger system font gives a larger box
// with the same proportions, and centring a window over the one it belongs to.
#pragma once

#include <QFont>
#include <QLabel>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace brelvix::app {

// Dialog units of one font: a horizontal unit is a quarter of the font's
// average character width, a vertical unit an eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int X(int units) const;
    int Y(int units) const;
    // A rectangle given as x, y, width, height in dialog units, in pixels.
    // Both edges are converted, so that controls that touch in units touch
    // in pixels too.
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

    // Enlarges the units, keeping their proportions' source (the font) aside,
    // until `units` are at least `pixels` wide (high).
    void FitWidth(int pixels, int units);
    void FitHeight(int pixels, int units);

    // The average character width and the height, in pixels.
    double BaseX() const { return baseX; }
    double BaseY() const { return baseY; }

private:
    double baseX;
    double baseY;
};

// A label for a small table in plain text: each line holds cells separated
// by tabs, and the n-th cell of every line starts in the same column. A
// column starts at the first tab stop (every eight average character widths)
// past the widest cell before it, which is where the tabs would put it if
// every line's text had the same width.
class ColumnTextLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

    int TabStopDistance() const;
    // Where each column starts, from the label's left edge.
    std::vector<int> ColumnPositions() const;
    // The size the whole text needs.
    QSize NaturalSize() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Lays out a dialog whose controls have fixed places in dialog units of the
// dialog's font. The toolkit's fonts need not have the proportions the
// places were drawn for: where a text would not fit its place, the units
// (and with them the whole dialog) grow until it does, so no text is ever
// cut or wrapped where the design has it on one line.
class DialogLayout {
public:
    enum class Fit {
        None,   // the control takes its place as it is (buttons, edits)
        Width,  // its text must fit the width (labels, check boxes)
        Lines,  // its text must fit the width and all its lines the height
    };

    // Places `widget` (a child of the dialog or of a page at the dialog's
    // origin) at x, y, width, height in dialog units.
    void Place(QWidget* widget, int x, int y, int width, int height, Fit fit = Fit::None);
    // Computes the units for `dialog`, places every control and fixes the
    // dialog's size to width x height units. Returns the units used.
    DialogUnits Apply(QWidget* dialog, int width, int height);

private:
    struct Entry {
        QWidget* widget;
        QRect units;
        Fit fit;
    };
    std::vector<Entry> entries;
};

// The size a control's text needs on one line per line of text (no word
// wrapping), or its size hint for a control without text of its own.
QSize NaturalTextSize(const QWidget* widget);

// Where a window of `size` goes to be centred over `reference` while staying
// inside `limits`: a window past the left (top) edge moves right (down) to
// it, otherwise one past the right (bottom) edge moves back to end there.
// Halves are integer divisions.
QPoint CenteredPosition(const QRect& reference, const QSize& size, const QRect& limits);

// Centres `window` over `reference` without resizing or activating it. With
// no reference a child widget is centred over its parent and a window over
// the window it belongs to (its parent widget). A child stays inside its
// parent's client area; a window stays inside the available area of the
// screen (the desktop's work area) and, when its reference is hidden or
// minimised, is centred on that area instead.
void CenterOverParent(QWidget* window, QWidget* reference = nullptr);

}  // namespace brelvix::app
