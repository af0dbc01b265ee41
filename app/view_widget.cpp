#include "app/view_widget.h"

#include <QtGui/qguiapplication_platform.h>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLayout>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include <xcb/xcb.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace brelvix::app {

QString DecodeName(const std::string& bytes)
{
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

namespace {

#if defined(__x86_64__) || defined(__i386__)
// Four pixels a step: sixteen bytes hold four BGR pixels and a third of a
// fifth, which the shuffle drops. Returns how many pixels it converted; the
// last loads stay inside the row, as at least two pixels follow each one.
__attribute__((target("ssse3"))) int BgrToXrgbSsse3(const std::uint8_t* source, std::uint32_t* destination, int count)
{
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int column = 0;
    for (; column + 6 <= count; column += 4) {
        const __m128i bgr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 3 * column));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + column),
                         _mm_or_si128(_mm_shuffle_epi8(bgr, spread), opaque));
    }
    return column;
}

int BgrToXrgbFast(const std::uint8_t* source, std::uint32_t* destination, int count)
{
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    return ssse3 ? BgrToXrgbSsse3(source, destination, count) : 0;
}
#else
int BgrToXrgbFast(const std::uint8_t*, std::uint32_t*, int)
{
    return 0;
}
#endif

QColor FromColorRef(std::uint32_t colour)
{
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

// The canvas for one paint. Coordinates are the drawing area's device pixels;
// the painter has been scaled so that one unit is one device pixel.
class PainterCanvas : public ViewCanvas {
public:
    PainterCanvas(QPainter& target, const QFont& font, const QRect& exposedArea, std::vector<std::uint32_t>& rows)
        : painter(target), metrics(font), exposed(exposedArea), buffer(rows)
    {
        painter.setFont(font);
    }

    void FillRect(int left, int top, int right, int bottom, std::uint32_t colour) override
    {
        if (right <= left || bottom <= top) {
            return;
        }
        painter.fillRect(QRect(left, top, right - left, bottom - top), FromColorRef(colour));
    }

    void FrameRect(int left, int top, int right, int bottom) override
    {
        if (right <= left || bottom <= top) {
            return;
        }
        painter.fillRect(QRect(left, top, right - left, bottom - top), Qt::black);
        if (right - left > 2 && bottom - top > 2) {
            painter.fillRect(QRect(left + 1, top + 1, right - left - 2, bottom - top - 2), Qt::white);
        }
    }

    void DrawText(int x, int y, const std::string& text, std::uint32_t colour) override
    {
        painter.setPen(FromColorRef(colour));
        painter.drawText(QPoint(x, y + metrics.ascent()), DecodeName(text));
    }

    ViewSize TextExtent(const std::string& text) override
    {
        return ViewSize{metrics.horizontalAdvance(DecodeName(text)), metrics.height()};
    }

    // The store's rows are bottom-up BGR; Qt cannot wrap them with a negative
    // stride, so the part of the picture this paint exposes is converted to
    // top-down 32-bit rows first. Converting only what is exposed keeps the
    // cost per paint bounded by the window, not the picture, and needs no
    // second full-size copy of the picture in memory.
    int DrawPixels(int x, int y, int width, int height, const std::uint8_t* pixels, std::int32_t stride,
                   std::uint32_t) override
    {
        if (pixels == nullptr || width <= 0 || height <= 0) {
            return 0;
        }
        const QRect target = QRect(x, y, width, height).intersected(exposed);
        if (target.isEmpty()) {
            return 1;
        }
        const int left = target.x() - x;
        const int top = target.y() - y;
        const int w = target.width();
        const int h = target.height();
        buffer.resize(std::size_t(w) * std::size_t(h));
        for (int row = 0; row < h; ++row) {
            const std::uint8_t* source =
                pixels + std::int64_t(height - 1 - (top + row)) * stride + std::int64_t(left) * 3;
            std::uint32_t* destination = buffer.data() + std::size_t(row) * std::size_t(w);
            // Blue, green, red in memory read as one little-endian word are
            // 0x..RRGGBB, the 32-bit format's order: one load and the opaque
            // alpha per pixel. The last pixel of a row is read byte by byte, as
            // its fourth byte may lie past the store.
            int column = BgrToXrgbFast(source, destination, w);
            if constexpr (std::endian::native == std::endian::little) {
                for (; column + 1 < w; ++column) {
                    std::uint32_t word;
                    std::memcpy(&word, source + 3 * column, 4);
                    destination[column] = word | 0xFF000000u;
                }
            }
            for (; column < w; ++column) {
                const std::uint8_t* pixel = source + 3 * column;
                destination[column] =
                    0xFF000000u | (std::uint32_t(pixel[2]) << 16) | (std::uint32_t(pixel[1]) << 8) | pixel[0];
            }
        }
        const QImage rows(reinterpret_cast<const uchar*>(buffer.data()), w, h, w * 4, QImage::Format_RGB32);
        painter.drawImage(target.topLeft(), rows);
        return 1;
    }

private:
    QPainter& painter;
    QFontMetrics metrics;
    QRect exposed;
    std::vector<std::uint32_t>& buffer;
};

// File managers drop text/uri-list; only local files can be opened.
std::vector<std::string> LocalFiles(const QMimeData* data)
{
    std::vector<std::string> files;
    if (data == nullptr || !data->hasUrls()) {
        return files;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            files.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
        }
    }
    return files;
}

