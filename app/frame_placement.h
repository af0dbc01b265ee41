// Where the frame comes back: the stored rectangle is put on a screen, and
// what is stored of it when the window system cannot tell where a window is.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

namespace brelvix::app {

// `frame` (the frame's rectangle, its title bar along the top) moved into
// the available area of the screen that shows most of it, or of the nearest
// screen when none shows any, and shrunk to that area where it is larger:
// the title bar is then always on a screen, where it can be taken with the
// mouse. Without screens the rectangle stays as it is.
QRect OntoAScreen(QRect frame, const QList<QRect>& availableAreas);

// Whether the window system reports where the program's windows are. Under
// Wayland it does not: a window's position reads as its decoration's
// margins, which are no place on any screen.
bool WindowPositionKnown(const QString& platformName);

// What is stored of the frame's rectangle `frame`: as it is, or, where the
// position is not known, its size at the position stored before.
QRect PlacementToStore(const QRect& frame, const QPoint& storedTopLeft, bool positionKnown);

}  // namespace brelvix::app
