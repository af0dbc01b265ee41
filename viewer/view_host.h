// What the picture view needs from the window system.
//
// ImageView holds no toolkit code. It reads the window's geometry, drives the
// scroll bars, the timer, the cursor and the frame's texts, asks for files,
// and paints through the interfaces below, one per concern. The application
// implements them on its toolkit; the tests implement them with recording
// fakes.
//
// Coordinates are pixels. "Client" coordinates have (0, 0) at the top-left
// corner of the view's drawing area (inside its border and scroll bars).
// Colours are 0x00BBGGRR: red in the low byte, then green, then blue.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/bitmap.h"

namespace brelvix {

// Mouse pointer shapes the view asks for.
enum class ViewCursor {
    None,   // no cursor set yet (what the first change reports as replaced)
    Arrow,  // the system arrow
    Hand,   // open hand: the picture can be dragged
    Blank,  // fully transparent: the pointer is hidden during a slide show
    Wait,   // busy: a picture is being loaded
};

// How moving a file to the trash ended.
enum class TrashResult {
    Done,     // the file is in the trash
    Aborted,  // the user declined the confirmation; nothing happened
    Failed,   // the move was attempted and did not happen (e.g. no permission)
    Missing,  // the file was gone already (another program removed it)
};

enum class ScrollAxis { Horizontal, Vertical };

// What the user did to a scroll bar.
enum class ScrollAction {
    LineUp,         // arrow button towards 0 (left or up)
    LineDown,       // arrow button away from 0
    PageUp,         // click in the trough towards 0
    PageDown,       // click in the trough away from 0
    Top,            // to 0
    Bottom,         // to the largest position
    ThumbPosition,  // the thumb was released at the given position
    ThumbTrack,     // the thumb is being dragged and is at the given position
    EndScroll,      // the interaction ended; nothing moves
};

// Key and button state delivered with a mouse move (any combination).
enum ViewMouseKeys : unsigned {
    kViewKeyLeftButton = 0x0001,
    kViewKeyRightButton = 0x0002,
    kViewKeyShift = 0x0004,
    kViewKeyControl = 0x0008,
    kViewKeyMiddleButton = 0x0010,
    kViewKeyExtraButton1 = 0x0020,
    kViewKeyExtraButton2 = 0x0040,
};

struct ViewSize {
    int width = 0;
    int height = 0;
    bool operator==(const ViewSize&) const = default;
};

// A rectangle in screen coordinates; right and bottom are exclusive.
struct ViewRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const ViewRect&) const = default;
};