// A load on the caller's thread that follows a busy cursor blocks the event
// loop, so the cursor must reach the window system now. A round trip
// (QGuiApplication::sync) would do that, but on X11 it also throws away the
// key presses waiting in the queue meanwhile: four quick presses of Right
// would advance three pictures. Sending what is buffered is all the cursor
// needs.
void SendPendingRequests()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;
    }
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        if (xcb_connection_t* connection = x11->connection()) {
            xcb_flush(connection);
        }
    }
}

unsigned MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    unsigned keys = 0;
    const std::pair<bool, unsigned> held[] = {
        {buttons.testFlag(Qt::LeftButton), kViewKeyLeftButton},
        {buttons.testFlag(Qt::RightButton), kViewKeyRightButton},
        {buttons.testFlag(Qt::MiddleButton), kViewKeyMiddleButton},
        {buttons.testFlag(Qt::BackButton), kViewKeyExtraButton1},
        {buttons.testFlag(Qt::ForwardButton), kViewKeyExtraButton2},
        {modifiers.testFlag(Qt::ShiftModifier), kViewKeyShift},
        {modifiers.testFlag(Qt::ControlModifier), kViewKeyControl},
    };
    for (const auto& [down, key] : held) {
        keys |= down ? key : 0;
    }
    return keys;
}

}  // namespace

