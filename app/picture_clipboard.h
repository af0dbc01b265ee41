// Copying the picture on screen, or its file's path, to the desktop's
// clipboard through Qt, so that every program can paste it.
//
// The picture goes on the clipboard as a PNG file (image/png), the image
// type every desktop program reads: upright and turned and mirrored as the
// view shows it, in the colours the view shows, at its full size, with its
// transparency. Turning a 100-megapixel picture into a PNG takes seconds, so
// it happens on a thread of its own: the window thread only copies the
// picture's store (a copy of memory, as fast as memory goes) and, once the
// PNG is ready, offers it. The clipboard then serves those bytes as they
// are: nothing is converted on the window's thread when a program pastes.
//
// A copy still being made is given up when another starts, when the path is
// copied, or when another program takes the clipboard meanwhile (what the
// user copied last wins).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "imaging/bitmap.h"

namespace brelvix::app {

class HandOff;

// How the view shows the picture: a quarter turns clockwise (0, 90, 180 or
// 270 degrees), then mirrored left-right, then top-bottom.
struct PictureTurn {
    std::int32_t rotation = 0;
    bool flipHorizontal = false;
    bool flipVertical = false;
};

// `picture` turned and mirrored as `turn` says, top-down: RGB888 without an
// alpha plane, ARGB32 (premultiplied when `premultiplied`) with one. A null
// image when `cancel` is set meanwhile or memory runs out. `picture` is
// changed: the turns work on it in place.
QImage ClipboardImage(PxBitmap& picture, const PictureTurn& turn, bool premultiplied, const std::atomic<bool>& cancel);

// `image` as a PNG file, written quickly rather than small; empty when
// `cancel` is set meanwhile (the writing stops at its next block).
QByteArray ClipboardPng(const QImage& image, const std::atomic<bool>& cancel);

// The clipboard's image type.
inline constexpr char kPngMimeType[] = "image/png";

class PictureClipboard : public QObject {
    Q_OBJECT

public:
    // `report` shows a short message to the user (the status bar).
    PictureClipboard(QObject* parent, std::function<void(const QString&)> report);
    // Gives up a copy in progress and waits for its thread, which stops
    // within a block of rows.
    ~PictureClipboard() override;

    // Starts copying `picture` shown as `turn`; false, with the user told,
    // when the picture cannot be copied (no memory). `premultiplied`: its
    // colours are multiplied by its alpha.
    bool CopyPicture(const PxBitmap& picture, const PictureTurn& turn, bool premultiplied);
    // Puts `path` (the file system's bytes) on the clipboard as text and as
    // a file:// address.
    void CopyPath(const std::string& path);

    // A copy of the picture is being made.
    bool Busy() const { return busy; }
    // Waits for the thread of the copy in progress (tests); its result is
    // offered on the next pass of the event loop.
    void WaitForThread();

signals:
    // The picture is on the clipboard, or the copy was given up.
    void Finished(bool copied);

private:
    void GiveUp();
    void Offer(std::uint64_t job, QByteArray png, QSize size);
    void OnClipboardChanged();

    std::function<void(const QString&)> report;
    std::shared_ptr<HandOff> handOff;
    std::uint64_t jobs = 0;
    bool busy = false;
    // Set while the frame itself changes the clipboard.
    bool offering = false;
    std::shared_ptr<std::atomic<bool>> cancel;
    std::thread worker;
};

}  // namespace brelvix::app
