#include "viewer/slide_show.h"

#include <limits>

namespace brelvix {

int SlideShowPeriod(double seconds)
{
    const double milliseconds = seconds * 1000.0;
    if (!(milliseconds >= kMinimumSlideShowPeriod)) {
        return kMinimumSlideShowPeriod;
    }
    if (milliseconds >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(milliseconds);
}

SlideShow::SlideShow(ViewTimer& viewTimer, const ViewerSettings& viewerSettings)
    : timer(viewTimer), settings(viewerSettings)
{
}

void SlideShow::Start()
{
    running = true;
    Restart();
}

void SlideShow::Stop()
{
    running = false;
    timer.StopTimer(timerId);
}

void SlideShow::Restart()
{
    timer.StopTimer(timerId);
    timerId = timer.StartTimer(kSlideShowTimerId, Period());
}

}  // namespace brelvix
