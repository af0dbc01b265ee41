#include "app/picture_clipboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>
#include <QMimeData>
#include <QUrl>
#include <utility>

#include "app/hand_off.h"
#include "app/main_frame.h"
#include "app/view_widget.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

// Rows between two looks at the cancel flag.
constexpr int kRowsPerLook = 64;

// A buffer that refuses to be written once the copy is given up: the PNG
// writer then fails at its next block instead of finishing a picture no one
// will paste.
class CancellableBuffer : public QBuffer {
public:
    CancellableBuffer(QByteArray* bytes, const std::atomic<bool>& cancelFlag) : QBuffer(bytes), cancel(cancelFlag) {}

protected:
    qint64 writeData(const char* data, qint64 length) override
    {
        if (cancel.load(std::memory_order_relaxed)) {
            return -1;
        }
        return QBuffer::writeData(data, length);
    }

private:
    const std::atomic<bool>& cancel;
};

// Replaces `picture` by the result of `transform` into a new bitmap.
template <typename Transform>
bool TransformInPlace(PxBitmap& picture, Transform transform)
{
    PxBitmap result;
    if (transform(&result) != 0 || result.Pixels() == nullptr) {
        return false;
    }
    picture.MoveFrom(result);
    return true;
}

}  // namespace

QImage ClipboardImage(PxBitmap& picture, const PictureTurn& turn, bool premultiplied, const std::atomic<bool>& cancel)
{
    const std::int32_t quarter = ((turn.rotation / 90) % 4 + 4) % 4;
    if (quarter != 0 && !TransformInPlace(picture, [&](PxBitmap* out) { return picture.Rotate(quarter, out); })) {
        return {};
    }
    if (turn.flipHorizontal && !TransformInPlace(picture, [&](PxBitmap* out) { return picture.Flip(false, out); })) {
        return {};
    }
    if (turn.flipVertical && !TransformInPlace(picture, [&](PxBitmap* out) { return picture.Flip(true, out); })) {
        return {};
    }
    const int width = picture.Width();
    const int height = picture.Height();
    if (picture.Pixels() == nullptr || width <= 0 || height <= 0) {
        return {};
    }
    const bool alpha = picture.HasAlpha();
    QImage image(width, height,
                 alpha ? (premultiplied ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32)
                       : QImage::Format_RGB888);
    if (image.isNull()) {
        return {};
    }
    const std::int64_t stride = picture.Stride();
    for (int y = 0; y < height; ++y) {
        if (y % kRowsPerLook == 0 && cancel.load(std::memory_order_relaxed)) {
            return {};
        }
        // The store's rows run bottom-up, blue, green, red.
        const std::int64_t row = height - 1 - y;
        const std::uint8_t* source = picture.Pixels() + row * stride;
        if (alpha) {
            const std::uint8_t* opacity = picture.Alpha() + row * width;
            auto* destination = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* pixel = source + 3 * x;
                destination[x] = (QRgb(opacity[x]) << 24) | (QRgb(pixel[2]) << 16) | (QRgb(pixel[1]) << 8) | pixel[0];
            }
        } else {
            std::uint8_t* destination = image.scanLine(y);
            for (int x = 0; x < width; ++x) {
                destination[3 * x] = source[3 * x + 2];
                destination[3 * x + 1] = source[3 * x + 1];
                destination[3 * x + 2] = source[3 * x];
            }
        }
    }
    return image;
}

QByteArray ClipboardPng(const QImage& image, const std::atomic<bool>& cancel)
{
    QByteArray bytes;
    CancellableBuffer buffer(&bytes, cancel);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly)) {
        return {};
    }
    QImageWriter writer(&buffer, "png");
    // Qt's PNG quality 80 is zlib's level 1: several times faster than the
    // default for a file a little larger, which only travels to the pasting
    // program.
    writer.setQuality(80);
    if (!writer.write(image) || cancel.load()) {
        return {};
    }
    return bytes;
}

