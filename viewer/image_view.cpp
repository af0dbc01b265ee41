#include "viewer/image_view.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace brelvix {

ImageView::ImageView(ViewWindow& viewWindow, ViewTimer& viewTimer, ViewFrame& viewFrame, ViewShell& viewShell)
    : window(viewWindow), timer(viewTimer), frame(viewFrame), shell(viewShell)
{
}

ImageView::~ImageView() = default;

ImageView::Screen ImageView::ScreenNow() const
{
    Screen screen;
    screen.plain = document.loaded && !(fullScreen && document.showInfoInFullScreen);
    screen.background = document.backgroundColor;
    screen.width = clientWidth;
    screen.height = clientHeight;
    const ViewPoint at = PicturePosition();
    const int x = at.x - offsetX;
    const int y = at.y - offsetY;
    screen.picture = {std::max(x, 0), std::max(y, 0), std::min(x + document.display.Width(), clientWidth),
                      std::min(y + document.display.Height(), clientHeight)};
    return screen;
}

// Stepping between pictures smaller than the window repaints only where
// they lie, not the bands around them, which saves filling and sending the
// whole drawing area each time.
void ImageView::MarkChanged()
{
    const Screen now = ScreenNow();
    if (painted.plain && now.plain && painted.background == now.background && painted.width == now.width &&
        painted.height == now.height) {
        window.InvalidateRect(BoundingRect(painted.picture, now.picture));
    } else {
        window.Invalidate(true);
    }
}

void ImageView::Repaint()
{
    MarkChanged();
    window.UpdateNow();
}

// ---- opening and the file list

bool ImageView::OpenImage(const std::string& path, bool rebuildList)
{
    std::string chosen = path;
    if (chosen.empty() && !ChooseImageFile(&chosen)) {
        return false;
    }
    if (!loadInBackground) {
        document.Load(chosen);
        if (rebuildList) {
            document.BuildFileList(chosen);
        }
        FinishOpen();
        return true;
    }
    PendingLoad next;
    next.path = chosen;
    if (rebuildList) {
        // Built now, so that a step taken before the picture shows moves in
        // its folder; until then the document keeps the list of the picture
        // on screen.
        std::vector<std::string> shownList = document.fileList;
        const std::int32_t shownIndex = document.currentIndex;
        document.BuildFileList(chosen);
        next.ownList = true;
        next.list = std::exchange(document.fileList, std::move(shownList));
        next.setsIndex = true;
        next.index = std::exchange(document.currentIndex, shownIndex);
    }
    ReplaceLoad(std::move(next));
    return true;
}

const std::vector<std::string>& ImageView::NavigationList() const
{
    return pending.active && pending.ownList ? pending.list : document.fileList;
}

std::int32_t ImageView::NavigationIndex() const
{
    return pending.active && pending.setsIndex ? pending.index : document.currentIndex;
}

void ImageView::ReplaceLoad(PendingLoad next)
{
    if (pending.active && pending.path != next.path) {
        document.cache.Cancel(pending.path);
    }
    // One wait cursor for a run of steps, and back to what it replaced once
    // the last of them shows (or something else is opened instead).
    if (pending.active && pending.waitCursor) {
        if (next.navigation) {
            next.waitCursor = true;
            next.remembered = pending.remembered;
        } else {
            window.SetCursor(pending.remembered);
        }
    }
    // A progress already on show goes on with the new decode's.
    next.showsProgress = pending.active && pending.showsProgress;
    pending = std::move(next);
    pending.active = false;
    BeginLoad();
}

void ImageView::ShowWaitCursor()
{
    if (pending.navigation && !pending.waitCursor) {
        pending.waitCursor = true;
        pending.remembered = window.SetCursor(ViewCursor::Wait);
    }
}

void ImageView::BeginLoad()
{
    // A step to a picture the cache has ready shows it at once, without the
    // wait cursor, whose first showing alone costs X11 milliseconds; a slide
    // show keeps it on every step, as its own cursor rules build on it.
    if (slideShowRunning) {
        ShowWaitCursor();
    }
    if (document.LoadFromCache(pending.path)) {
        FinishOpen();
        return;
    }
    ShowWaitCursor();
    if (!document.cache.Start(pending.path)) {
        // Without a thread to decode on, here and now.
        document.Load(pending.path);
        FinishOpen();
        return;
    }
    pending.active = true;
    timer.StartTimer(kLoadPollTimerId, kLoadPollPeriod);
    if (!pending.showsProgress) {
        timer.StartTimer(kLoadProgressTimerId, kLoadProgressDelay);
    }
}

