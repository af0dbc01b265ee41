// On a screen with two device pixels per logical pixel (QT_SCALE_FACTOR=2),
// zoom 100 % shows one picture pixel per device pixel and the view's
// arithmetic works in device pixels.
#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include "app/common/app_test_support.h"
#include "app/view_widget.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

using HiDpi = AppTest;

// Columns alternate between two colours: any resampling would blur them.
Rgb Striped(int x, int y)
{
    if (y == 0) {
        return {255, 0, 0};
    }
    if (y == 29) {
        return {0, 0, 255};
    }
    return x % 2 == 0 ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
}

TEST_F(HiDpi, HundredPercentIsOnePicturePixelPerDevicePixel)
{
    auto frame = OpenFrame(WriteBmp(pictures + "/striped.bmp", 41, 30, Striped));
    ViewWidget* view = frame->View();
    ASSERT_EQ(view->devicePixelRatioF(), 2.0);
    const QSize logical = view->viewport()->size();
    EXPECT_EQ(frame->Image().Geometry().ClientWidth(), 2 * logical.width());
    EXPECT_EQ(frame->Image().Geometry().ClientHeight(), 2 * logical.height());

    view->RepaintNow();
    const QImage shot = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.width(), 2 * logical.width());
    const int x0 = (shot.width() - 41) / 2;
    const int y0 = (shot.height() - 30) / 2;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 41; ++x) {
            const Rgb want = Striped(x, y);
            ASSERT_EQ(shot.pixel(x0 + x, y0 + y), qRgb(want.r, want.g, want.b)) << x << "," << y;
        }
    }
}

TEST_F(HiDpi, FitAndPanningWorkInDevicePixels)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/wide.bmp", 4000, 100, Rgb{9, 9, 9}));
    ViewWidget* view = frame->View();
    QWidget* area = view->viewport();

    // Dragging 50 logical pixels pans 100 picture pixels.
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, QPoint(150, 20));
    QMouseEvent move(QEvent::MouseMove, QPointF(100, 20), area->mapToGlobal(QPointF(100, 20)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &move);
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, QPoint(100, 20));
    EXPECT_EQ(frame->Image().Geometry().OffsetX(), 100);

    // Fitted, the picture is as wide as the drawing area in device pixels.
    Press(*frame, Qt::Key_Asterisk, Qt::KeypadModifier);
    Settle();
    EXPECT_FALSE(view->horizontalScrollBar()->isVisibleTo(view));
    EXPECT_EQ(frame->Image().Document().Display().Width(), 2 * area->width());
}

}  // namespace

}  // namespace brelvix::app
