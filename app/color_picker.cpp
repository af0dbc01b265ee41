#include "app/color_picker.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QColorDialog>
#include <QEventLoop>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QToolTip>
#include <algorithm>
#include <iterator>
#include <memory>

namespace brelvix::app {

namespace {

constexpr std::uint32_t Rgb(std::uint32_t red, std::uint32_t green, std::uint32_t blue)
{
    return red | green << 8 | blue << 16;
}

// clang-format off
constexpr PickerColor kColors[] = {
    {"Black", Rgb(0, 0, 0)},           {"Brown", Rgb(165, 42, 0)},         {"Dark Olive Green", Rgb(0, 64, 64)},
    {"Dark Green", Rgb(0, 85, 0)},     {"Dark Teal", Rgb(0, 0, 94)},       {"Dark blue", Rgb(0, 0, 139)},
    {"Indigo", Rgb(75, 0, 130)},       {"Dark grey", Rgb(40, 40, 40)},
    {"Dark red", Rgb(139, 0, 0)},      {"Orange", Rgb(255, 104, 32)},      {"Dark yellow", Rgb(139, 139, 0)},
    {"Green", Rgb(0, 147, 0)},         {"Teal", Rgb(56, 142, 142)},        {"Blue", Rgb(0, 0, 255)},
    {"Blue-grey", Rgb(123, 123, 192)}, {"Grey - 40", Rgb(102, 102, 102)},
    {"Red", Rgb(255, 0, 0)},           {"Light orange", Rgb(255, 173, 91)}, {"Lime", Rgb(50, 205, 50)},
    {"Sea green", Rgb(60, 179, 113)},  {"Aqua", Rgb(127, 255, 212)},       {"Light blue", Rgb(125, 158, 192)},
    {"Violet", Rgb(128, 0, 128)},      {"Grey - 50", Rgb(127, 127, 127)},
    {"Pink", Rgb(255, 192, 203)},      {"Gold", Rgb(255, 215, 0)},         {"Yellow", Rgb(255, 255, 0)},
    {"Bright green", Rgb(0, 255, 0)},  {"Turquoise", Rgb(64, 224, 208)},   {"Skyblue", Rgb(192, 255, 255)},
    {"Plum", Rgb(72, 0, 72)},          {"Light grey", Rgb(192, 192, 192)},
    {"Rose", Rgb(255, 228, 225)},      {"Tan", Rgb(210, 180, 140)},        {"Light yellow", Rgb(255, 255, 224)},
    {"Pale green ", Rgb(152, 251, 152)}, {"Pale turquoise", Rgb(175, 238, 238)}, {"Pale blue", Rgb(104, 131, 139)},
    {"Lavender", Rgb(230, 230, 250)},  {"White", Rgb(255, 255, 255)},
};
// clang-format on

constexpr int kColorCount = static_cast<int>(std::size(kColors));
constexpr int kPickerRows = (kColorCount + kPickerColumns - 1) / kPickerColumns;

// The window system's edge width: the pop-up's border and the button's
// inner spacing.
constexpr int kEdge = 2;

// A cell is its 14-pixel swatch with 2 pixels around; an entry is its text
// with 3 pixels around and a 2-pixel inset for the highlight.
constexpr int kCellMargin = 2;
constexpr int kTextMargin = 3;
constexpr int kTextInset = 2;

QColor ToQColor(std::uint32_t value)
{
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>(value >> 8 & 0xFF),
                  static_cast<int>(value >> 16 & 0xFF));
}

std::uint32_t FromQColor(const QColor& colour)
{
    return Rgb(static_cast<std::uint32_t>(colour.red()), static_cast<std::uint32_t>(colour.green()),
               static_cast<std::uint32_t>(colour.blue()));
}

// A rectangle from its edges, right and bottom exclusive, as the drawing
// arithmetic counts them.
QRect Edges(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}

int Right(const QRect& rect)
{
    return rect.x() + rect.width();
}

int Bottom(const QRect& rect)
{
    return rect.y() + rect.height();
}

// The colour dialog's custom colours belong to the whole run, all white at
// first; the dialog keeps what the user adds there until the program ends.
void InitCustomColors()
{
    static const bool done = [] {
        for (int i = 0; i < QColorDialog::customCount(); ++i) {
            QColorDialog::setCustomColor(i, Qt::white);
        }
        return true;
    }();
    (void)done;
}

}  // namespace