PictureClipboard::PictureClipboard(QObject* parent, std::function<void(const QString&)> reporter)
    : QObject(parent), report(std::move(reporter)), handOff(std::make_shared<HandOff>(this))
{
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &PictureClipboard::OnClipboardChanged);
}

PictureClipboard::~PictureClipboard()
{
    handOff->Close();
    if (cancel) {
        cancel->store(true);
    }
    WaitForThread();
}

void PictureClipboard::WaitForThread()
{
    if (worker.joinable()) {
        worker.join();
    }
}

void PictureClipboard::GiveUp()
{
    if (cancel) {
        cancel->store(true);
    }
    if (busy) {
        busy = false;
        emit Finished(false);
    }
}

bool PictureClipboard::CopyPicture(const PxBitmap& picture, const PictureTurn& turn, bool premultiplied)
{
    GiveUp();
    // The thread of a copy given up stops within a block of rows.
    WaitForThread();
    // The picture on screen may go while the thread works: it works on a
    // copy. This memory copy is all the window's thread does.
    auto copy = std::make_shared<PxBitmap>();
    copy->CopyFrom(picture);
    if (copy->Pixels() == nullptr || (picture.HasAlpha() && !copy->HasAlpha())) {
        report(QStringLiteral("There is not enough memory to copy the picture"));
        return false;
    }
    const std::uint64_t job = ++jobs;
    cancel = std::make_shared<std::atomic<bool>>(false);
    busy = true;
    report(QStringLiteral("Copying the picture..."));
    worker = std::thread([copy, turn, premultiplied, job, stop = cancel, hand = handOff, self = this]() mutable {
        QImage image = ClipboardImage(*copy, turn, premultiplied, *stop);
        copy.reset();
        const QSize size = image.size();
        QByteArray png = ClipboardPng(image, *stop);
        image = QImage();
        hand->Post([self, job, png = std::move(png), size]() mutable { self->Offer(job, std::move(png), size); });
    });
    return true;
}

void PictureClipboard::Offer(std::uint64_t job, QByteArray png, QSize size)
{
    if (job != jobs || !busy) {
        return;
    }
    busy = false;
    if (png.isEmpty()) {
        report(QStringLiteral("The picture could not be copied"));
        emit Finished(false);
        return;
    }
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kPngMimeType), png);
    offering = true;
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    offering = false;
    report(QStringLiteral("Copied the picture (%1 x %2) to the clipboard").arg(size.width()).arg(size.height()));
    emit Finished(true);
}

void PictureClipboard::CopyPath(const std::string& path)
{
    GiveUp();
    const QString name = DecodeName(path);
    auto* data = new QMimeData;
    data->setText(name);
    data->setUrls({QUrl::fromLocalFile(name)});
    offering = true;
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    offering = false;
    report(QStringLiteral("Copied the path to the clipboard"));
}

void PictureClipboard::OnClipboardChanged()
{
    // Another program's copy after the user's Ctrl+C is newer: it stays.
    if (!offering && busy) {
        GiveUp();
        report(QStringLiteral("The clipboard changed; the picture was not copied"));
    }
}

// ---- the frame's commands

void MainFrame::CopyPicture()
{
    const ImageView& image = Image();
    const PxBitmap* picture = image.Document().Decoded();
    if (!image.Document().Loaded() || picture == nullptr || picture->Pixels() == nullptr) {
        ShowPassingMessage(QStringLiteral("There is no picture to copy"));
        return;
    }
    const ViewTransform& shown = image.Geometry().Transform();
    clipboard->CopyPicture(*picture, {shown.rotation, shown.flipHorizontal, shown.flipVertical},
                           picture->Meta().alphaPremultiplied);
}

void MainFrame::CopyPath()
{
    const std::string& path = Image().Document().Path();
    if (path.empty()) {
        ShowPassingMessage(QStringLiteral("There is no file to copy the path of"));
        return;
    }
    clipboard->CopyPath(path);
}

}  // namespace brelvix::app
