#include "viewer/image_view.h"

#include <algorithm>
#include <cstdlib>

#include "platform/file_system.h"

namespace brelvix {

ImageView::ImageView(ViewWindow& viewWindow, ViewTimer& viewTimer, ViewFrame& viewFrame, ViewShell& viewShell)
    : window(viewWindow),
      timer(viewTimer),
      frame(viewFrame),
      shell(viewShell),
      navigator(document, settings, viewWindow, viewTimer, viewFrame),
      viewport(viewWindow),
      slideShow(viewTimer, settings)
{
}

void ImageView::ApplySettings(const ViewerSettings& next)
{
    const ViewerSettings before = settings;
    settings = next;
    if (next.modernZoom != before.modernZoom) {
        viewport.SetScreenScrolling(next.modernZoom);
        fitted = false;
    }
    settingsApplied = true;
    const bool recolored = UpdateScreenColors();
    // The picture on screen is loaded again, so that it shows at once
    // turned (or not), in the colours the setting now says.
    if ((next.applyOrientation != before.applyOrientation || recolored) && !document.Path().empty()) {
        OpenImage(document.Path(), false);
    } else if (next.playAnimations != before.playAnimations) {
        PlaySettingChanged();
    }
    if (next.backgroundColor != before.backgroundColor || next.showInfoInFullScreen != before.showInfoInFullScreen ||
        next.transparencyChecker != before.transparencyChecker) {
        Repaint();
    }
    if (next.sortOrder != before.sortOrder || next.sortReverse != before.sortReverse) {
        navigator.Rearrange();
        ListReordered();
    }
}

void ImageView::ListReordered()
{
    // While a picture loads the status bar may show its progress; the
    // position is written once it shows.
    if (!navigator.Loading()) {
        UpdateStatusText();
    }
    navigator.PrefetchNeighbours();
}

ImageView::Screen ImageView::ScreenNow() const
{
    Screen screen;
    screen.plain = document.Loaded() && !(fullScreen && settings.showInfoInFullScreen);
    screen.background = settings.backgroundColor;
    screen.width = viewport.ClientWidth();
    screen.height = viewport.ClientHeight();
    const ViewPoint at = PicturePosition();
    const int x = at.x - viewport.OffsetX();
    const int y = at.y - viewport.OffsetY();
    screen.picture = {std::max(x, 0), std::max(y, 0), std::min(x + document.Display().Width(), screen.width),
                      std::min(y + document.Display().Height(), screen.height)};
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
    StopAnimation();
    if (const auto arrival = navigator.Open(chosen, rebuildList)) {
        Show(*arrival);
    }
    return true;
}

bool ImageView::ChooseImageFile(std::string* chosen)
{
    OpenFileDialogRequest request;
    request.title = kOpenDialogTitle;
    request.filters = {{kImageFilesFilterName, kImageFilesFilterPatterns},
                       {kAllFilesFilterName, kAllFilesFilterPatterns}};
    const std::string& path = document.Path();
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos) {
        request.folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    }
    std::string answer;
    if (!shell.ChooseFile(request, &answer) || answer.empty()) {
        return false;
    }
    *chosen = answer;
    return true;
}

void ImageView::Navigate(NavigationStep step)
{
    if (keyRepeating && navigator.AwaitsFirstSight()) {
        return;
    }
    if (navigator.Files().Count() > 0 || navigator.Loading()) {
        StopAnimation();
    }
    if (const auto arrival = navigator.Step(step, slideShow.Running())) {
        Show(*arrival);
    }
}

void ImageView::Show(const Navigator::Arrival& arrival)
{
    if (arrival.afterFirstLook && document.Loaded()) {
        RefreshPicture();
    } else {
        viewport.ResetTransform();
        fitted = false;
        if (document.Loaded() && frame.BestFitSetting()) {
            ApplyBestFit();
        } else {
            UpdateDisplay();
        }
    }
    // Work ahead and playing start once the picture asked for is there.
    if (!arrival.firstLook) {
        navigator.PrefetchNeighbours();
        StartAnimation();
    }
    if (arrival.navigation && slideShow.Running()) {
        RestartSlideShowTimer();
    }
    if (arrival.waitCursor) {
        window.SetCursor(arrival.remembered);
    }
}

