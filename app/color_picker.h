// A push button turned into a colour chooser: it shows the current colour as
// a swatch beside a drop-down arrow, and a click opens a small pop-up below
// it with 40 named colours, an optional "Automatic" entry above them and a
// "More Colors..." entry below that opens the colour dialog. The click
// returns only once the user has chosen or cancelled.
//
// Colours are 0x00BBGGRR values (red in the low byte), as the settings keep
// them; kAutomaticColor stands for "no explicit colour".
#pragma once

#include <QPointer>
#include <QPolygon>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <span>

namespace brelvix::app {

inline constexpr std::uint32_t kAutomaticColor = 0xFF000000;

struct PickerColor {
    const char* name;
    std::uint32_t value;  // 0x00BBGGRR
};

// The 40 colours of the grid, row by row, eight to a row.
std::span<const PickerColor> PickerColors();

// Items of the pop-up: 0 to 39 are the colour cells.
inline constexpr int kNoItem = -1;
inline constexpr int kMoreColorsItem = -2;
inline constexpr int kAutomaticItem = -3;

inline constexpr int kPickerColumns = 8;
inline constexpr int kPickerCellSize = 18;

// The pop-up's three areas in its own coordinates, and its size.
struct PickerLayout {
    QRect automaticRect;  // zero height without the "Automatic" entry
    QRect colorsRect;     // the grid
    QRect customRect;     // zero height without the "More Colors..." entry
    QSize size;
};

// Lays the pop-up out. `largestText` is the larger width and the larger
// height of the two entry texts in the pop-up's font; an entry with an empty
// text is left out. Each entry is its text plus 10 pixels both ways, the grid
// 8 x 5 cells of 18 pixels, centred when an entry is wider; `margin` goes
// around everything.
PickerLayout LayOutPicker(QSize largestText, bool showAutomatic, bool showCustom, int margin);

// The item at `point` (pop-up coordinates), or kNoItem.
int PickerHitTest(const PickerLayout& layout, QPoint point);

// The rectangle of an item.
QRect PickerItemRect(const PickerLayout& layout, int item);

// The item shown as chosen when the pop-up opens on `color`: "Automatic" for
// the automatic colour, else the first cell of that exact colour, else "More
// Colors...", else none (skipping entries that are left out).
int PickerChosenItem(std::uint32_t color, bool showAutomatic, bool showCustom);

// The item an arrow key moves to from `hotItem`: `step` is -1 (Left), -8
// (Up), +1 (Right) or +8 (Down). The items form a ring: "Automatic", the
// cells in order, "More Colors...", and back; entries that are left out are
// skipped.
int PickerKeyTarget(int hotItem, int step, bool showAutomatic, bool showCustom);

// Where the pop-up of `size` opens for a button whose lower-left corner is at
// `below` (global coordinates): there, moved left to end at the screen's right
// edge when it would pass it (but never past the left edge), and above the
// button, `buttonHeight` higher than its own height, when it would pass the
// bottom.
QPoint PlacePicker(QPoint below, QSize size, int buttonHeight, const QRect& screen);

// The parts of the colour button drawn inside `button` (its rectangle).
struct ColorButtonParts {
    QRect interior;  // inside the bevel, moved by one pixel while pressed
    QRect focusRect;
    QPolygon arrow;  // the drop-down triangle's three corners
    QRect etched;    // the etched line is drawn at its right edge
    QRect swatch;
};
ColorButtonParts ColorButtonLayout(const QRect& button, bool pressed);

// The pop-up itself; it exists only while a click runs it.
class ColorPickerPopup : public QWidget {
    Q_OBJECT

public:
    ColorPickerPopup(QWidget* owner, std::uint32_t color, const QString& automaticText, const QString& customText);
    ~ColorPickerPopup() override;

    // Lays out, places below `button` (global coordinates) and shows.
    void Open(const QRect& button);

    const PickerLayout& Layout() const { return layout; }
    int HotItem() const { return hotItem; }
    int ChosenItem() const { return chosenItem; }
    std::uint32_t PickedColor() const { return pickedColor; }
    bool Finished() const { return finished; }
    bool Accepted() const { return accepted; }

signals:
    // The user has chosen or cancelled; the pop-up is hidden.
    void Done();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void MakeHot(int item);
    void Finish(bool accept);
    void DrawItem(QPainter& painter, int item);

    std::uint32_t color;
    QString automaticText;
    QString customText;
    PickerLayout layout;
    int hotItem = kNoItem;
    int chosenItem = kNoItem;
    std::uint32_t pickedColor;
    bool accepted = false;
    bool finished = false;
};

class ColorPickerButton : public QObject {
    Q_OBJECT

public:
    explicit ColorPickerButton(QObject* parent = nullptr);
    ~ColorPickerButton() override;

    // Takes over the drawing and the clicks of `button`.
    void SubclassButton(QPushButton* button);

    // The entries' texts; an empty text leaves the entry out.
    void SetAutomaticText(const QString& text);
    void SetCustomText(const QString& text);
    QString AutomaticText() const { return automaticText; }
    QString CustomText() const { return customText; }

    void SetColor(std::uint32_t value);
    std::uint32_t GetColor() const { return color; }
    // What the swatch shows for the automatic colour.
    std::uint32_t DefaultColor() const { return defaultColor; }

    QPushButton* Button() const { return button; }
    // The pop-up while a click runs it, else null.
    ColorPickerPopup* Popup() const { return popup; }

    // What a click does: opens the pop-up and returns once the user has
    // chosen or cancelled. Returns whether a colour was accepted.
    bool RunPicker();

signals:
    // In this order: PickerOpening; for an accepted pop-up PickerColorChanged
    // (only when the colour differs from before), PickerClosed and
    // PickerAccepted; for a cancelled one PickerClosed and PickerCancelled.
    // Each carries the colour at that moment.
    void PickerOpening(std::uint32_t color);
    void PickerColorChanged(std::uint32_t color);
    void PickerClosed(std::uint32_t color);
    void PickerAccepted(std::uint32_t color);
    void PickerCancelled(std::uint32_t color);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool RunPopup();
    void PaintButton();

    QPointer<QPushButton> button;
    // The button the filter watches, compared by address only: while it is
    // being destroyed its events still pass the filter, and it is no longer
    // a QPushButton that the guarded pointer could be read as.
    const QObject* watchedObject = nullptr;
    QPointer<ColorPickerPopup> popup;
    std::uint32_t color = kAutomaticColor;
    std::uint32_t defaultColor;
    QString automaticText;
    QString customText;
};

}  // namespace brelvix::app
