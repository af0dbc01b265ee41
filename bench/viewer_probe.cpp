// Helper of bench/startup_vs_viewers.sh: writes the benchmark's pictures and
// measures one picture viewer under an X server.
//
//   viewer_probe pictures FOLDER
//       writes FOLDER/large/1.jpg and 2.jpg (6000 x 4000) and FOLDER/small/1.png
//       and 2.png (640 x 480): textured pictures of two distinct colours
//   viewer_probe measure KEY BACK -- PROGRAM ARGUMENTS...
//       starts the program, waits until the first picture's colour shows on
//       the screen, presses KEY (X key name) over it, waits until the
//       second picture's colour shows there, presses BACK and waits until the
//       first picture's colour is back, and prints
//       "start_ms=S next_ms=N prev_ms=B peak_kb=P" (peak resident memory,
//       VmHWM)
//   viewer_probe held KEY -- PROGRAM ARGUMENTS...
//       starts the program on FOLDER/held (the pictures' folder, written
//       with the others: 24 pictures of 6000 x 4000, each of its own
//       colour), waits until the first shows, then holds KEY down for two
//       seconds as a keyboard does (a press, then a release and a press with
//       the same time every 40 ms: the X server's auto-repeat at 25 a
//       second), and prints "held_per_s=H after_release=A": the different
//       pictures that showed per second while the key was down, and how many
//       more showed in the second after it was let go (at most the one the
//       last repeat asked for when the viewer stops where the key is
//       released; more is a backlog of steps)
//
// The screen is sampled along a few full-width lines; a line "shows" a
// colour when at least 32 of its pixels are within 40 of it on every channel.
// jpeglib.h needs FILE and size_t declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

// Last: Xlib's macros (None, Status, ...) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

extern char** environ;

namespace {

struct Colour {
    int r, g, b;
};
constexpr Colour kFirst{200, 40, 160};
constexpr Colour kSecond{30, 170, 150};

// A picture of one hue with fine texture, so the codecs do real work.
std::vector<unsigned char> Textured(int width, int height, Colour base, unsigned seed)
{
    std::vector<unsigned char> rgb(std::size_t(width) * height * 3);
    std::minstd_rand random(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int wave = ((x / 7 + y / 5) % 9) - 4;
            const int noise = int(random() % 9) - 4;
            unsigned char* p = &rgb[(std::size_t(y) * width + x) * 3];
            p[0] = static_cast<unsigned char>(std::clamp(base.r + wave + noise, 0, 255));
            p[1] = static_cast<unsigned char>(std::clamp(base.g - wave + noise, 0, 255));
            p[2] = static_cast<unsigned char>(std::clamp(base.b + noise, 0, 255));
        }
    }
    return rgb;
}

bool WriteJpeg(const std::string& path, int width, int height, const std::vector<unsigned char>& rgb)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(&rgb[std::size_t(info.next_scanline) * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(out) == 0;
}

bool WritePng(const std::string& path, int width, int height, const std::vector<unsigned char>& rgb)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(out);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, &rgb[std::size_t(y) * width * 3]);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(out) == 0;
}

// The held pictures' colours: three levels a channel, 90 apart, so that no
// two are within the 40 that a sample may differ by; the greys are left out,
// as a viewer's own background may be one, and the darkest level is well
// away from the empty screen's black.
constexpr int kHeldPictures = 24;
Colour HeldColour(int index)
{
    // Of the 27 mixes, 0, 13 and 26 are grey.
    const int mix = index < 12 ? index + 1 : index + 2;
    return {60 + 90 * (mix % 3), 60 + 90 * (mix / 3 % 3), 60 + 90 * (mix / 9 % 3)};
}

std::string HeldName(int index)
{
    char name[16];
    std::snprintf(name, sizeof name, "%02d.jpg", index + 1);
    return name;
}

int WritePictures(const std::string& folder)
{
    std::filesystem::create_directories(folder + "/large");
    std::filesystem::create_directories(folder + "/small");
    std::filesystem::create_directories(folder + "/held");
    for (int i = 0; i < kHeldPictures; ++i) {
        if (!WriteJpeg(folder + "/held/" + HeldName(i), 6000, 4000,
                       Textured(6000, 4000, HeldColour(i), static_cast<unsigned>(10 + i)))) {
            return 1;
        }
    }
    bool ok = WriteJpeg(folder + "/large/1.jpg", 6000, 4000, Textured(6000, 4000, kFirst, 1));
    ok = ok && WriteJpeg(folder + "/large/2.jpg", 6000, 4000, Textured(6000, 4000, kSecond, 2));
    ok = ok && WritePng(folder + "/small/1.png", 640, 480, Textured(640, 480, kFirst, 3));
    ok = ok && WritePng(folder + "/small/2.png", 640, 480, Textured(640, 480, kSecond, 4));
    return ok ? 0 : 1;
}

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool Near(QRgb pixel, Colour colour)
{
    return std::abs(qRed(pixel) - colour.r) <= 40 && std::abs(qGreen(pixel) - colour.g) <= 40 &&
           std::abs(qBlue(pixel) - colour.b) <= 40;
}

