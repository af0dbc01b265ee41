// The frame's placement: full screen and back, the stored rectangle put back
// on a screen, and what is stored of it at close.
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>

#include "app/frame_placement.h"
#include "app/main_frame.h"
#include "app/view_widget.h"
#include "viewer/image_view.h"

namespace brelvix::app {

void MainFrame::ToggleFullScreen()
{
    ImageView& image = Image();
    if (!image.FullScreen()) {
        settings.ShowStatusbar = !statusBar()->isHidden();
        statusBar()->hide();
        // The toolbar keeps its own memory (ShowToolbar), so a toolbar hidden
        // before full screen stays hidden afterwards.
        menuBar()->hide();
        toolBar->hide();
        SetInfoPanelShown(false);
        windowedMaximized = isMaximized();
        windowedGeometry = windowedMaximized && normalGeometry().isValid() ? normalGeometry() : geometry();
        windowedFrame = windowedMaximized && normalFrame.isValid() ? normalFrame : frameGeometry();
        view->SetEdgeVisible(false);
        showFullScreen();
        // The full-screen state is the window manager's to honour; on an X
        // server without one the window covers its screen by itself (with a
        // window manager this asks for the size it gives anyway).
        if (QScreen* current = screen()) {
            setGeometry(current->geometry());
        }
        image.SetFullScreen(true);
    } else {
        view->SetEdgeVisible(true);
        menuBar()->show();
        toolBar->setVisible(settings.ShowToolbar);
        statusBar()->setVisible(settings.ShowStatusbar);
        SetInfoPanelShown(settings.showInfoPanel);
        if (windowedMaximized) {
            showMaximized();
        } else {
            showNormal();
            setGeometry(windowedGeometry);
        }
        image.SetFullScreen(false);
    }
    SetCheck(kCmdFullScreen, image.FullScreen());
    view->RepaintNow();
}

void MainFrame::closeEvent(QCloseEvent* event)
{
    // Whatever is still decoding is left, so that the program ends at once.
    Image().CancelLoading();
    if (Image().FullScreen()) {
        closingFromFullScreen = true;
        ToggleFullScreen();
    }
    SaveSettings();
    view->StopTimers();
    event->accept();
}

// The stored rectangle is the frame's, title bar and borders included, as
// the window manager places it: a window stored at the screen's top-left
// corner comes back with its title bar there, not above the screen.
QRect MainFrame::PlacementRect() const
{
    QRect frame = frameGeometry();
    if (Image().FullScreen() || closingFromFullScreen) {
        frame = windowedFrame;
    } else if ((isMaximized() || isMinimized()) && normalFrame.isValid()) {
        frame = normalFrame;
    } else if ((isMaximized() || isMinimized()) && normalGeometry().isValid()) {
        frame = normalGeometry();
    }
    return PlacementToStore(frame, QPoint(settings.windowLeft, settings.windowTop),
                            WindowPositionKnown(QGuiApplication::platformName()));
}

// A frame stored under another window system (Wayland leaves its position at
// the decoration's margins, such as -3, -30) or while a monitor that is gone
// now was plugged in may hang off every screen, or keep only its title bar
// above the top edge, out of reach.
QRect OntoAScreen(QRect frame, const QList<QRect>& availableAreas)
{
    const QRect* chosen = nullptr;
    std::int64_t chosenShared = 0;
    std::int64_t chosenDistance = 0;
    for (const QRect& area : availableAreas) {
        const QRect shared = area.intersected(frame);
        const std::int64_t sharedArea = shared.isEmpty() ? 0 : std::int64_t{shared.width()} * shared.height();
        const QPoint apart = area.center() - frame.center();
        const std::int64_t distance = std::int64_t{apart.x()} * apart.x() + std::int64_t{apart.y()} * apart.y();
        if (chosen == nullptr || sharedArea > chosenShared ||
            (sharedArea == chosenShared && distance < chosenDistance)) {
            chosen = &area;
            chosenShared = sharedArea;
            chosenDistance = distance;
        }
    }
    if (chosen == nullptr) {
        return frame;
    }
    const QRect& area = *chosen;
    frame.setSize(frame.size().boundedTo(area.size()));
    frame.moveLeft(std::clamp(frame.left(), area.left(), area.right() + 1 - frame.width()));
    frame.moveTop(std::clamp(frame.top(), area.top(), area.bottom() + 1 - frame.height()));
    return frame;
}

bool WindowPositionKnown(const QString& platformName)
{
    return !platformName.startsWith(QLatin1String("wayland"));
}

QRect PlacementToStore(const QRect& frame, const QPoint& storedTopLeft, bool positionKnown)
{
    return positionKnown ? frame : QRect(storedTopLeft, frame.size());
}

void MainFrame::RestoreFrame(const QRect& stored)
{
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        areas.append(screen->availableGeometry());
    }
    const QRect frame = OntoAScreen(stored, areas);
    normalFrame = frame;
    pendingFrame = frame;
    // A window's position is its frame's; its size is the inside's, which is
    // known only once the window manager has put a frame around it (until
    // then the inside takes the whole rectangle).
    move(frame.topLeft());
    resize(frame.size());
}

void MainFrame::NoteGeometry()
{
    if (!isVisible() || Image().FullScreen() || windowState() != Qt::WindowNoState) {
        return;
    }
    const QRect frame = frameGeometry();
    const QRect inside = geometry();
    if (pendingFrame.isValid() && frame != inside) {
        const QRect wanted = pendingFrame;
        pendingFrame = QRect();
        resize(wanted.size() - (frame.size() - inside.size()));
        move(wanted.topLeft());
        return;
    }
    normalFrame = frame;
}

void MainFrame::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    NoteGeometry();
}

void MainFrame::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    NoteGeometry();
}

void MainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Where the frame is known as the window shows, no move follows it.
    NoteGeometry();
    QTimer::singleShot(0, this, [this] { NoteGeometry(); });
}

WindowShow MainFrame::PlacementShow() const
{
    if (Image().FullScreen() || closingFromFullScreen) {
        return windowedMaximized ? WindowShow::Maximized : WindowShow::Normal;
    }
    if (isMinimized()) {
        return WindowShow::Minimized;
    }
    return isMaximized() ? WindowShow::Maximized : WindowShow::Normal;
}

}  // namespace brelvix::app
