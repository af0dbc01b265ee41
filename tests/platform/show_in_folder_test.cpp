#include "platform/show_in_folder.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <mutex>
#include <thread>

#include "platform_test_util.h"
#include "support/temp_dir.h"

namespace brelvix::platform {

namespace {

namespace fs = std::filesystem;

// A message bus of the test's own, listening on FOLDER/bus, with no services
// to start on demand.
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
        // Made before the fork: the child of a process with threads may only
        // call what needs no lock until it executes.
        const std::string configOption = "--config-file=" + config;
        // Its complaints about limits it may not raise are not the test's.
        const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
        int channel[2];
        if (pipe(channel) != 0) {
            return;
        }
        daemon = fork();
        if (daemon == 0) {
            dup2(channel[1], 3);
            if (quiet >= 0) {
                dup2(quiet, 2);
            }
            execlp("dbus-daemon", "dbus-daemon", "--nofork", "--print-address=3", configOption.c_str(),
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(channel[1]);
        if (quiet >= 0) {
            close(quiet);
        }
        // The daemon prints its address once it listens: the gate.
        char buffer[512];
        ssize_t got = 0;
        while ((got = read(channel[0], buffer, sizeof buffer)) > 0) {
            address.append(buffer, static_cast<std::size_t>(got));
            if (address.find('\n') != std::string::npos) {
                break;
            }
        }
        close(channel[0]);
        address = address.substr(0, address.find('\n'));
    }
    ~PrivateBus()
    {
        if (daemon > 0) {
            kill(daemon, SIGTERM);
            waitpid(daemon, nullptr, 0);
        }
    }

    pid_t daemon = -1;
    std::string address;
};

// A file manager on the bus, answering ShowItems on a thread of its own (or,
// with `answer` false, never answering).
class FakeFileManager {
public:
    FakeFileManager(const std::string& address, bool answer_) : answer(answer_)
    {
        std::promise<bool> ready;
        std::future<bool> started = ready.get_future();
        worker = std::thread([this, address, &ready] { Serve(address, &ready); });
        owned = started.get();
    }
    ~FakeFileManager()
    {
        if (loop != nullptr) {
            g_main_loop_quit(loop);
        }
        worker.join();
    }

    std::vector<std::string> Calls()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }

    bool owned = false;

private:
    void Serve(const std::string& address, std::promise<bool>* ready)
    {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(
            "<node><interface name='org.freedesktop.FileManager1'><method name='ShowItems'>"
            "<arg type='as' name='uris' direction='in'/><arg type='s' name='startupId' direction='in'/>"
            "</method></interface></node>",
            nullptr);
        static const GDBusInterfaceVTable kTable = {&FakeFileManager::Call, nullptr, nullptr, {}};
        bool registered = connection != nullptr && node != nullptr &&
                          g_dbus_connection_register_object(connection, "/org/freedesktop/FileManager1",
                                                            node->interfaces[0], &kTable, this, nullptr, nullptr) != 0;
        GVariant* reply = registered
                              ? g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                            "org.freedesktop.DBus", "RequestName",
                                                            g_variant_new("(su)", "org.freedesktop.FileManager1", 4u),
                                                            nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr)
                              : nullptr;
        if (reply != nullptr) {
            g_variant_unref(reply);
        }
        loop = g_main_loop_new(context, FALSE);
        ready->set_value(reply != nullptr);
        g_main_loop_run(loop);
        for (GDBusMethodInvocation* pending : unanswered) {
            g_dbus_method_invocation_return_dbus_error(pending, "org.freedesktop.DBus.Error.Failed", "gone");
        }
        if (connection != nullptr) {
            g_dbus_connection_close_sync(connection, nullptr, nullptr);
            g_object_unref(connection);
        }
        if (node != nullptr) {
            g_dbus_node_info_unref(node);
        }
        g_main_loop_unref(loop);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    static void Call(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                     GDBusMethodInvocation* invocation, gpointer self)
    {
        auto* manager = static_cast<FakeFileManager*>(self);
        GVariantIter* uris = nullptr;
        const gchar* startup = nullptr;
        g_variant_get(parameters, "(as&s)", &uris, &startup);
        const gchar* uri = nullptr;
        {
            const std::lock_guard<std::mutex> lock(manager->mutex);
            while (g_variant_iter_next(uris, "&s", &uri)) {
                manager->calls.push_back(uri);
            }
            manager->calls.push_back(std::string("startup=") + startup);
        }
        g_variant_iter_free(uris);
        if (manager->answer) {
            g_dbus_method_invocation_return_value(invocation, nullptr);
        } else {
            manager->unanswered.push_back(invocation);
        }
    }

    bool answer;
    GMainLoop* loop = nullptr;
    std::thread worker;
    std::mutex mutex;
    std::vector<std::string> calls;
    std::vector<GDBusMethodInvocation*> unanswered;
};

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

TEST_F(ShowInFolder, WithoutASessionBusNothingIsStarted)
{
    std::string error;
    EXPECT_FALSE(HasSessionBus());
    EXPECT_EQ(ShowInFileManager("/x/a.jpg", 5000, &error), ShowInFolderResult::kNoSessionBus);
    bool called = false;
    ShowInFileManagerAsync("/x/a.jpg", [&called](ShowInFolderResult result) {
        called = true;
        EXPECT_EQ(result, ShowInFolderResult::kNoSessionBus);
    });
    EXPECT_TRUE(called);
}

TEST_F(ShowInFolder, AFileManagerOnTheBusIsAskedToShowTheFile)
{
    if (!StartBus()) {
        GTEST_SKIP() << "dbus-daemon is not installed (scripts/deps.sh)";
    }
    // Found through $XDG_RUNTIME_DIR/bus alone.
    std::string address;
    ASSERT_TRUE(HasSessionBus(&address));
    EXPECT_EQ(address, "unix:path=" + (folder.Path() / "runtime" / "bus").string());

    std::string error;
    EXPECT_EQ(ShowInFileManager("/pictures/a.jpg", 5000, &error), ShowInFolderResult::kNoFileManager);
    EXPECT_NE(error.find("FileManager1"), std::string::npos) << error;

    FakeFileManager manager(bus->address, true);
    ASSERT_TRUE(manager.owned);
    EXPECT_EQ(ShowInFileManager("/my pictures/caf\xc3\xa9 #1.jpg", 5000, &error), ShowInFolderResult::kShown) << error;
    std::promise<ShowInFolderResult> answered;
    ShowInFileManagerAsync("/pictures/b.jpg", [&answered](ShowInFolderResult result) { answered.set_value(result); });
    EXPECT_EQ(answered.get_future().get(), ShowInFolderResult::kShown);
    EXPECT_EQ(manager.Calls(), (std::vector<std::string>{"file:///my%20pictures/caf%C3%A9%20%231.jpg",
                                                         "startup=", "file:///pictures/b.jpg", "startup="}));
}

TEST_F(ShowInFolder, AFileManagerThatNeverAnswersCostsOnlyTheTimeout)
{
    if (!StartBus()) {
        GTEST_SKIP() << "dbus-daemon is not installed (scripts/deps.sh)";
    }
    FakeFileManager manager(bus->address, false);
    ASSERT_TRUE(manager.owned);
    std::string error;
    EXPECT_EQ(ShowInFileManager("/pictures/a.jpg", 100, &error), ShowInFolderResult::kNoFileManager);
    EXPECT_FALSE(error.empty());
}

}  // namespace

}  // namespace brelvix::platform