// Where the colour shows on the sampled lines, or (-1, -1).
QPoint FindColour(QScreen* screen, Colour colour)
{
    const QRect geometry = screen->geometry();
    for (int line = 1; line <= 7; ++line) {
        const int y = geometry.height() * line / 8;
        const QImage row = screen->grabWindow(0, 0, y, geometry.width(), 1).toImage();
        int count = 0;
        for (int x = 0; x < row.width(); ++x) {
            if (Near(row.pixel(x, 0), colour)) {
                if (++count >= 32) {
                    return QPoint(x, y);
                }
            } else {
                count = 0;
            }
        }
    }
    return QPoint(-1, -1);
}

bool ShowsAt(QScreen* screen, QPoint point, Colour colour)
{
    const QImage patch = screen->grabWindow(0, std::max(point.x() - 16, 0), point.y(), 32, 1).toImage();
    for (int x = 0; x < patch.width(); ++x) {
        if (!Near(patch.pixel(x, 0), colour)) {
            return false;
        }
    }
    return true;
}

long PeakKilobytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

int RunQuietly(const std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (const std::string& part : command) {
        argv.push_back(const_cast<char*>(part.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The X window id under the pointer, from xdotool.
std::string WindowUnderPointer()
{
    FILE* answer = popen("xdotool getmouselocation --shell", "r");
    if (answer == nullptr) {
        return {};
    }
    std::string window;
    char line[256];
    while (std::fgets(line, sizeof line, answer) != nullptr) {
        if (std::strncmp(line, "WINDOW=", 7) == 0) {
            window = line + 7;
            while (!window.empty() && (window.back() == '\n' || window.back() == '\r')) {
                window.pop_back();
            }
        }
    }
    pclose(answer);
    return window;
}

// Presses and releases a key as the keyboard would, and returns when the X
// server has the events: the time from then on is the viewer's alone.
bool PressKey(Display* display, const std::string& name)
{
    const KeySym symbol = XStringToKeysym(name.c_str());
    const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(display, symbol);
    if (code == 0) {
        return false;
    }
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XFlush(display);
    return true;
}

int Measure(const std::string& key, const std::string& back, std::vector<std::string> arguments)
{
    Display* display = XOpenDisplay(nullptr);
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (display == nullptr || !XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        std::fputs("no X server with the XTEST extension\n", stderr);
        return 1;
    }
    std::vector<char*> command;
    for (std::string& argument : arguments) {
        command.push_back(argument.data());
    }
    command.push_back(nullptr);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || FindColour(screen, kFirst).x() >= 0) {
        std::fputs("the screen is not clear\n", stderr);
        return 1;
    }
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, command[0], nullptr, nullptr, command.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", command[0]);
        return 1;
    }
    const auto finish = [pid](int code) {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        return code;
    };

    QPoint where(-1, -1);
    while (where.x() < 0) {
        if (MillisecondsSince(start) > 60000) {
            std::fputs("the first picture never showed\n", stderr);
            return finish(1);
        }
        where = FindColour(screen, kFirst);
    }
    const double startMs = MillisecondsSince(start);

    // Without a window manager nobody gives the viewer's window the keyboard
    // focus: the window under the picture's pixel gets it here.
    RunQuietly({"xdotool", "mousemove", "--sync", std::to_string(where.x()), std::to_string(where.y())});
    const std::string window = WindowUnderPointer();
    if (!window.empty()) {
        RunQuietly({"xdotool", "windowfocus", window});
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto pressed = Clock::now();
    if (!PressKey(display, key)) {
        std::fprintf(stderr, "no key %s\n", key.c_str());
        return finish(1);
    }
    while (!ShowsAt(screen, where, kSecond)) {
        if (MillisecondsSince(pressed) > 60000) {
            std::fputs("the second picture never showed\n", stderr);
            return finish(1);
        }
    }
    const double nextMs = MillisecondsSince(pressed);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto pressedBack = Clock::now();
    if (!PressKey(display, back)) {
        std::fprintf(stderr, "no key %s\n", back.c_str());
        return finish(1);
    }
    while (!ShowsAt(screen, where, kFirst)) {
        if (MillisecondsSince(pressedBack) > 60000) {
            std::fputs("the first picture never came back\n", stderr);
            return finish(1);
        }
    }
    const double backMs = MillisecondsSince(pressedBack);
    const long peak = PeakKilobytes(pid);
    std::printf("start_ms=%.1f next_ms=%.1f prev_ms=%.1f peak_kb=%ld\n", startMs, nextMs, backMs, peak);
    return finish(0);
}

}  // namespace

// Which held picture's colour shows at `point`; -1 for none.
int HeldPictureAt(QScreen* screen, QPoint point)
{
    for (int i = 0; i < kHeldPictures; ++i) {
        if (ShowsAt(screen, point, HeldColour(i))) {
            return i;
        }
    }
    return -1;
}

// A key held down: the press, then every 40 ms a release and a press that
// the X server stamps with the same time, which is how an auto-repeating key
// looks to a client; the last release ends it.
class HeldKey {
public:
    HeldKey(Display* server, KeyCode key) : display(server), code(key) {}
    void Press() { Send(True); }
    void Repeat()
    {
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XFlush(display);
    }
    void Release() { Send(False); }

private:
    void Send(Bool down)
    {
        XTestFakeKeyEvent(display, code, down, CurrentTime);
        XFlush(display);
    }
    Display* display;
    KeyCode code;
};

int Held(const std::string& key, std::vector<std::string> arguments)
{
    Display* display = XOpenDisplay(nullptr);
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (display == nullptr || !XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        std::fputs("no X server with the XTEST extension\n", stderr);
        return 1;
    }
    const KeySym symbol = XStringToKeysym(key.c_str());
    const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(display, symbol);
    if (code == 0) {
        std::fprintf(stderr, "no key %s\n", key.c_str());
        return 1;
    }
    std::vector<char*> command;
    for (std::string& argument : arguments) {
        command.push_back(argument.data());
    }
    command.push_back(nullptr);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || FindColour(screen, HeldColour(0)).x() >= 0) {
        std::fputs("the screen is not clear\n", stderr);
        return 1;
    }
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, command[0], nullptr, nullptr, command.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", command[0]);
        return 1;
    }
    const auto finish = [pid](int result) {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        return result;
    };
    QPoint where(-1, -1);
    while (where.x() < 0) {
        if (MillisecondsSince(start) > 60000) {
            std::fputs("the first picture never showed\n", stderr);
            return finish(1);
        }
        where = FindColour(screen, HeldColour(0));
    }
    RunQuietly({"xdotool", "mousemove", "--sync", std::to_string(where.x()), std::to_string(where.y())});
    const std::string window = WindowUnderPointer();
    if (!window.empty()) {
        RunQuietly({"xdotool", "windowfocus", window});
    }
    // The neighbours' decodes ahead have their time, as after a look at the
    // first picture.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));

    HeldKey held(display, code);
    int shown = 0;
    int last = HeldPictureAt(screen, where);
    const auto look = [&] {
        const int now = HeldPictureAt(screen, where);
        if (now >= 0 && now != last) {
            last = now;
            return 1;
        }
        return 0;
    };
    const auto pressed = Clock::now();
    held.Press();
    auto nextRepeat = pressed + std::chrono::milliseconds(40);
    const auto until = pressed + std::chrono::milliseconds(2000);
    while (Clock::now() < until) {
        shown += look();
        if (Clock::now() >= nextRepeat) {
            held.Repeat();
            nextRepeat += std::chrono::milliseconds(40);
        }
    }
    held.Release();
    const double heldSeconds = MillisecondsSince(pressed) / 1000.0;
    int after = 0;
    const auto released = Clock::now();
    // What shows at the release itself is no step after it.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    look();
    while (MillisecondsSince(released) < 1000) {
        after += look();
    }
    std::printf("held_per_s=%.1f after_release=%d\n", shown / heldSeconds, after);
    return finish(0);
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "pictures") == 0) {
        return WritePictures(argv[2]);
    }
    if (argc >= 6 && std::strcmp(argv[1], "measure") == 0 && std::strcmp(argv[4], "--") == 0) {
        // Taken before the toolkit removes the options it knows.
        const std::string key = argv[2];
        const std::string back = argv[3];
        const std::vector<std::string> command(argv + 5, argv + argc);
        QGuiApplication application(argc, argv);
        return Measure(key, back, command);
    }
    if (argc >= 5 && std::strcmp(argv[1], "held") == 0 && std::strcmp(argv[3], "--") == 0) {
        const std::string key = argv[2];
        const std::vector<std::string> command(argv + 4, argv + argc);
        QGuiApplication application(argc, argv);
        return Held(key, command);
    }
    std::fputs(
        "usage: viewer_probe pictures FOLDER | measure KEY BACK -- PROGRAM ARGUMENTS... | held KEY -- PROGRAM "
        "ARGUMENTS...\n",
        stderr);
    return 2;
}