void ImageView::RefreshFileList()
{
    // The list of the picture on screen: a step still loading is dropped.
    CancelLoading();
    if (!document.Path().empty() && !platform::IdentityOf(document.Path()).exists) {
        MoveOnFromGone();
        return;
    }
    navigator.RefreshFileList();
    UpdateDisplay();
}

void ImageView::CancelLoading()
{
    const bool loading = navigator.Loading();
    if (navigator.CancelLoading()) {
        UpdateStatusText();
    }
    // The picture that stays plays on.
    if (loading) {
        StartAnimation();
    }
}

// ---- refresh, rotation, flips, zoom

void ImageView::UpdateDisplay()
{
    if (document.Loaded()) {
        const ViewTransform& transform = viewport.Transform();
        document.ApplyZoom(transform.zoom);
        document.ApplyRotation(transform.rotation);
        document.ApplyFlips(transform.flipHorizontal, transform.flipVertical);
    }
    UpdateStatusText();
    if (document.Loaded()) {
        ResetScrolling();
        if (keep) {
            const WorkingCopySize& shown = document.Display();
            viewport.ScrollTo(
                KeptOffset(keep->anchorX, viewport.ClientWidth(), keep->offsetX, keep->width, shown.Width()),
                KeptOffset(keep->anchorY, viewport.ClientHeight(), keep->offsetY, keep->height, shown.Height()), false);
        }
    }
    keep.reset();
    Repaint();
}

void ImageView::RefreshPicture()
{
    const ViewTransform& transform = viewport.Transform();
    document.ApplyZoom(transform.zoom);
    document.ApplyRotation(transform.rotation);
    document.ApplyFlips(transform.flipHorizontal, transform.flipVertical);
    UpdateStatusText();
    Repaint();
}

void ImageView::RotateRight()
{
    viewport.TurnRight();
    Turned();
}

void ImageView::RotateLeft()
{
    viewport.TurnLeft();
    Turned();
}

void ImageView::Turned()
{
    if (Refitting()) {
        FitToView();
    } else {
        UpdateDisplay();
    }
}

void ImageView::FlipHorizontal()
{
    viewport.MirrorHorizontally();
    UpdateDisplay();
}

void ImageView::FlipVertical()
{
    viewport.MirrorVertically();
    UpdateDisplay();
}

void ImageView::ZoomStep(double step)
{
    if (settings.modernZoom) {
        const int rungs = (std::abs(step) >= kCoarseZoomStep ? 2 : 1) * (step > 0 ? 1 : -1);
        if (const std::optional<double> factor = LadderZoom(viewport.Zoom(), rungs)) {
            ZoomKeeping(*factor, viewport.ClientWidth() / 2, viewport.ClientHeight() / 2);
        }
        return;
    }
    if (viewport.StepZoom(step)) {
        fitted = false;
        UpdateDisplay();
    }
}

void ImageView::ZoomTo(double factor)
{
    fitted = false;
    viewport.SetZoom(factor);
    UpdateDisplay();
}

void ImageView::ZoomKeeping(double factor, int anchorX, int anchorY)
{
    fitted = false;
    keep = KeptPoint{anchorX,
                     anchorY,
                     viewport.OffsetX(),
                     viewport.OffsetY(),
                     document.Display().Width(),
                     document.Display().Height()};
    viewport.SetZoom(factor);
    UpdateDisplay();
}

// Fit uses the window's outer size less the 2-pixel border on each side, and
// the decoded size (a turned picture is fitted as if it were not turned).
void ImageView::ZoomToFit()
{
    const ViewRect outer = window.WindowRect();
    const std::optional<double> factor = FitFactor(std::max(outer.Width() - 4, 0), std::max(outer.Height() - 4, 0),
                                                   document.DecodedWidth(), document.DecodedHeight());
    ZoomTo(factor.value_or(viewport.Zoom()));
}

