// The view widget on screen: what it paints, its scroll bars, mouse, drops,
// the slide show's timer and cursor, and deleting to the trash.
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QUrl>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/common/app_test_support.h"
#include "app/view_widget.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

using ViewWidgetTest = AppTest;

QImage Grab(ViewWidget* view)
{
    return view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

Rgb At(const QImage& image, int x, int y)
{
    const QRgb pixel = image.pixel(x, y);
    return Rgb{static_cast<std::uint8_t>(qRed(pixel)), static_cast<std::uint8_t>(qGreen(pixel)),
               static_cast<std::uint8_t>(qBlue(pixel))};
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// 30 x 20: the top row red, the bottom row blue, the rest green, the last
// column of the middle rows yellow.
Rgb Marked(int x, int y)
{
    if (y == 0) {
        return {255, 0, 0};
    }
    if (y == 19) {
        return {0, 0, 255};
    }
    return x == 29 ? Rgb{255, 255, 0} : Rgb{0, 160, 0};
}

TEST_F(ViewWidgetTest, PaintsThePictureCentredOnTheBackground)
{
    auto frame = OpenFrame(WriteBmp(pictures + "/marked.bmp", 30, 20, Marked));
    Change(*frame,
           [](SettingsRecord& settings) { settings.backgroundColor = 0x00804020; });  // red 0x20, green 0x40, blue 0x80
    frame->View()->RepaintNow();
    const QImage shot = Grab(frame->View());
    const int x = (shot.width() - 30) / 2;
    const int y = (shot.height() - 20) / 2;

    EXPECT_EQ(At(shot, x, y), (Rgb{255, 0, 0}));       // first row, top-left
    EXPECT_EQ(At(shot, x + 29, y), (Rgb{255, 0, 0}));  // first row, top-right
    EXPECT_EQ(At(shot, x, y + 19), (Rgb{0, 0, 255}));  // last row
    EXPECT_EQ(At(shot, x + 29, y + 19), (Rgb{0, 0, 255}));
    EXPECT_EQ(At(shot, x + 29, y + 10), (Rgb{255, 255, 0}));
    EXPECT_EQ(At(shot, x + 5, y + 10), (Rgb{0, 160, 0}));
    const Rgb background{0x20, 0x40, 0x80};
    EXPECT_EQ(At(shot, x - 1, y), background);
    EXPECT_EQ(At(shot, x + 30, y + 19), background);
    EXPECT_EQ(At(shot, x, y - 1), background);
    EXPECT_EQ(At(shot, x, y + 20), background);
    EXPECT_EQ(At(shot, 0, 0), background);
    EXPECT_EQ(At(shot, shot.width() - 1, shot.height() - 1), background);
}

TEST_F(ViewWidgetTest, NoScrollBarsOnceThePictureFits)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/large.bmp", 1500, 1000, Rgb{10, 20, 30}));
    ViewWidget* view = frame->View();
    const auto barsShown = [view] {
        return std::pair{view->horizontalScrollBar()->isVisibleTo(view), view->verticalScrollBar()->isVisibleTo(view)};
    };
    ASSERT_EQ(barsShown(), (std::pair{true, true}));
    frame->Image().ZoomToFit();
    Settle();
    EXPECT_EQ(barsShown(), (std::pair{false, false}));
    // The fitted picture reaches two opposite edges of the whole area.
    const ViewSize shown{frame->Image().Document().Display().Width(), frame->Image().Document().Display().Height()};
    EXPECT_TRUE(shown.width == view->viewport()->width() || shown.height == view->viewport()->height())
        << shown.width << " x " << shown.height;

    frame->Image().ZoomTo100();
    Settle();
    ASSERT_EQ(barsShown(), (std::pair{true, true}));
    frame->Image().ApplyBestFit();
    Settle();
    EXPECT_EQ(barsShown(), (std::pair{false, false}));
}

TEST_F(ViewWidgetTest, ScrolledPictureShowsItsLowerRightPart)
{
    const auto colour = [](int x, int y) {
        return Rgb{static_cast<std::uint8_t>(x % 256), static_cast<std::uint8_t>(y % 256),
                   static_cast<std::uint8_t>((x / 256) * 16 + y / 256)};
    };
    auto frame = OpenFrame(WriteBmp(pictures + "/tall.bmp", 1200, 1500, colour));
    ViewWidget* view = frame->View();
    ASSERT_TRUE(view->verticalScrollBar()->isVisibleTo(view));
    ASSERT_TRUE(view->horizontalScrollBar()->isVisibleTo(view));

    // A notch down scrolls three lines of 1 % of the picture each.
    QWheelEvent wheel(QPointF(10, 10), view->viewport()->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    EXPECT_EQ(frame->Image().Geometry().OffsetY(), 3 * 15);
    EXPECT_EQ(view->verticalScrollBar()->value(), 45);
    // Keys never scroll: an arrow that is no command does nothing.
    Press(*frame, Qt::Key_Down);
    EXPECT_EQ(frame->Image().Geometry().OffsetY(), 45);
    // A bar moved by Qt itself (its context menu's "Scroll here") moves the
    // picture with it.
    view->verticalScrollBar()->setValue(300);
    EXPECT_EQ(frame->Image().Geometry().OffsetY(), 300);

    view->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    Settle();
    const QImage shot = Grab(view);
    const int offsetX = frame->Image().Geometry().OffsetX();
    const int offsetY = frame->Image().Geometry().OffsetY();
    EXPECT_EQ(offsetX, 1200 - shot.width());
    EXPECT_EQ(offsetY, 1500 - shot.height());
    EXPECT_EQ(view->verticalScrollBar()->value(), offsetY);
    // Every pixel of the area, up to the last picture row and column at its
    // bottom-right corner.
    int wrong = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (!(At(shot, x, y) == colour(offsetX + x, offsetY + y)) && ++wrong <= 3) {
                ADD_FAILURE() << "area " << x << "," << y << " shows " << At(shot, x, y);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(ViewWidgetTest, DraggingPansALargePicture)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/wide.bmp", 2000, 100, Rgb{9, 9, 9}));
    QWidget* area = frame->View()->viewport();
    QTest::mouseMove(area, QPoint(300, 50));
    EXPECT_EQ(frame->View()->CurrentCursor(), ViewCursor::Hand);
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, QPoint(300, 50));
    QMouseEvent move(QEvent::MouseMove, QPointF(200, 50), area->mapToGlobal(QPointF(200, 50)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &move);
    EXPECT_EQ(frame->Image().Geometry().OffsetX(), 100);
    EXPECT_EQ(frame->View()->horizontalScrollBar()->value(), 100);
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, QPoint(200, 50));
    EXPECT_FALSE(frame->Image().Geometry().Dragging());
}

TEST_F(ViewWidgetTest, FailureBoxIsDrawnWithAFont)
{
    const std::string broken = (std::filesystem::path(pictures) / "broken.bmp").string();
    std::ofstream(broken) << "not a picture";
    auto frame = OpenFrame(broken);
    ASSERT_FALSE(frame->Image().Document().Loaded());
    ViewWidget* view = frame->View();

    const QFontInfo info(view->InfoFont());
    EXPECT_TRUE(QFontDatabase::families().contains(info.family())) << info.family().toStdString();
    EXPECT_EQ(info.pixelSize(), 13);

    view->RepaintNow();
    const QImage shot = Grab(view);
    const QFontMetrics metrics(view->InfoFont());
    const int messageWidth = metrics.horizontalAdvance("Cannot display file");
    const int pathWidth = metrics.horizontalAdvance(QString::fromStdString(broken));
    const int boxWidth = std::max(messageWidth, pathWidth) + 30;
    const int boxHeight = 2 * metrics.height() + 15;
    const ViewRect window = view->WindowRect();
    const int left = (window.Width() - boxWidth) / 2;
    const int top = (window.Height() - boxHeight) / 2;
    EXPECT_EQ(At(shot, left, top), (Rgb{0, 0, 0}));
    EXPECT_EQ(At(shot, left + boxWidth - 1, top + boxHeight - 1), (Rgb{0, 0, 0}));
    EXPECT_EQ(At(shot, left + 2, top + 2), (Rgb{255, 255, 255}));
    EXPECT_EQ(At(shot, left - 1, top), (Rgb{255, 255, 255}));  // the white background

    // The message's text is there: dark pixels in its line, none below the box.
    int dark = 0;
    for (int y = top + 6; y < top + 6 + metrics.height(); ++y) {
        for (int x = left + 15; x < left + 15 + messageWidth; ++x) {
            dark += qGray(shot.pixel(x, y)) < 100 ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 30);
}

TEST_F(ViewWidgetTest, DropOfThreeFilesOpensTheFirst)
{
    WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3});
    const std::string second = WriteSolidBmp(pictures + "/b.bmp", 21, 20, Rgb{1, 2, 3});
    const std::string third = WriteSolidBmp(pictures + "/c.bmp", 22, 20, Rgb{1, 2, 3});
    const std::string other = WriteSolidBmp(temp.Path().string() + "/elsewhere/d.bmp", 23, 20, Rgb{1, 2, 3});
    auto frame = OpenFrame(pictures + "/a.bmp");

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(other)),
                  QUrl::fromLocalFile(QString::fromStdString(second)),
                  QUrl::fromLocalFile(QString::fromStdString(third))});
    QWidget* area = frame->View()->viewport();
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &drop);

    EXPECT_EQ(frame->Image().Document().Path(), other);
    EXPECT_EQ(frame->Image().Document().Decoded()->Width(), 23);
    EXPECT_EQ(frame->Image().Navigation().Files().Entries().size(), 1u);  // the list of the dropped file's folder

    // Something that is no local file is not offered to the view.
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.com/a.jpg"))});
    QDragEnterEvent refused(QPoint(20, 20), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(area, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST_F(ViewWidgetTest, DeleteMovesThePictureToTheTrashAndShowsTheNeighbour)
{
    WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3});
    const std::string doomed = WriteSolidBmp(pictures + "/b c.bmp", 21, 20, Rgb{1, 2, 3});
    const std::string neighbour = WriteSolidBmp(pictures + "/d.bmp", 22, 20, Rgb{1, 2, 3});
    auto frame = OpenFrame(doomed);
    ASSERT_EQ(frame->Image().Navigation().Files().CurrentIndex(), 1);

    {
        // Declining keeps everything.
        MessageBoxAnswer answer(QMessageBox::No);
        Press(*frame, Qt::Key_Delete);
        ASSERT_TRUE(answer.answered);
        EXPECT_EQ(answer.text, "Move \"b c.bmp\" to the trash?");
        EXPECT_TRUE(std::filesystem::exists(doomed));
        EXPECT_EQ(frame->Image().Document().Path(), doomed);
    }
    // The offscreen platform does not hand activation back after a modal box.
    Reactivate(*frame);

    MessageBoxAnswer answer(QMessageBox::Yes);
    Press(*frame, Qt::Key_Delete);
    ASSERT_TRUE(answer.answered);
    EXPECT_FALSE(std::filesystem::exists(doomed));
    const std::filesystem::path trash = temp.Path() / "data" / "Trash";
    EXPECT_TRUE(std::filesystem::exists(trash / "files" / "b c.bmp"));
    const std::string info = ReadFile(trash / "info" / "b c.bmp.trashinfo");
    std::string encoded;
    for (char c : doomed) {
        encoded += c == ' ' ? std::string("%20") : std::string(1, c);
    }
    const std::string head = "[Trash Info]\nPath=" + encoded + "\nDeletionDate=";
    ASSERT_EQ(info.substr(0, head.size()), head) << info;
    // YYYY-MM-DDThh:mm:ss and the line's end.
    const std::string date = info.substr(head.size());
    const std::string shape = "dddd-dd-ddTdd:dd:dd\n";
    ASSERT_EQ(date.size(), shape.size()) << info;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        EXPECT_TRUE(shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(date[i])) != 0 : date[i] == shape[i])
            << info;
    }

    EXPECT_EQ(frame->Image().Document().Path(), neighbour);
    EXPECT_TRUE(frame->StatusText().contains("File 2 of 2")) << frame->StatusText().toStdString();
}