void ImageView::PollLoad()
{
    if (!pending.active) {
        StopLoadTimers();
        return;
    }
    if (document.LoadFromCache(pending.path)) {
        FinishOpen();
        return;
    }
    // A decode of a file that changed meanwhile was dropped: once more, as
    // the file is now.
    if (!document.cache.Holds(pending.path) && !document.cache.Start(pending.path)) {
        document.Load(pending.path);
        FinishOpen();
        return;
    }
    if (pending.showsProgress) {
        const int percent = LoadingPercent();
        if (percent != pending.shownPercent) {
            pending.shownPercent = percent;
            frame.SetStatusText(LoadingText());
        }
    }
}

int ImageView::LoadingPercent() const
{
    return pending.active ? document.cache.Progress(pending.path) / 10 : 0;
}

std::string ImageView::LoadingText() const
{
    return "Loading " + std::to_string(LoadingPercent()) + "%";
}

void ImageView::FinishOpen()
{
    PendingLoad done = std::move(pending);
    pending = PendingLoad{};
    StopLoadTimers();
    if (done.ownList) {
        document.fileList = std::move(done.list);
    }
    if (done.setsIndex) {
        document.currentIndex = done.index;
    }
    if (document.loaded && frame.BestFitSetting()) {
        ApplyBestFit();
    } else {
        if (document.loaded) {
            document.zoom = 1.0;
        }
        UpdateDisplay();
    }
    document.PrefetchNeighbours(browseStep);
    if (done.navigation && slideShowRunning) {
        RestartSlideShowTimer();
    }
    if (done.waitCursor) {
        window.SetCursor(done.remembered);
    }
}

void ImageView::CancelLoading()
{
    if (!pending.active) {
        return;
    }
    document.cache.Cancel(pending.path);
    StopLoadTimers();
    const PendingLoad dropped = std::move(pending);
    pending = PendingLoad{};
    if (dropped.waitCursor) {
        window.SetCursor(dropped.remembered);
    }
    if (dropped.showsProgress) {
        UpdateStatusText();
    }
}

void ImageView::StopLoadTimers()
{
    timer.StopTimer(kLoadPollTimerId);
    timer.StopTimer(kLoadProgressTimerId);
}

bool ImageView::ChooseImageFile(std::string* chosen)
{
    OpenFileDialogRequest request;
    request.title = kOpenDialogTitle;
    request.filters = {{kImageFilesFilterName, kImageFilesFilterPatterns},
                       {kAllFilesFilterName, kAllFilesFilterPatterns}};
    std::string answer;
    if (!shell.ChooseFile(request, &answer) || answer.empty()) {
        return false;
    }
    *chosen = answer;
    return true;
}

void ImageView::ShowEntry(std::int64_t index, std::int32_t step)
{
    browseStep = step;
    if (loadInBackground) {
        PendingLoad next;
        next.path = NavigationList()[static_cast<std::size_t>(index)];
        next.navigation = true;
        next.setsIndex = true;
        next.index = static_cast<std::int32_t>(index);
        if (pending.active && pending.ownList) {
            next.ownList = true;
            next.list = std::move(pending.list);
        }
        ReplaceLoad(std::move(next));
        return;
    }
    const ViewCursor remembered = window.SetCursor(ViewCursor::Wait);
    document.currentIndex = static_cast<std::int32_t>(index);
    OpenImage(document.fileList[static_cast<std::size_t>(index)], false);
    if (slideShowRunning) {
        RestartSlideShowTimer();
    }
    window.SetCursor(remembered);
}

// Positions are worked out in 64 bits: the fast-forward step comes from the
// stored settings and may be anything. A position that is still outside the
// list (only a negative current index can lead there) is pulled to the
// nearest end instead of addressing memory that is not there.
namespace {

std::int64_t IntoList(std::int64_t position, std::int64_t count)
{
    return std::clamp<std::int64_t>(position, 0, count - 1);
}

}  // namespace