std::span<const PickerColor> PickerColors()
{
    return kColors;
}

PickerLayout LayOutPicker(QSize largestText, bool showAutomatic, bool showCustom, int margin)
{
    const QSize text = showAutomatic || showCustom ? largestText + QSize(10, 10) : QSize(0, 0);
    const int gridWidth = kPickerColumns * kPickerCellSize;
    const int contentWidth = std::max(gridWidth, text.width());

    PickerLayout layout;
    layout.automaticRect = QRect(0, 0, contentWidth, showAutomatic ? text.height() : 0);
    layout.colorsRect =
        QRect((contentWidth - gridWidth) / 2, Bottom(layout.automaticRect), gridWidth, kPickerCellSize * kPickerRows);
    layout.customRect = QRect(0, Bottom(layout.colorsRect), contentWidth, showCustom ? text.height() : 0);
    layout.size = QSize(contentWidth + 2 * margin, Bottom(layout.customRect) + 2 * margin);
    for (QRect* area : {&layout.automaticRect, &layout.colorsRect, &layout.customRect}) {
        area->translate(margin, margin);
    }
    return layout;
}

int PickerHitTest(const PickerLayout& layout, QPoint point)
{
    if (layout.customRect.contains(point)) {
        return kMoreColorsItem;
    }
    if (layout.automaticRect.contains(point)) {
        return kAutomaticItem;
    }
    if (!layout.colorsRect.contains(point)) {
        return kNoItem;
    }
    const int row = (point.y() - layout.colorsRect.y()) / kPickerCellSize;
    const int column = (point.x() - layout.colorsRect.x()) / kPickerCellSize;
    if (row < 0 || row >= kPickerRows || column < 0 || column >= kPickerColumns) {
        return kNoItem;
    }
    const int item = row * kPickerColumns + column;
    return item < kColorCount ? item : kNoItem;
}

QRect PickerItemRect(const PickerLayout& layout, int item)
{
    if (item == kAutomaticItem) {
        return layout.automaticRect;
    }
    if (item == kMoreColorsItem) {
        return layout.customRect;
    }
    if (item < 0 || item >= kColorCount) {
        return QRect();
    }
    return QRect(layout.colorsRect.x() + item % kPickerColumns * kPickerCellSize,
                 layout.colorsRect.y() + item / kPickerColumns * kPickerCellSize, kPickerCellSize, kPickerCellSize);
}

int PickerChosenItem(std::uint32_t color, bool showAutomatic, bool showCustom)
{
    if (color == kAutomaticColor && showAutomatic) {
        return kAutomaticItem;
    }
    for (int i = 0; i < kColorCount; ++i) {
        if (kColors[i].value == color) {
            return i;
        }
    }
    return showCustom ? kMoreColorsItem : kNoItem;
}

int PickerKeyTarget(int hotItem, int step, bool showAutomatic, bool showCustom)
{
    const bool backwards = step < 0;
    int target;
    if (hotItem == kNoItem) {
        target = backwards ? kMoreColorsItem : kAutomaticItem;
    } else if (hotItem == kAutomaticItem) {
        target = backwards ? kMoreColorsItem : 0;
    } else if (hotItem == kMoreColorsItem) {
        target = backwards ? kColorCount - 1 : kAutomaticItem;
    } else {
        target = hotItem + step;
        if (target < 0) {
            target = kAutomaticItem;
        } else if (target >= kColorCount) {
            target = kMoreColorsItem;
        }
    }
    // An entry that is left out passes the move on along the ring; with both
    // left out this ends on a cell after at most two steps.
    for (int pass = 0; pass < 2; ++pass) {
        if (target == kAutomaticItem && !showAutomatic) {
            target = backwards ? kMoreColorsItem : 0;
        } else if (target == kMoreColorsItem && !showCustom) {
            target = backwards ? kColorCount - 1 : kAutomaticItem;
        }
    }
    return target;
}

