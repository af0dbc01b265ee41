#include "app/display_profile.h"

#include <xcb/xcb.h>

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <memory>

#include "imaging/picture_meta.h"

namespace brelvix::app {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

xcb_connection_t* X11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

// The root window of the X screen the program was started on ($DISPLAY's
// screen number), where the desktop publishes the profiles.
xcb_window_t RootWindow(xcb_connection_t* connection)
{
    int screenNumber = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screenNumber) != 0) {
        std::free(host);
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    xcb_window_t root = screens.rem > 0 ? screens.data->root : 0;
    for (int i = 0; screens.rem > 0; ++i, xcb_screen_next(&screens)) {
        if (i == screenNumber) {
            root = screens.data->root;
        }
    }
    return root;
}

}  // namespace

std::string IccPropertyName(int index)
{
    return index <= 0 ? "_ICC_PROFILE" : "_ICC_PROFILE_" + std::to_string(index);
}

DisplayProfileWatcher::DisplayProfileWatcher(QWidget* watchedWindow, Changed onChange)
    : QObject(watchedWindow), window(watchedWindow), changed(std::move(onChange))
{
    xcb_connection_t* x11 = X11Connection();
    if (x11 == nullptr) {
        return;
    }
    connection = x11;
    root = RootWindow(x11);
    // Property changes of the root window come only to clients that asked
    // for them; the toolkit's own choice of events there is kept.
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(x11, xcb_get_window_attributes(x11, root), nullptr));
    const std::uint32_t mask =
        (attributes != nullptr ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(x11, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x11);
    QCoreApplication::instance()->installNativeEventFilter(this);
    window->installEventFilter(this);
}

DisplayProfileWatcher::~DisplayProfileWatcher()
{
    if (connection != nullptr && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

int DisplayProfileWatcher::MonitorIndex() const
{
    QScreen* screen = window->screen();
    const int index = static_cast<int>(QGuiApplication::screens().indexOf(screen));
    return index < 0 ? 0 : index;
}

std::uint32_t DisplayProfileWatcher::Atom(const std::string& name)
{
    auto* x11 = static_cast<xcb_connection_t*>(connection);
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        x11, xcb_intern_atom(x11, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr));
    return reply != nullptr ? reply->atom : 0;
}

std::vector<std::uint8_t> DisplayProfileWatcher::Read(int index)
{
    property = Atom(IccPropertyName(index));
    if (property == 0) {
        return {};
    }
    auto* x11 = static_cast<xcb_connection_t*>(connection);
    // In 32-bit units: one more than the largest profile taken, so that a
    // larger one shows as such.
    const std::uint32_t units = static_cast<std::uint32_t>(kPxMaxProfileBytes / 4 + 1);
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        x11, xcb_get_property(x11, 0, root, property, XCB_GET_PROPERTY_TYPE_ANY, 0, units), nullptr));
    if (reply == nullptr || reply->format != 8 || reply->bytes_after != 0) {
        return {};
    }
    const int length = xcb_get_property_value_length(reply.get());
    if (length <= 0 || static_cast<std::size_t>(length) > kPxMaxProfileBytes) {
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint8_t>(bytes, bytes + length);
}

void DisplayProfileWatcher::Refresh()
{
    std::vector<std::uint8_t> now = connection != nullptr ? Read(MonitorIndex()) : std::vector<std::uint8_t>{};
    if (reported && now == profile) {
        return;
    }
    reported = true;
    profile = std::move(now);
    changed(profile);
}

bool DisplayProfileWatcher::eventFilter(QObject* watched, QEvent* event)
{
    // The window's own window exists once it is shown; from then on its
    // moves to another monitor are followed.
    if (watched == window && event->type() == QEvent::Show) {
        QWindow* handle = window->windowHandle();
        if (handle != nullptr && handle != followed) {
            followed = handle;
            connect(handle, &QWindow::screenChanged, this, &DisplayProfileWatcher::Refresh);
        }
        Refresh();
    }
    return QObject::eventFilter(watched, event);
}

bool DisplayProfileWatcher::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/)
{
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->window == root && notify->atom == property && property != 0) {
            Refresh();
        }
    }
    return false;
}

}  // namespace brelvix::app
