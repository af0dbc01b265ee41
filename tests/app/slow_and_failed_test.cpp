// The frame while a picture is still being decoded, and deletes that fail.
// The decode the test needs in progress is held at the gate of
// imaging/load_control.h, however fast the machine.
#include <QApplication>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/common/app_test_support.h"
#include "app/view_widget.h"
#include "imaging/load_control.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

using SlowAndFailed = AppTest;

bool WaitUntil(const std::function<bool()>& done)
{
    return QTest::qWaitFor(done, 60000);
}

TEST_F(SlowAndFailed, KeysActWhileItDecodesAndClosingDoesNotWaitForIt)
{
    // Five small pictures; the second decodes only when the gate opens.
    std::vector<std::string> paths;
    for (int i = 1; i <= 5; ++i) {
        paths.push_back(WriteSolidBmp(pictures + "/" + std::to_string(i) + ".bmp", 40, 30, Rgb{0, 0, 200}));
    }
    PxLoadHold hold([&paths](const std::string& label) { return label == paths[1]; });

    auto frame = std::make_unique<MainFrame>();
    ImageView& image = frame->Image();
    image.SetBackgroundLoading(true);
    ASSERT_TRUE(frame->OpenFirstPicture(paths[0]));
    Reactivate(*frame);
    ASSERT_TRUE(WaitUntil([&] { return !image.Loading(); }));
    ASSERT_EQ(image.Document().Path(), paths[0]);

    // Right onto the held picture: the status bar soon shows its progress,
    // and the window keeps the picture it shows until then.
    Press(*frame, Qt::Key_Right);
    ASSERT_TRUE(image.Loading());
    EXPECT_TRUE(WaitUntil([&] { return frame->StatusText().startsWith("Loading "); }))
        << frame->StatusText().toStdString();
    EXPECT_EQ(image.Document().Path(), paths[0]);
    EXPECT_EQ(frame->View()->CurrentCursor(), ViewCursor::Wait);

    // Three more presses meanwhile: each counts.
    Press(*frame, Qt::Key_Right);
    Press(*frame, Qt::Key_Right);
    Press(*frame, Qt::Key_Right);
    ASSERT_TRUE(WaitUntil([&] { return !image.Loading(); }));
    EXPECT_EQ(image.Document().Path(), paths[4]);
    EXPECT_TRUE(frame->StatusText().contains("File 5 of 5")) << frame->StatusText().toStdString();
    EXPECT_NE(frame->View()->CurrentCursor(), ViewCursor::Wait);

    // Back onto the held picture, then Esc: the frame closes and goes
    // without the gate ever opening.
    for (int i = 0; i < 3; ++i) {
        Press(*frame, Qt::Key_Left);
    }
    ASSERT_TRUE(image.Loading());
    ASSERT_TRUE(hold.WaitUntilHeld(1));
    Press(*frame, Qt::Key_Escape);
    EXPECT_FALSE(frame->isVisible());
    frame.reset();
    EXPECT_EQ(hold.Held(), 0);
    EXPECT_FALSE(hold.Expired()) << "closing waited for the decode";
}

TEST_F(SlowAndFailed, RefusedDeleteKeepsThePictureAndSaysWhy)
{
    const std::string a = WriteSolidBmp(pictures + "/a.bmp", 40, 30, Rgb{200, 0, 0});
    const std::string b = WriteSolidBmp(pictures + "/b.bmp", 40, 30, Rgb{0, 200, 0});
    const std::string c = WriteSolidBmp(pictures + "/c.bmp", 40, 30, Rgb{0, 0, 200});
    // A file where the trash folder must go: no trash can be made there,
    // whoever runs the test.
    std::ofstream((temp.Path() / "data" / "Trash").string()) << "not a folder";
    auto frame = OpenFrame(a);
    ImageView& image = frame->Image();
    {
        MessageBoxAnswer confirm(QMessageBox::Yes);
        MessageBoxAnswer refusal(QMessageBox::Ok);
        frame->ExecuteCommand(kCmdDelete);
        ASSERT_TRUE(confirm.answered);
        ASSERT_TRUE(refusal.answered);
        EXPECT_TRUE(refusal.text.contains("\"a.bmp\"")) << refusal.text.toStdString();
        EXPECT_TRUE(refusal.text.contains("Not a directory")) << refusal.text.toStdString();
        EXPECT_EQ(refusal.icon, QMessageBox::Warning);
    }
    EXPECT_TRUE(std::filesystem::exists(a));
    EXPECT_EQ(image.Document().Path(), a);
    EXPECT_EQ(image.Navigation().Files().Count(), 3);

    // Removed by another program meanwhile: said so, and the next shows.
    std::filesystem::remove(a);
    {
        MessageBoxAnswer gone(QMessageBox::Ok);
        frame->ExecuteCommand(kCmdDelete);
        ASSERT_TRUE(gone.answered);
        EXPECT_TRUE(gone.text.contains("\"a.bmp\" is no longer there")) << gone.text.toStdString();
    }
    EXPECT_EQ(image.Document().Path(), b);
    EXPECT_EQ(image.Navigation().Files().Entries(), (std::vector<std::string>{b, c}));
}

}  // namespace

}  // namespace brelvix::app
