#include "platform/show_in_folder.h"

#include <gio/gio.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>

namespace brelvix::platform {

namespace {

template <typename T>
struct GObjectRelease {
    void operator()(T* object) const { g_object_unref(object); }
};
using Connection = std::unique_ptr<GDBusConnection, GObjectRelease<GDBusConnection>>;

struct ErrorRelease {
    void operator()(GError* error) const { g_error_free(error); }
};
using Error = std::unique_ptr<GError, ErrorRelease>;

struct TextRelease {
    void operator()(gchar* text) const { g_free(text); }
};
using Text = std::unique_ptr<gchar, TextRelease>;

ShowInFolderResult Report(ShowInFolderResult result, std::string* error, const std::string& reason)
{
    if (error != nullptr) {
        *error = reason;
    }
    return result;
}

}  // namespace

bool HasSessionBus(std::string* address)
{
    const char* given = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (given != nullptr && given[0] != '\0') {
        if (address != nullptr) {
            *address = given;
        }
        return true;
    }
    // Where the user's bus listens on systemd's and most other desktops.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || runtime[0] != '/') {
        return false;
    }
    const std::string socket = std::string(runtime) + "/bus";
    struct stat status {};
    if (stat(socket.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode)) {
        return false;
    }
    if (address != nullptr) {
        const Text escaped(g_dbus_address_escape_value(socket.c_str()));
        *address = std::string("unix:path=") + escaped.get();
    }
    return true;
}

ShowInFolderResult ShowInFileManager(const std::string& path, int timeoutMs, std::string* error)
{
    std::string address;
    if (!HasSessionBus(&address)) {
        return Report(ShowInFolderResult::kNoSessionBus, error, "no session bus");
    }
    // A private connection, closed when done: the shared one would stay for
    // the rest of the run, and would be launched where there is none.
    GError* failure = nullptr;
    const Connection connection(g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &failure));
    if (connection == nullptr) {
        const Error owned(failure);
        return Report(ShowInFolderResult::kNoSessionBus, error, owned != nullptr ? owned->message : "no session bus");
    }

    const Text absolute(g_canonicalize_filename(path.c_str(), nullptr));
    const Text uri(g_filename_to_uri(absolute.get(), nullptr, nullptr));
    if (uri == nullptr) {
        g_dbus_connection_close_sync(connection.get(), nullptr, nullptr);
        return Report(ShowInFolderResult::kNoFileManager, error, "cannot name " + path + " as a URI");
    }
    const gchar* uris[] = {uri.get(), nullptr};
    GVariant* reply =
        g_dbus_connection_call_sync(connection.get(), "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                    "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(^ass)", uris, ""),
                                    nullptr, G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr, &failure);
    g_dbus_connection_close_sync(connection.get(), nullptr, nullptr);
    if (reply == nullptr) {
        const Error owned(failure);
        return Report(ShowInFolderResult::kNoFileManager, error,
                      owned != nullptr ? owned->message : "no file manager answered");
    }
    g_variant_unref(reply);
    return ShowInFolderResult::kShown;
}

void ShowInFileManagerAsync(const std::string& path, std::function<void(ShowInFolderResult)> done, int timeoutMs)
{
    if (!HasSessionBus()) {
        done(ShowInFolderResult::kNoSessionBus);
        return;
    }
    std::thread([path, done = std::move(done), timeoutMs] { done(ShowInFileManager(path, timeoutMs)); }).detach();
}

}  // namespace brelvix::platform
