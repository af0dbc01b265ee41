#include "app/hyperlink.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QUrl>
#include <string>

#include "app/resources.h"
#include "app/settings.h"
#include "app/text_numbers.h"

namespace brelvix::app {

namespace {

// Where the finger of the pointing hand touches.
constexpr int kHandHotSpotX = 5;
constexpr int kHandHotSpotY = 0;

// Longest colour text taken from the settings ("255,255,255").
constexpr std::size_t kColorTextLimit = 11;

std::int32_t ColorPart(std::string_view part)
{
    while (!part.empty() && (part.front() == ' ' || part.front() == '\t')) {
        part.remove_prefix(1);
    }
    return IntegerPrefix(part);
}

}  // namespace

std::optional<std::uint32_t> ParseColorText(std::string_view text)
{
    const std::size_t firstComma = text.find(',');
    if (firstComma == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t secondComma = text.find(',', firstComma + 1);
    if (secondComma == std::string_view::npos || secondComma + 1 == text.size()) {
        return std::nullopt;
    }
    const std::int32_t red = ColorPart(text.substr(0, firstComma));
    const std::int32_t green = ColorPart(text.substr(firstComma + 1, secondComma - firstComma - 1));
    const std::int32_t blue = ColorPart(text.substr(secondComma + 1));
    if (red == -1 || green == -1) {
        return std::nullopt;
    }
    const auto low = [](std::int32_t part) { return static_cast<std::uint32_t>(part) & 0xFFu; };
    return low(red) | low(green) << 8 | low(blue) << 16;
}

HyperLink::HyperLink(QObject* parent) : QObject(parent) {}

HyperLink::~HyperLink()
{
    if (control != nullptr) {
        control->removeEventFilter(this);
    }
}

void HyperLink::Attach(QLabel* newControl)
{
    control = newControl;
    // A picture or a frame is the control's own to draw; the link then only
    // adds the cursor, the tooltip and the activation.
    paintLabel = control->pixmap().isNull() && control->picture().isNull() && control->frameShape() == QFrame::NoFrame;

    InitBrelvixResources();
    handCursor = QCursor(QPixmap(QStringLiteral(":/brelvix/link_cursor.png")), kHandHotSpotX, kHandHotSpotY);

    if (paintLabel) {
        const QWidget* parent = control->parentWidget();
        linkFont = parent != nullptr ? parent->font() : control->font();
        linkFont.setUnderline(true);
    }
    if (!label && !control->text().isEmpty()) {
        label = control->text();
    }
    if (!target && label) {
        target = label;
    }
    UpdateLinkRect();

    control->setToolTip(Target());
    control->setMouseTracking(true);
    control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(this);
    watchedObject = control;
    if (paintLabel) {
        ReadLinkColors();
    }
    control->update();
}

void HyperLink::ReadLinkColors()
{
    // Colours the user set for links in the settings replace the defaults;
    // anything unreadable keeps them.
    RegistryKey key(RegistryRoot::CurrentUser, kLinkColorsKeyPath);
    const auto read = [&key](const char* name, QColor* colour) {
        std::string text;
        if (!key.ReadString(name, &text) || text.size() > kColorTextLimit) {
            return;
        }
        if (const std::optional<std::uint32_t> value = ParseColorText(text)) {
            *colour = QColor(static_cast<int>(*value & 0xFF), static_cast<int>(*value >> 8 & 0xFF),
                             static_cast<int>(*value >> 16 & 0xFF));
        }
    };
    read("Anchor Color", &linkColor);
    read("Anchor Color Visited", &visitedColor);
}

void HyperLink::SetLabel(const QString& text)
{
    label = text;
    UpdateLinkRect();
    if (control != nullptr) {
        control->update();
    }
}

void HyperLink::SetTarget(const QString& newTarget)
{
    target = newTarget;
    if (!label) {
        UpdateLinkRect();
    }
}

QString HyperLink::ShownText() const
{
    return label ? *label : Target();
}

void HyperLink::UpdateLinkRect()
{
    if (control == nullptr) {
        return;
    }
    const QRect client = control->rect();
    if (!paintLabel) {
        linkRect = client;
        return;
    }
    // The text's own extent, wrapped at the control's width, placed as the
    // control aligns its text.
    const QFontMetrics metrics(linkFont);
    QRect measured = metrics.boundingRect(client, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, ShownText());
    measured.moveTopLeft(client.topLeft());
    const int spare = client.width() - measured.width();
    const Qt::Alignment horizontal = control->alignment() & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignHCenter) {
        measured.translate(spare / 2, 0);
    } else if (horizontal & Qt::AlignRight) {
        measured.translate(spare, 0);
    }
    linkRect = measured;
}

void HyperLink::Paint()
{
    QPainter painter(control);
    painter.setFont(linkFont);
    painter.setPen(visited ? visitedColor : linkColor);
    const Qt::Alignment horizontal = control->alignment() & Qt::AlignHorizontal_Mask;
    painter.drawText(linkRect, static_cast<int>(horizontal | Qt::AlignTop | Qt::TextWordWrap), ShownText());
    if (control->hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(control);
        option.rect = linkRect;
        control->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, control);
    }
}

void HyperLink::UpdateCursor(const QPoint& position)
{
    if (target && linkRect.contains(position)) {
        control->setCursor(handCursor);
    } else {
        control->unsetCursor();
    }
}

bool HyperLink::Activate()
{
    const QString address = Target();
    const bool opened = !address.isEmpty() && QDesktopServices::openUrl(QUrl::fromUserInput(address));
    if (opened) {
        visited = true;
        if (control != nullptr) {
            control->update();
        }
    }
    return opened;
}

bool HyperLink::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != watchedObject) {
        return false;
    }
    switch (event->type()) {
        case QEvent::Paint:
            if (!paintLabel) {
                return false;
            }
            Paint();
            return true;
        case QEvent::Resize:
            UpdateLinkRect();
            return false;
        case QEvent::MouseMove:
            UpdateCursor(static_cast<QMouseEvent*>(event)->position().toPoint());
            return false;
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton || !linkRect.contains(mouse->position().toPoint())) {
                return false;
            }
            // The press only arms the link: moving off before the release
            // lets the user change their mind.
            control->setFocus(Qt::MouseFocusReason);
            pressed = true;
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton || !pressed) {
                return false;
            }
            pressed = false;
            if (linkRect.contains(mouse->position().toPoint())) {
                Activate();
            }
            return true;
        }
        case QEvent::KeyPress: {
            // Enter and Space open the focused link rather than pressing the
            // dialog's default button.
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
                Activate();
                return true;
            }
            return false;
        }
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            // A label losing the focus in its destructor is a QLabel no
            // more: updated as the widget it still is.
            static_cast<QWidget*>(watched)->update();
            return false;
        default:
            return false;
    }
}

}  // namespace brelvix::app
