// The picture view: zoom, rotation and flips, the file list commands,
// placement and scrolling, painting, status texts, slide show, panning, drop,
// delete and the editor decision.
//
// ImageView holds no toolkit code. The application creates one with its
// window, timer, frame and shell (viewer/view_host.h), forwards the window's
// events to the On... entry points and its paints to EraseBackground and
// Paint, and calls the commands. Every operation that changes the picture,
// its zoom, rotation or flips ends with UpdateDisplay, the one refresh:
// working copy, title and status text, scrolling, repaint.
//
// OnSize must come once after creation and after every change of the drawing
// area's size. A paint of any part of the window calls EraseBackground and
// then Paint with a canvas clipped to that part.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "viewer/image_document.h"
#include "viewer/view_host.h"
#include "viewer/view_tiles.h"

namespace brelvix {

// Texts the view hands to the window system.
inline constexpr const char kOpenDialogTitle[] = "Select an image file to view";
inline constexpr const char kImageFilesFilterName[] = "Image files (JPG, GIF, TIF, BMP, PNG, TGA)";
// The newer formats' patterns follow the original ones; the filter's name
// stays as it always read.
inline constexpr const char kImageFilesFilterPatterns[] =
    "*.jpg;*.jpeg;*.gif;*.png;*.bmp;*.tif;*.tiff;*.tga;*.webp;*.avif;*.heic;*.heif;*.jxl;";
inline constexpr const char kAllFilesFilterName[] = "All files";
inline constexpr const char kAllFilesFilterPatterns[] = "*.*";
inline constexpr const char kCannotDisplayText[] = "Cannot display file";
inline constexpr const char kEditorWarningText[] =
    "There's no application assigned to edit images\nPlease use the Preferences dialog to assign an editor.";
inline constexpr const char kEditorWarningCaption[] = "Editing Application";

// The id of the slide-show timer.
inline constexpr unsigned kSlideShowTimerId = 1;
// While a picture decodes in the background: the timer that looks whether
// it is done, and the one after which its progress shows.
inline constexpr unsigned kLoadPollTimerId = 2;
inline constexpr unsigned kLoadProgressTimerId = 3;
inline constexpr int kLoadPollPeriod = 10;
// A decode that takes longer than this many milliseconds shows its progress
// in the status bar.
inline constexpr int kLoadProgressDelay = 333;
// The shortest slide-show period in milliseconds.
inline constexpr int kMinimumSlideShowPeriod = 10;

// What the Open for editing command should do; the frame carries it out.
struct EditorRequest {
    // true: start `program` detached with `argument` as its one argument.
    // false: show `warningText` in a warning box captioned `warningCaption`.
    bool launch = false;
    std::string program;
    std::string argument;
    std::string warningText;
    std::string warningCaption;
};

// Where the picture's top-left corner lies in picture coordinates.
struct ViewPoint {
    int x = 0;
    int y = 0;
    bool operator==(const ViewPoint&) const = default;
};

class ImageView {
public:
    // None of the four is owned; each must outlive the view.
    ImageView(ViewWindow& window, ViewTimer& timer, ViewFrame& frame, ViewShell& shell);
    ~ImageView();
    ImageView(const ImageView&) = delete;
    ImageView& operator=(const ImageView&) = delete;

    // ---- opening and the file list
    // Opens `path` (asking with the Open dialog when it is empty), rebuilds the
    // file list when `rebuildList`, and applies the initial zoom (best fit when
    // the frame's setting is on, else 1.0). Returns false only when the dialog
    // was cancelled (then nothing changed); true also when the picture failed
    // to load.
    bool OpenImage(const std::string& path, bool rebuildList);
    // Runs the Open dialog through the shell; true and the path when chosen.
    bool ChooseImageFile(std::string* chosen);
    // Navigation: wrap (next, previous), ends (first, last), jumps of
    // fastForwardSkip that stop at the ends. Nothing happens with an empty list.
    void ShowNext();
    void ShowPrevious();
    void ShowFirst();
    void ShowLast();
    void FastForward();
    void Rewind();
    // Rebuilds the list for the current path and refreshes; the picture is
    // not reloaded.
    void RefreshFileList();