ViewWidget::ViewWidget(QWidget* parent, ViewFrame& frame, ViewShell& shell)
    : QAbstractScrollArea(parent), image(*this, *this, frame, shell)
{
    setObjectName(QStringLiteral("view"));
    SetEdgeVisible(true);

    // The view paints every pixel of the drawing area itself.
    QWidget* area = viewport();
    area->setAttribute(Qt::WA_OpaquePaintEvent);
    area->setAutoFillBackground(false);
    area->setMouseTracking(true);
    area->setAcceptDrops(true);

    for (const ScrollAxis axis : {ScrollAxis::Horizontal, ScrollAxis::Vertical}) {
        QScrollBar* bar = Bar(axis);
        bar->setFocusPolicy(Qt::NoFocus);
        connect(bar, &QScrollBar::actionTriggered, this, [this, axis](int action) { OnBarAction(axis, action); });
        connect(bar, &QScrollBar::sliderReleased, this, [this, axis, bar] {
            image.OnScroll(axis, ScrollAction::ThumbPosition, bar->sliderPosition());
            image.OnScroll(axis, ScrollAction::EndScroll, 0);
        });
        // The wheel belongs to the view wherever it turns, bars included.
        bar->installEventFilter(this);
    }

    infoFont = QFont(QStringLiteral("Verdana"));
    infoFont.setPixelSize(13);
    infoFont.setWeight(QFont::Normal);
    infoFont.setStyleHint(QFont::SansSerif);

    handCursor = QCursor(QPixmap(QStringLiteral(":/brelvix/hand_cursor.png")), 16, 14);
    blankCursor = QCursor(QPixmap(QStringLiteral(":/brelvix/blank_cursor.png")), 0, 0);

    // The desktop's lines per wheel notch replace the built-in three.
    image.OnSettingsChange(QApplication::wheelScrollLines());

    // A decode that is done is looked at at once, not at the next turn of
    // the poll timer. The call may come from any thread; it is delivered on
    // this one, and dropped with the widget.
    image.SetDecodeWake([this] {
        QMetaObject::invokeMethod(
            this, [this] { image.OnTimer(kLoadPollTimerId); }, Qt::QueuedConnection);
    });
    // Whether a key is held reaches the view before the command it fires,
    // whichever widget has the focus.
    QCoreApplication::instance()->installEventFilter(this);
}

ViewWidget::~ViewWidget()
{
    // No decoding thread calls into the widget once this returns.
    image.SetDecodeWake(nullptr);
    StopTimers();
}

QScrollBar* ViewWidget::Bar(ScrollAxis axis) const
{
    return axis == ScrollAxis::Horizontal ? horizontalScrollBar() : verticalScrollBar();
}

QPoint ViewWidget::DevicePoint(const QPointF& logical) const
{
    const double ratio = devicePixelRatioF();
    return QPoint(int(std::floor(logical.x() * ratio)), int(std::floor(logical.y() * ratio)));
}

void ViewWidget::SetEdgeVisible(bool visible)
{
    setFrameStyle(visible ? QFrame::Panel | QFrame::Sunken : QFrame::NoFrame);
    setLineWidth(visible ? 2 : 0);
}

// ---- geometry

