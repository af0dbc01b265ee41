// The frame's dialogs as the user reaches them: Preferences from its keys,
// menu and toolbar, applied at once on OK and not at all on Cancel; the Help
// boxes and the donation page; the editor warning's way to Preferences; and
// the program's --help and --version.
#include <QCheckBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QToolBar>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "app/about_dialog.h"
#include "app/color_picker.h"
#include "app/common/app_test_support.h"
#include "app/common/modal_action.h"
#include "app/preferences_dialog.h"
#include "app/shortcuts_dialog.h"
#include "app/view_widget.h"
#include "support/bmp_writer.h"
#include "support/exif_writer.h"
#include "support/jpeg_writer.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

using FrameDialogs = AppTest;

// Records what the desktop was asked to open.
class UrlLog : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened.append(url); }
};

// Closes the next modal box of type T (Cancel for a dialog) once it shows.
template <typename T>
class CloseWhenShown {
public:
    CloseWhenShown()
        : action([this](QWidget* modal, QWidget*) {
              auto* box = qobject_cast<T*>(modal);
              if (box == nullptr) {
                  return false;
              }
              title = box->windowTitle();
              box->reject();
              return true;
          })
    {
    }
    bool Shown() const { return action.Done(); }
    QString title;

private:
    ModalAction action;
};

TEST_F(FrameDialogs, EveryWayToPreferencesOpensIt)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"Ctrl+P", [&] { Press(*frame, Qt::Key_P, Qt::ControlModifier); }},
        {"Tab", [&] { Press(*frame, Qt::Key_Tab); }},
        {"File menu", [&] { frame->CommandAction(kCmdPreferences)->trigger(); }},
        {"toolbar", [&] { frame->ToolBar()->actions()[1]->trigger(); }},
    };
    for (const auto& [name, open] : ways) {
        CloseWhenShown<PreferencesDialog> close;
        open();
        EXPECT_TRUE(close.Shown()) << name;
        EXPECT_EQ(close.title, "Preferences") << name;
        Reactivate(*frame);
    }
}

TEST_F(FrameDialogs, OkAppliesAtOnceCancelChangesNothing)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    const ViewerSettings& settings = frame->Image().Settings();
    const auto corner = [&] { return frame->View()->viewport()->grab().toImage().pixel(1, 1); };
    ASSERT_EQ(corner(), qRgb(255, 255, 255));

    for (const bool ok : {false, true}) {
        ModalAction edit([ok](QWidget* modal, QWidget*) {
            auto* dialog = qobject_cast<PreferencesDialog*>(modal);
            if (dialog == nullptr) {
                return false;
            }
            dialog->DelayEdit()->setText("0");
            dialog->SkipEdit()->setText("-3");
            dialog->EditorEdit()->setText("/opt/editor");
            dialog->ColorPicker()->SetColor(0x00FF00);  // green
            (ok ? dialog->OkButton() : dialog->CancelButton())->click();
            return true;
        });
        Press(*frame, Qt::Key_P, Qt::ControlModifier);
        ASSERT_TRUE(edit.Done());
        if (!ok) {
            EXPECT_EQ(settings.slideShowDelay, 5.0);
            EXPECT_EQ(settings.fastForwardSkip, 20);
            EXPECT_EQ(settings.imageEditorPath, "");
            EXPECT_EQ(corner(), qRgb(255, 255, 255));
            Reactivate(*frame);
            continue;
        }
        EXPECT_EQ(settings.slideShowDelay, 0.01);
        EXPECT_EQ(settings.fastForwardSkip, -3);
        EXPECT_EQ(settings.imageEditorPath, "/opt/editor");
        EXPECT_EQ(settings.backgroundColor, 0x00FF00u);
        // Painted before the dialog's command returned, without a pass of the
        // event loop.
        EXPECT_EQ(corner(), qRgb(0, 255, 0));
    }
}