void ImageView::ShowNext()
{
    const std::int64_t count = static_cast<std::int64_t>(NavigationList().size());
    if (count == 0) {
        return;
    }
    std::int64_t position = std::int64_t{NavigationIndex()} + 1;
    if (position >= count) {
        position = 0;
    }
    ShowEntry(IntoList(position, count), 1);
}

void ImageView::ShowPrevious()
{
    const std::int64_t count = static_cast<std::int64_t>(NavigationList().size());
    if (count == 0) {
        return;
    }
    std::int64_t position = std::int64_t{NavigationIndex()} - 1;
    if (position < 0) {
        position = count - 1;
    }
    ShowEntry(IntoList(position, count), -1);
}

void ImageView::ShowFirst()
{
    if (NavigationList().empty()) {
        return;
    }
    ShowEntry(0, 1);
}

void ImageView::ShowLast()
{
    if (NavigationList().empty()) {
        return;
    }
    ShowEntry(static_cast<std::int64_t>(NavigationList().size()) - 1, -1);
}

void ImageView::FastForward()
{
    const std::int64_t count = static_cast<std::int64_t>(NavigationList().size());
    if (count == 0) {
        return;
    }
    std::int64_t position = std::int64_t{NavigationIndex()} + document.fastForwardSkip;
    if (position < 0 || position >= count) {
        position = count - 1;
    }
    ShowEntry(IntoList(position, count), 1);
}

void ImageView::Rewind()
{
    const std::int64_t count = static_cast<std::int64_t>(NavigationList().size());
    if (count == 0) {
        return;
    }
    std::int64_t position = std::int64_t{NavigationIndex()} - document.fastForwardSkip;
    if (position <= 0) {
        position = 0;
    } else if (position >= count) {
        position = count - 1;
    }
    ShowEntry(IntoList(position, count), -1);
}

void ImageView::RefreshFileList()
{
    // The list of the picture on screen: a step still loading is dropped.
    CancelLoading();
    document.BuildFileList(document.path);
    UpdateDisplay();
}

// ---- refresh, rotation, flips, zoom

void ImageView::UpdateDisplay()
{
    if (document.loaded) {
        document.ApplyZoom();
        document.ApplyRotation();
        document.ApplyFlips();
    }
    UpdateStatusText();
    if (document.loaded) {
        ResetScrolling();
    }
    Repaint();
}

void ImageView::RotateRight()
{
    switch (document.rotation) {
        case 0:
            document.rotation = 90;
            break;
        case 90:
            document.rotation = 180;
            break;
        case 180:
            document.rotation = 270;
            break;
        default:
            document.rotation = 0;
            break;
    }
    UpdateDisplay();
}

void ImageView::RotateLeft()
{
    switch (document.rotation) {
        case 0:
            document.rotation = 270;
            break;
        case 90:
            document.rotation = 0;
            break;
        case 180:
            document.rotation = 90;
            break;
        case 270:
            document.rotation = 180;
            break;
        default:
            document.rotation = 0;
            break;
    }
    UpdateDisplay();
}

void ImageView::FlipHorizontal()
{
    document.flipHorizontal = !document.flipHorizontal;
    UpdateDisplay();
}

void ImageView::FlipVertical()
{
    document.flipVertical = !document.flipVertical;
    UpdateDisplay();
}

// The fixed steps compare first and then add in double precision without
// rounding or clamping, so the factors are exactly what repeated additions
// give (1.0 + 0.1 + ... reaches 9.999999999999982 after 90 steps, which is
// still below 10 and allows one more step).
void ImageView::ZoomIn()
{
    if (document.zoom < 10.0) {
        document.zoom = document.zoom + 0.1;
        UpdateDisplay();
    }
}

void ImageView::ZoomOut()
{
    if (document.zoom > 0.1) {
        document.zoom = document.zoom - 0.1;
        UpdateDisplay();
    }
}

void ImageView::ZoomInByOne()
{
    if (document.zoom < 10.0) {
        document.zoom = document.zoom + 1.0;
        UpdateDisplay();
    }
}

void ImageView::ZoomOutByOne()
{
    if (document.zoom > 1.0) {
        document.zoom = document.zoom - 1.0;
        UpdateDisplay();
    }
}

