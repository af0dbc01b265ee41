// The viewport: how the working copy is made of the decoded picture (zoom,
// turns, mirrors) and where it lies in the window (client size, placement,
// scroll offsets, scroll bars, the wheel and panning).
//
// The arithmetic is in free functions of plain numbers; the Viewport keeps
// the state and moves the window's scroll bars and contents through
// ViewWindow. It never repaints on its own: what needs a repaint is the
// caller's to say (ImageView).
#pragma once

#include <cstdint>
#include <optional>

#include "viewer/view_host.h"

namespace brelvix {

// The zoom steps of the commands, and the factor beyond which no step up is
// taken.
inline constexpr double kFineZoomStep = 0.1;
inline constexpr double kCoarseZoomStep = 1.0;
inline constexpr double kLargestSteppedZoom = 10.0;
// No step leaves the factor below this: a picture zoomed out further would
// shrink to nothing.
inline constexpr double kSmallestSteppedZoom = 0.1;

// The round factors the zoom moves between when it keeps the view's middle
// in place (ImageView's modern zoom): from any factor to the next one up or
// down.
inline constexpr double kZoomLadder[] = {0.1, 0.125, 1.0 / 6, 0.25, 1.0 / 3, 0.5, 2.0 / 3, 1.0, 1.5,
                                         2.0, 3.0,   4.0,     6.0,  8.0,     12,  16,      24,  32};

// Where the picture's top-left corner lies in picture coordinates.
struct ViewPoint {
    int x = 0;
    int y = 0;
    bool operator==(const ViewPoint&) const = default;
};

// How the working copy is made of the decoded picture, in this order:
// scaled by `zoom`, turned by `rotation` degrees clockwise (0, 90, 180 or
// 270), mirrored left-right, then top-bottom.
struct ViewTransform {
    double zoom = 1.0;
    std::int32_t rotation = 0;
    bool flipHorizontal = false;
    bool flipVertical = false;
};

// The factor a zoom step by `step` gives, or nothing when the step is not
// taken: a step up only while zoom < kLargestSteppedZoom, a step down only
// while zoom > the step's size and the result is not below
// kSmallestSteppedZoom (give or take the rounding of repeated additions).
// The step is added in double precision and the result is neither rounded
// nor clamped, so the factors are exactly what repeated additions give
// (1.0 + 0.1 + ... reaches 9.999999999999982 after 90 steps, still below
// 10, and one more step is taken).
std::optional<double> SteppedZoom(double zoom, double step);

// The factor `rungs` rungs of kZoomLadder up (positive) or down (negative)
// from `zoom`: the first rung is the next one beyond the factor, the others
// follow, and a move past either end stops there. Nothing when no rung lies
// that way. A factor within rounding of a rung counts as that rung.
std::optional<double> LadderZoom(double zoom, int rungs);

// One axis of a zoom that keeps a picture point in place: the working copy
// was `oldExtent` long and scrolled to `oldOffset` in a client area `client`
// long; it becomes `newExtent` long. The point under `anchor` (client
// coordinates) stays under it as far as the picture allows; a copy that
// fits the client area is centred (offset 0).
std::int32_t KeptOffset(std::int32_t anchor, std::int32_t client, std::int32_t oldOffset, std::int32_t oldExtent,
                        std::int32_t newExtent);

// Scrolling by screen distance: a line is a tenth of the client area, a
// page the whole of it (each at least 1). A wheel notch moves
// `wheelLines` lines, three at most (a page-a-notch setting, -1, counts as
// three), and never more than half the client area.
std::int32_t ScreenLine(std::int32_t client);
std::int32_t ScreenPage(std::int32_t client);
std::int32_t WheelNotchDistance(std::int32_t client, std::int32_t wheelLines);

// A quarter turn clockwise and counter-clockwise; a rotation that is not a
// multiple of 90 starts over at 0.
std::int32_t TurnedRight(std::int32_t rotation);
std::int32_t TurnedLeft(std::int32_t rotation);

// The factor that fits a width x height picture into roomWidth x roomHeight,
// enlarging as well as shrinking; nothing for a picture without area.
std::optional<double> FitFactor(double roomWidth, double roomHeight, std::int32_t width, std::int32_t height);

// Where a pictureWidth x pictureHeight working copy lies in a clientWidth x
// clientHeight area: centred on an axis where it is smaller, at 0 where it
// is larger (and scrolls).
ViewPoint Placement(std::int32_t clientWidth, std::int32_t clientHeight, std::int32_t pictureWidth,
                    std::int32_t pictureHeight);

// `offset` moved by `delta` and kept between 0 and the part of the picture
// (extent) that does not fit the client area.
std::int32_t PannedOffset(std::int32_t offset, std::int64_t delta, std::int32_t extent, std::int32_t client);

// How many scroll steps a wheel accumulator of `accumulated` makes with
// `lines` lines a notch (-1: a page a notch).
std::int64_t WheelSteps(std::int64_t accumulated, std::int32_t lines);

class Viewport {
public:
    // `window` must outlive the viewport.
    explicit Viewport(ViewWindow& window);

    // ---- the working copy's transform
    const ViewTransform& Transform() const { return transform; }
    double Zoom() const { return transform.zoom; }
    std::int32_t Rotation() const { return transform.rotation; }
    bool FlippedHorizontally() const { return transform.flipHorizontal; }
    bool FlippedVertically() const { return transform.flipVertical; }
    // Zoom 1.0, no turn, no mirror: what every load starts with.
    void ResetTransform() { transform = ViewTransform{}; }
    void SetZoom(double zoom) { transform.zoom = zoom; }
    // True when the step was taken (SteppedZoom).
    bool StepZoom(double step);

