// The command line's conveniences: help, version, and a folder to start in.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/common/app_test_support.h"

namespace brelvix::app {

namespace {

TEST(CommandLineOptions, OnlyALoneOptionIsARequest)
{
    using Request = CommandLineRequest;
    const std::pair<std::vector<std::string>, Request> cases[] = {
        {{"--help"}, Request::ShowHelp},         {{"-h"}, Request::ShowHelp},
        {{"--version"}, Request::ShowVersion},   {{}, Request::OpenPicture},
        {{"--help", "x"}, Request::OpenPicture}, {{"./--help"}, Request::OpenPicture},
        {{"--verbose"}, Request::OpenPicture},
    };
    for (const auto& [arguments, request] : cases) {
        EXPECT_EQ(RequestOf(arguments), request) << (arguments.empty() ? "" : arguments[0]);
    }
    EXPECT_EQ(VersionText(), "Brelvix 2.1\n");
    EXPECT_EQ(UsageText().rfind("Usage: brelvix [PICTURE | FOLDER]\n", 0), 0u);
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