TEST_F(ViewWidgetTest, SlideShowHidesTheCursorAndAdvancesOnItsTimer)
{
    WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3});
    WriteSolidBmp(pictures + "/b.bmp", 21, 20, Rgb{1, 2, 3});
    auto frame = OpenFrame(pictures + "/a.bmp");
    Change(*frame, [](SettingsRecord& settings) { settings.slideShowDelay = 0.05; });

    // The middle button starts and stops it, like the command.
    QTest::mouseClick(frame->View()->viewport(), Qt::MiddleButton, Qt::NoModifier, QPoint(5, 5));
    ASSERT_TRUE(frame->Image().Slides().Running());
    EXPECT_TRUE(frame->CommandAction(kCmdSlideShow)->isChecked());
    EXPECT_EQ(frame->View()->CurrentCursor(), ViewCursor::Blank);
    EXPECT_TRUE(frame->StatusText().endsWith("     Slideshow (delay 0.05 s)")) << frame->StatusText().toStdString();

    QTRY_COMPARE_WITH_TIMEOUT(frame->Image().Navigation().Files().CurrentIndex(), 1, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(frame->Image().Navigation().Files().CurrentIndex(), 0, 2000);
    EXPECT_EQ(frame->View()->CurrentCursor(), ViewCursor::Blank);

    QTest::mouseClick(frame->View()->viewport(), Qt::MiddleButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_FALSE(frame->Image().Slides().Running());
    EXPECT_FALSE(frame->CommandAction(kCmdSlideShow)->isChecked());
    const int index = frame->Image().Navigation().Files().CurrentIndex();
    QTest::qWait(200);
    EXPECT_EQ(frame->Image().Navigation().Files().CurrentIndex(), index);
}

TEST_F(ViewWidgetTest, DoubleClickTogglesFullScreenWithoutAnEdge)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3}));
    ViewWidget* view = frame->View();
    EXPECT_EQ(view->frameWidth(), 2);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    Settle();
    ASSERT_TRUE(frame->Image().FullScreen());
    EXPECT_EQ(view->frameWidth(), 0);
    // The drawing area is the whole screen.
    EXPECT_EQ(view->viewport()->size(), frame->screen()->geometry().size());
    EXPECT_EQ(frame->Image().Geometry().ClientWidth(), frame->screen()->geometry().width());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    Settle();
    EXPECT_FALSE(frame->Image().FullScreen());
    EXPECT_EQ(view->frameWidth(), 2);
}

TEST_F(ViewWidgetTest, OverlayShowsInFullScreenOnly)
{
    auto frame = OpenFrame(WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{255, 255, 255}));
    Change(*frame, [&](SettingsRecord& settings) { settings.showInfoInFullScreen = true; });
    auto darkInCorner = [&] {
        frame->View()->RepaintNow();
        const QImage shot = Grab(frame->View());
        int dark = 0;
        for (int y = 5; y < 60; ++y) {
            for (int x = 5; x < 120; ++x) {
                dark += qGray(shot.pixel(x, y)) < 100 ? 1 : 0;
            }
        }
        return dark;
    };
    EXPECT_EQ(darkInCorner(), 0);
    frame->ToggleFullScreen();
    Settle();
    EXPECT_GT(darkInCorner(), 50);
}

}  // namespace

}  // namespace brelvix::app