void ImageView::ZoomTo100()
{
    document.zoom = 1.0;
    UpdateDisplay();
}

// Fit uses the window's outer size less the 2-pixel border on each side, and
// the decoded size (a turned picture is fitted as if it were not turned).
// With W x H the room and w x h the picture, sx = W / w makes the width fit;
// if the height then fits too (h * sx <= H) that is the factor, otherwise the
// height limits and the factor is sy = H / h. Small pictures are stretched.
void ImageView::ZoomToFit()
{
    const ViewRect outer = window.WindowRect();
    const double roomWidth = std::max(outer.Width() - 4, 0);
    const double roomHeight = std::max(outer.Height() - 4, 0);
    const int width = document.decoded ? document.decoded->Width() : 0;
    const int height = document.decoded ? document.decoded->Height() : 0;
    // A failed load may leave 0 x 0: there is nothing to fit, and a factor
    // from a zero divisor would be infinite.
    if (width > 0 && height > 0) {
        const double sx = roomWidth / width;
        const double sy = roomHeight / height;
        document.zoom = height * sx <= roomHeight ? sx : sy;
    }
    UpdateDisplay();
}

// Best fit shrinks a picture larger than the window's outer size and never
// enlarges: a picture that fits returns to 1.0 only when it is shown reduced
// (decoded larger than the working copy on either axis).
void ImageView::ApplyBestFit()
{
    const ViewRect outer = window.WindowRect();
    const int width = document.decoded ? document.decoded->Width() : 0;
    const int height = document.decoded ? document.decoded->Height() : 0;
    if (width > outer.Width() || height > outer.Height()) {
        ZoomToFit();
        return;
    }
    if (width > document.display.Width() || height > document.display.Height()) {
        document.zoom = 1.0;
    }
    UpdateDisplay();
}

// ---- slide show

int ImageView::SlideShowPeriod() const
{
    const double milliseconds = document.slideShowDelay * 1000.0;
    // A delay of 0 or less (or not a number) can come only from the stored
    // settings; a zero period would step without pause.
    if (!(milliseconds >= kMinimumSlideShowPeriod)) {
        return kMinimumSlideShowPeriod;
    }
    if (milliseconds >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(milliseconds);
}

void ImageView::ToggleSlideShow()
{
    if (slideShowRunning) {
        slideShowRunning = false;
        timer.StopTimer(timerId);
        window.SetCursor(savedCursor);
    } else {
        slideShowRunning = true;
        RestartSlideShowTimer();
    }
    UpdateStatusText();
    Repaint();
    frame.SetSlideShowChecked(slideShowRunning);
}

void ImageView::RestartSlideShowTimer()
{
    timer.StopTimer(timerId);
    timerId = timer.StartTimer(kSlideShowTimerId, SlideShowPeriod());
    savedCursor = window.SetCursor(ViewCursor::Blank);
}

void ImageView::OnTimer(unsigned id)
{
    switch (id) {
        case kLoadPollTimerId:
            PollLoad();
            break;
        case kLoadProgressTimerId:
            timer.StopTimer(kLoadProgressTimerId);
            if (pending.active) {
                pending.showsProgress = true;
                pending.shownPercent = -1;
                PollLoad();
            }
            break;
        default:
            // A slide waits for its picture.
            if (!pending.active) {
                ShowNext();
            }
            break;
    }
}

// ---- mouse

void ImageView::OnCursorRequest(bool inClientArea)
{
    // The wait cursor stays while the picture asked for decodes.
    if (pending.active && pending.waitCursor) {
        return;
    }
    savedCursor = window.SetCursor(ViewCursor::Arrow);
    if (inClientArea && (document.display.Width() > clientWidth || document.display.Height() > clientHeight)) {
        savedCursor = window.SetCursor(ViewCursor::Hand);
    }
}

void ImageView::OnLeftButtonDown(int x, int y)
{
    canPanHorizontally = document.display.Width() > clientWidth;
    canPanVertically = document.display.Height() > clientHeight;
    if (!canPanHorizontally && !canPanVertically) {
        return;
    }
    dragLastX = x;
    dragLastY = y;
    dragOffsetX = offsetX;
    dragOffsetY = offsetY;
    dragging = true;
}

namespace {

// Moves a pan offset by `delta` and keeps it between 0 and the part of the
// picture that does not fit.
std::int32_t PannedOffset(std::int32_t offset, std::int64_t delta, std::int32_t extent, std::int32_t client)
{
    std::int64_t moved = std::int64_t{offset} + delta;
    if (moved < 0) {
        moved = 0;
    }
    const std::int64_t largest = std::int64_t{extent} - client;
    if (moved > largest) {
        moved = largest;
    }
    return static_cast<std::int32_t>(std::max<std::int64_t>(moved, 0));
}

}  // namespace

void ImageView::OnMouseMove(int x, int y, unsigned keys)
{
    if (!dragging) {
        return;
    }
    // Any other button or Shift or Ctrl joining in, or the left button gone,
    // ends the drag.
    if (keys != kViewKeyLeftButton) {
        dragging = false;
        return;
    }
    const std::int64_t dx = std::int64_t{dragLastX} - x;
    const std::int64_t dy = std::int64_t{dragLastY} - y;
    dragLastX = x;
    dragLastY = y;
    if (canPanHorizontally) {
        dragOffsetX = PannedOffset(dragOffsetX, dx, document.display.Width(), clientWidth);
    }
    if (canPanVertically) {
        dragOffsetY = PannedOffset(dragOffsetY, dy, document.display.Height(), clientHeight);
    }
    ScrollTo(dragOffsetX, dragOffsetY, true);
}

void ImageView::OnLeftButtonUp(int /*x*/, int /*y*/)
{
    dragging = false;
}

void ImageView::OnLeftButtonDoubleClick(int /*x*/, int /*y*/)
{
    frame.ToggleFullScreen();
}

void ImageView::OnRightButtonUp(int x, int y)
{
    const ViewRect outer = window.WindowRect();
    frame.ShowContextMenu(outer.left + x, outer.top + y);
}

void ImageView::OnMiddleButtonUp(int /*x*/, int /*y*/)
{
    ToggleSlideShow();
}

void ImageView::OnWindowPositionChanged()
{
    Repaint();
}

// ---- drop, delete, editor

void ImageView::OnFilesDropped(const std::vector<std::string>& paths)
{
    if (paths.empty()) {
        return;
    }
    const std::string& path = paths.front();
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || !IsPictureExtension(path.substr(dot + 1))) {
        return;
    }
    OpenImage(path, true);
}