bool ViewWidget::viewportEvent(QEvent* event)
{
    switch (event->type()) {
        case QEvent::Resize:
            // The drawing area alone changed (a bar came or went); the
            // widget's own resize arrives through resizeEvent.
            ScheduleGeometryUpdate(false);
            return false;
        case QEvent::Enter:
            image.OnCursorRequest(true);
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            // Only the drawing area takes the mouse: the edge and the corner
            // between the bars are not the picture.
            ViewportMouse(static_cast<QMouseEvent*>(event));
            return true;
        default:
            break;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void ViewWidget::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    ScheduleGeometryUpdate(true);
}

void ViewWidget::moveEvent(QMoveEvent* event)
{
    QAbstractScrollArea::moveEvent(event);
    ScheduleGeometryUpdate(true);
}

void ViewWidget::ScheduleGeometryUpdate(bool windowChanged)
{
    windowChangedPending = windowChangedPending || windowChanged;
    if (geometryUpdatePending) {
        return;
    }
    geometryUpdatePending = true;
    QTimer::singleShot(0, this, [this] { DeliverGeometry(); });
}

void ViewWidget::DeliverGeometry()
{
    geometryUpdatePending = false;
    const bool windowChanged = windowChangedPending;
    windowChangedPending = false;
    const ViewSize size = ClientSize();
    if (!(size == deliveredClientSize)) {
        deliveredClientSize = size;
        image.OnSize(size.width, size.height);
    }
    if (windowChanged) {
        image.OnWindowPositionChanged();
    } else {
        viewport()->update();
    }
}

void ViewWidget::SyncGeometry()
{
    if (QLayout* layout = window()->layout()) {
        layout->activate();
    }
    // A widget not shown yet gets its resize only when it shows, and the
    // scroll area places its drawing area and bars on that event.
    QResizeEvent resized(size(), size());
    QCoreApplication::sendEvent(this, &resized);
    geometryUpdatePending = false;
    windowChangedPending = false;
    deliveredClientSize = ClientSize();
    image.OnSize(deliveredClientSize.width, deliveredClientSize.height);
}

ViewRect ViewWidget::WindowRect() const
{
    // The view's outer rectangle as the arithmetic expects it: the drawing
    // area with its scroll bars plus a two-pixel edge on every side. In full
    // screen the edge lies outside the screen, so the drawing area is exactly
    // the screen.
    const double ratio = devicePixelRatioF();
    const QRect inside = contentsRect();
    const QPoint origin = mapToGlobal(inside.topLeft());
    const int left = int(std::lround(origin.x() * ratio)) - 2;
    const int top = int(std::lround(origin.y() * ratio)) - 2;
    const int width = int(std::lround(inside.width() * ratio)) + 4;
    const int height = int(std::lround(inside.height() * ratio)) + 4;
    return ViewRect{left, top, left + width, top + height};
}

ViewSize ViewWidget::ClientSize() const
{
    const double ratio = devicePixelRatioF();
    return ViewSize{int(std::lround(viewport()->width() * ratio)), int(std::lround(viewport()->height() * ratio))};
}

// ---- painting

void ViewWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const double ratio = devicePixelRatioF();
    painter.scale(1.0 / ratio, 1.0 / ratio);
    const QRect logical = event->rect();
    const QRect exposed(
        QPoint(int(std::floor(logical.left() * ratio)), int(std::floor(logical.top() * ratio))),
        QPoint(int(std::ceil((logical.right() + 1) * ratio)) - 1, int(std::ceil((logical.bottom() + 1) * ratio)) - 1));
    PainterCanvas canvas(painter, infoFont, exposed, paintBuffer);
    image.EraseBackground(canvas);
    image.Paint(canvas);
    // A large picture's buffer is not kept between paints.
    if (paintBuffer.capacity() > (std::size_t(1) << 22)) {
        std::vector<std::uint32_t>().swap(paintBuffer);
    }
}

void ViewWidget::RepaintNow()
{
    Invalidate(true);
    UpdateNow();
}

void ViewWidget::Invalidate(bool)
{
    marked = viewport()->rect();
    viewport()->update();
}

void ViewWidget::InvalidateRect(const ViewRect& rect)
{
    if (devicePixelRatioF() != 1.0) {
        // Device pixels need not fall on logical ones: all of it, to be sure.
        Invalidate(true);
        return;
    }
    const QRect part(rect.left, rect.top, rect.Width(), rect.Height());
    marked += part;
    viewport()->update(part);
}

void ViewWidget::UpdateNow()
{
    if (viewport()->isVisible()) {
        if (marked.isEmpty()) {
            viewport()->repaint();
        } else {
            viewport()->repaint(marked);
        }
    }
    marked = QRegion();
}

// ---- scroll bars

void ViewWidget::SetScrollBar(ScrollAxis axis, const ScrollBarInfo& info, bool)
{
    barInfo[axis == ScrollAxis::Horizontal ? 0 : 1] = info;
    ApplyScrollBars();
}

