// The command line: options, the picture it names, and a folder to start in.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>

#include "app/common/app_test_support.h"

namespace brelvix::app {

namespace {

TEST(CommandLineOptions, ArgumentsAsLinuxProgramsTakeThem)
{
    using Request = CommandLineRequest;
    using Words = std::vector<std::string>;
    const struct {
        Words arguments;
        Request request;
        std::string picture;
        Words ignored;
        Words toolkit;
        std::string problem;
    } cases[] = {
        {{}, Request::OpenPicture, "", {}, {}, ""},
        {{"a.gif", "b.png"}, Request::OpenPicture, "a.gif", {"b.png"}, {}, ""},
        {{"/my pics/a.gif"}, Request::OpenPicture, "/my pics/a.gif", {}, {}, ""},
        {{"--help"}, Request::ShowHelp, "", {}, {}, ""},
        {{"a.gif", "-h"}, Request::ShowHelp, "", {}, {}, ""},
        {{"--version", "a.gif"}, Request::ShowVersion, "", {}, {}, ""},
        {{"--bogus"}, Request::UnknownOption, "", {}, {}, "unknown option --bogus"},
        {{"a.gif", "-x", "--help"}, Request::UnknownOption, "", {}, {}, "unknown option -x"},
        {{"--", "--bogus", "-h"}, Request::OpenPicture, "--bogus", {"-h"}, {}, ""},
        {{"-platform", "offscreen", "a.gif", "--style", "fusion", "-reverse", "-style=kvantum"},
         Request::OpenPicture,
         "a.gif",
         {},
         {"-platform", "offscreen", "--style", "fusion", "-reverse", "-style=kvantum"},
         ""},
        {{"a.gif", "-display"}, Request::UnknownOption, "", {}, {}, "option -display needs a value"},
        {{"-platform=xcb"}, Request::UnknownOption, "", {}, {}, "unknown option -platform=xcb"},
    };
    for (const auto& c : cases) {
        const std::string label = c.arguments.empty() ? "(none)" : c.arguments[0] + "...";
        const CommandLine line = ParseCommandLine(c.arguments);
        EXPECT_EQ(line.request, c.request) << label;
        EXPECT_EQ(line.picture, c.picture) << label;
        EXPECT_EQ(line.ignored, c.ignored) << label;
        EXPECT_EQ(line.toolkitArguments, c.toolkit) << label;
        EXPECT_EQ(line.problem, c.problem) << label;
    }
    EXPECT_EQ(IgnoredArgumentsNote(ParseCommandLine({"a.gif", "b.png", "c d.jpg"})),
              "brelvix: opens one picture at a time; ignored: b.png c d.jpg\n");
    EXPECT_EQ(IgnoredArgumentsNote(ParseCommandLine({"a.gif"})), "");
    EXPECT_EQ(VersionText(), "Brelvix 2.1\n");
    EXPECT_EQ(UsageText().rfind("Usage: brelvix [PICTURE | FOLDER]\n", 0), 0u);
}

TEST(CommandLineOptions, AQuotedArgumentLosesItsQuotesUnlessAFileHasThatName)
{
    TempDir folder;
    const std::string root = folder.Path().string();
    folder.Write("\"odd\".jpg", std::string("x"));
    const std::pair<std::string, std::string> cases[] = {
        {"\"/my pics/a.jpg\"", "/my pics/a.jpg"}, {"\"a.jpg\"", root + "/a.jpg"},   {"\"", ""},
        {"\"odd\".jpg", root + "/\"odd\".jpg"},   {"b/./c.jpg", root + "/b/c.jpg"},
    };
    for (const auto& [argument, path] : cases) {
        EXPECT_EQ(PicturePathFromArgument(argument, root), path) << argument;
    }
}

TEST(CommandLineOptions, TheProgramRefusesAnUnknownOptionWithStatusTwo)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(BRELVIX_BINARY), {QStringLiteral("a.gif"), QStringLiteral("--bogus")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(process.readAllStandardError().startsWith("brelvix: unknown option --bogus\nUsage: brelvix"));
}

using FolderArgument = AppTest;

TEST_F(FolderArgument, OpensTheFirstPictureInListOrder)
{
    WriteSolidBmp(pictures + "/img10.bmp", 4, 4, Rgb{1, 2, 3});
    WriteSolidBmp(pictures + "/IMG2.bmp", 4, 4, Rgb{1, 2, 3});
    WriteSolidBmp(pictures + "/b/a.bmp", 4, 4, Rgb{1, 2, 3});
    temp.Write("pictures/0notes.txt", std::string("not a picture"));
    temp.Write("empty/readme.txt", std::string("nothing to show"));

    EXPECT_EQ(PictureForPath(pictures, false), pictures + "/IMG2.bmp");
    EXPECT_EQ(PictureForPath(pictures + "//", false), pictures + "/IMG2.bmp");
    EXPECT_EQ(PictureForPath(pictures, true), pictures + "/b/a.bmp");
    EXPECT_EQ(PictureForPath((temp.Path() / "empty").string(), false), "");
    // Files and paths that do not exist are the viewer's to show or refuse.
    EXPECT_EQ(PictureForPath(pictures + "/img10.bmp", false), pictures + "/img10.bmp");
    EXPECT_EQ(PictureForPath(pictures + "/missing", false), pictures + "/missing");
}

}  // namespace

}  // namespace brelvix::app
