#include "viewer/viewport.h"

#include <algorithm>
#include <cstdlib>

namespace brelvix {

namespace {

std::int32_t AtLeastOne(std::int32_t value)
{
    return value > 0 ? value : 1;
}

}  // namespace

std::optional<double> SteppedZoom(double zoom, double step)
{
    const bool taken = step > 0 ? zoom < kLargestSteppedZoom : zoom > -step;
    if (!taken) {
        return std::nullopt;
    }
    return zoom + step;
}

std::int32_t TurnedRight(std::int32_t rotation)
{
    switch (rotation) {
        case 0:
            return 90;
        case 90:
            return 180;
        case 180:
            return 270;
        default:
            return 0;
    }
}

std::int32_t TurnedLeft(std::int32_t rotation)
{
    switch (rotation) {
        case 0:
            return 270;
        case 180:
            return 90;
        case 270:
            return 180;
        default:
            return 0;
    }
}

// With W x H the room and w x h the picture, sx = W / w makes the width fit;
// if the height then fits too (h * sx <= H) that is the factor, otherwise the
// height limits and the factor is sy = H / h. A picture without area (a
// failed load may leave 0 x 0) has nothing to fit, and a factor from a zero
// divisor would be infinite.
std::optional<double> FitFactor(double roomWidth, double roomHeight, std::int32_t width, std::int32_t height)
{
    if (width <= 0 || height <= 0) {
        return std::nullopt;
    }
    const double sx = roomWidth / width;
    const double sy = roomHeight / height;
    return height * sx <= roomHeight ? sx : sy;
}

ViewPoint Placement(std::int32_t clientWidth, std::int32_t clientHeight, std::int32_t pictureWidth,
                    std::int32_t pictureHeight)
{
    const std::int32_t x = (clientWidth - pictureWidth) / 2;
    const std::int32_t y = (clientHeight - pictureHeight) / 2;
    return {std::max(x, 0), std::max(y, 0)};
}

std::int32_t PannedOffset(std::int32_t offset, std::int64_t delta, std::int32_t extent, std::int32_t client)
{
    const std::int64_t largest = std::int64_t{extent} - client;
    const std::int64_t moved = std::min(std::max<std::int64_t>(std::int64_t{offset} + delta, 0), largest);
    return static_cast<std::int32_t>(std::max<std::int64_t>(moved, 0));
}

// |accumulator| x lines per notch (or |accumulator| alone in page mode) is
// the amount, and one step is made for each multiple of 120 below it: a
// notch of 120 with 3 lines is 360, three line steps; a half notch of 60 is
// 180, two steps.
std::int64_t WheelSteps(std::int64_t accumulated, std::int32_t lines)
{
    const std::int64_t amount = lines == -1 ? std::llabs(accumulated) : std::llabs(accumulated) * lines;
    return amount > 0 ? (amount + 119) / 120 : 0;
}

Viewport::Viewport(ViewWindow& viewWindow) : window(viewWindow) {}

bool Viewport::StepZoom(double step)
{
    const std::optional<double> stepped = SteppedZoom(transform.zoom, step);
    if (stepped) {
        transform.zoom = *stepped;
    }
    return stepped.has_value();
}

void Viewport::ResetScrolling(std::int32_t cx, std::int32_t cy)
{
    offsetX = 0;
    offsetY = 0;
    window.SetScrollPosition(ScrollAxis::Horizontal, 0, false);
    window.SetScrollPosition(ScrollAxis::Vertical, 0, false);
    SetScrollExtents(cx, cy, true);
}

void Viewport::SetScrollExtents(std::int32_t cx, std::int32_t cy, bool redraw)
{
    extentX = cx;
    extentY = cy;
    offsetX = 0;
    offsetY = 0;
    window.SetScrollBar(ScrollAxis::Horizontal, {0, extentX - 1, clientWidth, 0}, redraw);
    window.SetScrollBar(ScrollAxis::Vertical, {0, extentY - 1, clientHeight, 0}, redraw);
    lineSizeX = AtLeastOne(extentX / 100);
    lineSizeY = AtLeastOne(extentY / 100);
    pageSizeX = AtLeastOne(extentX / 10);
    pageSizeY = AtLeastOne(extentY / 10);
}

void Viewport::ScrollTo(std::int32_t x, std::int32_t y, bool scrollContents)
{
    const std::int64_t dx = std::int64_t{offsetX} - x;
    const std::int64_t dy = std::int64_t{offsetY} - y;
    offsetX = x;
    offsetY = y;
    window.SetScrollPosition(ScrollAxis::Horizontal, x, true);
    window.SetScrollPosition(ScrollAxis::Vertical, y, true);
    if (scrollContents && (dx != 0 || dy != 0)) {
        window.ScrollContents(static_cast<int>(dx), static_cast<int>(dy));
    }
}

void Viewport::ScrollAxisTo(ScrollAxis axis, std::int32_t position)
{
    const bool horizontal = axis == ScrollAxis::Horizontal;
    std::int32_t& offset = horizontal ? offsetX : offsetY;
    if (position == offset) {
        return;
    }
    const int delta = offset - position;
    offset = position;
    window.SetScrollPosition(axis, position, true);
    window.ScrollContents(horizontal ? delta : 0, horizontal ? 0 : delta);
}

void Viewport::OnScroll(ScrollAxis axis, ScrollAction action, int trackPosition)
{
    const bool horizontal = axis == ScrollAxis::Horizontal;
    const std::int64_t offset = horizontal ? offsetX : offsetY;
    const std::int64_t line = horizontal ? lineSizeX : lineSizeY;
    const std::int64_t page = horizontal ? pageSizeX : pageSizeY;
    const std::int64_t largest =
        horizontal ? std::int64_t{extentX} - clientWidth : std::int64_t{extentY} - clientHeight;
    if (largest < 0) {
        return;  // the picture fits on this axis
    }
    std::int64_t position = offset;
    switch (action) {
        case ScrollAction::LineUp:
            position = offset - line;
            break;
        case ScrollAction::LineDown:
            position = offset + line;
            break;
        case ScrollAction::PageUp:
            position = offset - page;
            break;
        case ScrollAction::PageDown:
            position = offset + page;
            break;
        case ScrollAction::Top:
            position = 0;
            break;
        case ScrollAction::Bottom:
            position = largest;
            break;
        case ScrollAction::ThumbPosition:
        case ScrollAction::ThumbTrack:
            position = trackPosition;
            break;
        case ScrollAction::EndScroll:
            return;
    }
    ScrollAxisTo(axis, static_cast<std::int32_t>(std::clamp<std::int64_t>(position, 0, largest)));
}

// The accumulator keeps the remainder of its division by 120, so two half
// notches in a row scroll 2 + 3 lines. The direction is that of this
// message's delta. The steps go to the vertical axis while its bar shows,
// that is while the picture is taller than the client area, and sideways
// otherwise.
void Viewport::OnMouseWheel(int delta)
{
    const std::int64_t accumulated = std::int64_t{wheelAccumulator} + delta;
    const bool pages = wheelLines == -1;
    const std::int64_t steps = WheelSteps(accumulated, wheelLines);
    const ScrollAxis axis = extentY > clientHeight ? ScrollAxis::Vertical : ScrollAxis::Horizontal;
    const ScrollAction action = delta > 0 ? (pages ? ScrollAction::PageUp : ScrollAction::LineUp)
                                          : (pages ? ScrollAction::PageDown : ScrollAction::LineDown);
    for (std::int64_t step = 0; step < steps; ++step) {
        const std::int32_t before = axis == ScrollAxis::Vertical ? offsetY : offsetX;
        OnScroll(axis, action, 0);
        window.UpdateNow();
        // Once the edge is reached the remaining steps would change nothing;
        // stopping keeps an absurd delta from spinning here.
        if ((axis == ScrollAxis::Vertical ? offsetY : offsetX) == before) {
            break;
        }
    }
    wheelAccumulator = static_cast<std::int32_t>(accumulated % 120);
}

void Viewport::OnSize(int newClientWidth, int newClientHeight)
{
    clientWidth = std::max(newClientWidth, 0);
    clientHeight = std::max(newClientHeight, 0);
    window.SetScrollBar(ScrollAxis::Horizontal, {0, extentX - 1, clientWidth, offsetX}, true);
    window.SetScrollBar(ScrollAxis::Vertical, {0, extentY - 1, clientHeight, offsetY}, true);
    // An enlarged window must not show empty space beyond the picture's right
    // or bottom edge: pull the offset back.
    const std::int32_t largestX = std::max(extentX - clientWidth, 0);
    const std::int32_t largestY = std::max(extentY - clientHeight, 0);
    if (offsetX > largestX) {
        ScrollAxisTo(ScrollAxis::Horizontal, largestX);
    }
    if (offsetY > largestY) {
        ScrollAxisTo(ScrollAxis::Vertical, largestY);
    }
}

bool Viewport::BeginDrag(int x, int y, std::int32_t width, std::int32_t height)
{
    canPanHorizontally = width > clientWidth;
    canPanVertically = height > clientHeight;
    if (!canPanHorizontally && !canPanVertically) {
        return false;
    }
    dragLastX = x;
    dragLastY = y;
    dragOffsetX = offsetX;
    dragOffsetY = offsetY;
    dragging = true;
    return true;
}

// The picture follows the mouse: moving it right lowers the offset. The pan
// flags keep what the press found; the client size is the current one.
std::optional<ViewPoint> Viewport::DragTo(int x, int y, unsigned keys, std::int32_t width, std::int32_t height)
{
    if (!dragging) {
        return std::nullopt;
    }
    if (keys != kViewKeyLeftButton) {
        dragging = false;
        return std::nullopt;
    }
    const std::int64_t dx = std::int64_t{dragLastX} - x;
    const std::int64_t dy = std::int64_t{dragLastY} - y;
    dragLastX = x;
    dragLastY = y;
    if (canPanHorizontally) {
        dragOffsetX = PannedOffset(dragOffsetX, dx, width, clientWidth);
    }
    if (canPanVertically) {
        dragOffsetY = PannedOffset(dragOffsetY, dy, height, clientHeight);
    }
    return ViewPoint{dragOffsetX, dragOffsetY};
}

}  // namespace brelvix