// The model's bar runs over minimum..maximum with a page; Qt's runs over the
// positions the thumb can take, up to maximum - page + 1, and shows while
// that range is not empty. The model's page is the drawing area as it is
// now, narrowed by any bar that shows; a picture that fits the area once
// the bars are gone would keep them for ever, each bar taking the room that
// keeps the other. So a bar shows where the picture is larger than the area
// will be with the bars settled, and its page is that area.
void ViewWidget::ApplyScrollBars()
{
    const double ratio = devicePixelRatioF();
    const QSize room = maximumViewportSize();
    const int roomWidth = int(std::lround(room.width() * ratio));
    const int roomHeight = int(std::lround(room.height() * ratio));
    const int barHeight = int(std::lround(horizontalScrollBar()->sizeHint().height() * ratio));
    const int barWidth = int(std::lround(verticalScrollBar()->sizeHint().width() * ratio));
    const ScrollBarInfo& across = barInfo[0];
    const ScrollBarInfo& down = barInfo[1];
    const std::int64_t extentX = std::int64_t{across.maximum} - across.minimum + 1;
    const std::int64_t extentY = std::int64_t{down.maximum} - down.minimum + 1;
    bool needX = extentX > roomWidth;
    bool needY = extentY > roomHeight;
    // Each bar that shows narrows the other axis; twice settles both.
    for (int pass = 0; pass < 2; ++pass) {
        needX = needX || (needY && extentX > roomWidth - barWidth);
        needY = needY || (needX && extentY > roomHeight - barHeight);
    }
    const auto apply = [this](ScrollAxis axis, const ScrollBarInfo& info, bool shown, int page) {
        const int highest = shown ? std::max(info.minimum, info.maximum - page + 1) : info.minimum;
        QScrollBar* bar = Bar(axis);
        settingBars = true;
        bar->setRange(info.minimum, highest);
        bar->setPageStep(std::max(page, 1));
        bar->setValue(std::clamp(info.position, info.minimum, highest));
        settingBars = false;
    };
    apply(ScrollAxis::Horizontal, across, needX, roomWidth - (needY ? barWidth : 0));
    apply(ScrollAxis::Vertical, down, needY, roomHeight - (needX ? barHeight : 0));
}

void ViewWidget::SetScrollPosition(ScrollAxis axis, int position, bool)
{
    settingBars = true;
    Bar(axis)->setValue(position);
    settingBars = false;
}

void ViewWidget::ScrollContents(int dx, int dy)
{
    if (devicePixelRatioF() == 1.0) {
        viewport()->scroll(dx, dy);
    } else {
        // A move by an odd number of device pixels has no logical equivalent.
        viewport()->update();
    }
}

void ViewWidget::OnBarAction(ScrollAxis axis, int action)
{
    if (settingBars) {
        return;
    }
    QScrollBar* bar = Bar(axis);
    switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            image.OnScroll(axis, ScrollAction::LineDown, 0);
            break;
        case QAbstractSlider::SliderSingleStepSub:
            image.OnScroll(axis, ScrollAction::LineUp, 0);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            image.OnScroll(axis, ScrollAction::PageDown, 0);
            break;
        case QAbstractSlider::SliderPageStepSub:
            image.OnScroll(axis, ScrollAction::PageUp, 0);
            break;
        case QAbstractSlider::SliderToMinimum:
            image.OnScroll(axis, ScrollAction::Top, 0);
            break;
        case QAbstractSlider::SliderToMaximum:
            image.OnScroll(axis, ScrollAction::Bottom, 0);
            break;
        case QAbstractSlider::SliderMove:
            image.OnScroll(axis, ScrollAction::ThumbTrack, bar->sliderPosition());
            break;
        default:
            return;
    }
    // Qt has already moved the thumb by its own steps; the model decides
    // where it stands.
    bar->setSliderPosition(axis == ScrollAxis::Horizontal ? image.Geometry().OffsetX() : image.Geometry().OffsetY());
}

// Qt calls this whenever a bar's value changes. The model moves the bars
// itself and then scrolls or repaints the contents; any other change (the
// bar's own context menu, "Scroll here") is a thumb position for the model.
void ViewWidget::scrollContentsBy(int dx, int)
{
    if (settingBars) {
        return;
    }
    const ScrollAxis axis = dx != 0 ? ScrollAxis::Horizontal : ScrollAxis::Vertical;
    image.OnScroll(axis, ScrollAction::ThumbPosition, Bar(axis)->value());
}

// ---- keys, mouse and drops

void ViewWidget::keyPressEvent(QKeyEvent* event)
{
    // There is no keyboard scrolling: arrows and page keys are the frame's
    // commands, and the scroll area's own steps would move the picture.
    event->ignore();
}

