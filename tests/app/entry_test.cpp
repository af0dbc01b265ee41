// The program's entry: the command line, the first picture, and the real
// binary's exit status.
#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>

#include "app/common/app_test_support.h"
#include "app/entry.h"

namespace brelvix::app {

namespace {

TEST(CommandLine, TailIsTheArgumentsJoinedBySpaces)
{
    EXPECT_EQ(CommandLineTail({}), "");
    EXPECT_EQ(CommandLineTail({"/pics/a.jpg"}), "/pics/a.jpg");
    EXPECT_EQ(CommandLineTail({"/my", "pics/a.jpg"}), "/my pics/a.jpg");
}

TEST(CommandLine, LeadingQuoteDropsTheFirstAndLastCharacter)
{
    EXPECT_EQ(PicturePathFromTail("\"/my pics/a.jpg\"", "/home/u"), "/my pics/a.jpg");
    EXPECT_EQ(PicturePathFromTail("\"/pics/a.jpgx", "/home/u"), "/pics/a.jpg");
    EXPECT_EQ(PicturePathFromTail("\"", "/home/u"), "");
    EXPECT_EQ(PicturePathFromTail("\"\"", "/home/u"), "");
    // Two quoted names are one path that will not load.
    EXPECT_EQ(PicturePathFromTail("\"/a.jpg\" \"/b.jpg\"", "/home/u"), "/a.jpg\" \"/b.jpg");
    EXPECT_EQ(PicturePathFromTail("", "/home/u"), "");
}

TEST(CommandLine, RelativePathsBecomeAbsoluteWithoutResolvingLinks)
{
    EXPECT_EQ(PicturePathFromTail("photo.jpg", "/home/u"), "/home/u/photo.jpg");
    EXPECT_EQ(PicturePathFromTail("./trip/./photo.jpg", "/home/u/"), "/home/u/trip/photo.jpg");
    EXPECT_EQ(PicturePathFromTail("../b/photo.jpg", "/home/u"), "/home/u/../b/photo.jpg");
    EXPECT_EQ(PicturePathFromTail("photo.jpg", "/"), "/photo.jpg");
    EXPECT_EQ(PicturePathFromTail("/abs/photo.jpg", "/home/u"), "/abs/photo.jpg");
}

TEST(CommandLine, CurrentFolderKeepsTheShellsSymbolicLink)
{
    TempDir temp;
    std::filesystem::create_directories(temp.Path() / "real");
    std::filesystem::create_directory_symlink(temp.Path() / "real", temp.Path() / "link");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(temp.Path() / "link");
    {
        ScopedEnv pwd("PWD", (temp.Path() / "link").string());
        EXPECT_EQ(CurrentFolder(), (temp.Path() / "link").string());
    }
    {
        // A stale $PWD is not believed.
        ScopedEnv pwd("PWD", temp.Path().string());
        EXPECT_EQ(CurrentFolder(), std::filesystem::canonical(temp.Path() / "real").string());
    }
    std::filesystem::current_path(before);
}

class Binary : public AppTest {
protected:
    // Runs the program with `arguments` and the test's XDG folders; returns
    // the exit status and the standard error.
    int Run(const QStringList& arguments, const QProcessEnvironment& environment, QString* errors)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(BRELVIX_BINARY), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        *errors = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

TEST_F(Binary, WithoutADisplayItEndsWithStatusOneAndOneLine)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    QString errors;
    EXPECT_EQ(Run({QString::fromStdString(pictures + "/a.bmp")}, environment, &errors), 1);
    EXPECT_EQ(errors.count('\n'), 1) << errors.toStdString();
    EXPECT_TRUE(errors.startsWith("brelvix: ")) << errors.toStdString();
    EXPECT_FALSE(std::filesystem::exists(StorePath()));
}

// The real binary meets the real dialog and a real Escape key under Xvfb
// (tests/app/xvfb); here the frame's own part: nothing shows, nothing is saved.
TEST_F(Binary, CancellingTheFirstOpenDialogShowsNothingAndSavesNothing)
{
    std::vector<std::string> titles;
    {
        MainFrame frame;
        frame.SetOpenDialog([&titles](QWidget*, const OpenFileDialogRequest& request, std::string*) {
            titles.push_back(request.title);
            return false;
        });
        EXPECT_FALSE(frame.OpenFirstPicture(""));
        EXPECT_FALSE(frame.isVisible());
    }
    EXPECT_EQ(titles, std::vector<std::string>{"Select an image file to view"});
    EXPECT_FALSE(std::filesystem::exists(StorePath()));
}

}  // namespace

}  // namespace brelvix::app
