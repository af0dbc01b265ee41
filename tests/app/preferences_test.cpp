// The Preferences dialog: what it shows, what OK and Cancel make of the
// user's texts, the file types it registers and how, and the Browse dialog.
#include "app/preferences_dialog.h"

#include <QAbstractProxyModel>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/color_picker.h"
#include "app/common/app_test_support.h"
#include "app/common/modal_action.h"

namespace brelvix::app {

namespace {

// Index of each box in FileTypeAssociations().
enum Box : std::size_t { kJpg, kGif, kTiff, kBmp, kPng, kTga, kWebp, kAvif, kHeif, kJxl };

SettingsRecord Initial()
{
    SettingsRecord values = DefaultSettings();
    values.backgroundColor = 0x00FF00;
    values.EscFullscreen = true;
    values.includeSubdirectories = false;
    values.slideShowDelay = 5.0;
    values.fastForwardSkip = -3;
    values.imageEditorPath = "/usr/bin/gimp";
    return values;
}

// Records what the dialog asks to register.
struct FakeWriter {
    std::vector<std::vector<std::string>> calls;
    platform::AssociationResult result;

    AssociationWriter Writer()
    {
        return [this](const std::vector<std::string>& types) {
            calls.push_back(types);
            return result;
        };
    }
};

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

using Preferences = AppTest;

TEST_F(Preferences, ShowsTheValuesItWasOpenedWith)
{
    const std::pair<double, const char*> delays[] = {{5.0, "5.00"}, {0.01, "0.01"}, {12.5, "12.50"}};
    for (const auto& [delay, text] : delays) {
        SettingsRecord values = Initial();
        values.slideShowDelay = delay;
        PreferencesDialog dialog(values);
        EXPECT_EQ(dialog.DelayEdit()->text(), text);
    }
    PreferencesDialog dialog(Initial());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "Preferences");
    EXPECT_EQ(dialog.SkipEdit()->text(), "-3");
    EXPECT_EQ(dialog.EditorEdit()->text(), "/usr/bin/gimp");
    EXPECT_TRUE(dialog.EscBox()->isChecked());
    EXPECT_FALSE(dialog.SubfoldersBox()->isChecked());
    EXPECT_EQ(dialog.SubfoldersBox()->text(), " Include subdirectories when reading file list");
    EXPECT_EQ(dialog.ColorPicker()->GetColor(), 0x00FF00u);
    EXPECT_TRUE(dialog.ColorPicker()->AutomaticText().isEmpty());
    EXPECT_EQ(dialog.ColorPicker()->CustomText(), "More Colors...");
    for (std::size_t i = 0; i < FileTypeAssociations().size(); ++i) {
        EXPECT_FALSE(dialog.AssociationBox(i)->isChecked()) << FileTypeAssociations()[i].label;
    }
    EXPECT_TRUE(dialog.DelayEdit()->hasFocus());
    EXPECT_TRUE(dialog.OkButton()->isDefault());
    for (const bool upright : {true, false}) {
        SettingsRecord values = Initial();
        values.applyOrientation = upright;
        EXPECT_EQ(PreferencesDialog(values).ViewingBox(&SettingsRecord::applyOrientation)->isChecked(), upright);
    }
}

TEST_F(Preferences, OkConvertsTheTextsCancelKeepsEverything)
{
    struct Case {
        const char* delay;
        const char* skip;
        double entered;  // what the dialog reads
        double applied;  // what the viewer gets
        std::int32_t step;
    };
    const Case cases[] = {
        {"0", "20", 0.0, 0.01, 20},          {"abc", "x", 0.0, 0.01, 0},      {"2.5", "-3", 2.5, 2.5, -3},
        {" 7.25s", "12abc", 7.25, 7.25, 12}, {"0.004", " 5", 0.004, 0.01, 0}, {"-1", "-0", -1.0, 0.01, 0},
    };
    for (const Case& c : cases) {
        for (const bool ok : {true, false}) {
            FakeWriter writer;
            PreferencesDialog dialog(Initial(), nullptr, writer.Writer());
            dialog.DelayEdit()->setText(c.delay);
            dialog.SkipEdit()->setText(c.skip);
            dialog.EditorEdit()->setText("/opt/editor");
            dialog.EscBox()->setChecked(false);
            dialog.SubfoldersBox()->setChecked(true);
            dialog.ColorPicker()->SetColor(0x123456);
            dialog.AssociationBox(kPng)->setChecked(true);
            dialog.ViewingBox(&SettingsRecord::applyOrientation)->setChecked(false);
            (ok ? dialog.OkButton() : dialog.CancelButton())->click();
            EXPECT_EQ(dialog.result(), ok ? QDialog::Accepted : QDialog::Rejected);

            SettingsRecord applied = Initial();
            ApplyPreferences(dialog.Values(), applied);
            if (!ok) {
                // Cancel: nothing changes and nothing is registered.
                EXPECT_EQ(applied.slideShowDelay, 5.0) << c.delay;
                EXPECT_EQ(applied.fastForwardSkip, -3);
                EXPECT_EQ(applied.imageEditorPath, "/usr/bin/gimp");
                EXPECT_EQ(applied.backgroundColor, 0x00FF00u);
                EXPECT_TRUE(applied.EscFullscreen);
                EXPECT_FALSE(applied.includeSubdirectories);
                EXPECT_TRUE(applied.applyOrientation);
                EXPECT_TRUE(writer.calls.empty());
                continue;
            }
            EXPECT_EQ(dialog.Values().slideShowDelay, c.entered) << c.delay;
            EXPECT_EQ(applied.slideShowDelay, c.applied) << c.delay;
            EXPECT_EQ(applied.fastForwardSkip, c.step) << c.skip;
            EXPECT_EQ(applied.imageEditorPath, "/opt/editor");
            EXPECT_EQ(applied.backgroundColor, 0x123456u);
            EXPECT_FALSE(applied.EscFullscreen);
            EXPECT_TRUE(applied.includeSubdirectories);
            EXPECT_FALSE(applied.applyOrientation);
            EXPECT_EQ(writer.calls, (std::vector<std::vector<std::string>>{{"image/png"}}));
        }
    }
}

TEST_F(Preferences, TickedTypesAreRegisteredTogetherInTableOrder)
{
    struct Case {
        std::vector<Box> ticked;
        std::vector<std::string> types;
    };
    const Case cases[] = {
        {{kJpg}, {"image/jpeg"}},
        {{kPng}, {"image/png"}},
        {{kBmp}, {"image/bmp"}},
        {{kTga, kPng, kGif, kJpg}, {"image/jpeg", "image/gif", "image/png", "image/x-tga"}},
        {{kTiff, kBmp}, {"image/tiff", "image/bmp"}},
        {{kHeif, kWebp}, {"image/webp", "image/heif", "image/heic"}},
        {{kJxl, kJpg, kAvif}, {"image/jpeg", "image/avif", "image/jxl"}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        FakeWriter writer;
        PreferencesDialog dialog(Initial(), nullptr, writer.Writer());
        for (Box box : c.ticked) {
            dialog.AssociationBox(box)->setChecked(true);
        }
        dialog.accept();
        if (c.types.empty()) {
            EXPECT_TRUE(writer.calls.empty());
        } else {
            EXPECT_EQ(writer.calls, std::vector<std::vector<std::string>>{c.types});
        }
    }
    // The desktop entry the writer names must claim every type it is made
    // the default for.
    QFile entry(QStringLiteral(":/brelvix/brelvix.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    const QRegularExpressionMatch mimeLine = QRegularExpression("\\nMimeType=([^\\n]*)").match(text);
    ASSERT_TRUE(mimeLine.hasMatch());
    const QStringList listed = mimeLine.captured(1).split(u';');
    for (const FileTypeAssociation& association : FileTypeAssociations()) {
        for (const std::string& type : association.mimeTypes) {
            EXPECT_TRUE(listed.contains(QString::fromStdString(type))) << type;
        }
    }
}

// The newer formats have their own page; the first page is as it was.
TEST_F(Preferences, NewerFileTypesHaveAPageOfTheirOwn)
{
    PreferencesDialog dialog(Initial());
    auto* tabs = dialog.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(2), "File Types");
    const QStringList labels{"WebP", "AVIF", "HEIF", "JXL"};
    for (std::size_t box = kWebp; box <= kJxl; ++box) {
        EXPECT_EQ(dialog.AssociationBox(box)->text(), labels[int(box - kWebp)]);
        EXPECT_TRUE(tabs->widget(2)->isAncestorOf(dialog.AssociationBox(box)));
    }
    QWidget* first = tabs->widget(0);
    for (std::size_t box = kJpg; box <= kTga; ++box) {
        EXPECT_TRUE(first->isAncestorOf(dialog.AssociationBox(box)));
    }
    EXPECT_EQ(first->findChildren<QCheckBox*>().size(), 8);  // two settings, six types
}

TEST_F(Preferences, FailedAssociationWarnsOnceAndKeepsTheOtherValues)
{
    FakeWriter writer;
    writer.result = {false, "/home/u/.config/mimeapps.list", "/home/u/.config/mimeapps.list cannot be written."};
    PreferencesDialog dialog(Initial(), nullptr, writer.Writer());
    dialog.show();
    dialog.DelayEdit()->setText("9");
    dialog.AssociationBox(kJpg)->setChecked(true);
    dialog.AssociationBox(kTga)->setChecked(true);
    MessageBoxAnswer answer(QMessageBox::Ok);
    dialog.OkButton()->click();
    EXPECT_TRUE(answer.answered);
    EXPECT_TRUE(answer.text.contains("/home/u/.config/mimeapps.list cannot be written.")) << answer.text.toStdString();
    EXPECT_EQ(answer.icon, QMessageBox::Warning);
    EXPECT_EQ(writer.calls.size(), 1u);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Values().slideShowDelay, 9.0);
}

TEST_F(Preferences, PngBecomesTheDesktopsDefaultAndTheUsersLinesStay)
{
    const std::filesystem::path config = temp.Path() / "config";
    const std::string before =
        "# my associations\n[Default Applications]\ntext/plain=gedit.desktop\nimage/png=old.desktop\n\n"
        "[Added Associations]\nimage/png=old.desktop;\n";
    std::ofstream(config / "mimeapps.list") << before;
    ScopedEnv dataDirs("XDG_DATA_DIRS", (temp.Path() / "system").string() + ":/usr/share");

    PreferencesDialog dialog(Initial());
    dialog.AssociationBox(kPng)->setChecked(true);
    dialog.OkButton()->click();

    const std::string after = ReadText(config / "mimeapps.list");
    for (const char* kept : {"# my associations\n", "text/plain=gedit.desktop\n"}) {
        EXPECT_NE(after.find(kept), std::string::npos) << after;
    }
    EXPECT_NE(after.find("image/png=brelvix.desktop;old.desktop;\n"), std::string::npos) << after;

    // What the desktop reads.
    QProcess gio;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    gio.setProcessEnvironment(environment);
    gio.start(QStringLiteral("gio"), {QStringLiteral("mime"), QStringLiteral("image/png")});
    ASSERT_TRUE(gio.waitForFinished(10000)) << "gio (libglib2.0-bin) is part of the set-up";
    const QString answer = QString::fromUtf8(gio.readAllStandardOutput());
    EXPECT_TRUE(
        answer.startsWith(QString::fromUtf8("Default application for \u201Cimage/png\u201D: brelvix.desktop\n")))
        << answer.toStdString();

    const std::string entry = ReadText(temp.Path() / "data" / "applications" / "brelvix.desktop");
    const std::string exec = "Exec=" + QCoreApplication::applicationFilePath().toStdString() + " %f\n";
    EXPECT_NE(entry.find(exec), std::string::npos) << entry;
}

TEST_F(Preferences, BrowseFillsTheEditorPathCancelKeepsIt)
{
    const std::string program = temp.Write("tools/my editor", std::string("#!/bin/sh\n"));
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    PreferencesDialog dialog(Initial());
    dialog.show();

    ModalAction cancel([](QWidget* modal, QWidget*) {
        auto* files = qobject_cast<QFileDialog*>(modal);
        if (files != nullptr) {
            files->reject();
        }
        return files != nullptr;
    });
    dialog.BrowseButton()->click();
    ASSERT_TRUE(cancel.Done());
    EXPECT_EQ(dialog.EditorEdit()->text(), "/usr/bin/gimp");

    QString title;
    QStringList filters;
    QStringList shown;
    temp.Write("tools/notes.txt", std::string("not a program"));
    // Browse starts in the current editor's folder.
    dialog.EditorEdit()->setText(QString::fromStdString((temp.Path() / "tools" / "old").string()));
    ModalAction choose([&](QWidget* modal, QWidget*) {
        auto* files = qobject_cast<QFileDialog*>(modal);
        if (files == nullptr) {
            return false;
        }
        // "Executable files" lists what the user may run (once the folder
        // has been read).
        const QAbstractProxyModel* proxy = files->proxyModel();
        const auto* model = qobject_cast<const QFileSystemModel*>(proxy->sourceModel());
        const QModelIndex folder = proxy->mapFromSource(model->index(files->directory().path()));
        if (model->rowCount(model->index(files->directory().path())) < 2) {
            return false;
        }
        for (int row = 0; row < proxy->rowCount(folder); ++row) {
            shown.append(proxy->index(row, 0, folder).data().toString());
        }
        title = files->windowTitle();
        filters = files->nameFilters();
        // Typed, as the user would; the name field has the focus.
        files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("my editor"));
        QMetaObject::invokeMethod(files, "accept");
        return true;
    });
    dialog.BrowseButton()->click();
    ASSERT_TRUE(choose.Done());
    EXPECT_EQ(title, "Select an executable to edit images with");
    EXPECT_EQ(filters, (QStringList{"Executable files (*)", "All files (*)"}));
    EXPECT_EQ(shown, QStringList{"my editor"});
    EXPECT_EQ(dialog.EditorEdit()->text().toStdString(), program);
}

TEST_F(Preferences, AnAddedPageLeavesTheFirstAsItWas)
{
    // The first page is the dialog's whole former face, at its own size;
    // the buttons stay below the pages.
    PreferencesDialog dialog(Initial());
    auto* tabs = dialog.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "General");
    EXPECT_EQ(tabs->tabText(1), "Viewing");
    EXPECT_EQ(tabs->tabText(2), "File Types");
    EXPECT_EQ(tabs->widget(0), dialog.DelayEdit()->parentWidget());
    QCheckBox* upright = dialog.ViewingBox(&SettingsRecord::applyOrientation);
    EXPECT_TRUE(tabs->widget(1)->isAncestorOf(upright));
    EXPECT_EQ(upright->text(), " Turn pictures upright as the camera recorded");
    EXPECT_GE(dialog.OkButton()->y(), tabs->geometry().bottom());

    // A further page changes nothing of the others.
    const QRect delay = dialog.DelayEdit()->geometry();
    const QSize first = tabs->widget(0)->size();
    const QSize before = dialog.size();
    dialog.AddPage(new QWidget, QStringLiteral("More"));
    EXPECT_EQ(tabs->count(), 4);
    EXPECT_EQ(dialog.DelayEdit()->geometry(), delay);
    EXPECT_EQ(tabs->widget(0)->size(), first);
    EXPECT_EQ(dialog.size(), before);
}

}  // namespace

}  // namespace brelvix::app
