#include "view_fakes.h"

#include <unistd.h>

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
    std::vector<std::uint8_t> out = Headers(width, height, fileSize);
    out.resize(std::max<std::size_t>(fileSize, 54), 0);
    return out;
}

std::unique_ptr<PxBitmap> WholeWorkingCopy(const ImageDocument& document)
{
    auto whole = std::make_unique<PxBitmap>();
    if (!document.RenderPart(0, 0, document.display.Width(), document.display.Height(), whole.get())) {
        whole->SetDimensions(document.display.Width(), document.display.Height(), 24);
    }
    return whole;
}

ViewFixture::ViewFixture()
{
    view.document.slideShowDelay = 5.0;
    view.document.fastForwardSkip = 20;
    view.document.backgroundColor = 0xFFFFFF;
    view.OnSize(800, 600);
}

void ViewFixture::ShowPicture(int width, int height)
{
    ImageDocument& document = view.document;
    document.decoded = std::make_unique<PxBitmap>();
    document.decoded->SetDimensions(width, height, 24);
    document.decoded->CreatePixelStore();
    document.loaded = true;
    document.zoom = 1.0;
    view.UpdateDisplay();
}

void ViewFixture::Resize(int clientWidth, int clientHeight)
{
    window.rect.right = window.rect.left + clientWidth + 4;
    window.rect.bottom = window.rect.top + clientHeight + 4;
    view.OnSize(clientWidth, clientHeight);
}

}  // namespace brelvix