    // ---- loading in the background
    // With loadInBackground the picture OpenImage and the navigation ask for
    // is decoded on a thread of its own while the window goes on painting
    // what it shows and taking commands: the document, title and status
    // keep describing the picture on screen until the new one is done (or
    // at once when the cache has it ready). Another opening or navigation
    // meanwhile cancels that decode and moves on from the position asked
    // for, so no step is lost. Without it (the default) every load runs on
    // the caller's thread before OpenImage returns.
    bool loadInBackground = false;
    // Whether a picture asked for is still being decoded.
    bool Loading() const { return pending.active; }
    // Cancels the decode of the picture asked for (closing does); what is on
    // screen stays.
    void CancelLoading();
    // The status text while a decode is slow: "Loading 42%".
    std::string LoadingText() const;
    int LoadingPercent() const;

    // ---- refresh, rotation, flips, zoom
    void UpdateDisplay();
    void RotateRight();
    void RotateLeft();
    void FlipHorizontal();
    void FlipVertical();
    void ZoomIn();        // +0.1 while zoom < 10
    void ZoomOut();       // -0.1 while zoom > 0.1
    void ZoomInByOne();   // +1.0 while zoom < 10
    void ZoomOutByOne();  // -1.0 while zoom > 1
    void ZoomTo100();
    // Stretches or shrinks the decoded picture to the window.
    void ZoomToFit();
    // Shrinks to the window when the picture is larger, never enlarges.
    void ApplyBestFit();

    // ---- scrolling
    // Back to the top-left corner with extents = the working copy's size.
    void ResetScrolling();
    // Extents (cx, cy), offset 0, scroll bars, line and page sizes.
    void SetScrollExtents(int cx, int cy, bool redraw);
    // Offset = (x, y); with `redraw` the whole view is repainted, otherwise
    // the contents are scrolled by the difference.
    void ScrollTo(int x, int y, bool redraw);
    // Where the picture's top-left corner lies (picture coordinates): centred
    // on an axis where it is smaller than the client area, else 0.
    ViewPoint PicturePosition() const;

    // ---- texts
    // Rewrites the frame's title and status text.
    void UpdateStatusText();
    std::string TitleText() const;
    std::string StatusText() const;
    // The lines of the full-screen information overlay, top to bottom.
    std::vector<std::string> OverlayLines() const;
    // Black, or white on a dark background colour.
    std::uint32_t OverlayTextColor() const;

    // ---- slide show, delete, editor
    void ToggleSlideShow();
    void RestartSlideShowTimer();
    // The timer period for the current delay, in milliseconds.
    int SlideShowPeriod() const;
    // Moves the current picture to the trash and shows its neighbour; asks
    // for another picture (or closes) when none is left.
    void DeleteCurrentFile();
    // What the Open for editing command should do.
    EditorRequest EditorCommand() const;

    // ---- painting (client coordinates; the view applies the scroll offset)
    // Fills the background around the picture (or everything when no
    // picture is loaded).
    void EraseBackground(ViewCanvas& canvas);
    // Draws the picture or the failure box, then the overlay in full screen.
    void Paint(ViewCanvas& canvas);

    // ---- events from the window
    // The pointer is over the view and needs a cursor; `inClientArea` false
    // over the border or the scroll bars.
    void OnCursorRequest(bool inClientArea);
    // The window moved or changed size: repaint everything at once.
    void OnWindowPositionChanged();
    // The drawing area (without border and scroll bars) has a new size. Call
    // it once when the view is created and after every change: placement,
    // bands, cursor, panning and scrolling all use the size given here.
    void OnSize(int newClientWidth, int newClientHeight);
    // A timer expired: the background load's timers look at the decode;
    // any other is the slide show's (the next slide, unless a picture is
    // still being decoded).
    void OnTimer(unsigned id);
    void OnLeftButtonDown(int x, int y);
    // `keys` is the ViewMouseKeys state at the time of the move.
    void OnMouseMove(int x, int y, unsigned keys);
    void OnLeftButtonUp(int x, int y);
    void OnLeftButtonDoubleClick(int x, int y);
    void OnRightButtonUp(int x, int y);
    void OnMiddleButtonUp(int x, int y);
    // `delta` in the usual wheel units: 120 per notch, positive away from the
    // user (scroll up).
    void OnMouseWheel(int delta);
    // A scroll-bar action; `trackPosition` matters for the thumb actions.
    void OnScroll(ScrollAxis axis, ScrollAction action, int trackPosition);
    // The system's settings changed: `newWheelLines` lines per wheel notch,
    // -1 for a page per notch.
    void OnSettingsChange(int newWheelLines);
    // Files were dropped on the view: the first one opens if it is a picture.
    void OnFilesDropped(const std::vector<std::string>& paths);

