// A small helper for the end-to-end tests under Xvfb: writes the test
// pictures and checks what the screen shows.
//
//   screen_probe write PATH    writes the 200 x 150 test picture as a BMP
//   screen_probe check         exit 0 when the screen shows that picture
//                              unscaled; otherwise prints why, exit 1
//   screen_probe marked PATH   writes a 120 x 80 green picture with a red
//                              20 x 20 mark in its top-left corner as a BMP
//   screen_probe look          prints where the marked picture shows, however
//                              zoomed, turned or mirrored: "W H CORNER X Y INK"
//                              (its size, the corner holding the mark: TL, TR,
//                              BL or BR, its top-left corner on the screen, and
//                              how many dark pixels the screen's top-left
//                              300 x 70 holds, where the full-screen
//                              information text goes); "none" when it is not
//                              on the screen
//   screen_probe slow PATH     writes a 4000 x 3000 JPEG of fine noise, a
//                              picture that takes a while to decode
//   screen_probe spot PATH     writes a 1600 x 1200 picture of the marked
//                              picture's body with a 100 x 100 mark whose
//                              top-left corner is at 1000, 700, as a BMP
//   screen_probe mark          prints where the mark shows: "X Y W H" of the
//                              smallest rectangle holding every pixel of it;
//                              "none" when it is not on the screen
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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

// Exact colours nothing else on the screen has; a zoomed picture keeps them
// exactly inside each area of one colour.
const QRgb kMarkedBody = qRgb(37, 151, 83);
const QRgb kMark = qRgb(233, 29, 41);

int WriteMarked(const char* path)
{
    QImage picture(120, 80, QImage::Format_RGB888);
    picture.fill(kMarkedBody);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            picture.setPixel(x, y, kMark);
        }
    }
    return picture.save(QString::fromLocal8Bit(path), "BMP") ? 0 : 1;
}

int Look()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::puts("no screen");
        return 1;
    }
    const QImage shot = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    int left = shot.width();
    int top = shot.height();
    int right = -1;
    int bottom = -1;
    long markX = 0;
    long markY = 0;
    long marks = 0;
    long ink = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb pixel = shot.pixel(x, y);
            if (x < 300 && y < 70 && qRed(pixel) < 80 && qGreen(pixel) < 80 && qBlue(pixel) < 80) {
                ++ink;
            }
            const bool mark = (pixel & 0xFFFFFF) == (kMark & 0xFFFFFF);
            if (!mark && (pixel & 0xFFFFFF) != (kMarkedBody & 0xFFFFFF)) {
                continue;
            }
            left = std::min(left, x);
            top = std::min(top, y);
            right = std::max(right, x);
            bottom = std::max(bottom, y);
            if (mark) {
                markX += x;
                markY += y;
                ++marks;
            }
        }
    }
    if (right < 0 || marks == 0) {
        std::printf("none %ld\n", ink);
        return 1;
    }
    const bool markLeft = markX / marks < (left + right) / 2;
    const bool markTop = markY / marks < (top + bottom) / 2;
    std::printf("%d %d %s%s %d %d %ld\n", right - left + 1, bottom - top + 1, markTop ? "T" : "B", markLeft ? "L" : "R",
                left, top, ink);
    return 0;
}

int WriteSpot(const char* path)
{
    QImage picture(1600, 1200, QImage::Format_RGB888);
    picture.fill(kMarkedBody);
    for (int y = 700; y < 800; ++y) {
        for (int x = 1000; x < 1100; ++x) {
            picture.setPixel(x, y, kMark);
        }
    }
    return picture.save(QString::fromLocal8Bit(path), "BMP") ? 0 : 1;
}

int Mark()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::puts("no screen");
        return 1;
    }
    const QImage shot = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    QRect found;
    for (int y = 0; y < shot.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
            if ((row[x] & 0xFFFFFF) == (kMark & 0xFFFFFF)) {
                found |= QRect(x, y, 1, 1);
            }
        }
    }
    if (found.isEmpty()) {
        std::puts("none");
        return 1;
    }
    std::printf("%d %d %d %d\n", found.x(), found.y(), found.width(), found.height());
    return 0;
}

int WriteSlow(const char* path)
{
    QImage picture(4000, 3000, QImage::Format_RGB32);
    std::uint32_t state = 1;
    for (int y = 0; y < picture.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            row[x] = 0xFF000000u | (state >> 8);
        }
    }
    return picture.save(QString::fromLocal8Bit(path), "JPEG", 95) ? 0 : 1;
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
    if (argc == 3 && std::strcmp(argv[1], "marked") == 0) {
        return WriteMarked(argv[2]);
    }
    if (argc == 3 && std::strcmp(argv[1], "spot") == 0) {
        return WriteSpot(argv[2]);
    }
    if (argc == 3 && std::strcmp(argv[1], "slow") == 0) {
        QGuiApplication application(argc, argv);
        return WriteSlow(argv[2]);
    }
    if (argc == 2 && std::strcmp(argv[1], "mark") == 0) {
        QGuiApplication application(argc, argv);
        return Mark();
    }
    if (argc == 2 && (std::strcmp(argv[1], "check") == 0 || std::strcmp(argv[1], "look") == 0)) {
        QGuiApplication application(argc, argv);
        return std::strcmp(argv[1], "check") == 0 ? Check() : Look();
    }
    std::fputs("usage: screen_probe write PATH | check | marked PATH | look | slow PATH | spot PATH | mark\n", stderr);
    return 2;
}
