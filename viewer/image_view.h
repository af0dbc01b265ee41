// The picture view: the coordinator of the picture on screen
// (ImageDocument), the navigator that picks and loads it (Navigator), the
// viewport that zooms, turns and places it (Viewport) and the slide show
// (SlideShow). What it does itself: the one refresh, painting and the texts
// (view_painting.cpp), the mouse, drop, delete and the editor decision.
//
// ImageView holds no toolkit code. The application creates one with its
// window, timer, frame and shell (viewer/view_host.h), forwards the window's
// events to the On... entry points and its paints to EraseBackground and
// Paint, and calls the commands. Every operation that changes the picture,
// its zoom, rotation or flips ends with UpdateDisplay, the one refresh:
// working copy, title and status text, scrolling, repaint. The parts can be
// read from outside; they change only through the view's operations.
//
// OnSize must come once after creation and after every change of the drawing
// area's size. A paint of any part of the window calls EraseBackground and
// then Paint with a canvas clipped to that part.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "viewer/animation_player.h"
#include "viewer/image_document.h"
#include "viewer/navigator.h"
#include "viewer/slide_show.h"
#include "viewer/view_host.h"
#include "viewer/view_tiles.h"
#include "viewer/viewer_settings.h"
#include "viewer/viewport.h"

namespace brelvix {

// Texts the view hands to the window system.
inline constexpr const char kOpenDialogTitle[] = "Select an image file to view";
// Every format the viewer reads, by name and by pattern; the newer ones
// follow the original ones.
inline constexpr const char kImageFilesFilterName[] =
    "Image files (JPG, GIF, TIF, BMP, PNG, TGA, PCX, WebP, AVIF, HEIF, JXL)";
inline constexpr const char kImageFilesFilterPatterns[] =
    "*.jpg;*.jpeg;*.gif;*.png;*.bmp;*.tif;*.tiff;*.tga;*.pcx;*.webp;*.avif;*.heic;*.heif;*.jxl;";
inline constexpr const char kAllFilesFilterName[] = "All files";
inline constexpr const char kAllFilesFilterPatterns[] = "*.*";
inline constexpr const char kCannotDisplayText[] = "Cannot display file";
inline constexpr const char kEditorWarningText[] =
    "There's no application assigned to edit images\nPlease use the Preferences dialog to assign an editor.";
inline constexpr const char kEditorWarningCaption[] = "Editing Application";

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

class ImageView {
public:
    // None of the four is owned; each must outlive the view.
    ImageView(ViewWindow& window, ViewTimer& timer, ViewFrame& frame, ViewShell& shell);
    ~ImageView();
    ImageView(const ImageView&) = delete;
    ImageView& operator=(const ImageView&) = delete;

    // ---- settings
    const ViewerSettings& Settings() const { return settings; }
    // Takes `next` and does what the change needs: the picture on screen is
    // loaded again when turning upright or colour management changed, and
    // the view is repainted at once when the background, the checkerboard
    // or the overlay changed.
    void ApplySettings(const ViewerSettings& next);
    // The display's ICC profile, as its window system gives it; empty, or a
    // profile that cannot be shown into, means sRGB. With colour management
    // on, a change loads the picture on screen again in the new colours,
    // and the pictures decoded ahead are decoded again.
    void SetDisplayProfile(const std::vector<std::uint8_t>& icc);

    // ---- the parts, to read
    const ImageDocument& Document() const { return document; }
    const Navigator& Navigation() const { return navigator; }
    const Viewport& Geometry() const { return viewport; }
    const SlideShow& Slides() const { return slideShow; }
    // Full screen is the frame's to switch; the view draws the overlay there.
    bool FullScreen() const { return fullScreen; }
    void SetFullScreen(bool on) { fullScreen = on; }
    // The cursor the view's last cursor change replaced.
    ViewCursor SavedCursor() const { return savedCursor; }

    // ---- opening and the file list
    // Opens `path` (asking with the Open dialog when it is empty), rebuilds the
    // file list when `rebuildList`, and applies the initial zoom (best fit when
    // the frame's setting is on, else 1.0). Returns false only when the dialog
    // was cancelled (then nothing changed); true also when the picture failed
    // to load.
    bool OpenImage(const std::string& path, bool rebuildList);
    // Runs the Open dialog through the shell, in the current picture's
    // folder; true and the path when chosen.
    bool ChooseImageFile(std::string* chosen);
    // Shows the entry `step` leads to (NavigationStep); nothing happens with
    // an empty list. The wait cursor shows meanwhile, and a running slide
    // show's next step comes a full period later.
    void Navigate(NavigationStep step);
    void ShowNext() { Navigate(NavigationStep::Next); }
    void ShowPrevious() { Navigate(NavigationStep::Previous); }
    void ShowFirst() { Navigate(NavigationStep::First); }
    void ShowLast() { Navigate(NavigationStep::Last); }
    void FastForward() { Navigate(NavigationStep::FastForward); }
    void Rewind() { Navigate(NavigationStep::Rewind); }
    // Rebuilds the list for the current path and refreshes; the picture is
    // not reloaded. When its file has gone meanwhile (another program removed
    // or renamed it), the view moves on as after deleting it.
    void RefreshFileList();

