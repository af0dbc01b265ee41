#include "view_fakes.h"

#include <unistd.h>

#include <algorithm>
#include <memory>

namespace brelvix {

ViewCursor FakeWindow::SetCursor(ViewCursor next)
{
    const ViewCursor replaced = cursor;
    cursor = next;
    cursorHistory.push_back(next);
    return replaced;
}

unsigned FakeTimer::StartTimer(unsigned id, int milliseconds)
{
    running[id] = milliseconds;
    periods.push_back(milliseconds);
    return id;
}

bool FakeShell::ChooseFile(const OpenFileDialogRequest& request, std::string* chosen)
{
    dialogs.push_back(request);
    if (dialogAnswers.empty()) {
        return false;
    }
    *chosen = dialogAnswers.front();
    dialogAnswers.pop_front();
    return true;
}

TrashResult FakeShell::MoveToTrash(const std::string& path)
{
    trashed.push_back(path);
    if (trashAnswer == TrashResult::Done) {
        ::unlink(path.c_str());
    }
    return trashAnswer;
}

ViewSize FakeCanvas::TextExtent(const std::string& text)
{
    const auto known = extents.find(text);
    if (known != extents.end()) {
        return known->second;
    }
    return {static_cast<int>(7 * text.size()), 13};
}

namespace {

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value)
{
    out[at] = static_cast<std::uint8_t>(value);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value)
{
    Put16(out, at, value & 0xFFFF);
    Put16(out, at + 2, value >> 16);
}

// File header (14 bytes) and the 40-byte information header of an
// uncompressed 24-bit, bottom-up picture whose pixels start at byte 54.
std::vector<std::uint8_t> Headers(int width, int height, std::size_t fileSize)
{
    std::vector<std::uint8_t> out(54, 0);
    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, static_cast<std::uint32_t>(fileSize));  // file size
    Put32(out, 10, 54);                                   // pixel offset
    Put32(out, 14, 40);                                   // information header size
    Put32(out, 18, static_cast<std::uint32_t>(width));
    Put32(out, 22, static_cast<std::uint32_t>(height));  // positive: bottom-up
    Put16(out, 26, 1);                                   // planes
    Put16(out, 28, 24);                                  // bits per pixel
    Put32(out, 30, 0);                                   // no compression
    Put32(out, 38, 2835);                                // 72 dpi
    Put32(out, 42, 2835);
    return out;
}

}  // namespace

std::vector<std::uint8_t> Bmp24Header(int width, int height, std::size_t fileSize)
{
    // Made at its whole size first: growing it afterwards trips a false
    // out-of-bounds warning of GCC 12 at -O3.
    std::vector<std::uint8_t> out(std::max<std::size_t>(fileSize, 54), 0);
    const std::vector<std::uint8_t> headers = Headers(width, height, fileSize);
    std::copy(headers.begin(), headers.end(), out.begin());
    return out;
}

std::unique_ptr<PxBitmap> WholeWorkingCopy(const ImageDocument& document)
{
    auto whole = std::make_unique<PxBitmap>();
    if (!document.RenderPart(0, 0, document.Display().Width(), document.Display().Height(), whole.get())) {
        whole->SetDimensions(document.Display().Width(), document.Display().Height(), 24);
    }
    return whole;
}

std::string NumberedName(const std::string& stem, int number, const std::string& extension)
{
    std::string name = stem;
    name.append(std::to_string(number));
    name.append(extension);
    return name;
}

std::vector<std::uint8_t> BmpOf(const PxBitmap& picture)
{
    // The store's rows are a bottom-up BMP's: blue, green, red, padded to 4.
    const std::size_t bytes = static_cast<std::size_t>(picture.Stride()) * static_cast<std::size_t>(picture.Height());
    std::vector<std::uint8_t> file = Bmp24Header(picture.Width(), picture.Height(), 54 + bytes);
    if (picture.Pixels() != nullptr) {
        std::copy(picture.Pixels(), picture.Pixels() + bytes, file.begin() + 54);
    }
    return file;
}

ViewFixture::ViewFixture()
{
    ViewerSettings settings;
    settings.slideShowDelay = 5.0;
    settings.fastForwardSkip = 20;
    settings.backgroundColor = 0xFFFFFF;
    settings.applyOrientation = true;
    view.ApplySettings(settings);
    view.OnSize(800, 600);
}

std::string ViewFixture::ShowPicture(int width, int height)
{
    const std::string path = shown.Write(NumberedName("shown", ++pictures, ".bmp"), Bmp24Header(width, height));
    view.OpenImage(path, false);
    return path;
}

std::string ViewFixture::ShowPicture(const PxBitmap& picture)
{
    const std::string path = shown.Write(NumberedName("shown", ++pictures, ".bmp"), BmpOf(picture));
    view.OpenImage(path, false);
    return path;
}

void ViewFixture::Resize(int clientWidth, int clientHeight)
{
    window.rect.right = window.rect.left + clientWidth + 4;
    window.rect.bottom = window.rect.top + clientHeight + 4;
    view.OnSize(clientWidth, clientHeight);
}

}  // namespace brelvix
