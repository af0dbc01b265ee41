// Recording stand-ins for the window and the paint surface, and small
// picture files, for driving ImageView without a toolkit.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/pixels.h"
#include "support/temp_dir.h"
#include "viewer/image_view.h"

namespace brelvix {

class FakeWindow : public ViewWindow {
public:
    ViewRect rect{100, 50, 904, 654};  // 804 x 604

    ScrollBarInfo bars[2];  // Horizontal, Vertical
    std::vector<std::pair<int, int>> scrolled;
    int invalidations = 0;
    std::vector<ViewRect> parts;  // of InvalidateRect, in order
    int updates = 0;
    ViewCursor cursor = ViewCursor::None;
    std::vector<ViewCursor> cursorHistory;

    const ScrollBarInfo& Bar(ScrollAxis axis) const { return bars[axis == ScrollAxis::Horizontal ? 0 : 1]; }
    static bool Shows(const ScrollBarInfo& bar) { return bar.page <= bar.maximum - bar.minimum; }

    ViewRect WindowRect() const override { return rect; }
    void SetScrollBar(ScrollAxis axis, const ScrollBarInfo& info, bool) override { BarOf(axis) = info; }
    void SetScrollPosition(ScrollAxis axis, int position, bool) override { BarOf(axis).position = position; }
    void ScrollContents(int dx, int dy) override { scrolled.emplace_back(dx, dy); }
    void Invalidate(bool) override { ++invalidations; }
    void InvalidateRect(const ViewRect& part) override
    {
        ++invalidations;
        parts.push_back(part);
    }
    void UpdateNow() override { ++updates; }
    ViewCursor SetCursor(ViewCursor next) override;

private:
    ScrollBarInfo& BarOf(ScrollAxis axis) { return bars[axis == ScrollAxis::Horizontal ? 0 : 1]; }
};

class FakeTimer : public ViewTimer {
public:
    std::map<unsigned, int> running;  // id -> period
    std::vector<int> periods;         // every start, in order

    unsigned StartTimer(unsigned id, int milliseconds) override;
    void StopTimer(unsigned id) override { running.erase(id); }
};

class FakeFrame : public ViewFrame {
public:
    bool bestFit = false;

    std::string title;
    std::string status;
    int fullScreenToggles = 0;
    bool slideShowChecked = false;
    std::vector<std::pair<int, int>> contextMenus;
    int closeRequests = 0;

    void SetTitle(const std::string& text) override { title = text; }
    void SetStatusText(const std::string& text) override { status = text; }
    bool BestFitSetting() const override { return bestFit; }
    void ToggleFullScreen() override { ++fullScreenToggles; }
    void SetSlideShowChecked(bool checked) override { slideShowChecked = checked; }
    void ShowContextMenu(int x, int y) override { contextMenus.emplace_back(x, y); }
    void RequestClose() override { ++closeRequests; }
};

class FakeShell : public ViewShell {
public:
    // Answers of the Open dialog, used in order; an empty queue cancels.
    std::deque<std::string> dialogAnswers;
    // Answer of the trash; on Done the file is removed, as a move would.
    TrashResult trashAnswer = TrashResult::Done;

    std::vector<OpenFileDialogRequest> dialogs;
    std::vector<std::string> trashed;

    bool ChooseFile(const OpenFileDialogRequest& request, std::string* chosen) override;
    TrashResult MoveToTrash(const std::string& path) override;
};

class FakeCanvas : public ViewCanvas {
public:
    struct Fill {
        int left, top, right, bottom;
        std::uint32_t colour;
        bool operator==(const Fill&) const = default;
    };
    struct Text {
        int x, y;
        std::string text;
        std::uint32_t colour;
        bool operator==(const Text&) const = default;
    };
    struct Blit {
        int x, y, width, height;
        bool operator==(const Blit&) const = default;
    };

    // Text sizes: listed texts measure as given, others 7 pixels a character
    // by 13.
    std::map<std::string, ViewSize> extents;

    std::vector<Fill> fills;
    std::vector<ViewRect> frames;
    std::vector<Text> texts;
    std::vector<Blit> blits;

    void FillRect(int left, int top, int right, int bottom, std::uint32_t colour) override
    {
        fills.push_back({left, top, right, bottom, colour});
    }
    void FrameRect(int left, int top, int right, int bottom) override { frames.push_back({left, top, right, bottom}); }
    void DrawText(int x, int y, const std::string& text, std::uint32_t colour) override
    {
        texts.push_back({x, y, text, colour});
    }
    ViewSize TextExtent(const std::string& text) override;
    int DrawPixels(int x, int y, int width, int height, const std::uint8_t*, std::int32_t, std::uint32_t) override
    {
        blits.push_back({x, y, width, height});
        return 1;
    }
};

// The whole working copy of `document`, made the way the view makes its
// parts; a bitmap without a store when there are no pixels to make.
std::unique_ptr<PxBitmap> WholeWorkingCopy(const ImageDocument& document);

// Only the header of a 24-bit BMP, then zeros up to `fileSize` bytes: enough
// for the loader, which reads missing pixel data as black.
std::vector<std::uint8_t> Bmp24Header(int width, int height, std::size_t fileSize = 54);

// "stem" + number + extension ("p101.bmp"); built by appending, which
// keeps GCC 12's -Wrestrict quiet at -O3.
std::string NumberedName(const std::string& stem, int number, const std::string& extension);

// The file of a 24-bit BMP holding `picture`'s pixels as they are.
std::vector<std::uint8_t> BmpOf(const PxBitmap& picture);

// A view with its fakes, a client area of 800 x 600 in a window of 804 x
// 604, and the frame's defaults (delay 5.0, skip 20, white background,
// pictures turned upright).
struct ViewFixture {
    FakeWindow window;
    FakeTimer timer;
    FakeFrame frame;
    FakeShell shell;
    ImageView view{window, timer, frame, shell};
    // The pictures ShowPicture writes.
    TempDir shown;
    int pictures = 0;

    ViewFixture();
    // Opens a picture of the size (black pixels), or `picture`, from a file
    // of its own (no list), and returns the file's path.
    std::string ShowPicture(int width, int height);
    std::string ShowPicture(const PxBitmap& picture);
    void Resize(int clientWidth, int clientHeight);
    // Changes one of the view's settings as the frame would.
    template <typename T, typename V>
    void Set(T ViewerSettings::*field, const V& value)
    {
        ViewerSettings settings = view.Settings();
        settings.*field = value;
        view.ApplySettings(settings);
    }
};

// Runs the view's load timer, as the window would, until `done`; false when
// it never is (a minute).
inline bool PollUntil(ViewFixture& f, const std::function<bool()>& done)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        f.view.OnTimer(kLoadPollTimerId);
    }
    return done();
}

}  // namespace brelvix
