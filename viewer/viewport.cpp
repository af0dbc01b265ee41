#include "viewer/viewport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>

namespace brelvix {

namespace {

std::int32_t AtLeastOne(std::int32_t value)
{
    return value > 0 ? value : 1;
}

// Repeated additions of 0.1 miss the decimal factors by a few units of the
// last place; such a factor still counts as the one meant.
constexpr double kZoomRounding = 1e-9;

}  // namespace

std::optional<double> SteppedZoom(double zoom, double step)
{
    const bool taken =
        step > 0 ? zoom < kLargestSteppedZoom : zoom > -step && zoom + step >= kSmallestSteppedZoom - kZoomRounding;
    if (!taken) {
        return std::nullopt;
    }
    return zoom + step;
}

std::optional<double> LadderZoom(double zoom, int rungs)
{
    constexpr auto count = static_cast<std::ptrdiff_t>(std::size(kZoomLadder));
    if (rungs == 0 || !(zoom == zoom)) {
        return std::nullopt;
    }
    std::ptrdiff_t target = 0;
    if (rungs > 0) {
        const double* next = std::find_if(std::begin(kZoomLadder), std::end(kZoomLadder),
                                          [zoom](double rung) { return rung > zoom * (1 + kZoomRounding); });
        if (next == std::end(kZoomLadder)) {
            return std::nullopt;
        }
        target = std::min<std::ptrdiff_t>(next - std::begin(kZoomLadder) + (rungs - 1), count - 1);
    } else {
        const double* below = std::find_if(std::rbegin(kZoomLadder), std::rend(kZoomLadder), [zoom](double rung) {
                                  return rung < zoom * (1 - kZoomRounding);
                              }).base();
        if (below == std::begin(kZoomLadder)) {
            return std::nullopt;
        }
        target = std::max<std::ptrdiff_t>(below - 1 - std::begin(kZoomLadder) + (rungs + 1), 0);
    }
    return kZoomLadder[target];
}

// The picture point under the anchor, as a share of the working copy, is
// where it was after the zoom: a share survives scaling, whatever the turns
// and mirrors did to the copy.
std::int32_t KeptOffset(std::int32_t anchor, std::int32_t client, std::int32_t oldOffset, std::int32_t oldExtent,
                        std::int32_t newExtent)
{
    if (newExtent <= client) {
        return 0;
    }
    const std::int64_t oldPlace = std::max<std::int64_t>((std::int64_t{client} - oldExtent) / 2, 0);
    const double point = static_cast<double>(std::int64_t{oldOffset} + anchor - oldPlace);
    const double share = oldExtent > 0 ? std::clamp(point / oldExtent, 0.0, 1.0) : 0.5;
    const double offset = std::round(share * newExtent - anchor);
    return static_cast<std::int32_t>(std::clamp(offset, 0.0, static_cast<double>(std::int64_t{newExtent} - client)));
}

std::int32_t ScreenLine(std::int32_t client)
{
    return AtLeastOne(client / 10);
}

std::int32_t ScreenPage(std::int32_t client)
{
    return AtLeastOne(client);
}

std::int32_t WheelNotchDistance(std::int32_t client, std::int32_t wheelLines)
{
    const std::int32_t lines = wheelLines == -1 ? 3 : std::clamp(wheelLines, 1, 3);
    return AtLeastOne(std::min(lines * ScreenLine(client), client / 2));
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

void Viewport::SetScreenScrolling(bool on)
{
    screenScrolling = on;
    wheelRemainder[0] = wheelRemainder[1] = 0;
    UpdateStepSizes();
}

void Viewport::UpdateStepSizes()
{
    if (screenScrolling) {
        lineSizeX = ScreenLine(clientWidth);
        lineSizeY = ScreenLine(clientHeight);
        pageSizeX = ScreenPage(clientWidth);
        pageSizeY = ScreenPage(clientHeight);
    } else {
        lineSizeX = AtLeastOne(extentX / 100);
        lineSizeY = AtLeastOne(extentY / 100);
        pageSizeX = AtLeastOne(extentX / 10);
        pageSizeY = AtLeastOne(extentY / 10);
    }
}

void Viewport::SetScrollExtents(std::int32_t cx, std::int32_t cy, bool redraw)
{
    extentX = cx;
    extentY = cy;
    offsetX = 0;
    offsetY = 0;
    window.SetScrollBar(ScrollAxis::Horizontal, {0, extentX - 1, clientWidth, 0}, redraw);
    window.SetScrollBar(ScrollAxis::Vertical, {0, extentY - 1, clientHeight, 0}, redraw);
    UpdateStepSizes();
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

void Viewport::OnWheelByDistance(ScrollAxis axis, int delta)
{
    const bool horizontal = axis == ScrollAxis::Horizontal;
    const std::int32_t client = horizontal ? clientWidth : clientHeight;
    const std::int64_t largest =
        horizontal ? std::int64_t{extentX} - clientWidth : std::int64_t{extentY} - clientHeight;
    double& remainder = wheelRemainder[horizontal ? 0 : 1];
    if (largest <= 0) {
        remainder = 0;
        return;
    }
    // Towards the user (a negative delta) moves down or right.
    remainder -= static_cast<double>(delta) * WheelNotchDistance(client, wheelLines) / 120.0;
    const double whole = std::trunc(remainder);
    remainder -= whole;
    const std::int64_t offset = horizontal ? offsetX : offsetY;
    const double position = std::clamp(static_cast<double>(offset) + whole, 0.0, static_cast<double>(largest));
    // At an edge what is left over would only pile up against it.
    if (position == 0.0 || position == static_cast<double>(largest)) {
        remainder = 0;
    }
    ScrollAxisTo(axis, static_cast<std::int32_t>(position));
    window.UpdateNow();
}

void Viewport::OnSize(int newClientWidth, int newClientHeight)
{
    clientWidth = std::max(newClientWidth, 0);
    clientHeight = std::max(newClientHeight, 0);
    if (screenScrolling) {
        UpdateStepSizes();
    }
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
