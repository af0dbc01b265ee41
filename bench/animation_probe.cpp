// Helper of bench/animation.sh: writes its moving pictures and watches the
// screen to see when each frame appears.
//
//   animation_probe write DIR   writes DIR/small.gif (640 x 480, 40 frames),
//                               DIR/large.gif (1920 x 1080, 300 frames),
//                               both at 10 frames a second played for ever,
//                               and DIR/still.png, a 1920 x 1080 still
//   animation_probe watch MS    samples the picture on the screen for MS ms
//                               and prints how many frames were due after
//                               the first change and how many of them
//                               appeared on time
//   animation_probe runs MS [SHOTS]
//                               the same, printing each run of one colour
//                               as "LETTER START_MS LENGTH_MS" (? for none
//                               of the four); with SHOTS, saves a screen
//                               shot into that folder 150 ms into the
//                               second run of each colour (the end-to-end
//                               test of moving pictures watches with this)
//   animation_probe decode FILE N
//                               composes the first N frames of FILE
//                               (looping) with PxAnimation alone and prints
//                               the CPU time it took: what playing them
//                               cannot cost less than
//
// Each frame has a block of one of four colours, in turn, beside a pattern
// of greys that moves from frame to frame (so that every frame is decoded
// in full, as in a real animation); the watch finds the block and follows
// its colour. A frame is on time when it appears within kSlackMs of the
// schedule that the first change on screen starts.
#include <gif_lib.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "imaging/animation.h"

namespace {

constexpr int kFrameMs = 100;
constexpr int kSlackMs = 25;
constexpr std::array<std::array<int, 3>, 4> kColours = {{{210, 40, 40}, {40, 190, 70}, {50, 80, 220}, {230, 200, 40}}};

// Pixel value of the frame `index` at (x, y): the block shows colour
// index % 4, the rest bands of greys (values 4 to 255) that move down with
// every frame.
std::uint8_t Value(int x, int y, int index)
{
    if (x >= 64 && x < 64 + 560 && y >= 64 && y < 64 + 400) {
        return static_cast<std::uint8_t>(index % 4);
    }
    return static_cast<std::uint8_t>(4 + (y / 6 + 3 * index) % 252);
}

std::array<int, 3> Colour(int value)
{
    if (value < 4) {
        return kColours[static_cast<std::size_t>(value)];
    }
    return {value - 4, value - 4, value - 4};
}

bool WriteGif(const std::string& path, int width, int height, int frames)
{
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (gif == nullptr) {
        return false;
    }
    EGifSetGifVersion(gif, true);
    std::vector<GifColorType> table(256);
    for (int i = 0; i < 256; ++i) {
        const std::array<int, 3> colour = Colour(i);
        table[static_cast<std::size_t>(i)] = {static_cast<GifByteType>(colour[0]), static_cast<GifByteType>(colour[1]),
                                              static_cast<GifByteType>(colour[2])};
    }
    ColorMapObject* map = GifMakeMapObject(256, table.data());
    bool ok = map != nullptr && EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK;
    // Played for ever.
    GifByteType loop[3] = {1, 0, 0};
    ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK && EGifPutExtensionBlock(gif, 3, loop) == GIF_OK &&
         EGifPutExtensionTrailer(gif) == GIF_OK;
    std::vector<GifByteType> row(static_cast<std::size_t>(width));
    for (int index = 0; ok && index < frames; ++index) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSE_DO_NOT;
        control.DelayTime = kFrameMs / 10;
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK &&
             EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
        for (int y = 0; ok && y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                row[static_cast<std::size_t>(x)] = Value(x, y, index);
            }
            ok = EGifPutLine(gif, row.data(), width) == GIF_OK;
        }
    }
    GifFreeMapObject(map);
    return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

bool WriteStill(const std::string& path)
{
    QImage still(1920, 1080, QImage::Format_RGB32);
    for (int y = 0; y < still.height(); ++y) {
        for (int x = 0; x < still.width(); ++x) {
            const std::array<int, 3> colour = Colour(Value(x, y, 0));
            still.setPixel(x, y, qRgb(colour[0], colour[1], colour[2]));
        }
    }
    return still.save(QString::fromStdString(path));
}

int Letter(QRgb pixel)
{
    for (std::size_t i = 0; i < kColours.size(); ++i) {
        const int distance = std::abs(qRed(pixel) - kColours[i][0]) + std::abs(qGreen(pixel) - kColours[i][1]) +
                             std::abs(qBlue(pixel) - kColours[i][2]);
        if (distance < 40) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QPoint FindBlock(QScreen* screen)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const QImage shot = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y + 40 < shot.height(); y += 4) {
            for (int x = 0; x + 40 < shot.width(); x += 4) {
                const int letter = Letter(shot.pixel(x, y));
                if (letter >= 0 && Letter(shot.pixel(x + 40, y)) == letter && Letter(shot.pixel(x, y + 40)) == letter &&
                    Letter(shot.pixel(x + 40, y + 40)) == letter) {
                    return {x + 20, y + 20};
                }
            }
        }
        QThread::msleep(100);
    }
    return {-1, -1};
}