    // Line and page sizes by screen distance (ScreenLine, ScreenPage),
    // following the client area, instead of a hundredth and a tenth of the
    // picture.
    void SetScreenScrolling(bool on);
    bool ScreenScrolling() const { return screenScrolling; }
    void TurnRight() { transform.rotation = TurnedRight(transform.rotation); }
    void TurnLeft() { transform.rotation = TurnedLeft(transform.rotation); }
    void MirrorHorizontally() { transform.flipHorizontal = !transform.flipHorizontal; }
    void MirrorVertically() { transform.flipVertical = !transform.flipVertical; }

    // ---- the drawing area and scrolling
    std::int32_t ClientWidth() const { return clientWidth; }
    std::int32_t ClientHeight() const { return clientHeight; }
    // The picture coordinate at the client area's left and top edge.
    std::int32_t OffsetX() const { return offsetX; }
    std::int32_t OffsetY() const { return offsetY; }
    // The working copy's size as the scroll bars know it.
    std::int32_t ExtentX() const { return extentX; }
    std::int32_t ExtentY() const { return extentY; }
    std::int32_t LineSizeX() const { return lineSizeX; }
    std::int32_t LineSizeY() const { return lineSizeY; }
    std::int32_t PageSizeX() const { return pageSizeX; }
    std::int32_t PageSizeY() const { return pageSizeY; }
    // The part of the wheel movement not yet turned into scrolling.
    std::int32_t WheelAccumulator() const { return wheelAccumulator; }
    // Lines per wheel notch; -1 scrolls a page per notch.
    std::int32_t WheelLines() const { return wheelLines; }

    // Where a width x height working copy lies in the client area.
    ViewPoint PicturePosition(std::int32_t width, std::int32_t height) const
    {
        return Placement(clientWidth, clientHeight, width, height);
    }

    // Extents (cx, cy), offset 0, scroll bars (repainted at once with
    // `redraw`), line sizes of a hundredth and page sizes of a tenth of the
    // extents, at least 1.
    void SetScrollExtents(std::int32_t cx, std::int32_t cy, bool redraw);
    // Offset and bars back to 0 without redrawing, then SetScrollExtents.
    void ResetScrolling(std::int32_t cx, std::int32_t cy);
    // Offset = (x, y) and the bars follow; with `scrollContents` what the
    // window shows moves by the difference.
    void ScrollTo(std::int32_t x, std::int32_t y, bool scrollContents);
    // A scroll-bar action on one axis; nothing moves on an axis where the
    // picture fits.
    void OnScroll(ScrollAxis axis, ScrollAction action, int trackPosition);
    // `delta` in wheel units, 120 a notch, positive away from the user. Each
    // step is painted at once.
    void OnMouseWheel(int delta);
    // The same by screen distance (WheelNotchDistance a notch, in proportion
    // for a part of one) on `axis`; what is less than a pixel is kept for the
    // next movement.
    void OnWheelByDistance(ScrollAxis axis, int delta);
    void OnSettingsChange(int newWheelLines) { wheelLines = newWheelLines; }
    // The drawing area's new size: the bars get it as their page, and an
    // offset beyond the picture's end is pulled back.
    void OnSize(int newClientWidth, int newClientHeight);

    // ---- panning
    bool Dragging() const { return dragging; }
    bool CanPanHorizontally() const { return canPanHorizontally; }
    bool CanPanVertically() const { return canPanVertically; }
    // A press at (x, y) over a working copy of width x height: a drag starts
    // where it is larger than the client area. True when it did.
    bool BeginDrag(int x, int y, std::int32_t width, std::int32_t height);
    // The mouse at (x, y) with `keys` (ViewMouseKeys): the offset the drag
    // asks for, or nothing when there is no drag or it ended (another key or
    // button, or the left button gone).
    std::optional<ViewPoint> DragTo(int x, int y, unsigned keys, std::int32_t width, std::int32_t height);
    void EndDrag() { dragging = false; }

private:
    // Moves one axis to `position` (already clamped) by scrolling the contents.
    void ScrollAxisTo(ScrollAxis axis, std::int32_t position);
    // Line and page sizes for the scrolling in force.
    void UpdateStepSizes();

    ViewWindow& window;
    ViewTransform transform;

    std::int32_t clientWidth = 0;
    std::int32_t clientHeight = 0;
    std::int32_t offsetX = 0;
    std::int32_t offsetY = 0;
    std::int32_t extentX = 0;
    std::int32_t extentY = 0;
    std::int32_t lineSizeX = 1;
    std::int32_t lineSizeY = 1;
    std::int32_t pageSizeX = 1;
    std::int32_t pageSizeY = 1;
    std::int32_t wheelAccumulator = 0;
    std::int32_t wheelLines = 3;
    bool screenScrolling = false;
    // Wheel movement by distance not yet scrolled, in pixels (x, y).
    double wheelRemainder[2] = {0, 0};

    bool dragging = false;
    std::int32_t dragLastX = 0;
    std::int32_t dragLastY = 0;
    std::int32_t dragOffsetX = 0;
    std::int32_t dragOffsetY = 0;
    bool canPanHorizontally = false;
    bool canPanVertically = false;
};

}  // namespace brelvix