    // ---- state (the frame writes fullScreen and the document's settings)
    ImageDocument document;
    // Written only by the frame when it enters or leaves full screen.
    bool fullScreen = false;
    bool slideShowRunning = false;
    bool dragging = false;
    unsigned timerId = 0;
    // The cursor the view's last cursor change replaced.
    ViewCursor savedCursor = ViewCursor::None;
    std::int32_t dragLastX = 0;
    std::int32_t dragLastY = 0;
    std::int32_t dragOffsetX = 0;
    std::int32_t dragOffsetY = 0;
    bool canPanHorizontally = false;
    bool canPanVertically = false;

    // Scroll state: offset = picture coordinate at the client area's left and
    // top edge; extents = the working copy's size.
    std::int32_t offsetX = 0;
    std::int32_t offsetY = 0;
    std::int32_t extentX = 0;
    std::int32_t extentY = 0;
    std::int32_t lineSizeX = 1;
    std::int32_t lineSizeY = 1;
    std::int32_t pageSizeX = 1;
    std::int32_t pageSizeY = 1;
    std::int32_t clientWidth = 0;
    std::int32_t clientHeight = 0;
    // The part of the wheel movement not yet turned into scrolling.
    std::int32_t wheelAccumulator = 0;
    // Lines per wheel notch; -1 scrolls a page per notch.
    std::int32_t wheelLines = 3;

private:
    // The picture asked for while it decodes in the background, and what
    // showing it will change besides the document's picture.
    struct PendingLoad {
        bool active = false;
        std::string path;
        // The list to use from then on (OpenImage rebuilt it for the new
        // picture's folder); otherwise the document's stays.
        bool ownList = false;
        std::vector<std::string> list;
        // currentIndex once the picture shows (a navigation step, or the
        // position in the rebuilt list).
        bool setsIndex = false;
        std::int32_t index = 0;
        // A navigation step: the slide show restarts once it shows, and the
        // wait cursor gives way to `remembered`.
        bool navigation = false;
        bool waitCursor = false;
        ViewCursor remembered = ViewCursor::None;
        bool showsProgress = false;
        int shownPercent = -1;
    };

    // Shows the list entry at `index` (in range) as a navigation step does;
    // `step` (+1 or -1) is the direction the user is browsing in.
    void ShowEntry(std::int64_t index, std::int32_t step);
    // The list and position navigation moves from: those of the picture
    // asked for while it decodes, else the document's.
    const std::vector<std::string>& NavigationList() const;
    std::int32_t NavigationIndex() const;
    // Asks for pending.path: shows it at once when the cache has it ready,
    // else starts its decode and the timers that watch it.
    void BeginLoad();
    // Makes `next` the picture asked for: the decode of the one asked for
    // before is cancelled (unless it is the same file), and the wait cursor
    // carries over from step to step.
    void ReplaceLoad(PendingLoad next);
    // Looks at the decode; shows the picture once it is done.
    void PollLoad();
    // The end of an open once the picture is in the document: the list and
    // position asked for, the initial zoom, the decodes ahead, and for a
    // navigation step the slide show and the cursor.
    void FinishOpen();
    void StopLoadTimers();
    // A step that has to wait shows the wait cursor (once for a run of steps).
    void ShowWaitCursor();
    // Moves one axis to `position` (already clamped) by scrolling the contents.
    void ScrollAxisTo(ScrollAxis axis, std::int32_t position);
    void DrawFailureBox(ViewCanvas& canvas);
    void DrawOverlay(ViewCanvas& canvas);
    // Marks what changed on screen for repainting (see Screen); Repaint also
    // paints it at once.
    void MarkChanged();
    void Repaint();

    // What a paint of the whole drawing area shows, as far as the next
    // repaint needs to know: when both it and the last paint show only a
    // picture on a plain background of the same colour and client size,
    // only where either picture lies can change, and the rest is left alone.
    struct Screen {
        bool plain = false;
        ViewRect picture;
        std::uint32_t background = 0;
        std::int32_t width = 0;
        std::int32_t height = 0;
    };
    Screen ScreenNow() const;

    ViewWindow& window;
    ViewTimer& timer;
    ViewFrame& frame;
    ViewShell& shell;
    // What is on screen of a working copy that is not the decoded picture.
    ViewTiles tiles;
    // The direction of the last navigation step; the neighbour that way is
    // decoded ahead of time.
    std::int32_t browseStep = 1;
    PendingLoad pending;
    Screen painted;
};

}  // namespace brelvix
