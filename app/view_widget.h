// The picture view on Qt: a scroll area whose bars the viewer's scrolling
// model sets. It owns the ImageView, is its window and timer, and forwards
// paints, mouse, wheel, timer and drop events to it; the frame around it
// serves the view's frame and shell requests.
//
// All of the view's arithmetic is in device pixels: on a screen with a device
// pixel ratio above 1 the drawing area reports its size in device pixels, the
// painter draws in device pixels and zoom 100 % shows one picture pixel per
// device pixel, so the toolkit never resamples the picture.
#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QCursor>
#include <QFont>
#include <QRegion>
#include <map>
#include <string>
#include <vector>

#include "viewer/image_view.h"
#include "viewer/view_host.h"

namespace brelvix::app {

// Text in the file system's bytes (paths and what is built from them) as Qt
// text; names that are not UTF-8 survive.
QString DecodeName(const std::string& bytes);

class ViewWidget : public QAbstractScrollArea, public ViewWindow, public ViewTimer {
    Q_OBJECT

public:
    // `frame` and `shell` must outlive the widget.
    ViewWidget(QWidget* parent, ViewFrame& frame, ViewShell& shell);
    ~ViewWidget() override;

    ImageView& Image() { return image; }
    const ImageView& Image() const { return image; }
    // The font of all text in the view: "Verdana", 13 pixels, or the
    // system's substitute.
    const QFont& InfoFont() const { return infoFont; }
    ViewCursor CurrentCursor() const { return cursorShown; }

    // The two-pixel sunken edge: shown in a window, gone in full screen.
    void SetEdgeVisible(bool visible);
    // Invalidates everything and paints before returning.
    void RepaintNow();
    void StopTimers();
    // Lays the children out now and gives the view its current client size,
    // so that an open before the window is first shown (best fit at start-up)
    // works with the real size.
    void SyncGeometry();

    // ViewWindow
    ViewRect WindowRect() const override;
    void SetScrollBar(ScrollAxis axis, const ScrollBarInfo& info, bool redraw) override;
    void SetScrollPosition(ScrollAxis axis, int position, bool redraw) override;
    void ScrollContents(int dx, int dy) override;
    void Invalidate(bool erase) override;
    void InvalidateRect(const ViewRect& rect) override;
    void UpdateNow() override;
    ViewCursor SetCursor(ViewCursor cursor) override;
    // ViewTimer
    unsigned StartTimer(unsigned id, int milliseconds) override;
    void StopTimer(unsigned id) override;

protected:
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QScrollBar* Bar(ScrollAxis axis) const;
    // Sets both bars from the model's last word on each (barInfo).
    void ApplyScrollBars();
    // Client size and window moves reach the view once the event loop runs,
    // never from inside one of its own calls.
    void ScheduleGeometryUpdate(bool windowChanged);
    void DeliverGeometry();
    // The drawing area's size in device pixels.
    ViewSize ClientSize() const;
    void OnBarAction(ScrollAxis axis, int action);
    void ViewportMouse(QMouseEvent* event);
    QPoint DevicePoint(const QPointF& logical) const;

    ImageView image;
    // Set while the model moves a bar: the bar's own signals then report
    // nothing back.
    bool settingBars = false;
    // What the model last set on each bar: horizontal, vertical.
    ScrollBarInfo barInfo[2];

    QFont infoFont;
    QCursor handCursor;
    QCursor blankCursor;
    ViewCursor cursorShown = ViewCursor::None;
    std::map<unsigned, QBasicTimer> timers;

    bool geometryUpdatePending = false;
    bool windowChangedPending = false;
    ViewSize deliveredClientSize{-1, -1};

    // Rows of the picture converted for one paint: top-down, 32 bits a pixel.
    std::vector<std::uint32_t> paintBuffer;
    // What Invalidate and InvalidateRect marked since the last UpdateNow.
    QRegion marked;
};

}  // namespace brelvix::app
