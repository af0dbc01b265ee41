// The main frame driven through the keyboard, as a user would.
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>

#include "app/common/app_test_support.h"
#include "app/settings.h"
#include "app/view_widget.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

class FrameKeys : public AppTest {
protected:
    // Twelve small pictures, img1.bmp to img12.bmp, each its own grey.
    std::string WriteTwelve()
    {
        for (int i = 1; i <= 12; ++i) {
            const auto grey = static_cast<std::uint8_t>(i * 20);
            WriteSolidBmp(pictures + "/img" + std::to_string(i) + ".bmp", 40, 30, Rgb{grey, grey, grey});
        }
        return pictures + "/img1.bmp";
    }

    static std::string Position(MainFrame& frame)
    {
        const ImageView& image = frame.Image();
        return std::to_string(image.Navigation().Files().CurrentIndex() + 1) + "/" +
               std::to_string(image.Navigation().Files().Entries().size());
    }
};

TEST_F(FrameKeys, NavigationKeysWalkATwelveFileFolder)
{
    auto frame = OpenFrame(WriteTwelve());
    EXPECT_TRUE(frame->StatusText().contains("File 1 of 12")) << frame->StatusText().toStdString();

    Press(*frame, Qt::Key_Right);
    EXPECT_EQ(Position(*frame), "2/12");
    EXPECT_EQ(frame->windowTitle(), QString::fromStdString(pictures + "/img2.bmp - Brelvix"));
    EXPECT_TRUE(frame->StatusText().contains("File 2 of 12")) << frame->StatusText().toStdString();
    EXPECT_TRUE(frame->Image().Document().Loaded());

    Press(*frame, Qt::Key_Space);
    EXPECT_EQ(Position(*frame), "3/12");
    Press(*frame, Qt::Key_Home);
    EXPECT_EQ(Position(*frame), "1/12");
    Press(*frame, Qt::Key_End);
    EXPECT_EQ(Position(*frame), "12/12");
    Press(*frame, Qt::Key_Right);  // wraps
    EXPECT_EQ(Position(*frame), "1/12");
    Press(*frame, Qt::Key_Left);
    EXPECT_EQ(Position(*frame), "12/12");
    Press(*frame, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(Position(*frame), "11/12");

    // Fast forward and rewind move by the skip and stop at the ends.
    Press(*frame, Qt::Key_Home);
    Press(*frame, Qt::Key_PageDown);
    EXPECT_EQ(Position(*frame), "12/12");
    Change(*frame, [](SettingsRecord& settings) { settings.fastForwardSkip = 5; });
    Press(*frame, Qt::Key_Home);
    Press(*frame, Qt::Key_PageDown);
    EXPECT_EQ(Position(*frame), "6/12");
    Press(*frame, Qt::Key_PageUp);
    EXPECT_EQ(Position(*frame), "1/12");

    // Ctrl+R lists the folder again.
    WriteSolidBmp(pictures + "/img13.bmp", 40, 30, Rgb{1, 1, 1});
    Press(*frame, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(Position(*frame), "1/13");
}

TEST_F(FrameKeys, KeypadDigitsNavigateWithNumLockOn)
{
    auto frame = OpenFrame(WriteTwelve());
    Press(*frame, Qt::Key_6, Qt::KeypadModifier);
    EXPECT_EQ(Position(*frame), "2/12");
    Press(*frame, Qt::Key_1, Qt::KeypadModifier);
    EXPECT_EQ(Position(*frame), "12/12");
    Press(*frame, Qt::Key_4, Qt::KeypadModifier);
    EXPECT_EQ(Position(*frame), "11/12");
    Press(*frame, Qt::Key_7, Qt::KeypadModifier);
    EXPECT_EQ(Position(*frame), "1/12");
    Change(*frame, [](SettingsRecord& settings) { settings.fastForwardSkip = 3; });
    Press(*frame, Qt::Key_3, Qt::KeypadModifier);
    EXPECT_EQ(Position(*frame), "4/12");
    Press(*frame, Qt::Key_9, Qt::KeypadModifier);
    EXPECT_EQ(Position(*frame), "1/12");
    // The main keyboard's digits are not bound.
    Press(*frame, Qt::Key_6);
    EXPECT_EQ(Position(*frame), "1/12");
}

TEST_F(FrameKeys, RotateAndFlipKeysTransformTheWorkingCopy)
{
    // 4 x 2: red top-left, green top-right, blue bottom-left, white bottom-right.
    const std::string path = WriteBmp(pictures + "/corners.bmp", 4, 2, [](int x, int y) {
        if (y == 0) {
            return x == 0 ? Rgb{255, 0, 0} : x == 3 ? Rgb{0, 255, 0} : Rgb{90, 90, 90};
        }
        return x == 0 ? Rgb{0, 0, 255} : x == 3 ? Rgb{255, 255, 255} : Rgb{90, 90, 90};
    });
    auto frame = OpenFrame(path);
    const ImageDocument& document = frame->Image().Document();
    const WorkingCopySize& display = document.Display();
    const auto PixelAt = [&document](int x, int y) {
        PxBitmap pixel;
        return document.RenderPart(x, y, 1, 1, &pixel) ? brelvix::PixelAt(pixel, 0, 0) : Rgb{1, 2, 3};
    };

    Press(*frame, Qt::Key_Right, Qt::ControlModifier);  // a quarter turn clockwise
    ASSERT_EQ(display.Width(), 2);
    ASSERT_EQ(display.Height(), 4);
    EXPECT_EQ(PixelAt(0, 0), (Rgb{0, 0, 255}));      // was bottom-left
    EXPECT_EQ(PixelAt(1, 0), (Rgb{255, 0, 0}));      // was top-left
    EXPECT_EQ(PixelAt(0, 3), (Rgb{255, 255, 255}));  // was bottom-right
    EXPECT_EQ(PixelAt(1, 3), (Rgb{0, 255, 0}));      // was top-right

    Press(*frame, Qt::Key_Left, Qt::AltModifier);  // mirrors the picture as shown
    EXPECT_EQ(PixelAt(0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(PixelAt(1, 0), (Rgb{0, 0, 255}));
    EXPECT_EQ(PixelAt(0, 3), (Rgb{0, 255, 0}));
    EXPECT_EQ(PixelAt(1, 3), (Rgb{255, 255, 255}));

    Press(*frame, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(PixelAt(0, 0), (Rgb{0, 255, 0}));
    EXPECT_EQ(PixelAt(1, 3), (Rgb{0, 0, 255}));
    EXPECT_EQ(frame->Image().Geometry().Rotation(), 90);

    Press(*frame, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(frame->Image().Geometry().Rotation(), 0);
    EXPECT_EQ(display.Width(), 4);
}

TEST_F(FrameKeys, KeypadPlusTwiceZoomsTo120Percent)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 50, 40, Rgb{10, 20, 30}));
    Press(*frame, Qt::Key_Plus, Qt::KeypadModifier);
    Press(*frame, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_TRUE(frame->StatusText().endsWith("Zoom: 120%")) << frame->StatusText().toStdString();
    EXPECT_EQ(frame->Image().Document().Display().Width(), 60);

    // The main keyboard's plus and minus act as the keypad's; Ctrl with the
    // keypad's adds 1.0.
    Press(*frame, Qt::Key_Plus);
    EXPECT_TRUE(frame->StatusText().endsWith("Zoom: 130%")) << frame->StatusText().toStdString();
    Press(*frame, Qt::Key_Minus);
    EXPECT_TRUE(frame->StatusText().endsWith("Zoom: 120%"));
    Press(*frame, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_TRUE(frame->StatusText().endsWith("Zoom: 220%")) << frame->StatusText().toStdString();
    Press(*frame, Qt::Key_Minus, Qt::ControlModifier | Qt::KeypadModifier);
    Press(*frame, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_TRUE(frame->StatusText().endsWith("Zoom: 110%")) << frame->StatusText().toStdString();

    Press(*frame, Qt::Key_Insert);
    EXPECT_TRUE(frame->StatusText().endsWith("Zoom: 100%"));
}

TEST_F(FrameKeys, KeypadAsteriskFitsThePictureToTheView)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/big.bmp", 1600, 1200, Rgb{200, 100, 50}));
    ViewWidget* view = frame->View();
    EXPECT_TRUE(view->verticalScrollBar()->isVisibleTo(view));  // at 100 % it does not fit

    Press(*frame, Qt::Key_Asterisk, Qt::KeypadModifier);
    Settle();
    const WorkingCopySize& display = frame->Image().Document().Display();
    const QSize area = view->viewport()->size();
    // Fitted: no scroll bar, and the picture touches two opposite edges.
    EXPECT_FALSE(view->horizontalScrollBar()->isVisibleTo(view));
    EXPECT_FALSE(view->verticalScrollBar()->isVisibleTo(view));
    EXPECT_LE(display.Width(), area.width());
    EXPECT_LE(display.Height(), area.height());
    EXPECT_TRUE(display.Width() == area.width() || display.Height() == area.height())
        << display.Width() << "x" << display.Height() << " in " << area.width() << "x" << area.height();
    EXPECT_LT(frame->Image().Geometry().Zoom(), 1.0);
}

TEST_F(FrameKeys, EscClosesTheWindowAndSavesTheSettings)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    Press(*frame, Qt::Key_Escape);
    EXPECT_FALSE(frame->isVisible());
    platform::RegistryStore store(StorePath());
    EXPECT_TRUE(store.KeyExists(std::string("HKEY_CURRENT_USER\\") + kSettingsKeyPath));
}

TEST_F(FrameKeys, EscInFullScreenLeavesItOrClosesAsTheSettingSays)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    Press(*frame, Qt::Key_F12);
    Settle();
    ASSERT_TRUE(frame->Image().FullScreen());
    EXPECT_TRUE(frame->isFullScreen());
    EXPECT_TRUE(frame->menuBar()->isHidden());
    EXPECT_TRUE(frame->statusBar()->isHidden());
    EXPECT_TRUE(frame->CommandAction(kCmdFullScreen)->isChecked());

    Press(*frame, Qt::Key_Escape);  // EscFullscreen is 0: only leaves full screen
    Settle();
    EXPECT_FALSE(frame->Image().FullScreen());
    EXPECT_FALSE(frame->isFullScreen());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->menuBar()->isHidden());
    EXPECT_FALSE(frame->statusBar()->isHidden());
    EXPECT_FALSE(frame->CommandAction(kCmdFullScreen)->isChecked());

    Change(*frame, [](SettingsRecord& settings) { settings.EscFullscreen = true; });
    Press(*frame, Qt::Key_Return, Qt::AltModifier);
    Settle();
    ASSERT_TRUE(frame->Image().FullScreen());
    Press(*frame, Qt::Key_Escape);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_FALSE(frame->Image().FullScreen());  // left before the settings were saved
}

TEST_F(FrameKeys, ClosingInFullScreenStoresTheWindowedRectangle)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    frame->setGeometry(40, 50, 500, 400);
    Settle();
    const QRect windowed = frame->frameGeometry();
    Press(*frame, Qt::Key_5, Qt::KeypadModifier);  // full screen
    Settle();
    ASSERT_TRUE(frame->isFullScreen());
    ASSERT_NE(frame->frameGeometry(), windowed);
    frame->close();

    RegistryKey key(StorePath(), RegistryRoot::CurrentUser, kSettingsKeyPath);
    std::int32_t left = 0, top = 0, right = 0, bottom = 0, show = 0;
    ASSERT_TRUE(key.ReadDword("WindowLeft", &left));
    key.ReadDword("WindowTop", &top);
    key.ReadDword("WindowRight", &right);
    key.ReadDword("WindowBottom", &bottom);
    key.ReadDword("WindowShow", &show);
    EXPECT_EQ(QRect(left, top, right - left, bottom - top), windowed);
    EXPECT_EQ(show, 1);
}

}  // namespace

}  // namespace brelvix::app
