// What the view draws and writes: background bands, the picture, the failure
// box, the full-screen overlay, the title and the status text.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <string>

#include "viewer/image_view.h"

namespace brelvix {

namespace {

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, arguments);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(arguments);
    return text;
}

// The zoom as a whole percentage, truncated (0.29 shows 28).
int Percentage(double zoom)
{
    const double percent = zoom * 100.0;
    if (!(percent == percent)) {
        return 0;
    }
    if (percent >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (percent <= static_cast<double>(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(percent);
}

// Kilobytes truncated toward zero: an unreadable size (-1) is 0 Kb.
long long Kilobytes(std::int64_t bytes)
{
    return static_cast<long long>(bytes / 1024);
}

// The picture's place in the list, counted from 1. A picture that is not in
// the list (a file given by a path the folder scan does not list, or a list
// that could not be read) has no place: "-" rather than a number beyond the
// count.
std::string Position(const FileList& files)
{
    if (!files.Holds(files.CurrentIndex())) {
        return "-";
    }
    return std::to_string(std::int64_t{files.CurrentIndex()} + 1);
}

}  // namespace

std::string ImageView::TitleText() const
{
    return document.Path() + " - Brelvix";
}

std::string ImageView::StatusText() const
{
    const FileList& files = navigator.Files();
    std::string text =
        Format(" File %s of %d    Dimensions: %d x %d    Size: %lld Kb    Zoom: %d%%", Position(files).c_str(),
               static_cast<int>(files.Count()), document.DecodedWidth(), document.DecodedHeight(),
               Kilobytes(platform::FileSizeOf(document.Path())), Percentage(viewport.Zoom()));
    if (slideShow.Running()) {
        text += Format("     Slideshow (delay %3.2f s)", settings.slideShowDelay);
    }
    if (const std::string reason = PxLoadErrorText(document.LoadError()); !reason.empty()) {
        text += "    " + reason;
    }
    return text;
}

void ImageView::UpdateStatusText()
{
    frame.SetTitle(TitleText());
    frame.SetStatusText(StatusText());
}

std::vector<std::string> ImageView::OverlayLines() const
{
    const std::int64_t bytes = platform::FileSizeOf(document.Path());
    const FileList& files = navigator.Files();
    std::vector<std::string> lines = {
        document.Path(),
        Format("File %s of %d", Position(files).c_str(), static_cast<int>(files.Count())),
        Format("Size: %d x %d (%d%%)", document.Display().Width(), document.Display().Height(),
               Percentage(viewport.Zoom())),
        Format("File size: %lld Kb (%lld bytes)", Kilobytes(bytes), static_cast<long long>(bytes)),
    };
    if (slideShow.Running()) {
        lines.push_back(Format("Slideshow (delay %3.1f s)", settings.slideShowDelay));
    }
    return lines;
}

std::uint32_t ImageView::OverlayTextColor() const
{
    const std::uint32_t colour = settings.backgroundColor;
    const std::uint32_t red = colour & 0xFF;
    const std::uint32_t green = (colour >> 8) & 0xFF;
    const std::uint32_t blue = (colour >> 16) & 0xFF;
    return (red >= 100 || green >= 100 || blue >= 100) ? kBlack : kWhite;
}

// The bands around the picture are filled in client coordinates, and the
// picture's own rectangle is left alone so that it does not flicker. With
// bx = (cw - dw) / 2 free columns on the left, the right band starts at
// cw - bx - 1: one column further in, which covers the odd column when the
// free space is odd (when it is even, that column lies under the picture,
// which is drawn over it). Rows likewise. When the picture is larger than
// the client area on an axis, bx or by is negative and those bands are empty.
void ImageView::EraseBackground(ViewCanvas& canvas)
{
    const int cw = viewport.ClientWidth();
    const int ch = viewport.ClientHeight();
    const std::uint32_t colour = settings.backgroundColor;
    if (!document.Loaded()) {
        canvas.FillRect(0, 0, cw, ch, colour);
        return;
    }
    const int bx = (cw - document.Display().Width()) / 2;
    const int by = (ch - document.Display().Height()) / 2;
    canvas.FillRect(0, 0, bx, ch, colour);
    canvas.FillRect(0, 0, cw, by, colour);
    canvas.FillRect(0, ch - by - 1, cw, ch, colour);
    canvas.FillRect(cw - bx - 1, 0, cw, ch, colour);
}

void ImageView::Paint(ViewCanvas& canvas)
{
    if (document.Loaded()) {
        // The working copy's (0, 0) lies at (x, y) in the client area; the
        // client area shows its part from (-x, -y) on.
        const ViewPoint at = PicturePosition();
        const int x = at.x - viewport.OffsetX();
        const int y = at.y - viewport.OffsetY();
        if (document.WorkingCopyIsDecoded()) {
            // The canvas copies only what the paint exposes.
            tiles.Clear();
            document.Decoded()->Draw(&canvas, x, y, kPxSourceCopy);
        } else {
            tiles.Draw(document, canvas, x, y, -x, -y, viewport.ClientWidth() - x, viewport.ClientHeight() - y);
        }
    } else if (!document.Path().empty()) {
        // (Before the first picture is done there is nothing to report.)
        DrawFailureBox(canvas);
    }
    if (fullScreen && settings.showInfoInFullScreen) {
        DrawOverlay(canvas);
    }
    painted = ScreenNow();
}

// The box is centred in the window's outer size and, like everything
// painted, moves with the scroll offset (which a failed load leaves as the
// previous picture had it).
void ImageView::DrawFailureBox(ViewCanvas& canvas)
{
    const ViewRect outer = window.WindowRect();
    const ViewSize message = canvas.TextExtent(kCannotDisplayText);
    const ViewSize name = canvas.TextExtent(document.Path());
    const int boxWidth = std::max(message.width, name.width) + 30;
    const int boxHeight = message.height + name.height + 15;
    const int left = (outer.Width() - boxWidth) / 2 - viewport.OffsetX();
    const int top = (outer.Height() - boxHeight) / 2 - viewport.OffsetY();
    canvas.FrameRect(left, top, left + boxWidth, top + boxHeight);
    canvas.DrawText(left + 15, top + 6, kCannotDisplayText, kBlack);
    canvas.DrawText(left + 15, top + message.height + 9, document.Path(), kBlack);
}

void ImageView::DrawOverlay(ViewCanvas& canvas)
{
    const std::uint32_t colour = OverlayTextColor();
    int y = 5;
    for (const std::string& line : OverlayLines()) {
        canvas.DrawText(5 - viewport.OffsetX(), y - viewport.OffsetY(), line, colour);
        y += 12;
    }
}

}  // namespace brelvix
