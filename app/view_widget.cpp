#include "app/view_widget.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/main_frame.h"
#include "platform/trash.h"

namespace brelvix::app {

// The drawing area: paints through the view and hands it the mouse.
class ViewArea : public QWidget {
public:
    explicit ViewArea(ViewWidget* owner) : QWidget(owner), view(owner)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
        setAcceptDrops(true);
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        view->PaintArea(painter, event->rect());
    }

    void resizeEvent(QResizeEvent*) override { view->ScheduleGeometryUpdate(false); }

    void enterEvent(QEnterEvent*) override { view->image.OnCursorRequest(true); }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton) {
            const QPoint at = view->DevicePoint(event->position());
            view->image.OnLeftButtonDown(at.x(), at.y());
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        const QPoint at = view->DevicePoint(event->position());
        view->image.OnCursorRequest(true);
        view->image.OnMouseMove(at.x(), at.y(), view->MouseKeys(event->buttons(), event->modifiers()));
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        const QPoint at = view->DevicePoint(event->position());
        switch (event->button()) {
            case Qt::LeftButton:
                view->image.OnLeftButtonUp(at.x(), at.y());
                break;
            case Qt::RightButton:
                view->image.OnRightButtonUp(at.x(), at.y());
                break;
            case Qt::MiddleButton:
                view->image.OnMiddleButtonUp(at.x(), at.y());
                break;
            default:
                break;
        }
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton) {
            const QPoint at = view->DevicePoint(event->position());
            view->image.OnLeftButtonDoubleClick(at.x(), at.y());
        }
    }

    void wheelEvent(QWheelEvent* event) override
    {
        if (event->angleDelta().y() != 0) {
            view->image.OnMouseWheel(event->angleDelta().y());
        }
        event->accept();
    }

    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (!LocalFiles(event->mimeData()).empty()) {
            event->acceptProposedAction();
        }
    }

    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }

    void dropEvent(QDropEvent* event) override
    {
        const std::vector<std::string> files = LocalFiles(event->mimeData());
        if (files.empty()) {
            return;
        }
        event->acceptProposedAction();
        view->image.OnFilesDropped(files);
    }

private:
    // File managers drop text/uri-list; only local files can be opened.
    static std::vector<std::string> LocalFiles(const QMimeData* data)
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

    ViewWidget* view;
};

namespace {

QColor FromColorRef(std::uint32_t colour)
{
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

QString FromBytes(const std::string& text)
{
    return QFile::decodeName(QByteArray::fromStdString(text));
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
        painter.drawText(QPoint(x, y + metrics.ascent()), FromBytes(text));
    }

    ViewSize TextExtent(const std::string& text) override
    {
        return ViewSize{metrics.horizontalAdvance(FromBytes(text)), metrics.height()};
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
            for (int column = 0; column < w; ++column) {
                destination[column] = 0xFF000000u | (std::uint32_t(source[2]) << 16) | (std::uint32_t(source[1]) << 8) |
                                      std::uint32_t(source[0]);
                source += 3;
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

QScrollBar* MakeBar(Qt::Orientation orientation, QWidget* parent)
{
    auto* bar = new QScrollBar(orientation, parent);
    bar->setFocusPolicy(Qt::NoFocus);
    bar->setTracking(true);
    bar->hide();
    return bar;
}

}  // namespace

ViewWidget::ViewWidget(MainFrame* owner) : QFrame(owner), frame(owner), image(this)
{
    setObjectName(QStringLiteral("view"));
    SetEdgeVisible(true);
    setFocusPolicy(Qt::NoFocus);

    area = new ViewArea(this);
    setFocusProxy(area);
    horizontalBar = MakeBar(Qt::Horizontal, this);
    verticalBar = MakeBar(Qt::Vertical, this);
    corner = new QWidget(this);
    corner->setAutoFillBackground(true);
    corner->hide();

    for (QScrollBar* bar : {horizontalBar, verticalBar}) {
        const ScrollAxis axis = bar == horizontalBar ? ScrollAxis::Horizontal : ScrollAxis::Vertical;
        connect(bar, &QScrollBar::actionTriggered, this, [this, axis](int action) { OnBarAction(axis, action); });
        connect(bar, &QScrollBar::sliderReleased, this, [this, axis] { OnBarReleased(axis); });
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
}

ViewWidget::~ViewWidget()
{
    StopTimers();
    image.SetHost(nullptr);
}

QWidget* ViewWidget::Area() const
{
    return area;
}

double ViewWidget::DevicePixelRatio() const
{
    return devicePixelRatioF();
}

QPoint ViewWidget::DevicePoint(const QPointF& logical) const
{
    const double ratio = DevicePixelRatio();
    return QPoint(int(std::floor(logical.x() * ratio)), int(std::floor(logical.y() * ratio)));
}

void ViewWidget::SetEdgeVisible(bool visible)
{
    if (visible) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(2);
    } else {
        setFrameStyle(QFrame::NoFrame);
        setLineWidth(0);
    }
    LayoutChildren();
}

void ViewWidget::LayoutChildren()
{
    if (area == nullptr) {
        return;
    }
    const QRect inside = contentsRect();
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);

    // A bar shows while its page is smaller than its range, that is while
    // the picture is larger than the drawing area on that axis.
    const bool showHorizontal = horizontalInfo.page <= horizontalInfo.maximum - horizontalInfo.minimum;
    const bool showVertical = verticalInfo.page <= verticalInfo.maximum - verticalInfo.minimum;

    QRect client = inside;
    if (showVertical) {
        client.setRight(inside.right() - extent);
    }
    if (showHorizontal) {
        client.setBottom(inside.bottom() - extent);
    }
    area->setGeometry(client);
    horizontalBar->setVisible(showHorizontal);
    verticalBar->setVisible(showVertical);
    if (showHorizontal) {
        horizontalBar->setGeometry(client.left(), client.bottom() + 1, client.width(), extent);
    }
    if (showVertical) {
        verticalBar->setGeometry(client.right() + 1, client.top(), extent, client.height());
    }
    corner->setVisible(showHorizontal && showVertical);
    if (showHorizontal && showVertical) {
        corner->setGeometry(client.right() + 1, client.bottom() + 1, extent, extent);
    }
}

void ViewWidget::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    LayoutChildren();
    ScheduleGeometryUpdate(true);
}

void ViewWidget::moveEvent(QMoveEvent* event)
{
    QFrame::moveEvent(event);
    ScheduleGeometryUpdate(true);
}

void ViewWidget::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::StyleChange) {
        LayoutChildren();
    }
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
        area->update();
    }
}

