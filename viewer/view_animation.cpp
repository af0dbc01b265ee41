// Moving pictures on screen: starting and stopping them with the picture,
// their frames through the same working copy as a still picture, pausing
// and stepping by hand.
#include <algorithm>
#include <chrono>

#include "imaging/format_detect.h"
#include "viewer/image_view.h"

namespace brelvix {

namespace {

// The formats that can hold frames; other pictures never start a composer.
bool CanMove(std::int32_t format)
{
    switch (format) {
        case kPxFormatGIF:
        case kPxFormatPNG:
        case kPxFormatWebP:
        case kPxFormatJXL:
        case kPxFormatAVIF:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::int64_t ImageView::Now() const
{
    if (clock) {
        return clock();
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void ImageView::StartAnimation()
{
    std::erase_if(retiring, [](const std::unique_ptr<FrameComposer>& composer) { return composer->Ended(); });
    const PxBitmap* picture = document.Decoded();
    if (animation != nullptr || !settings.playAnimations || !document.Loaded() || picture == nullptr ||
        !CanMove(picture->FormatId())) {
        return;
    }
    FrameComposer::Options options;
    // Each frame is turned as the still picture of the file was.
    options.upright = settings.applyOrientation;
    options.threaded = framesInBackground;
    animation = std::make_unique<AnimationPlayer>(document.Path(), options, timer);
    OnAnimationTimer();
}

// The worker may be inside a library call that a cancel cannot enter; it is
// left to end by itself, so the next picture does not wait for it.
void ImageView::StopAnimation()
{
    if (animation == nullptr) {
        return;
    }
    std::unique_ptr<FrameComposer> composer = animation->Retire();
    animation.reset();
    if (composer != nullptr && !composer->Ended()) {
        retiring.push_back(std::move(composer));
    }
}

void ImageView::OnAnimationTimer()
{
    if (animation == nullptr) {
        timer.StopTimer(kAnimationTimerId);
        return;
    }
    std::optional<ComposedFrame> shown = animation->Tick(Now());
    if (animation->Still()) {
        // One frame after all: the still on screen is all there is.
        StopAnimation();
        return;
    }
    ShowAnimationFrame(std::move(shown));
}

void ImageView::ShowAnimationFrame(std::optional<ComposedFrame> shown)
{
    if (!shown || shown->picture == nullptr) {
        return;
    }
    if (!document.ShowFrame(*shown->picture)) {
        // Frames of another size than the still picture: a file the still
        // decoder and the frame reader see differently plays no further.
        StopAnimation();
        return;
    }
    // It now holds the frame before, whose memory the next frame reuses.
    animation->Recycle(std::move(shown->picture));
    frame.SetStatusText(StatusText());
    // The frame covers exactly the picture's place: the bands around it
    // stay as they are.
    const ViewRect place = ScreenNow().picture;
    if (place.Width() > 0 && place.Height() > 0) {
        window.InvalidateRect(place);
        window.UpdateNow();
    }
}

void ImageView::PlaySettingChanged()
{
    if (settings.playAnimations) {
        StartAnimation();
        return;
    }
    StopAnimation();
    // Back to the first frame as the file decodes, which every other
    // picture shows too.
    if (document.ShowsFrame()) {
        OpenImage(document.Path(), false);
    } else {
        UpdateStatusText();
    }
}

void ImageView::ToggleAnimationPause()
{
    if (animation == nullptr || !animation->Started()) {
        return;
    }
    if (animation->Paused()) {
        animation->Resume(Now());
    } else {
        animation->Pause(Now());
    }
    frame.SetStatusText(StatusText());
}

void ImageView::StepFrame(int direction)
{
    if (animation == nullptr || !animation->Started()) {
        return;
    }
    std::optional<ComposedFrame> shown = animation->Step(direction, Now());
    if (shown) {
        ShowAnimationFrame(std::move(shown));
    } else {
        frame.SetStatusText(StatusText());
    }
}

}  // namespace brelvix
