// The slide show: whether it runs, and the timer that steps it.
//
// The view decides what a step shows and what the pointer looks like
// meanwhile (ImageView::ToggleSlideShow, RestartSlideShowTimer); this keeps
// the timer and its period.
#pragma once

#include "viewer/view_host.h"
#include "viewer/viewer_settings.h"

namespace brelvix {

// The id of the slide-show timer.
inline constexpr unsigned kSlideShowTimerId = 1;
// The shortest slide-show period in milliseconds.
inline constexpr int kMinimumSlideShowPeriod = 10;

// The timer period for a delay of `seconds`, in milliseconds: truncated, at
// least kMinimumSlideShowPeriod (a delay of 0, below or not a number can
// come only from the stored settings, and a zero period would step without
// pause), at most the largest int.
int SlideShowPeriod(double seconds);

class SlideShow {
public:
    // Both must outlive the slide show; the delay is read from `settings`
    // each time the timer is armed.
    SlideShow(ViewTimer& timer, const ViewerSettings& settings);

    bool Running() const { return running; }
    // The timer as the platform armed it (0 when none could be).
    unsigned TimerId() const { return timerId; }
    int Period() const { return SlideShowPeriod(settings.slideShowDelay); }

    // Starts the show, the first step one full period from now.
    void Start();
    void Stop();
    // The next step one full period from now (the show's state is not
    // looked at).
    void Restart();

private:
    ViewTimer& timer;
    const ViewerSettings& settings;
    bool running = false;
    unsigned timerId = 0;
};

}  // namespace brelvix
