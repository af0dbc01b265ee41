#include "app_test_support.h"

#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/view_widget.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

void PutLittleEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

std::string WriteBmp(const std::string& path, int width, int height, const std::function<Rgb(int, int)>& colour)
{
    const std::uint32_t stride = (3 * static_cast<std::uint32_t>(width) + 3) & ~3u;
    const std::uint32_t imageBytes = stride * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> bytes;
    bytes.push_back('B');
    bytes.push_back('M');
    PutLittleEndian(bytes, 54 + imageBytes, 4);  // file size
    PutLittleEndian(bytes, 0, 4);                // reserved
    PutLittleEndian(bytes, 54, 4);               // pixel data offset
    PutLittleEndian(bytes, 40, 4);               // info header size
    PutLittleEndian(bytes, static_cast<std::uint32_t>(width), 4);
    PutLittleEndian(bytes, static_cast<std::uint32_t>(height), 4);  // positive: bottom-up
    PutLittleEndian(bytes, 1, 2);                                   // planes
    PutLittleEndian(bytes, 24, 2);                                  // bits per pixel
    PutLittleEndian(bytes, 0, 4);                                   // no compression
    PutLittleEndian(bytes, imageBytes, 4);
    PutLittleEndian(bytes, 2835, 4);  // 72 dpi
    PutLittleEndian(bytes, 2835, 4);
    PutLittleEndian(bytes, 0, 4);  // colours used
    PutLittleEndian(bytes, 0, 4);  // important colours
    for (int row = height - 1; row >= 0; --row) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, row);
            bytes.push_back(c.b);
            bytes.push_back(c.g);
            bytes.push_back(c.r);
        }
        for (std::uint32_t pad = 3 * static_cast<std::uint32_t>(width); pad < stride; ++pad) {
            bytes.push_back(0);
        }
    }
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}

std::string WriteSolidBmp(const std::string& path, int width, int height, Rgb colour)
{
    return WriteBmp(path, width, height, [colour](int, int) { return colour; });
}

void AppTest::SetUp()
{
    const std::filesystem::path root = temp.Path();
    std::filesystem::create_directories(root / "config");
    std::filesystem::create_directories(root / "data");
    std::filesystem::create_directories(root / "pictures");
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    pictures = (root / "pictures").string();
}

void AppTest::TearDown()
{
    // Nothing of one test may reach the next: close what is left open.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        widget->close();
    }
    Settle();
}

std::string AppTest::StorePath() const
{
    return (temp.Path() / "config" / "brelvix" / "registry").string();
}

std::unique_ptr<MainFrame> AppTest::OpenFrame(const std::string& picture)
{
    auto frame = std::make_unique<MainFrame>();
    EXPECT_TRUE(frame->OpenFirstPicture(picture));
    Reactivate(*frame);
    Settle();
    return frame;
}

void AppTest::Reactivate(MainFrame& frame)
{
    frame.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&frame));
}

void AppTest::Settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
}

void AppTest::Change(MainFrame& frame, const std::function<void(SettingsRecord&)>& change)
{
    SettingsRecord record = frame.Record();
    change(record);
    frame.ApplySettings(record);
}

void AppTest::Press(MainFrame& frame, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(frame.View()->viewport(), key, modifiers);
}

MainFrame::OpenDialog OpenDialogAnswer(const std::string& path)
{
    return [path](QWidget*, const OpenFileDialogRequest&, std::string* chosen) {
        *chosen = path;
        return !path.empty();
    };
}

MessageBoxAnswer::MessageBoxAnswer(QMessageBox::StandardButton button)
{
    // The box shows inside a nested event loop run by the code under test;
    // the timer fires there.
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [this, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || box->button(button) == nullptr) {
            return;
        }
        timer.stop();
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        answered = true;
        box->button(button)->click();
    });
    timer.start();
}

MessageBoxAnswer::~MessageBoxAnswer()
{
    timer.stop();
}

ScopedEnv::ScopedEnv(const char* variable, const std::string& value) : name(variable)
{
    if (const char* old = std::getenv(variable)) {
        hadValue = true;
        oldValue = old;
    }
    setenv(variable, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv()
{
    if (hadValue) {
        setenv(name.c_str(), oldValue.c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
}

namespace {

// The QApplication lives from the first test to the last; listing the tests
// (as the build does, without a display) never creates it.
class QtEnvironment : public ::testing::Environment {
public:
    QtEnvironment(int count, char** values) : argc(count), argv(values) {}

    void SetUp() override
    {
        char pattern[] = "/tmp/brelvix-runtime-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            FAIL() << "cannot create the runtime folder";
        }
        runtime = pattern;
        chmod(pattern, 0700);
        setenv("XDG_RUNTIME_DIR", pattern, 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        application = std::make_unique<QApplication>(argc, argv);
    }

    void TearDown() override
    {
        application.reset();
        std::error_code ignored;
        std::filesystem::remove_all(runtime, ignored);
    }

private:
    int argc;
    char** argv;
    std::string runtime;
    std::unique_ptr<QApplication> application;
};

}  // namespace

}  // namespace brelvix::app

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new brelvix::app::QtEnvironment(argc, argv));
    return RUN_ALL_TESTS();
}
