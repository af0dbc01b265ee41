#include "app/dialog_layout.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStringList>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace brelvix::app {

namespace {

// units * base / divisor to the nearest pixel.
int Scale(int units, double base, int divisor)
{
    return static_cast<int>(std::lround(units * base / divisor));
}

// The screen a window belongs on: the one under the reference's centre, else
// the window's own, else the primary one.
QScreen* ScreenFor(const QWidget* window, const QWidget* reference)
{
    if (reference != nullptr) {
        if (QScreen* screen = QGuiApplication::screenAt(reference->frameGeometry().center())) {
            return screen;
        }
    }
    if (QScreen* screen = window->screen()) {
        return screen;
    }
    return QGuiApplication::primaryScreen();
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font)
{
    // The average width is taken over the 52 letters, rounded, which keeps
    // the unit independent of how a font fills in its own average-width
    // field.
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX = (letters / 26 + 1) / 2;
    baseY = metrics.height();
}

void DialogUnits::FitWidth(int pixels, int units)
{
    if (units > 0 && X(units) < pixels) {
        baseX = 4.0 * pixels / units;
    }
}

void DialogUnits::FitHeight(int pixels, int units)
{
    if (units > 0 && Y(units) < pixels) {
        baseY = 8.0 * pixels / units;
    }
}

int DialogUnits::X(int units) const
{
    return Scale(units, baseX, 4);
}

int DialogUnits::Y(int units) const
{
    return Scale(units, baseY, 8);
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const
{
    // Both edges are converted, so that controls that touch in units touch
    // in pixels too.
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

QSize DialogUnits::Size(int width, int height) const
{
    return QSize(X(width), Y(height));
}

namespace {

// The cells of each line: the texts between runs of tabs.
std::vector<QStringList> SplitCells(const QString& text)
{
    std::vector<QStringList> lines;
    for (const QString& line : text.split(u'\n')) {
        lines.push_back(line.split(u'\t', Qt::SkipEmptyParts));
    }
    return lines;
}

}  // namespace

int ColumnTextLabel::TabStopDistance() const
{
    return 8 * QFontMetrics(font()).averageCharWidth();
}

std::vector<int> ColumnTextLabel::ColumnPositions() const
{
    const QFontMetrics metrics(font());
    const int stop = std::max(1, TabStopDistance());
    std::vector<int> positions{0};
    const std::vector<QStringList> lines = SplitCells(text());
    for (std::size_t column = 1;; ++column) {
        // The widest cell that has a cell after it decides where the next
        // column starts: at the first tab stop past it.
        int end = -1;
        for (const QStringList& cells : lines) {
            if (static_cast<std::size_t>(cells.size()) > column) {
                end = std::max(end, positions[column - 1] + metrics.horizontalAdvance(cells[column - 1]));
            }
        }
        if (end < 0) {
            return positions;
        }
        positions.push_back((end / stop + 1) * stop);
    }
}

QSize ColumnTextLabel::NaturalSize() const
{
    const QFontMetrics metrics(font());
    const std::vector<int> positions = ColumnPositions();
    const std::vector<QStringList> lines = SplitCells(text());
    int width = 0;
    for (const QStringList& cells : lines) {
        if (!cells.isEmpty()) {
            const auto last = static_cast<std::size_t>(cells.size()) - 1;
            width = std::max(width, positions[last] + metrics.horizontalAdvance(cells.back()));
        }
    }
    const auto count = static_cast<int>(lines.size());
    return QSize(width, count * metrics.height() + std::max(0, count - 1) * metrics.leading());
}

void ColumnTextLabel::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QFontMetrics metrics(font());
    const std::vector<int> positions = ColumnPositions();
    const QRect area = contentsRect();
    int baseline = area.top() + metrics.ascent();
    for (const QStringList& cells : SplitCells(text())) {
        for (qsizetype column = 0; column < cells.size(); ++column) {
            painter.drawText(area.left() + positions[static_cast<std::size_t>(column)], baseline, cells[column]);
        }
        baseline += metrics.lineSpacing();
    }
}

QSize NaturalTextSize(const QWidget* widget)
{
    if (const auto* columns = qobject_cast<const ColumnTextLabel*>(widget)) {
        return columns->NaturalSize();
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        const QFontMetrics metrics(label->font());
        const QRect text = metrics.boundingRect(QRect(), Qt::AlignLeft | Qt::AlignTop, label->text());
        return text.size() + QSize(2 * label->margin(), 2 * label->margin());
    }
    // A check box or button: its text, its indicator and the style's spacing.
    return widget->sizeHint();
}

void DialogLayout::Place(QWidget* widget, int x, int y, int width, int height, Fit fit)
{
    entries.push_back(Entry{widget, QRect(x, y, width, height), fit});
}

DialogUnits DialogLayout::Apply(QWidget* dialog, int width, int height)
{
    DialogUnits units(dialog->font());
    for (const Entry& entry : entries) {
        if (entry.fit == Fit::None) {
            continue;
        }
        const QSize needed = NaturalTextSize(entry.widget);
        units.FitWidth(needed.width(), entry.units.width());
        if (entry.fit == Fit::Lines) {
            units.FitHeight(needed.height(), entry.units.height());
        }
    }
    for (const Entry& entry : entries) {
        entry.widget->setGeometry(
            units.Rect(entry.units.x(), entry.units.y(), entry.units.width(), entry.units.height()));
    }
    dialog->setFixedSize(units.Size(width, height));
    return units;
}

QPoint CenteredPosition(const QRect& reference, const QSize& size, const QRect& limits)
{
    // Edges as the window system counts them: right and bottom exclusive.
    const int referenceRight = reference.x() + reference.width();
    const int referenceBottom = reference.y() + reference.height();
    const int limitsRight = limits.x() + limits.width();
    const int limitsBottom = limits.y() + limits.height();

    int x = (reference.x() + referenceRight) / 2 - size.width() / 2;
    if (x < limits.x()) {
        x = limits.x();
    } else if (x + size.width() > limitsRight) {
        x = limitsRight - size.width();
    }
    int y = (reference.y() + referenceBottom) / 2 - size.height() / 2;
    if (y < limits.y()) {
        y = limits.y();
    } else if (y + size.height() > limitsBottom) {
        y = limitsBottom - size.height();
    }
    return QPoint(x, y);
}

void CenterOverParent(QWidget* window, QWidget* reference)
{
    if (window == nullptr) {
        return;
    }
    if (reference == nullptr) {
        reference = window->parentWidget();
    }

    if (!window->isWindow()) {
        QWidget* parent = window->parentWidget();
        if (parent == nullptr) {
            return;
        }
        QRect referenceRect = parent->rect();
        if (reference != nullptr && reference != parent) {
            referenceRect = QRect(reference->mapTo(parent, QPoint(0, 0)), reference->size());
        }
        window->move(CenteredPosition(referenceRect, window->size(), parent->rect()));
        return;
    }

    if (reference != nullptr) {
        reference = reference->window();
        if (!reference->isVisible() || reference->isMinimized()) {
            reference = nullptr;
        }
    }
    QScreen* screen = ScreenFor(window, reference);
    const QRect workArea = screen != nullptr ? screen->availableGeometry() : QRect();
    const QRect referenceRect = reference != nullptr ? reference->frameGeometry() : workArea;
    // The frame is not known before the window is first shown; its size
    // without the frame is the best measure until then.
    const QSize size = window->isVisible() ? window->frameGeometry().size() : window->size();
    window->move(CenteredPosition(referenceRect, size, workArea));
}

}  // namespace brelvix::app