// Best fit shrinks a picture larger than the window's outer size and never
// enlarges: a picture that fits returns to 1.0 only when it is shown reduced
// (decoded larger than the working copy on either axis).
void ImageView::ApplyBestFit()
{
    if (settings.modernZoom) {
        FitToView();
        return;
    }
    const ViewRect outer = window.WindowRect();
    const int width = document.DecodedWidth();
    const int height = document.DecodedHeight();
    if (width > outer.Width() || height > outer.Height()) {
        ZoomToFit();
        return;
    }
    if (width > document.Display().Width() || height > document.Display().Height()) {
        viewport.SetZoom(1.0);
    }
    UpdateDisplay();
}

// The room is the drawing area without scroll bars (the outer size less the
// border), and the picture is measured as turned, so that a fitted picture
// never needs a bar and a turn fits it anew.
std::optional<double> ImageView::ViewFitZoom() const
{
    const ViewRect outer = window.WindowRect();
    const bool across = viewport.Rotation() == 90 || viewport.Rotation() == 270;
    const int width = across ? document.DecodedHeight() : document.DecodedWidth();
    const int height = across ? document.DecodedWidth() : document.DecodedHeight();
    const std::optional<double> factor =
        FitFactor(std::max(outer.Width() - 4, 0), std::max(outer.Height() - 4, 0), width, height);
    if (!factor) {
        return std::nullopt;
    }
    return std::min(*factor, 1.0);
}

void ImageView::FitToView()
{
    viewport.SetZoom(ViewFitZoom().value_or(viewport.Zoom()));
    fitted = true;
    UpdateDisplay();
}

bool ImageView::Refitting() const
{
    return settings.modernZoom && fitted && document.Loaded() && frame.BestFitSetting();
}

bool ImageView::Refit()
{
    if (!Refitting()) {
        return false;
    }
    const std::optional<double> factor = ViewFitZoom();
    if (!factor || *factor == viewport.Zoom()) {
        return false;
    }
    FitToView();
    return true;
}

void ImageView::OnSize(int newClientWidth, int newClientHeight)
{
    viewport.OnSize(newClientWidth, newClientHeight);
    Refit();
}

// ---- scrolling

void ImageView::ResetScrolling()
{
    viewport.ResetScrolling(document.Display().Width(), document.Display().Height());
    MarkChanged();
}

void ImageView::ScrollTo(int x, int y, bool redraw)
{
    viewport.ScrollTo(x, y, !redraw);
    if (redraw) {
        MarkChanged();
    }
}

ViewPoint ImageView::PicturePosition() const
{
    return viewport.PicturePosition(document.Display().Width(), document.Display().Height());
}

void ImageView::ScrollLineUp()
{
    if (settings.modernZoom) {
        viewport.OnScroll(ScrollAxis::Vertical, ScrollAction::LineUp, 0);
    }
}

void ImageView::ScrollLineDown()
{
    if (settings.modernZoom) {
        viewport.OnScroll(ScrollAxis::Vertical, ScrollAction::LineDown, 0);
    }
}

void ImageView::OnWheel(int deltaX, int deltaY, unsigned keys, int x, int y)
{
    if (!settings.modernZoom) {
        if (deltaY != 0) {
            viewport.OnMouseWheel(deltaY);
        }
        return;
    }
    if ((keys & kViewKeyControl) != 0) {
        zoomWheelAccumulator += deltaY != 0 ? deltaY : deltaX;
        const int notches = zoomWheelAccumulator / 120;
        zoomWheelAccumulator %= 120;
        if (notches != 0) {
            if (const std::optional<double> factor = LadderZoom(viewport.Zoom(), notches)) {
                ZoomKeeping(*factor, x, y);
            }
        }
        return;
    }
    if ((keys & kViewKeyShift) != 0) {
        viewport.OnWheelByDistance(ScrollAxis::Horizontal, deltaY != 0 ? deltaY : deltaX);
        return;
    }
    if (deltaX != 0) {
        viewport.OnWheelByDistance(ScrollAxis::Horizontal, deltaX);
    }
    if (deltaY != 0) {
        // A picture that fits from top to bottom scrolls sideways, as the
        // wheel always did.
        const bool tall = viewport.ExtentY() > viewport.ClientHeight();
        viewport.OnWheelByDistance(tall ? ScrollAxis::Vertical : ScrollAxis::Horizontal, deltaY);
    }
}