QPoint PlacePicker(QPoint below, QSize size, int buttonHeight, const QRect& screen)
{
    QPoint position = below;
    if (position.x() + size.width() > Right(screen)) {
        position.setX(Right(screen) - size.width());
    }
    if (position.x() < screen.x()) {
        position.setX(screen.x());
    }
    if (position.y() + size.height() > Bottom(screen)) {
        position.setY(position.y() - size.height() - buttonHeight);
    }
    return position;
}

ColorButtonParts ColorButtonLayout(const QRect& button, bool pressed)
{
    ColorButtonParts parts;
    parts.interior = button.adjusted(kEdge, kEdge, -kEdge, -kEdge);
    if (pressed) {
        parts.interior.translate(1, 1);
    }
    const QRect& inside = parts.interior;
    parts.focusRect = Edges(inside.x(), inside.y(), Right(inside) - 1, Bottom(inside));

    const QRect content = inside.adjusted(kEdge, kEdge, -kEdge, -kEdge);
    const int middle = (content.y() + Bottom(content)) / 2;
    const int x = Right(content) - kEdge / 2 - 4;
    parts.arrow = QPolygon({QPoint(x, middle - 1), QPoint(x + 4, middle - 1), QPoint(x + 2, middle + 1)});
    parts.etched = Edges(content.x(), content.y(), x - kEdge / 2, Bottom(content));
    parts.swatch = Edges(content.x(), content.y(), Right(parts.etched) - (2 * kEdge + 1), Bottom(content));
    return parts;
}

// ---- the pop-up

ColorPickerPopup::ColorPickerPopup(QWidget* owner, std::uint32_t initial, const QString& automatic,
                                   const QString& custom)
    : QWidget(owner, Qt::Popup), color(initial), automaticText(automatic), customText(custom), pickedColor(initial)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMouseTracking(true);
    setFont(QApplication::font("QMenu"));
    setPalette(QApplication::palette("QMenu"));
    chosenItem = PickerChosenItem(color, !automaticText.isEmpty(), !customText.isEmpty());
}

ColorPickerPopup::~ColorPickerPopup() = default;

void ColorPickerPopup::Open(const QRect& button)
{
    QSize largest(0, 0);
    const QFontMetrics metrics(font());
    for (const QString& text : {automaticText, customText}) {
        largest = largest.expandedTo(QSize(metrics.horizontalAdvance(text), metrics.height()));
    }
    layout = LayOutPicker(largest, !automaticText.isEmpty(), !customText.isEmpty(), kEdge);

    QScreen* screen = QGuiApplication::screenAt(button.center());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect screenRect = screen != nullptr ? screen->geometry() : QRect(button.bottomLeft(), layout.size);
    const QPoint below(button.x(), Bottom(button));
    setGeometry(QRect(PlacePicker(below, layout.size, button.height(), screenRect), layout.size));
    show();
}

void ColorPickerPopup::MakeHot(int item)
{
    if (item == hotItem) {
        return;
    }
    const int previous = hotItem;
    hotItem = item;
    if (item >= 0 && item < kColorCount) {
        pickedColor = kColors[item].value;
    } else if (item == kAutomaticItem) {
        pickedColor = kAutomaticColor;
    }
    update(PickerItemRect(layout, previous));
    update(PickerItemRect(layout, item));
}

void ColorPickerPopup::Finish(bool accept)
{
    if (finished) {
        return;
    }
    finished = true;
    accepted = accept;
    hide();
    emit Done();
}

bool ColorPickerPopup::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int item = PickerHitTest(layout, help->pos());
        if (item >= 0) {
            QToolTip::showText(help->globalPos(), QString::fromLatin1(kColors[item].name), this,
                               PickerItemRect(layout, item));
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QWidget::event(event);
}

void ColorPickerPopup::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QRect all = rect();
    painter.fillRect(all, palette().color(QPalette::Window));
    // A raised two-pixel edge: light outside and highlight inside at the top
    // and left, dark outside and shadow inside at the bottom and right.
    qDrawWinPanel(&painter, all, palette(), false);
    if (!automaticText.isEmpty()) {
        DrawItem(painter, kAutomaticItem);
    }
    for (int i = 0; i < kColorCount; ++i) {
        DrawItem(painter, i);
    }
    if (!customText.isEmpty()) {
        DrawItem(painter, kMoreColorsItem);
    }
}

