// Reads the X server's clipboard as another program pasting would, and
// photographs the screen, for the end-to-end tests under Xvfb.
//
//   clipboard_probe image     the clipboard's PNG picture as "W H CORNER": its
//                             size and the corner holding the red mark of
//                             screen_probe's marked picture (TL, TR, BL, BR,
//                             or "-" when no corner holds it exactly);
//                             "none" when the clipboard holds no PNG
//   clipboard_probe text      the clipboard's text on one line, then each
//                             of its addresses on a line of its own
//   clipboard_probe shot PATH  writes a screenshot as a PNG file
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPixmap>
#include <QScreen>
#include <QUrl>
#include <cstdio>
#include <cstring>

namespace {

const QRgb kMark = qRgb(233, 29, 41);

int PrintImage()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    const QImage image = data != nullptr ? QImage::fromData(data->data(QStringLiteral("image/png")), "PNG") : QImage();
    if (image.isNull()) {
        std::puts("none");
        return 0;
    }
    const int right = image.width() - 1;
    const int bottom = image.height() - 1;
    const struct {
        const char* name;
        int x;
        int y;
    } corners[] = {{"TL", 0, 0}, {"TR", right, 0}, {"BL", 0, bottom}, {"BR", right, bottom}};
    const char* marked = "-";
    for (const auto& corner : corners) {
        if ((image.pixel(corner.x, corner.y) & 0xffffff) == (kMark & 0xffffff)) {
            marked = corner.name;
        }
    }
    std::printf("%d %d %s\n", image.width(), image.height(), marked);
    return 0;
}

int PrintText()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr) {
        return 1;
    }
    std::printf("%s\n", data->text().toLocal8Bit().constData());
    for (const QUrl& url : data->urls()) {
        std::printf("%s\n", url.toString(QUrl::FullyEncoded).toLocal8Bit().constData());
    }
    return 0;
}

int Shoot(const char* path)
{
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    return shot.save(QString::fromLocal8Bit(path), "PNG") ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "image") == 0) {
        return PrintImage();
    }
    if (argc == 2 && std::strcmp(argv[1], "text") == 0) {
        return PrintText();
    }
    if (argc == 3 && std::strcmp(argv[1], "shot") == 0) {
        return Shoot(argv[2]);
    }
    std::fprintf(stderr, "usage: clipboard_probe image | text | shot PATH\n");
    return 2;
}