    // ---- loading in the background (Navigator)
    // Moving pictures are composed on a worker too.
    void SetBackgroundLoading(bool on)
    {
        navigator.SetBackgroundLoading(on);
        framesInBackground = on;
    }
    bool Loading() const { return navigator.Loading(); }
    // Cancels the decode of the picture asked for (closing does); what is on
    // screen stays.
    void CancelLoading();
    // Takes over decodes started before the view (the first picture's).
    void AdoptDecodes(PictureCache&& early) { navigator.AdoptDecodes(std::move(early)); }
    // Called on a decoding thread when a first look or a picture asked for
    // is done; the window then calls OnTimer(kLoadPollTimerId) on its own
    // thread at once rather than at the poll timer's next turn.
    void SetDecodeWake(std::function<void()> wake) { navigator.SetWake(std::move(wake)); }
    // Whether the key that fires the commands is held down (its press is
    // the keyboard's repeat). Its repeated steps are dropped while the
    // picture of the step before shows nothing yet: every step shows at
    // least its first look, and no steps pile up to go on after the key is
    // let go.
    void SetKeyRepeating(bool repeating) { keyRepeating = repeating; }
    // Cancels every decode and waits up to `waitMs` for them; true when none
    // is left running.
    bool LeaveDecodes(std::uint32_t waitMs) { return navigator.LeaveDecodes(waitMs); }

    // ---- refresh, rotation, flips, zoom
    void UpdateDisplay();
    void RotateRight();
    void RotateLeft();
    void FlipHorizontal();
    void FlipVertical();
    // Adds `step` to the zoom when the step rule allows it (SteppedZoom) and
    // refreshes; at the bounds nothing happens. With the modern zoom the
    // factor moves one rung of kZoomLadder instead (two for a step of
    // kCoarseZoomStep or more) and the middle of the view keeps its place.
    void ZoomStep(double step);
    void ZoomIn() { ZoomStep(kFineZoomStep); }
    void ZoomOut() { ZoomStep(-kFineZoomStep); }
    void ZoomInByOne() { ZoomStep(kCoarseZoomStep); }
    void ZoomOutByOne() { ZoomStep(-kCoarseZoomStep); }
    // Sets the zoom to `factor` and refreshes.
    void ZoomTo(double factor);
    void ZoomTo100() { ZoomTo(1.0); }
    // Stretches or shrinks the decoded picture to the window.
    void ZoomToFit();
    // Shrinks to the window when the picture is larger, never enlarges.
    // With the modern zoom: the picture as turned, shrunk to the drawing
    // area as it is without scroll bars, or at 1.0 when it fits; and it
    // stays fitted (Fitted) until the zoom is changed by hand.
    void ApplyBestFit();
    // The zoom is best fit's and follows the window (modern zoom only).
    bool Fitted() const { return fitted; }

    // ---- moving pictures
    // A picture with frames plays once it is on screen (while the setting
    // says so); stepping away stops it at once. Null while nothing plays.
    const AnimationPlayer* Animation() const { return animation.get(); }
    // Pauses the picture playing, or plays the paused one on.
    void ToggleAnimationPause();
    // Pauses and shows the frame one after (`direction` > 0) or one before
    // the one on screen.
    void StepFrame(int direction);
    void NextFrame() { StepFrame(1); }
    void PreviousFrame() { StepFrame(-1); }
    // The steady clock the frames follow, in milliseconds (tests give their
    // own); std::chrono::steady_clock unless set.
    void SetClock(std::function<std::int64_t()> now) { clock = std::move(now); }

