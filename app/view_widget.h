// The picture view on Qt: a framed widget with a drawing area and two scroll
// bars whose numbers the viewer's scrolling model sets. It owns the
// ImageView, implements its host and canvas, and forwards paints, mouse,
// wheel, timer and drop events to it.
//
// All of the view's arithmetic is in device pixels: on a screen with a device
// pixel ratio above 1 the drawing area reports its size in device pixels, the
// painter draws in device pixels and zoom 100 % shows one picture pixel per
// device pixel, so the toolkit never resamples the picture.
#pragma once

#include <QBasicTimer>
#include <QCursor>
#include <QFont>
#include <QFrame>
#include <map>
#include <vector>

#include "viewer/image_view.h"
#include "viewer/view_host.h"

class QScrollBar;
class QPainter;

namespace brelvix::app {

class MainFrame;

class ViewArea;

class ViewWidget : public QFrame, public ViewHost {
    Q_OBJECT

public:
    explicit ViewWidget(MainFrame* frame);
    ~ViewWidget() override;

    ImageView& Image() { return image; }
    const ImageView& ImageConst() const { return image; }
    // The drawing area (inside the edge and the scroll bars).
    QWidget* Area() const;
    QScrollBar* HorizontalBar() const { return horizontalBar; }
    QScrollBar* VerticalBar() const { return verticalBar; }
    // The font of all text in the view: "Verdana", 13 pixels, or the
    // system's substitute.
    const QFont& InfoFont() const { return infoFont; }

    // The two-pixel sunken edge: shown in a window, gone in full screen.
    void SetEdgeVisible(bool visible);
    // Invalidates everything and paints before returning.
    void RepaintNow();
    void StopTimers();
    // Lays the children out now and gives the view its current client size,
    // so that an open before the window is first shown (best fit at start-up)
    // works with the real size.
    void SyncGeometry();
    double DevicePixelRatio() const;

    // ViewHost
    ViewRect WindowRect() const override;
    // The drawing area's size in device pixels.
    ViewSize ClientSize() const;
    void SetScrollBar(ScrollAxis axis, const ScrollBarInfo& info, bool redraw) override;
    void SetScrollPosition(ScrollAxis axis, int position, bool redraw) override;
    bool HasVerticalScrollBar() const override;
    void ScrollContents(int dx, int dy) override;
    void Invalidate(bool erase) override;
    void UpdateNow() override;
    ViewCursor SetCursor(ViewCursor cursor) override;
    unsigned StartTimer(unsigned id, int milliseconds) override;
    void StopTimer(unsigned id) override;
    void SetTitle(const std::string& title) override;
    void SetStatusText(const std::string& text) override;
    bool ZoomToBestFit() const override;
    void ToggleFullScreen() override;
    void SetSlideShowChecked(bool checked) override;
    void ShowContextMenu(int screenX, int screenY) override;
    bool ChooseFile(const OpenFileDialogRequest& request, std::string* chosen) override;
    TrashResult MoveToTrash(const std::string& path) override;
    void RequestClose() override;

    ViewCursor CurrentCursor() const { return cursorShown; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class ViewArea;

    void LayoutChildren();
    // Client size and window moves reach the view once the event loop runs,
    // never from inside one of its own calls.
    void ScheduleGeometryUpdate(bool windowChanged);
    void DeliverGeometry();
    void OnBarAction(ScrollAxis axis, int action);
    void OnBarReleased(ScrollAxis axis);
    void PaintArea(QPainter& painter, const QRect& exposed);
    unsigned MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) const;
    QPoint DevicePoint(const QPointF& logical) const;

    MainFrame* frame;
    ImageView image;
    ViewArea* area = nullptr;
    QScrollBar* horizontalBar = nullptr;
    QScrollBar* verticalBar = nullptr;
    QWidget* corner = nullptr;
    // No bar shows until the model sets one.
    ScrollBarInfo horizontalInfo{0, 0, 1, 0};
    ScrollBarInfo verticalInfo{0, 0, 1, 0};
    bool settingBars = false;

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
};

}  // namespace brelvix::app