// The smallest rectangle holding both.
inline ViewRect BoundingRect(const ViewRect& a, const ViewRect& b)
{
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

// One scroll bar in the view's terms: positions run from `minimum` to
// `maximum` inclusive (0 to extent - 1), `page` is the visible part (the
// client size on that axis) and `position` the first visible picture
// coordinate. The bar shows only while page <= maximum - minimum, that is
// while the picture is larger than the client area on that axis; the largest
// position it can reach is maximum - page + 1.
struct ScrollBarInfo {
    int minimum = 0;
    int maximum = 0;
    int page = 0;
    int position = 0;
    bool operator==(const ScrollBarInfo&) const = default;
};

// One entry of the Open dialog's type list: display name and patterns
// separated by ';' (e.g. "*.jpg;*.png;").
struct FileDialogFilter {
    std::string name;
    std::string patterns;
    bool operator==(const FileDialogFilter&) const = default;
};

// What the Open dialog shows. The first filter is selected; the chosen path
// must name an existing file. It starts in `folder`, or, when that is empty,
// where the last file was chosen.
struct OpenFileDialogRequest {
    std::string title;
    std::vector<FileDialogFilter> filters;
    std::string folder;
};

// The view's own window: its geometry, scroll bars, repainting and cursor.
// All calls come from the user-interface thread while the view lives.
class ViewWindow {
public:
    virtual ~ViewWindow() = default;

    // The view window's outer rectangle (border included) in screen
    // coordinates. Zoom to fit and the failure box use its size; the context
    // menu its top-left corner. (The size of the drawing area reaches the
    // view through ImageView::OnSize.)
    virtual ViewRect WindowRect() const = 0;

    // Sets range, page and position of one bar; with `redraw` the bar is
    // repainted at once. Whether it shows follows from the numbers (see
    // ScrollBarInfo).
    virtual void SetScrollBar(ScrollAxis axis, const ScrollBarInfo& info, bool redraw) = 0;
    // Moves one bar's thumb only; the contents do not move.
    virtual void SetScrollPosition(ScrollAxis axis, int position, bool redraw) = 0;
    // Moves what the drawing area shows by (dx, dy) pixels (positive: the
    // contents move right or down) and has the uncovered strip erased and
    // painted.
    virtual void ScrollContents(int dx, int dy) = 0;

    // Marks the whole drawing area for repainting; with `erase` the
    // background is erased first (ImageView::EraseBackground).
    virtual void Invalidate(bool erase) = 0;
    // Marks the part `rect` of the drawing area for repainting, the
    // background erased first.
    virtual void InvalidateRect(const ViewRect& rect) = 0;
    // Paints whatever is marked, before returning.
    virtual void UpdateNow() = 0;

    // Shows `cursor` over the view; returns the cursor it replaced.
    virtual ViewCursor SetCursor(ViewCursor cursor) = 0;
};

// The view's repeating timer (the slide show's).
class ViewTimer {
public:
    virtual ~ViewTimer() = default;

    // Arms the repeating timer `id` with the period in milliseconds (> 0),
    // replacing a timer of the same id. Returns the id of the armed timer, 0
    // when none could be armed. Each expiry calls ImageView::OnTimer with it.
    virtual unsigned StartTimer(unsigned id, int milliseconds) = 0;
    // Stops the timer; harmless when it is not running.
    virtual void StopTimer(unsigned id) = 0;
};

// What the main frame around the view does for it.
class ViewFrame {
public:
    virtual ~ViewFrame() = default;

    virtual void SetTitle(const std::string& title) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // The frame's "automatic best fit" setting, read after every open.
    virtual bool BestFitSetting() const = 0;
    // Switches full screen on or off (and tells the view: ImageView::SetFullScreen).
    virtual void ToggleFullScreen() = 0;
    // Sets the Slide Show check mark of the frame's menus.
    virtual void SetSlideShowChecked(bool checked) = 0;
    // Shows the view's context menu with its top-left corner at the screen
    // point; the chosen command goes to the frame's command routing.
    virtual void ShowContextMenu(int screenX, int screenY) = 0;
    // Asks the frame to close as after the Exit command (leave full screen,
    // save the settings, end the program).
    virtual void RequestClose() = 0;
};

// The desktop's file services, each of which asks the user first.
class ViewShell {
public:
    virtual ~ViewShell() = default;

    // Runs the Open dialog owned by the frame. Returns true and the chosen
    // full path, or false when the user cancelled.
    virtual bool ChooseFile(const OpenFileDialogRequest& request, std::string* chosen) = 0;
    // Asks the user to confirm and moves the file to the trash. When the
    // move fails, or the file is gone already, it tells the user so, naming
    // the file (and the reason of a failure), before it returns.
    virtual TrashResult MoveToTrash(const std::string& path) = 0;
};

// Where the view paints. Coordinates are client coordinates; the canvas is
// clipped to the area being painted. Text is drawn with the view's font (a
// 13-pixel "Verdana" or the system's substitute) on a transparent background.
class ViewCanvas : public PxDrawTarget {
public:
    // Fills left <= x < right, top <= y < bottom with `colour`. An empty or
    // inverted rectangle fills nothing.
    virtual void FillRect(int left, int top, int right, int bottom, std::uint32_t colour) = 0;
    // A one-pixel black outline along the edges of left <= x < right,
    // top <= y < bottom, filled white inside.
    virtual void FrameRect(int left, int top, int right, int bottom) = 0;
    // Writes `text` with its top-left corner at (x, y) in `colour`.
    virtual void DrawText(int x, int y, const std::string& text, std::uint32_t colour) = 0;
    // Width and height `text` takes in the view's font.
    virtual ViewSize TextExtent(const std::string& text) = 0;
    // Bitmaps reach the canvas through PxBitmap::Draw (PxDrawTarget::DrawPixels).
};

}  // namespace brelvix
