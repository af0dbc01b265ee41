#include "platform/show_in_folder.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "platform_test_util.h"
#include "support/temp_dir.h"

namespace brelvix::platform {

namespace {

namespace fs = std::filesystem;

// A message bus of the test's own, listening on FOLDER/bus, with no services
// to start on demand. The daemon prints its address and process id once it
// listens: that is the gate.
class PrivateBus {
public:
    explicit PrivateBus(const fs::path& folder)
    {
        const std::string config = (folder / "bus.conf").string();
        // The policy of a desktop's session bus: anyone may talk to anyone.
        std::ofstream(config) << "<busconfig><type>session</type><listen>unix:path=" << (folder / "bus").string()
                              << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                 "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                 "<allow own=\"*\"/></policy></busconfig>\n";
        const std::string command =
            "dbus-daemon --fork --print-address=1 --print-pid=1 --config-file=" + config + " 2> /dev/null";
        FILE* output = popen(command.c_str(), "r");
        char line[512] = {};
        if (output == nullptr) {
            return;
        }
        if (fgets(line, sizeof line, output) != nullptr) {
            address = std::string(line).substr(0, std::string(line).find('\n'));
        }
        if (fgets(line, sizeof line, output) != nullptr) {
            daemon = std::atoi(line);
        }
        pclose(output);
    }
    ~PrivateBus()
    {
        if (daemon > 0) {
            kill(daemon, SIGTERM);
        }
    }

    pid_t daemon = -1;
    std::string address;
};

// What a file manager was asked to show.
void RecordShowItems(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                     GDBusMethodInvocation* invocation, gpointer calls)
{
    GVariantIter* uris = nullptr;
    const gchar* startup = nullptr;
    g_variant_get(parameters, "(as&s)", &uris, &startup);
    const gchar* uri = nullptr;
    while (g_variant_iter_next(uris, "&s", &uri)) {
        static_cast<std::vector<std::string>*>(calls)->push_back(uri);
    }
    static_cast<std::vector<std::string>*>(calls)->push_back(std::string("startup=") + startup);
    g_variant_iter_free(uris);
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

class ShowInFolder : public ::testing::Test {
protected:
    ShowInFolder()
        : busAddress("DBUS_SESSION_BUS_ADDRESS", std::nullopt),
          runtime("XDG_RUNTIME_DIR", (folder.Path() / "runtime").string())
    {
        fs::create_directories(folder.Path() / "runtime");
    }

    bool StartBus()
    {
        if (system("command -v dbus-daemon > /dev/null") != 0) {
            return false;
        }
        bus = std::make_unique<PrivateBus>(folder.Path() / "runtime");
        return !bus->address.empty();
    }

    TempDir folder;
    ScopedEnv busAddress;
    ScopedEnv runtime;
    std::unique_ptr<PrivateBus> bus;
};

TEST_F(ShowInFolder, AFileManagerOnTheBusIsAskedToShowTheFile)
{
    // Without a bus nothing is started, and the answer comes before the call returns.
    std::string error;
    EXPECT_FALSE(HasSessionBus());
    EXPECT_EQ(ShowInFileManager("/x/a.jpg", 5000, &error), ShowInFolderResult::kNoSessionBus);
    ShowInFolderResult result = ShowInFolderResult::kShown;
    ShowInFileManagerAsync("/x/a.jpg", [&result](ShowInFolderResult answer) { result = answer; });
    EXPECT_EQ(result, ShowInFolderResult::kNoSessionBus);

    if (!StartBus()) {
        GTEST_SKIP() << "dbus-daemon is not installed (scripts/deps.sh)";
    }
    // Found through $XDG_RUNTIME_DIR/bus alone.
    std::string address;
    ASSERT_TRUE(HasSessionBus(&address));
    EXPECT_EQ(address, "unix:path=" + (folder.Path() / "runtime" / "bus").string());
    EXPECT_EQ(ShowInFileManager("/pictures/a.jpg", 5000, &error), ShowInFolderResult::kNoFileManager);
    EXPECT_NE(error.find("FileManager1"), std::string::npos) << error;

    // The file manager is this thread, answering while it waits for the
    // request's result.
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        bus->address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    ASSERT_NE(connection, nullptr);
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(
        "<node><interface name='org.freedesktop.FileManager1'><method name='ShowItems'><arg type='as' "
        "direction='in'/><arg type='s' direction='in'/></method></interface></node>",
        nullptr);
    std::vector<std::string> calls;
    const GDBusInterfaceVTable table = {&RecordShowItems, nullptr, nullptr, {}};
    ASSERT_NE(g_dbus_connection_register_object(connection, "/org/freedesktop/FileManager1", node->interfaces[0],
                                                &table, &calls, nullptr, nullptr),
              0u);
    GVariant* owned =
        g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                    "RequestName", g_variant_new("(su)", "org.freedesktop.FileManager1", 4u), nullptr,
                                    G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    ASSERT_NE(owned, nullptr);
    g_variant_unref(owned);

    std::atomic<int> shown{-1};
    ShowInFileManagerAsync("/my pictures/caf\xc3\xa9 #1.jpg", [&shown](ShowInFolderResult answer) {
        shown = static_cast<int>(answer);
        g_main_context_wakeup(nullptr);
    });
    while (shown < 0) {
        g_main_context_iteration(nullptr, TRUE);
    }
    EXPECT_EQ(shown, static_cast<int>(ShowInFolderResult::kShown));
    EXPECT_EQ(calls, (std::vector<std::string>{"file:///my%20pictures/caf%C3%A9%20%231.jpg", "startup="}));
    g_dbus_connection_close_sync(connection, nullptr, nullptr);
    g_object_unref(connection);
    g_dbus_node_info_unref(node);
}

}  // namespace

}  // namespace brelvix::platform
