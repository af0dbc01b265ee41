// Shared pieces of the application's GUI tests: a QApplication on the
// offscreen platform created only when tests run, per-test XDG folders,
// small BMP fixtures and helpers that drive the real MainFrame.
#pragma once

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/main_frame.h"
#include "support/pixels.h"
#include "support/temp_dir.h"

namespace brelvix::app {

// Writes a 24-bit bottom-up BMP of width x height whose pixel (x, y), y = 0
// the top row, is colour(x, y). Returns the file's path.
std::string WriteBmp(const std::string& path, int width, int height, const std::function<Rgb(int, int)>& colour);
// The same with one colour.
std::string WriteSolidBmp(const std::string& path, int width, int height, Rgb colour);

// Each test gets its own XDG config and data folders (so its own settings
// store and trash) below a temporary folder.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The settings store's file for this test.
    std::string StorePath() const;
    // A frame as the entry makes it: created, the picture opened (no path:
    // the Open dialog would be asked), shown and active.
    std::unique_ptr<MainFrame> OpenFrame(const std::string& picture);
    // Makes the frame the active window again (keys act only there).
    static void Reactivate(MainFrame& frame);
    // Lets queued events (geometry, repaints) run.
    static void Settle();
    // Sends a key to the frame's view, the way the keyboard would.
    static void Press(MainFrame& frame, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Changes the frame's and the view's settings the way the Preferences
    // dialog does.
    static void Change(MainFrame& frame, const std::function<void(SettingsRecord&)>& change);

    TempDir temp;
    std::string pictures;  // a folder for the test's pictures
};

// An Open dialog that answers `path` at once, or cancels when it is empty.
MainFrame::OpenDialog OpenDialogAnswer(const std::string& path);

// Answers the next modal message box with `button` once it shows, and keeps
// its caption and text. Call before the action that opens it.
class MessageBoxAnswer {
public:
    explicit MessageBoxAnswer(QMessageBox::StandardButton button);
    ~MessageBoxAnswer();
    MessageBoxAnswer(const MessageBoxAnswer&) = delete;
    MessageBoxAnswer& operator=(const MessageBoxAnswer&) = delete;

    bool answered = false;
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;

private:
    QTimer timer;
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();

private:
    std::string name;
    bool hadValue = false;
    std::string oldValue;
};

}  // namespace brelvix::app