// ---- slide show

void ImageView::ToggleSlideShow()
{
    if (slideShow.Running()) {
        slideShow.Stop();
        window.SetCursor(savedCursor);
    } else {
        slideShow.Start();
        savedCursor = window.SetCursor(ViewCursor::Blank);
    }
    UpdateStatusText();
    Repaint();
    frame.SetSlideShowChecked(slideShow.Running());
}

void ImageView::RestartSlideShowTimer()
{
    slideShow.Restart();
    savedCursor = window.SetCursor(ViewCursor::Blank);
}

void ImageView::OnTimer(unsigned id)
{
    if (id == kListOrderTimerId) {
        if (navigator.OnListOrderTimer()) {
            ListReordered();
        }
        return;
    }
    if (id == kAnimationTimerId) {
        OnAnimationTimer();
        return;
    }
    if (id == kLoadPollTimerId || id == kLoadProgressTimerId) {
        if (const auto arrival = navigator.OnTimer(id)) {
            Show(*arrival);
        }
        return;
    }
    // A slide waits for its picture.
    if (!navigator.Loading()) {
        ShowNext();
    }
}

// ---- mouse

void ImageView::OnCursorRequest(bool inClientArea)
{
    // The wait cursor stays while the picture asked for decodes.
    if (navigator.ShowsWaitCursor()) {
        return;
    }
    savedCursor = window.SetCursor(ViewCursor::Arrow);
    const WorkingCopySize& shown = document.Display();
    if (inClientArea && (shown.Width() > viewport.ClientWidth() || shown.Height() > viewport.ClientHeight())) {
        savedCursor = window.SetCursor(ViewCursor::Hand);
    }
}

void ImageView::OnLeftButtonDown(int x, int y)
{
    viewport.BeginDrag(x, y, document.Display().Width(), document.Display().Height());
}

void ImageView::OnMouseMove(int x, int y, unsigned keys)
{
    if (const auto offset = viewport.DragTo(x, y, keys, document.Display().Width(), document.Display().Height())) {
        ScrollTo(offset->x, offset->y, true);
    }
}

void ImageView::OnLeftButtonUp(int /*x*/, int /*y*/)
{
    viewport.EndDrag();
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
    if (!Refit()) {
        Repaint();
    }
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
    const TrashResult result = shell.MoveToTrash(document.Path());
    if (result == TrashResult::Aborted || result == TrashResult::Failed) {
        return;
    }
    MoveOnFromGone();
}

void ImageView::MoveOnFromGone()
{
    if (const std::optional<std::string> next = navigator.NeighbourAfterDeletion()) {
        // Rebuilding the list drops the deleted file from it and finds the
        // neighbour's new position.
        OpenImage(*next, true);
    } else if (!OpenImage("", true)) {
        // Nothing left to show here and no other picture chosen. The chosen
        // picture is opened with its own list; it is not opened a second
        // time by its listed name, which in a folder holding a.jpg and A.JPG
        // might be the other file.
        frame.RequestClose();
        return;
    }
    if (slideShow.Running()) {
        RestartSlideShowTimer();
    }
}

EditorRequest ImageView::EditorCommand() const
{
    EditorRequest request;
    if (!settings.imageEditorPath.empty()) {
        request.launch = true;
        request.program = settings.imageEditorPath;
        // One argument, spaces and all: the editor gets the whole path.
        request.argument = document.Path();
    } else {
        request.warningText = kEditorWarningText;
        request.warningCaption = kEditorWarningCaption;
    }
    return request;
}

}  // namespace brelvix