void ImageView::DeleteCurrentFile()
{
    // The picture on screen is the one deleted; a step still loading is
    // dropped.
    CancelLoading();
    // Declined, or refused by the trash (the shell has told the user why):
    // the picture stays on screen, as it stays on disk. A file that another
    // program removed meanwhile is gone all the same.
    const TrashResult result = shell.MoveToTrash(document.path);
    if (result == TrashResult::Aborted || result == TrashResult::Failed) {
        return;
    }
    // The next picture follows; after the last one, the previous one.
    const std::int64_t count = static_cast<std::int64_t>(document.fileList.size());
    const std::int64_t current = document.currentIndex;
    const std::int64_t neighbour = current == count - 1 ? current - 1 : current + 1;
    document.currentIndex = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        neighbour, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    if (neighbour < 0 || neighbour >= count) {
        // Nothing left to show here: ask for another picture, or close. The
        // chosen picture is opened with its own list; it is not opened a
        // second time by its listed name, which in a folder holding a.jpg and
        // A.JPG might be the other file.
        if (!OpenImage("", true)) {
            frame.RequestClose();
            return;
        }
    } else {
        // Rebuilding the list drops the deleted file from it and finds the
        // neighbour's new position.
        const std::string next = document.fileList[static_cast<std::size_t>(neighbour)];
        OpenImage(next, true);
    }
    if (slideShowRunning) {
        RestartSlideShowTimer();
    }
}

EditorRequest ImageView::EditorCommand() const
{
    EditorRequest request;
    if (!document.imageEditorPath.empty()) {
        request.launch = true;
        request.program = document.imageEditorPath;
        // One argument, spaces and all: the editor gets the whole path.
        request.argument = document.path;
    } else {
        request.warningText = kEditorWarningText;
        request.warningCaption = kEditorWarningCaption;
    }
    return request;
}

}  // namespace brelvix