struct Change {
    double atMs;
    int letter;  // -1: none of the four colours
};

// Follows the colour at the block for `lengthMs`: its changes, the first
// being the colour at the start; `endMs` is when watching ended. With
// `shots`, saves a screen shot there 150 ms into the second run of each
// colour. False when no block shows.
bool Follow(int lengthMs, const char* shots, std::vector<Change>* changes, double* endMs)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPoint at = screen != nullptr ? FindBlock(screen) : QPoint(-1, -1);
    if (at.x() < 0) {
        std::puts("no picture on the screen");
        return false;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const auto elapsed = [&start] { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); };
    std::array<int, 5> runsOf{};
    double shotAt = -1;
    for (double now = 0; now < lengthMs; now = elapsed()) {
        const int letter = Letter(screen->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixel(0, 0));
        if (changes->empty() || letter != changes->back().letter) {
            changes->push_back({now, letter});
            if (shots != nullptr && ++runsOf[static_cast<std::size_t>(letter + 1)] == 2) {
                shotAt = now + 150;
            }
        }
        if (shotAt >= 0 && now >= shotAt) {
            const char name = changes->back().letter < 0 ? '?' : static_cast<char>('A' + changes->back().letter);
            const std::string path =
                std::string(shots) + "/frame_" + name + "_at_" + std::to_string(static_cast<int>(now)) + "ms.png";
            screen->grabWindow(0).save(QString::fromStdString(path));
            shotAt = -1;
        }
        QThread::msleep(1);
    }
    *endMs = elapsed();
    return true;
}

// One line per run of one colour: "LETTER START_MS LENGTH_MS", ? for none.
int Runs(int lengthMs, const char* shots)
{
    std::vector<Change> changes;
    double end = 0;
    if (!Follow(lengthMs, shots, &changes, &end)) {
        return 1;
    }
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const double until = i + 1 < changes.size() ? changes[i + 1].atMs : end;
        std::printf("%c %d %d\n", changes[i].letter < 0 ? '?' : static_cast<char>('A' + changes[i].letter),
                    static_cast<int>(changes[i].atMs), static_cast<int>(until - changes[i].atMs));
    }
    return 0;
}

int Watch(int lengthMs)
{
    std::vector<Change> changes;
    double end = 0;
    if (!Follow(lengthMs, nullptr, &changes, &end)) {
        return 1;
    }
    if (changes.size() < 2) {
        std::puts("frames_due=0 on_time=0 share=0");
        return 0;
    }
    // The schedule starts at the first change: frame k after it is due
    // k frame lengths later, and shows the colour k further on.
    const double anchor = changes[1].atMs;
    const int firstLetter = changes[1].letter;
    const int due = static_cast<int>((end - anchor) / kFrameMs) + 1;
    std::set<int> onTime;
    int late = 0;
    for (std::size_t i = 1; i < changes.size(); ++i) {
        const int k = static_cast<int>(std::lround((changes[i].atMs - anchor) / kFrameMs));
        if (changes[i].letter == (firstLetter + k) % 4 &&
            std::abs(changes[i].atMs - anchor - k * kFrameMs) <= kSlackMs) {
            onTime.insert(k);
        } else {
            ++late;
        }
    }
    std::printf("frames_due=%d on_time=%zu off_schedule_changes=%d share=%.3f\n", due, onTime.size(), late,
                static_cast<double>(onTime.size()) / due);
    return 0;
}

int Decode(const char* path, int frames)
{
    const std::clock_t start = std::clock();
    const std::unique_ptr<brelvix::PxAnimation> animation = brelvix::PxAnimation::Open(path);
    if (animation == nullptr) {
        std::puts("cannot open the animation");
        return 1;
    }
    int composed = 0;
    while (composed < frames) {
        const brelvix::PxAnimation::Step step = animation->Next();
        if (step == brelvix::PxAnimation::Step::kComposed) {
            ++composed;
        } else if (step != brelvix::PxAnimation::Step::kEnd || animation->Rewind() != 0) {
            std::puts("the animation stopped");
            return 1;
        }
    }
    std::printf("decode_cpu_s=%.3f frames=%d\n", static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC, composed);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "write") == 0) {
        const std::string folder = argv[2];
        const bool ok = WriteGif(folder + "/small.gif", 640, 480, 40) &&
                        WriteGif(folder + "/large.gif", 1920, 1080, 300) && WriteStill(folder + "/still.png");
        return ok ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "watch") == 0) {
        QGuiApplication application(argc, argv);
        return Watch(std::atoi(argv[2]));
    }
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "runs") == 0) {
        QGuiApplication application(argc, argv);
        return Runs(std::atoi(argv[2]), argc == 4 ? argv[3] : nullptr);
    }
    if (argc == 4 && std::strcmp(argv[1], "decode") == 0) {
        return Decode(argv[2], std::atoi(argv[3]));
    }
    std::fputs("usage: animation_probe write DIR | watch MS | runs MS [SHOTS] | decode FILE N\n", stderr);
    return 2;
}