    // ---- scrolling
    // Back to the top-left corner with extents = the working copy's size.
    void ResetScrolling();
    // Offset = (x, y); with `redraw` the whole view is repainted, otherwise
    // the contents are scrolled by the difference.
    void ScrollTo(int x, int y, bool redraw);
    // Where the picture's top-left corner lies (picture coordinates): centred
    // on an axis where it is smaller than the client area, else 0.
    ViewPoint PicturePosition() const;
    // A line up or down (modern zoom only; otherwise nothing).
    void ScrollLineUp();
    void ScrollLineDown();

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
    // The next step a full period from now; the pointer is hidden again.
    void RestartSlideShowTimer();
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
    // A timer expired: the background load's timers look at the decode,
    // the list order's at the reading of its keys, the animation's puts the
    // next frame on screen; any other is the slide
    // show's (the next slide, unless a picture is still being decoded).
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
    void OnMouseWheel(int delta) { viewport.OnMouseWheel(delta); }
    // Any wheel: `deltaX` sideways (positive to the left), `deltaY` as for
    // OnMouseWheel, `keys` (ViewMouseKeys) held, the pointer at (x, y). With
    // the modern zoom Ctrl zooms keeping the point under the pointer, Shift
    // and the sideways wheel scroll sideways, all by screen distance;
    // otherwise only `deltaY` counts, as OnMouseWheel.
    void OnWheel(int deltaX, int deltaY, unsigned keys, int x, int y);
    // A scroll-bar action; `trackPosition` matters for the thumb actions.
    void OnScroll(ScrollAxis axis, ScrollAction action, int trackPosition)
    {
        viewport.OnScroll(axis, action, trackPosition);
    }
    // The system's settings changed: `newWheelLines` lines per wheel notch,
    // -1 for a page per notch.
    void OnSettingsChange(int newWheelLines) { viewport.OnSettingsChange(newWheelLines); }
    // Files were dropped on the view: the first one opens if it is a picture.
    void OnFilesDropped(const std::vector<std::string>& paths);

private:
    // A picture asked for is in the document: zoom, turns and mirrors start
    // anew, the initial zoom applies, the neighbours are decoded ahead, and
    // for a step the slide show and the cursor follow.
    void Show(const Navigator::Arrival& arrival);
    // The working copy made anew as zoom, turns and mirrors stand, the texts
    // rewritten and the picture repainted, the scrolling left alone: what
    // the picture needs to take its first look's place.
    void RefreshPicture();
    // The list came in another order: the position in the status text and
    // the neighbours decoded ahead follow.
    void ListReordered();
    // Moving pictures (view_animation.cpp): playing starts for the picture
    // on screen when it has frames, and stops (the frame on screen stays)
    // without waiting for the worker.
    void StartAnimation();
    void StopAnimation();
    void OnAnimationTimer();
    void PlaySettingChanged();
    // Puts a composed frame on screen, repainting only where the picture
    // lies.
    void ShowAnimationFrame(std::optional<ComposedFrame> shown);
    std::int64_t Now() const;
    // The working copy at `factor` with the picture point under (anchorX,
    // anchorY) kept in place.
    void ZoomKeeping(double factor, int anchorX, int anchorY);
    // The modern best fit's factor for the view as it is now; nothing for a
    // picture without area.
    std::optional<double> ViewFitZoom() const;
    // The modern best fit, applied now.
    void FitToView();
    // Whether the modern best fit follows the view's size and turns now.
    bool Refitting() const;
    // Fits again when the view's size asks for another factor; true when
    // it did (and so refreshed).
    bool Refit();
    // After a turn: fitted anew, or refreshed.
    void Turned();
    // The picture on screen has left its folder: the neighbour shows, or
    // another picture is asked for (and the frame closes without one).
    void MoveOnFromGone();
    void DrawFailureBox(ViewCanvas& canvas);
    void DrawOverlay(ViewCanvas& canvas);
    // Marks what changed on screen for repainting (see Screen); Repaint also
    // paints it at once.
    void MarkChanged();
    void Repaint();
    // Hands the colour setting and the display's profile to the decodes
    // (viewer/screen_colors.h); true when the picture on screen has to be
    // loaded again for them (view_colors.cpp).
    bool UpdateScreenColors();

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

    ViewerSettings settings;
    // Before the first ApplySettings the settings are not known, and the
    // decodes are left alone.
    bool settingsApplied = false;
    PxColorProfile displayProfile;
    ImageDocument document;
    Navigator navigator;
    Viewport viewport;
    SlideShow slideShow;

    bool fullScreen = false;
    bool keyRepeating = false;
    bool fitted = false;
    // Ctrl+wheel movement not yet turned into zoom steps.
    int zoomWheelAccumulator = 0;
    // A zoom that keeps a point: the anchor and what the view showed before,
    // for the refresh to scroll to.
    struct KeptPoint {
        int anchorX = 0;
        int anchorY = 0;
        std::int32_t offsetX = 0;
        std::int32_t offsetY = 0;
        std::int32_t width = 0;
        std::int32_t height = 0;
    };
    std::optional<KeptPoint> keep;
    ViewCursor savedCursor = ViewCursor::None;
    // What is on screen of a working copy that is not the decoded picture.
    ViewTiles tiles;
    Screen painted;

    std::unique_ptr<AnimationPlayer> animation;
    // Composers of stopped animations whose worker has not ended yet.
    std::vector<std::unique_ptr<FrameComposer>> retiring;
    bool framesInBackground = false;
    std::function<std::int64_t()> clock;
};

}  // namespace brelvix
