// The view's scrolling: extents equal to the working copy's size, scroll bars
// only where the picture is larger than the client area, line, page, thumb
// and wheel scrolling, and the offset kept in range when the window resizes.
#include <algorithm>
#include <cstdlib>

#include "viewer/image_view.h"

namespace brelvix {

namespace {

std::int32_t AtLeastOne(std::int32_t value)
{
    return value > 0 ? value : 1;
}

}  // namespace

ViewPoint ImageView::PicturePosition() const
{
    // Centred where the picture is smaller than the client area; where it is
    // larger it starts at the edge and scrolls.
    const std::int32_t x = (clientWidth - document.display.Width()) / 2;
    const std::int32_t y = (clientHeight - document.display.Height()) / 2;
    return {std::max(x, 0), std::max(y, 0)};
}

void ImageView::ResetScrolling()
{
    offsetX = 0;
    offsetY = 0;
    window.SetScrollPosition(ScrollAxis::Horizontal, 0, false);
    window.SetScrollPosition(ScrollAxis::Vertical, 0, false);
    SetScrollExtents(document.display.Width(), document.display.Height(), true);
}

void ImageView::SetScrollExtents(int cx, int cy, bool redraw)
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
    if (redraw) {
        MarkChanged();
    }
}

void ImageView::ScrollTo(int x, int y, bool redraw)
{
    const std::int64_t dx = std::int64_t{offsetX} - x;
    const std::int64_t dy = std::int64_t{offsetY} - y;
    offsetX = x;
    offsetY = y;
    window.SetScrollPosition(ScrollAxis::Horizontal, x, true);
    window.SetScrollPosition(ScrollAxis::Vertical, y, true);
    if (redraw) {
        MarkChanged();
    } else if (dx != 0 || dy != 0) {
        window.ScrollContents(static_cast<int>(dx), static_cast<int>(dy));
    }
}

void ImageView::ScrollAxisTo(ScrollAxis axis, std::int32_t position)
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

void ImageView::OnScroll(ScrollAxis axis, ScrollAction action, int trackPosition)
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

// The wheel adds its delta to the accumulator; |accumulator| x lines per
// notch (or |accumulator| alone in page mode) is the amount, and one step is
// made for each multiple of 120 below it: a notch of 120 with 3 lines is 360,
// three line steps; a half notch of 60 is 180, two steps. The accumulator
// keeps the remainder of its division by 120, so two half notches in a row
// scroll 2 + 3 lines. The direction is that of this message's delta. The
// steps go to the vertical axis while its bar shows, that is while the
// picture is taller than the client area, and sideways otherwise.
void ImageView::OnMouseWheel(int delta)
{
    const std::int64_t accumulated = std::int64_t{wheelAccumulator} + delta;
    const bool pages = wheelLines == -1;
    const std::int64_t amount = pages ? std::llabs(accumulated) : std::llabs(accumulated) * wheelLines;
    const std::int64_t steps = amount > 0 ? (amount + 119) / 120 : 0;
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

void ImageView::OnSettingsChange(int newWheelLines)
{
    wheelLines = newWheelLines;
}

void ImageView::OnSize(int newClientWidth, int newClientHeight)
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

}  // namespace brelvix
