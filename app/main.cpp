// The program's entry: check that a window can be had, create the main
// frame, open the first picture and run the event loop.
#include <QApplication>
#include <QByteArray>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "app/entry.h"
#include "app/main_frame.h"
#include "viewer/image_view.h"
#include "viewer/picture_cache.h"

using namespace brelvix;
using namespace brelvix::app;

namespace {

// While QApplication connects to the window system, the toolkit's messages
// are held back: when no window system can be reached it reports that at
// length and then aborts; the program says so in one line and ends with
// status 1 instead. Otherwise the held messages are passed on afterwards.
QtMessageHandler previousHandler = nullptr;
std::vector<std::pair<QtMsgType, QString>> heldMessages;
std::vector<QByteArray> heldCategories;

void HoldStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr,
                     "brelvix: cannot create the window: no usable display (is DISPLAY or WAYLAND_DISPLAY set?)\n");
        std::fflush(stderr);
        std::_Exit(1);
    }
    heldMessages.emplace_back(type, message);
    heldCategories.emplace_back(context.category != nullptr ? context.category : "");
}

void ReleaseStartupMessages()
{
    qInstallMessageHandler(previousHandler);
    for (std::size_t i = 0; i < heldMessages.size(); ++i) {
        const QMessageLogContext context(nullptr, 0, nullptr, heldCategories[i].constData());
        qt_message_output(heldMessages[i].first, context, heldMessages[i].second);
    }
    heldMessages.clear();
    heldCategories.clear();
}

// The picture the command line names, as far as it can be told before the
// toolkit has taken its own options out of the arguments.
std::string PicturePathFromArguments(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return PicturePathFromTail(CommandLineTail(arguments), CurrentFolder());
}

}  // namespace

int main(int argc, char** argv)
{
    // Help and the version need no window system.
    switch (RequestOf(std::vector<std::string>(argv + std::min(argc, 1), argv + argc))) {
        case CommandLineRequest::ShowHelp:
            std::fputs(UsageText().c_str(), stdout);
            return 0;
        case CommandLineRequest::ShowVersion:
            std::fputs(VersionText().c_str(), stdout);
            return 0;
        case CommandLineRequest::OpenPicture:
            break;
    }

    // Decoding the first picture overlaps with connecting to the window
    // system and building the window; should the toolkit's options change
    // the path (or the settings a folder's first picture, through its
    // subfolders), the early decode is simply not used.
    PictureCache early;
    if (const std::string guess = PictureForPath(PicturePathFromArguments(argc, argv), false); !guess.empty()) {
        early.Prefetch(guess);
    }

    previousHandler = qInstallMessageHandler(HoldStartupMessage);
    QApplication application(argc, argv);
    ReleaseStartupMessages();
    QApplication::setApplicationName(QStringLiteral("Brelvix"));
    QApplication::setDesktopFileName(QStringLiteral("brelvix"));

    MainFrame frame;
    frame.Image().AdoptDecodes(std::move(early));
    // The window shows, paints and takes keys (Esc included) while a
    // picture decodes.
    frame.Image().SetBackgroundLoading(true);

    // Qt has taken its own options out of argv; the rest is the tail. A
    // folder opens on its first picture, as the file list orders it.
    const std::string path =
        PictureForPath(PicturePathFromArguments(argc, argv), frame.Image().Settings().includeSubdirectories);

    if (!frame.OpenFirstPicture(path)) {
        // The first Open dialog was cancelled: the user's choice, not an
        // error. Nothing was changed, so no settings are written.
        return 0;
    }
    const int status = QApplication::exec();
    // The settings are saved by now. A decode that a cancel cannot enter
    // (AVIF and HEIF pictures decode in one library call) would keep the
    // process for seconds after its window went, so it is not waited for.
    if (!frame.Image().LeaveDecodes(100)) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
