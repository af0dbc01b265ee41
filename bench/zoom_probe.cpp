// Helper of bench/zoom_scroll.sh: the real frame and view on Qt's offscreen
// platform, a 1920 x 1080 window, one large photo.
//
//   zoom_probe PHOTO [RUNS]
//
// Prints, each a median of RUNS (default 9):
//   decode_ms   loading the photo (PxBitmap::CreateFromFile), the reference
//   zoom_ms     one Zoom In step from 390 % to 400 %, painted
//   scroll_ms   one line of scrolling down at 400 %, the strip that comes
//               into view painted
// and the peak resident memory (VmHWM) once the photo shows at 100 % and
// again after zooming to 400 % and scrolling across the whole picture, with
// the ratios the benchmark checks.
#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "app/view_widget.h"
#include "imaging/bitmap.h"
#include "viewer/image_view.h"

using namespace brelvix;
using namespace brelvix::app;

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <typename F>
double Milliseconds(F&& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long PeakKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// Runs what the event loop has queued, paints included.
void Settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: zoom_probe PHOTO [RUNS]\n", stderr);
        return 2;
    }
    const std::string photo = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    std::vector<double> decodes;
    for (int i = 0; i < runs; ++i) {
        PxBitmap bitmap;
        decodes.push_back(Milliseconds([&] { bitmap.CreateFromFile(photo.c_str()); }));
    }

    MainFrame frame;
    frame.setGeometry(0, 0, 1920, 1080);
    if (!frame.OpenFirstPicture(photo) || !frame.Image().Document().Loaded()) {
        std::fputs("the photo did not open\n", stderr);
        return 1;
    }
    Settle();
    frame.View()->RepaintNow();
    const long peakAt100 = PeakKilobytes();

    ImageView& view = frame.Image();
    // 1.0 + 30 steps of 0.1 is 4.000000000000002: 400 %.
    for (int step = 0; step < 29; ++step) {
        frame.ExecuteCommand(kCmdZoomIn);
    }
    Settle();
    std::vector<double> zooms;
    for (int i = 0; i < runs; ++i) {
        zooms.push_back(Milliseconds([&] {
            frame.ExecuteCommand(kCmdZoomIn);
            Settle();
        }));
        frame.ExecuteCommand(kCmdZoomOut);
        Settle();
    }
    frame.ExecuteCommand(kCmdZoomIn);
    Settle();
    std::printf("zoom %d%%, working copy %d x %d\n", int(view.Geometry().Zoom() * 100),
                view.Document().Display().Width(), view.Document().Display().Height());

    // Line by line down the left edge, then across: every line brings a
    // strip of the picture into view that was never on screen.
    std::vector<double> scrolls;
    const auto scrollAcross = [&](ScrollAxis axis, bool timed) {
        for (;;) {
            const int before = axis == ScrollAxis::Vertical ? view.Geometry().OffsetY() : view.Geometry().OffsetX();
            const double ms = Milliseconds([&] {
                view.OnScroll(axis, ScrollAction::LineDown, 0);
                Settle();
            });
            if ((axis == ScrollAxis::Vertical ? view.Geometry().OffsetY() : view.Geometry().OffsetX()) == before) {
                break;
            }
            if (timed) {
                scrolls.push_back(ms);
            }
        }
    };
    scrollAcross(ScrollAxis::Vertical, true);
    scrollAcross(ScrollAxis::Horizontal, false);
    view.OnScroll(ScrollAxis::Vertical, ScrollAction::Top, 0);
    Settle();
    scrollAcross(ScrollAxis::Vertical, false);
    const long peakAfter = PeakKilobytes();

    const double decode = Median(decodes);
    const double zoom = Median(zooms);
    const double scroll = Median(scrolls);
    std::printf("decode_ms=%.1f zoom_ms=%.1f scroll_ms=%.1f (%zu lines) peak_100_kb=%ld peak_400_kb=%ld\n", decode,
                zoom, scroll, scrolls.size(), peakAt100, peakAfter);
    std::printf("zoom step / decode %.3f (target <= 0.10) %s\n", zoom / decode, zoom <= 0.1 * decode ? "ok" : "SLOW");
    std::printf("line scroll / decode %.3f (target <= 0.10) %s\n", scroll / decode,
                scroll <= 0.1 * decode ? "ok" : "SLOW");
    std::printf("peak memory 400 %% / 100 %% %.3f (target <= 1.20) %s\n", double(peakAfter) / double(peakAt100),
                peakAfter <= 1.2 * double(peakAt100) ? "ok" : "LARGE");
    return 0;
}