void ViewWidget::SyncGeometry()
{
    if (QWidget* top = window()) {
        if (QLayout* layout = top->layout()) {
            layout->activate();
        }
    }
    LayoutChildren();
    geometryUpdatePending = false;
    windowChangedPending = false;
    const ViewSize size = ClientSize();
    deliveredClientSize = size;
    image.OnSize(size.width, size.height);
}

// ---- painting

void ViewWidget::PaintArea(QPainter& painter, const QRect& exposedLogical)
{
    const double ratio = DevicePixelRatio();
    painter.scale(1.0 / ratio, 1.0 / ratio);
    const QRect exposed(
        QPoint(int(std::floor(exposedLogical.left() * ratio)), int(std::floor(exposedLogical.top() * ratio))),
        QPoint(int(std::ceil((exposedLogical.right() + 1) * ratio)) - 1,
               int(std::ceil((exposedLogical.bottom() + 1) * ratio)) - 1));
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

// ---- ViewHost: geometry and scroll bars

ViewRect ViewWidget::WindowRect() const
{
    // The view's outer rectangle as the arithmetic expects it: the drawing
    // area with its scroll bars plus a two-pixel edge on every side. In full
    // screen the edge lies outside the screen, so the drawing area is exactly
    // the screen.
    const double ratio = DevicePixelRatio();
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
    const double ratio = DevicePixelRatio();
    return ViewSize{int(std::lround(area->width() * ratio)), int(std::lround(area->height() * ratio))};
}

void ViewWidget::SetScrollBar(ScrollAxis axis, const ScrollBarInfo& info, bool)
{
    QScrollBar* bar = axis == ScrollAxis::Horizontal ? horizontalBar : verticalBar;
    (axis == ScrollAxis::Horizontal ? horizontalInfo : verticalInfo) = info;
    // The model's bar runs over minimum..maximum with a page; Qt's runs over
    // the positions the thumb can take, up to maximum - page + 1.
    const int page = std::max(info.page, 1);
    const int highest = std::max(info.minimum, info.maximum - page + 1);
    settingBars = true;
    bar->setRange(info.minimum, highest);
    bar->setPageStep(page);
    bar->setValue(std::clamp(info.position, info.minimum, highest));
    settingBars = false;
    LayoutChildren();
}

void ViewWidget::SetScrollPosition(ScrollAxis axis, int position, bool)
{
    QScrollBar* bar = axis == ScrollAxis::Horizontal ? horizontalBar : verticalBar;
    settingBars = true;
    bar->setValue(position);
    settingBars = false;
}

bool ViewWidget::HasVerticalScrollBar() const
{
    return !verticalBar->isHidden();
}

void ViewWidget::OnBarAction(ScrollAxis axis, int action)
{
    if (settingBars) {
        return;
    }
    QScrollBar* bar = axis == ScrollAxis::Horizontal ? horizontalBar : verticalBar;
    const int track = bar->sliderPosition();
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
            image.OnScroll(axis, ScrollAction::ThumbTrack, track);
            break;
        default:
            return;
    }
    // The model decides where the bar stands, not the bar's own step sizes.
    bar->setSliderPosition(axis == ScrollAxis::Horizontal ? image.offsetX : image.offsetY);
}