void ColorPickerPopup::DrawItem(QPainter& painter, int item)
{
    const QColor menu = palette().color(QPalette::Window);
    const QColor highlight = palette().color(QPalette::Highlight);
    // The chosen look is the highlight faintly over the menu's colour.
    const auto blend = [](int menuPart, int highlightPart) { return (207 * menuPart + 48 * highlightPart) / 256; };
    const QColor chosenFill(blend(menu.red(), highlight.red()), blend(menu.green(), highlight.green()),
                            blend(menu.blue(), highlight.blue()));

    const bool isCell = item >= 0;
    const int margin = isCell ? kCellMargin : kTextMargin;
    const int inset = isCell ? 0 : kTextInset;
    const bool hot = item == hotItem;
    const bool chosen = !hot && item == chosenItem;

    QRect area = PickerItemRect(layout, item);
    if (hot || chosen) {
        if (inset > 0) {
            painter.fillRect(area, menu);
            area.adjust(inset, inset, -inset, -inset);
        }
        painter.fillRect(area, highlight);
        area.adjust(1, 1, -1, -1);
        painter.fillRect(area, hot ? highlight : chosenFill);
        area.adjust(margin - 1, margin - 1, -(margin - 1), -(margin - 1));
    } else {
        painter.fillRect(area, menu);
        area.adjust(margin + inset, margin + inset, -(margin + inset), -(margin + inset));
    }

    if (isCell) {
        painter.fillRect(area, palette().color(QPalette::Dark));
        painter.fillRect(area.adjusted(1, 1, -1, -1), ToQColor(kColors[item].value));
        return;
    }
    painter.setPen(palette().color(hot ? QPalette::HighlightedText : QPalette::WindowText));
    painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, item == kAutomaticItem ? automaticText : customText);
}

void ColorPickerPopup::mouseMoveEvent(QMouseEvent* event)
{
    MakeHot(PickerHitTest(layout, event->position().toPoint()));
}

void ColorPickerPopup::mousePressEvent(QMouseEvent* event)
{
    // A left press anywhere waits for its release, which decides; the right
    // button cancels at once. (Not passed on: the toolkit would close the
    // pop-up on a press outside it.)
    if (event->button() == Qt::RightButton) {
        Finish(false);
    }
}

void ColorPickerPopup::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const int item = PickerHitTest(layout, event->position().toPoint());
    MakeHot(item);
    // Releasing outside every item cancels.
    Finish(item != kNoItem);
}

void ColorPickerPopup::keyPressEvent(QKeyEvent* event)
{
    const bool showAutomatic = !automaticText.isEmpty();
    const bool showCustom = !customText.isEmpty();
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            if (hotItem == kNoItem) {
                pickedColor = color;
            }
            Finish(hotItem != kNoItem);
            return;
        case Qt::Key_Escape:
            pickedColor = color;
            Finish(false);
            return;
        case Qt::Key_Left:
            MakeHot(PickerKeyTarget(hotItem, -1, showAutomatic, showCustom));
            return;
        case Qt::Key_Up:
            MakeHot(PickerKeyTarget(hotItem, -kPickerColumns, showAutomatic, showCustom));
            return;
        case Qt::Key_Right:
            MakeHot(PickerKeyTarget(hotItem, 1, showAutomatic, showCustom));
            return;
        case Qt::Key_Down:
            MakeHot(PickerKeyTarget(hotItem, kPickerColumns, showAutomatic, showCustom));
            return;
        default:
            return;
    }
}

void ColorPickerPopup::hideEvent(QHideEvent* event)
{
    // Hidden by anyone else (another window took the mouse, the program is
    // ending): the pop-up was cancelled.
    QWidget::hideEvent(event);
    Finish(false);
}

// ---- the button

ColorPickerButton::ColorPickerButton(QObject* parent)
    : QObject(parent),
      defaultColor(FromQColor(QApplication::palette().color(QPalette::Dark))),
      automaticText(QStringLiteral("Automatic")),
      customText(QStringLiteral("More Colors..."))
{
}

ColorPickerButton::~ColorPickerButton()
{
    if (button != nullptr) {
        button->removeEventFilter(this);
    }
}

