// A small helper for the end-to-end test under Xvfb: writes the test picture
// and checks what the screen shows.
//
//   screen_probe write PATH    writes the 200 x 150 test picture as a BMP
//   screen_probe check         exit 0 when the screen shows that picture
//                              unscaled; otherwise prints why, exit 1
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 150;
const QRgb kBody = qRgb(30, 160, 70);
const QRgb kFirstRow = qRgb(250, 20, 20);
const QRgb kLastRow = qRgb(20, 20, 250);
const QRgb kLastColumn = qRgb(240, 220, 10);

QRgb Expected(int x, int y)
{
    if (y == 0) {
        return kFirstRow;
    }
    if (y == kHeight - 1) {
        return kLastRow;
    }
    return x == kWidth - 1 ? kLastColumn : kBody;
}

int Write(const char* path)
{
    QImage picture(kWidth, kHeight, QImage::Format_RGB888);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            picture.setPixel(x, y, Expected(x, y));
        }
    }
    return picture.save(QString::fromLocal8Bit(path), "BMP") ? 0 : 1;
}

int Check()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::puts("no screen");
        return 1;
    }
    const QImage shot = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    // The picture's top-left pixel: the first red pixel with red to its right
    // and green below.
    for (int y = 0; y + kHeight <= shot.height(); ++y) {
        for (int x = 0; x + kWidth <= shot.width(); ++x) {
            if (shot.pixel(x, y) != kFirstRow || shot.pixel(x, y + 1) != kBody) {
                continue;
            }
            for (int py = 0; py < kHeight; ++py) {
                for (int px = 0; px < kWidth; ++px) {
                    if (shot.pixel(x + px, y + py) != Expected(px, py)) {
                        std::printf("picture at %d,%d differs at its pixel %d,%d: %08x\n", x, y, px, py,
                                    unsigned(shot.pixel(x + px, y + py)));
                        return 1;
                    }
                }
            }
            std::printf("picture at %d,%d\n", x, y);
            return 0;
        }
    }
    std::puts("picture not on the screen");
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "write") == 0) {
        return Write(argv[2]);
    }
    if (argc == 2 && std::strcmp(argv[1], "check") == 0) {
        QGuiApplication application(argc, argv);
        return Check();
    }
    std::fputs("usage: screen_probe write PATH | check\n", stderr);
    return 2;
}