void ViewWidget::OnBarReleased(ScrollAxis axis)
{
    QScrollBar* bar = axis == ScrollAxis::Horizontal ? horizontalBar : verticalBar;
    image.OnScroll(axis, ScrollAction::ThumbPosition, bar->sliderPosition());
    image.OnScroll(axis, ScrollAction::EndScroll, 0);
}

bool ViewWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel && (watched == horizontalBar || watched == verticalBar)) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->angleDelta().y() != 0) {
            image.OnMouseWheel(wheel->angleDelta().y());
        }
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

void ViewWidget::ScrollContents(int dx, int dy)
{
    const double ratio = DevicePixelRatio();
    if (ratio == 1.0) {
        area->scroll(dx, dy);
    } else {
        // A move by an odd number of device pixels has no logical equivalent.
        area->update();
    }
}

void ViewWidget::Invalidate(bool)
{
    area->update();
}

void ViewWidget::UpdateNow()
{
    if (area->isVisible()) {
        area->repaint();
    }
}

// ---- cursor and timers

ViewCursor ViewWidget::SetCursor(ViewCursor cursor)
{
    const ViewCursor replaced = cursorShown;
    cursorShown = cursor;
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
            // The load that follows blocks the event loop; make the window
            // system show the busy cursor now.
            QGuiApplication::sync();
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
    QFrame::timerEvent(event);
}

// ---- the frame

void ViewWidget::SetTitle(const std::string& title)
{
    frame->setWindowTitle(FromBytes(title));
}

void ViewWidget::SetStatusText(const std::string& text)
{
    frame->SetStatusText(FromBytes(text));
}

bool ViewWidget::ZoomToBestFit() const
{
    return frame->ZoomToBestFit;
}

void ViewWidget::ToggleFullScreen()
{
    frame->ToggleFullScreen();
}

void ViewWidget::SetSlideShowChecked(bool checked)
{
    frame->SetCheck(kCmdSlideShow, checked);
}

void ViewWidget::ShowContextMenu(int screenX, int screenY)
{
    const double ratio = DevicePixelRatio();
    frame->ShowContextMenu(QPoint(int(std::lround(screenX / ratio)), int(std::lround(screenY / ratio))));
}

bool ViewWidget::ChooseFile(const OpenFileDialogRequest& request, std::string* chosen)
{
    // Tests (and scripted runs) answer the dialog without showing it:
    // "cancel" cancels, anything else is the chosen path.
    const QByteArray scripted = qgetenv("BRELVIX_TEST_OPEN_DIALOG");
    if (!scripted.isEmpty()) {
        if (scripted == "cancel") {
            return false;
        }
        *chosen = scripted.toStdString();
        return true;
    }

    QStringList filters;
    for (const FileDialogFilter& filter : request.filters) {
        QStringList patterns;
        for (const QString& pattern : QString::fromStdString(filter.patterns).split(u';', Qt::SkipEmptyParts)) {
            // "*.*" means every file, also those without a dot in the name.
            patterns.append(pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern);
        }
        filters.append(QStringLiteral("%1 (%2)").arg(QString::fromStdString(filter.name), patterns.join(u' ')));
    }
    const QString path =
        QFileDialog::getOpenFileName(frame, QString::fromStdString(request.title), QString(), filters.join(";;"));
    if (path.isEmpty()) {
        return false;
    }
    *chosen = QFile::encodeName(path).toStdString();
    return true;
}

TrashResult ViewWidget::MoveToTrash(const std::string& path)
{
    const QString name = QFileInfo(FromBytes(path)).fileName();
    const QMessageBox::StandardButton answer =
        QMessageBox::question(frame, QStringLiteral("Brelvix"), QStringLiteral("Move \"%1\" to the trash?").arg(name),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        return TrashResult::Aborted;
    }
    return platform::MoveToTrash(path) == platform::TrashResult::kDone ? TrashResult::Done : TrashResult::Failed;
}

void ViewWidget::RequestClose()
{
    frame->close();
}

unsigned ViewWidget::MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) const
{
    unsigned keys = 0;
    if (buttons & Qt::LeftButton) {
        keys |= kViewKeyLeftButton;
    }
    if (buttons & Qt::RightButton) {
        keys |= kViewKeyRightButton;
    }
    if (buttons & Qt::MiddleButton) {
        keys |= kViewKeyMiddleButton;
    }
    if (buttons & Qt::BackButton) {
        keys |= kViewKeyExtraButton1;
    }
    if (buttons & Qt::ForwardButton) {
        keys |= kViewKeyExtraButton2;
    }
    if (modifiers & Qt::ShiftModifier) {
        keys |= kViewKeyShift;
    }
    if (modifiers & Qt::ControlModifier) {
        keys |= kViewKeyControl;
    }
    return keys;
}

}  // namespace brelvix::app
