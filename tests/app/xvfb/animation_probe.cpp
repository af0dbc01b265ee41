// A helper for the end-to-end animation test under Xvfb: writes one moving
// picture in each format with the codec libraries' own encoders, and
// watches which frame the screen shows when.
//
//   animation_probe write DIR           writes DIR/moving.gif, .png, .webp,
//                                       .jxl and .avif: four frames of
//                                       200 x 150, each of one colour (A, B,
//                                       C, D), lasting 300, 600, 300 and
//                                       600 ms, played for ever
//   animation_probe watch MS [SHOTS]    finds the picture on the screen and
//                                       samples its colour for MS ms; prints
//                                       one line per run of one colour:
//                                       "LETTER START_MS LENGTH_MS" (? for
//                                       none of the four); with SHOTS, saves a
//                                       screen shot 150 ms into the second
//                                       run of each colour there
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/apng_writer.h"
#include "support/avif_writer.h"
#include "support/gif_writer.h"
#include "support/jxl_writer.h"
#include "support/webp_writer.h"

namespace {

using namespace brelvix;

constexpr int kWidth = 200;
constexpr int kHeight = 150;
const std::array<Rgb, 4> kColours = {Rgb{210, 40, 40}, Rgb{40, 190, 70}, Rgb{50, 80, 220}, Rgb{230, 200, 40}};
constexpr std::array<int, 4> kLengthsMs = {300, 600, 300, 600};

RawPicture Plain(const Rgb& colour)
{
    RawPicture picture;
    picture.width = kWidth;
    picture.height = kHeight;
    for (int i = 0; i < kWidth * kHeight; ++i) {
        picture.samples.insert(picture.samples.end(), {colour.r, colour.g, colour.b});
    }
    return picture;
}

bool Save(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return !bytes.empty() && out.good();
}

int Write(const std::string& folder)
{
    std::vector<RawPicture> frames;
    for (const Rgb& colour : kColours) {
        frames.push_back(Plain(colour));
    }

    GifPicture gif;
    gif.width = kWidth;
    gif.height = kHeight;
    gif.globalTable = {kColours.begin(), kColours.end()};
    gif.repeats = 0;
    ApngPicture apng;
    apng.width = kWidth;
    apng.height = kHeight;
    std::vector<int> webpLengths;
    JxlWriterOptions jxl;
    jxl.lossless = true;
    std::vector<std::uint64_t> avifTenths;
    for (std::size_t i = 0; i < kColours.size(); ++i) {
        GifFrame frame;
        frame.width = kWidth;
        frame.height = kHeight;
        frame.indices.assign(kWidth * kHeight, static_cast<std::uint8_t>(i));
        frame.graphicsControl = true;
        frame.delayCs = kLengthsMs[i] / 10;
        gif.frames.push_back(frame);

        ApngFrame part;
        part.picture.width = kWidth;
        part.picture.height = kHeight;
        part.picture.samples = frames[i].samples;
        part.delayNumerator = kLengthsMs[i];
        part.delayDenominator = 1000;
        apng.frames.push_back(part);

        webpLengths.push_back(kLengthsMs[i]);
        jxl.frameTenths.push_back(static_cast<std::uint32_t>(kLengthsMs[i] / 100));
        avifTenths.push_back(static_cast<std::uint64_t>(kLengthsMs[i] / 100));
    }
    const std::map<std::string, std::vector<std::uint8_t>> files = {
        {"gif", GifBytes(gif)},
        {"png", EncodeApng(apng)},
        {"webp", EncodeWebpAnimation(frames, true, webpLengths, 0)},
        {"jxl", EncodeJxl(frames, jxl)},
        {"avif", EncodeAvifSequence(frames, avifTenths)},
    };
    for (const auto& [extension, bytes] : files) {
        if (!Save(folder + "/moving." + extension, bytes)) {
            std::fprintf(stderr, "cannot write the %s file\n", extension.c_str());
            return 1;
        }
    }
    return 0;
}

// Which of the four colours a pixel shows (lossy formats come close).
char Letter(QRgb pixel)
{
    for (std::size_t i = 0; i < kColours.size(); ++i) {
        const int distance = std::abs(qRed(pixel) - kColours[i].r) + std::abs(qGreen(pixel) - kColours[i].g) +
                             std::abs(qBlue(pixel) - kColours[i].b);
        if (distance < 40) {
            return static_cast<char>('A' + i);
        }
    }
    return '?';
}

// A point well inside the picture: the corner of a 40 x 40 square of one
// of the colours; none within ten seconds gives (-1, -1).
QPoint FindPicture(QScreen* screen)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QImage shot = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y + 40 < shot.height(); y += 4) {
            for (int x = 0; x + 40 < shot.width(); x += 4) {
                const char letter = Letter(shot.pixel(x, y));
                if (letter != '?' && Letter(shot.pixel(x + 40, y)) == letter &&
                    Letter(shot.pixel(x, y + 40)) == letter && Letter(shot.pixel(x + 40, y + 40)) == letter) {
                    return {x + 20, y + 20};
                }
            }
        }
        QThread::msleep(100);
    }
    return {-1, -1};
}

int Watch(int lengthMs, const char* shots)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPoint at = screen != nullptr ? FindPicture(screen) : QPoint(-1, -1);
    if (at.x() < 0) {
        std::puts("no picture on the screen");
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const auto elapsed = [&start] {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    };
    char current = 0;
    int since = 0;
    std::map<char, int> runsOf;
    int shotAt = -1;
    char shotLetter = 0;
    for (int now = 0; now < lengthMs; now = elapsed()) {
        const char letter = Letter(screen->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixel(0, 0));
        if (letter != current) {
            if (current != 0) {
                std::printf("%c %d %d\n", current, since, now - since);
            }
            current = letter;
            since = now;
            if (shots != nullptr && ++runsOf[letter] == 2) {
                shotAt = now + 150;
                shotLetter = letter;
            }
        }
        if (shotAt >= 0 && now >= shotAt) {
            const std::string path =
                std::string(shots) + "/frame_" + shotLetter + "_at_" + std::to_string(now) + "ms.png";
            screen->grabWindow(0).save(QString::fromStdString(path));
            shotAt = -1;
        }
        QThread::msleep(2);
    }
    std::printf("%c %d %d\n", current, since, elapsed() - since);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "write") == 0) {
        return Write(argv[2]);
    }
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "watch") == 0) {
        QGuiApplication application(argc, argv);
        return Watch(std::atoi(argv[2]), argc == 4 ? argv[3] : nullptr);
    }
    std::fputs("usage: animation_probe write DIR | watch MS [SHOTS]\n", stderr);
    return 2;
}