void ColorPickerButton::SubclassButton(QPushButton* newButton)
{
    button = newButton;
    button->installEventFilter(this);
    watchedObject = button;
    connect(button, &QPushButton::clicked, this, [this] { RunPicker(); });
    button->update();
}

void ColorPickerButton::SetAutomaticText(const QString& text)
{
    automaticText = text;
}

void ColorPickerButton::SetCustomText(const QString& text)
{
    customText = text;
}

void ColorPickerButton::SetColor(std::uint32_t value)
{
    color = value;
    if (button != nullptr) {
        button->update();
    }
}

bool ColorPickerButton::RunPicker()
{
    if (button != nullptr) {
        button->repaint();
    }
    emit PickerOpening(color);
    const std::uint32_t before = color;
    const bool accepted = RunPopup();
    if (accepted) {
        if (color != before) {
            emit PickerColorChanged(color);
        }
        emit PickerClosed(color);
        emit PickerAccepted(color);
    } else {
        emit PickerClosed(color);
        emit PickerCancelled(color);
    }
    if (button != nullptr) {
        button->update();
    }
    return accepted;
}

bool ColorPickerButton::RunPopup()
{
    if (button == nullptr) {
        return false;
    }
    const auto owned = std::make_unique<ColorPickerPopup>(button, color, automaticText, customText);
    popup = owned.get();
    QEventLoop loop;
    connect(popup, &ColorPickerPopup::Done, &loop, &QEventLoop::quit);
    popup->Open(QRect(button->mapToGlobal(QPoint(0, 0)), button->size()));
    // Runs until the pop-up is done; a program that quits meanwhile ends
    // the loop too, which counts as cancelled.
    if (!popup->Finished()) {
        loop.exec();
    }
    const bool accepted = popup->Finished() && popup->Accepted();
    const int hot = popup->HotItem();
    const std::uint32_t picked = popup->PickedColor();
    popup = nullptr;

    if (accepted && hot == kMoreColorsItem) {
        InitCustomColors();
        QColorDialog dialog(ToQColor(color), button);
        // Qt's own dialog: it keeps the custom colours of this run.
        dialog.setOption(QColorDialog::DontUseNativeDialog);
        if (dialog.exec() != QDialog::Accepted) {
            return false;
        }
        color = FromQColor(dialog.currentColor());
        return true;
    }
    if (accepted) {
        color = picked;
    }
    return accepted;
}

bool ColorPickerButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == watchedObject && event->type() == QEvent::Paint) {
        PaintButton();
        return true;
    }
    return false;
}

void ColorPickerButton::PaintButton()
{
    QPainter painter(button);
    QStyleOptionButton option;
    option.initFrom(button);
    option.features = QStyleOptionButton::None;
    if (button->isDown()) {
        option.state |= QStyle::State_Sunken;
    }
    option.state &= ~QStyle::State_HasFocus;
    button->style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, button);

    const bool enabled = button->isEnabled();
    const ColorButtonParts parts = ColorButtonLayout(button->rect(), button->isDown());
    if (button->hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(button);
        focus.rect = parts.focusRect;
        button->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, button);
    }

    const QColor arrowColour =
        enabled ? QColor(Qt::black) : button->palette().color(QPalette::Disabled, QPalette::Text);
    painter.setPen(arrowColour);
    painter.setBrush(arrowColour);
    painter.drawPolygon(parts.arrow, Qt::WindingFill);
    painter.setBrush(Qt::NoBrush);

    // The etched line: shadow, then highlight, at the right edge.
    const int lineRight = Right(parts.etched);
    painter.fillRect(QRect(lineRight - 2, parts.etched.y(), 1, parts.etched.height()),
                     button->palette().color(QPalette::Dark));
    painter.fillRect(QRect(lineRight - 1, parts.etched.y(), 1, parts.etched.height()),
                     button->palette().color(QPalette::Light));

    // A disabled button shows no colour.
    if (enabled && parts.swatch.width() > 0 && parts.swatch.height() > 0) {
        painter.fillRect(parts.swatch, ToQColor(color == kAutomaticColor ? defaultColor : color));
        painter.setPen(Qt::black);
        painter.drawRect(parts.swatch.adjusted(0, 0, -1, -1));
    }
}

}  // namespace brelvix::app