TEST_F(FrameDialogs, TurningPicturesUprightOrNotShowsAtOnce)
{
    // 30 x 40 as stored, from a camera held on its side (orientation 6).
    const std::string photo = pictures + "/phone.jpg";
    ASSERT_TRUE(WriteFileBytes(
        photo, JpegWithExif(EncodeJpeg(30, 40, std::vector<std::uint8_t>(30 * 40 * 3, 128)), ExifWithOrientation(6))));
    auto frame = OpenFrame(photo);
    const ImageDocument& document = frame->Image().Document();
    ASSERT_EQ(document.Display().Width(), 40);

    const struct {
        bool upright;
        bool ok;
        int width, height;
    } steps[] = {{false, false, 40, 30}, {false, true, 30, 40}, {true, true, 40, 30}};
    for (const auto& step : steps) {
        ModalAction edit([&step](QWidget* modal, QWidget*) {
            auto* dialog = qobject_cast<PreferencesDialog*>(modal);
            if (dialog == nullptr) {
                return false;
            }
            dialog->ViewingBox(&SettingsRecord::applyOrientation)->setChecked(step.upright);
            (step.ok ? dialog->OkButton() : dialog->CancelButton())->click();
            return true;
        });
        Press(*frame, Qt::Key_P, Qt::ControlModifier);
        ASSERT_TRUE(edit.Done());
        EXPECT_EQ(frame->Image().Settings().applyOrientation, step.ok ? step.upright : true);
        EXPECT_EQ(document.Display().Width(), step.width) << step.upright << step.ok;
        EXPECT_EQ(document.Display().Height(), step.height) << step.upright << step.ok;
        EXPECT_EQ(document.Path(), photo);
        Reactivate(*frame);
    }
}

TEST_F(FrameDialogs, HelpBoxesAndTheDonationPage)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    {
        CloseWhenShown<ShortcutsDialog> close;
        Press(*frame, Qt::Key_F1);
        EXPECT_TRUE(close.Shown());
        EXPECT_EQ(close.title, "Brelvix Keyboard Shortcuts");
    }
    Reactivate(*frame);
    {
        CloseWhenShown<AboutDialog> close;
        frame->CommandAction(kCmdAbout)->trigger();
        EXPECT_TRUE(close.Shown());
        EXPECT_EQ(close.title, "About");
    }
    UrlLog log;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &log, "Open");
    frame->CommandAction(kCmdDonate)->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(log.opened.size(), 1);
    EXPECT_EQ(log.opened[0].toString(QUrl::FullyEncoded), DonationAddress());
}

TEST_F(FrameDialogs, TheEditorWarningPointsToWherePreferencesSetsTheEditor)
{
    const std::string picture = WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3});
    const std::filesystem::path marker = temp.Path() / "edited";
    const std::string editor =
        temp.Write("bin/editor", "#!/bin/sh\nprintf '%s' \"$1\" > '" + marker.string() + ".tmp'\nmv '" +
                                     marker.string() + ".tmp' '" + marker.string() + "'\n");
    std::filesystem::permissions(editor, std::filesystem::perms::owner_all);
    auto frame = OpenFrame(picture);
    {
        MessageBoxAnswer answer(QMessageBox::Ok);
        Press(*frame, Qt::Key_E, Qt::ControlModifier);
        EXPECT_TRUE(answer.text.contains("Please use the Preferences dialog to assign an editor."));
    }
    Reactivate(*frame);
    ModalAction setEditor([&](QWidget* modal, QWidget*) {
        auto* dialog = qobject_cast<PreferencesDialog*>(modal);
        if (dialog == nullptr) {
            return false;
        }
        dialog->EditorEdit()->setText(QString::fromStdString(editor));
        dialog->OkButton()->click();
        return true;
    });
    Press(*frame, Qt::Key_P, Qt::ControlModifier);
    ASSERT_TRUE(setEditor.Done());
    Reactivate(*frame);
    Press(*frame, Qt::Key_E, Qt::ControlModifier);
    for (int i = 0; i < 500 && !std::filesystem::exists(marker); ++i) {
        QTest::qWait(10);
    }
    std::ifstream in(marker);
    std::string argument;
    std::getline(in, argument);
    EXPECT_EQ(argument, picture);
}

TEST_F(FrameDialogs, HelpAndVersionNeedNoDisplay)
{
    const std::pair<QString, QString> cases[] = {
        {"--version", "Brelvix 2.1\n"},
        {"--help", "Usage: brelvix [PICTURE | FOLDER]\n"},
        {"-h", "Usage: brelvix [PICTURE | FOLDER]\n"},
    };
    for (const auto& [option, start] : cases) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        environment.insert("QT_QPA_PLATFORM", "xcb");
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(BRELVIX_BINARY), {option});
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << option.toStdString();
        EXPECT_TRUE(QString::fromUtf8(process.readAllStandardOutput()).startsWith(start)) << option.toStdString();
    }
}

}  // namespace

}  // namespace brelvix::app

#include "frame_dialogs_test.moc"