void ViewWidget::ViewportMouse(QMouseEvent* event)
{
    const QPoint at = DevicePoint(event->position());
    const bool left = event->button() == Qt::LeftButton;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (left) {
                image.OnLeftButtonDown(at.x(), at.y());
            }
            break;
        case QEvent::MouseMove:
            image.OnCursorRequest(true);
            image.OnMouseMove(at.x(), at.y(), MouseKeys(event->buttons(), event->modifiers()));
            break;
        case QEvent::MouseButtonDblClick:
            // The second press of a double click is the double click alone.
            if (left) {
                image.OnLeftButtonDoubleClick(at.x(), at.y());
            }
            break;
        default:
            if (left) {
                image.OnLeftButtonUp(at.x(), at.y());
            } else if (event->button() == Qt::RightButton) {
                image.OnRightButtonUp(at.x(), at.y());
            } else if (event->button() == Qt::MiddleButton) {
                image.OnMiddleButtonUp(at.x(), at.y());
            }
            break;
    }
}

void ViewWidget::wheelEvent(QWheelEvent* event)
{
    // Over a bar too: the point is the drawing area's.
    const QPoint at = DevicePoint(viewport()->mapFromGlobal(event->globalPosition()));
    const QPoint delta = event->angleDelta();
    image.OnWheel(delta.x(), delta.y(), MouseKeys(event->buttons(), event->modifiers()), at.x(), at.y());
    event->accept();
}

bool ViewWidget::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress:
            image.SetKeyRepeating(static_cast<QKeyEvent*>(event)->isAutoRepeat());
            break;
        case QEvent::KeyRelease:
            if (!static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
                image.SetKeyRepeating(false);
            }
            break;
        default:
            break;
    }
    if (event->type() == QEvent::Wheel && (watched == horizontalScrollBar() || watched == verticalScrollBar())) {
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

void ViewWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalFiles(event->mimeData()).empty()) {
        event->acceptProposedAction();
    }
}

void ViewWidget::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void ViewWidget::dropEvent(QDropEvent* event)
{
    const std::vector<std::string> files = LocalFiles(event->mimeData());
    if (files.empty()) {
        return;
    }
    event->acceptProposedAction();
    image.OnFilesDropped(files);
}

// ---- cursor and timers

ViewCursor ViewWidget::SetCursor(ViewCursor cursor)
{
    const ViewCursor replaced = cursorShown;
    cursorShown = cursor;
    QWidget* area = viewport();
    switch (cursor) {
        case ViewCursor::None:
            area->unsetCursor();
            break;
        case ViewCursor::Arrow:
            area->setCursor(Qt::ArrowCursor);
            break;
        case ViewCursor::Hand:
            area->setCursor(handCursor);
            break;
        case ViewCursor::Blank:
            area->setCursor(blankCursor);
            break;
        case ViewCursor::Wait:
            area->setCursor(Qt::WaitCursor);
            SendPendingRequests();
            break;
    }
    return replaced;
}

unsigned ViewWidget::StartTimer(unsigned id, int milliseconds)
{
    if (id == 0 || milliseconds <= 0) {
        return 0;
    }
    timers[id].start(milliseconds, Qt::PreciseTimer, this);
    return id;
}

void ViewWidget::StopTimer(unsigned id)
{
    const auto found = timers.find(id);
    if (found != timers.end()) {
        found->second.stop();
    }
}

void ViewWidget::StopTimers()
{
    for (auto& entry : timers) {
        entry.second.stop();
    }
}

void ViewWidget::timerEvent(QTimerEvent* event)
{
    for (auto& [id, timer] : timers) {
        if (timer.timerId() == event->timerId()) {
            image.OnTimer(id);
            return;
        }
    }
    QAbstractScrollArea::timerEvent(event);
}

}  // namespace brelvix::app
