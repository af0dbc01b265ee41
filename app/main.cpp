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
#include "app/settings.h"
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

// The first look the early decode makes, from the stored settings, read
// before the window exists: with best fit on, the stored window's size, or
// the size a first window gets (the view then checks that it fills the
// window it has; one too small is not shown).
FirstLook EarlyFirstLook()
{
    RegistryKey key(RegistryRoot::CurrentUser, kSettingsKeyPath);
    std::int32_t bestFit = 0;
    if (!key.IsOpen() || !key.ReadDword("ZoomToBestFit", &bestFit) || bestFit == 0) {
        return {};
    }
    std::int32_t upright = 1;
    key.ReadDword("ApplyOrientation", &upright);
    FirstLook look{1024, 768, upright != 0};
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    if (key.ReadDword("WindowLeft", &left) && key.ReadDword("WindowTop", &top) &&
        key.ReadDword("WindowRight", &right) && key.ReadDword("WindowBottom", &bottom) && right > left &&
        bottom > top) {
        look.width = right - left;
        look.height = bottom - top;
    }
    return look;
}

}  // namespace

int main(int argc, char** argv)
{
    const CommandLine commandLine = ParseCommandLine(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    // Help, the version and mistakes need no window system.
    switch (commandLine.request) {
        case CommandLineRequest::ShowHelp:
            std::fputs(UsageText().c_str(), stdout);
            return 0;
        case CommandLineRequest::ShowVersion:
            std::fputs(VersionText().c_str(), stdout);
            return 0;
        case CommandLineRequest::UnknownOption:
            std::fprintf(stderr, "brelvix: %s\n%s", commandLine.problem.c_str(), UsageText().c_str());
            return 2;
        case CommandLineRequest::OpenPicture:
            break;
    }
    std::fputs(IgnoredArgumentsNote(commandLine).c_str(), stderr);
    const std::string named = PicturePathFromArgument(commandLine.picture, CurrentFolder());

    // Decoding the first picture overlaps with connecting to the window
    // system and building the window; should the settings make a folder's
    // first picture another one (through its subfolders), the early decode
    // is simply not used.
    PictureCache early;
    if (const std::string guess = PictureForPath(named, false); !guess.empty()) {
        early.Start(guess, EarlyFirstLook());
    }

    // The toolkit sees its own options only: a picture named like one of
    // them, after "--", stays the program's.
    std::vector<std::string> toolkitStrings = {argc > 0 ? argv[0] : "brelvix"};
    toolkitStrings.insert(toolkitStrings.end(), commandLine.toolkitArguments.begin(),
                          commandLine.toolkitArguments.end());
    std::vector<char*> toolkitArguments;
    for (std::string& argument : toolkitStrings) {
        toolkitArguments.push_back(argument.data());
    }
    toolkitArguments.push_back(nullptr);
    int toolkitCount = static_cast<int>(toolkitStrings.size());

    previousHandler = qInstallMessageHandler(HoldStartupMessage);
    QApplication application(toolkitCount, toolkitArguments.data());
    ReleaseStartupMessages();
    QApplication::setApplicationName(QStringLiteral("Brelvix"));
    QApplication::setDesktopFileName(QStringLiteral("brelvix"));

    MainFrame frame;
    frame.Image().AdoptDecodes(std::move(early));
    // The window shows, paints and takes keys (Esc included) while a
    // picture decodes.
    frame.Image().SetBackgroundLoading(true);

    // A folder opens on its first picture, as the file list orders it.
    const std::string path = PictureForPath(named, frame.Image().Settings().includeSubdirectories);

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
