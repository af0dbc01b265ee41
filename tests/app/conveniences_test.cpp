// Copying to the clipboard, the information panel, undoing a move to the
// trash and showing the picture in its folder, through the real frame.
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTransform>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/common/app_test_support.h"
#include "app/info_panel.h"
#include "app/picture_clipboard.h"
#include "support/exif_writer.h"
#include "support/jpeg_writer.h"
#include "viewer/image_view.h"

namespace brelvix::app {

namespace {

using Conveniences = AppTest;

// A colour no two pixels of a small picture share.
Rgb ColourAt(int x, int y)
{
    return Rgb{static_cast<std::uint8_t>(40 * x + 1), static_cast<std::uint8_t>(60 * y + 2),
               static_cast<std::uint8_t>(7 * x + 11 * y + 3)};
}

QImage ClipboardPngImage()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data != nullptr ? QImage::fromData(data->data(QString::fromLatin1(kPngMimeType)), "PNG") : QImage();
}

// The picture copied as the view shows it: every quarter turn with every
// mirror, with and without transparency, compared with Qt's own turn of the
// picture drawn upright.
TEST(ClipboardImage, TurnedMirroredAndInTheStoresColours)
{
    constexpr int kWidth = 3;
    constexpr int kHeight = 2;
    for (const bool alpha : {false, true}) {
        QImage upright(kWidth, kHeight, QImage::Format_ARGB32);
        PxBitmap picture;
        picture.SetDimensions(kWidth, kHeight, 24);
        ASSERT_EQ(picture.CreatePixelStore(), 0);
        if (alpha) {
            ASSERT_EQ(picture.CreateAlphaPlane(), 0);
        }
        for (int y = 0; y < kHeight; ++y) {
            const int row = kHeight - 1 - y;  // the store runs bottom-up
            for (int x = 0; x < kWidth; ++x) {
                const Rgb c = ColourAt(x, y);
                std::uint8_t* pixel = picture.Pixels() + row * picture.Stride() + 3 * x;
                pixel[0] = c.b;
                pixel[1] = c.g;
                pixel[2] = c.r;
                const int opacity = alpha ? 50 + 30 * x + 100 * y : 255;
                if (alpha) {
                    picture.Alpha()[row * kWidth + x] = static_cast<std::uint8_t>(opacity);
                }
                upright.setPixel(x, y, qRgba(c.r, c.g, c.b, opacity));
            }
        }
        for (const std::int32_t rotation : {0, 90, 180, 270}) {
            for (const int mirrors : {0, 1, 2, 3}) {
                const PictureTurn turn{rotation, (mirrors & 1) != 0, (mirrors & 2) != 0};
                SCOPED_TRACE(testing::Message()
                             << "alpha " << alpha << ", " << rotation << " degrees, mirrors " << mirrors);
                const QImage expected =
                    upright.transformed(QTransform().rotate(rotation)).mirrored(turn.flipHorizontal, turn.flipVertical);
                PxBitmap copy;
                copy.CopyFrom(picture);
                const std::atomic<bool> cancel{false};
                const QImage made = ClipboardImage(copy, turn, false, cancel);
                ASSERT_EQ(made.hasAlphaChannel(), alpha);
                // Through the PNG the clipboard carries, as a pasting program reads it.
                const QImage pasted =
                    QImage::fromData(ClipboardPng(made, cancel), "PNG").convertToFormat(QImage::Format_ARGB32);
                ASSERT_EQ(pasted.size(), expected.size());
                for (int y = 0; y < expected.height(); ++y) {
                    for (int x = 0; x < expected.width(); ++x) {
                        EXPECT_EQ(pasted.pixel(x, y), expected.pixel(x, y)) << x << "," << y;
                    }
                }
            }
        }
        // A copy given up makes nothing.
        const std::atomic<bool> cancelled{true};
        EXPECT_TRUE(ClipboardImage(picture, {}, false, cancelled).isNull());
        EXPECT_TRUE(ClipboardPng(upright, cancelled).isEmpty());
    }
}

TEST_F(Conveniences, CopyPutsThePictureAsShownAndThePathOnTheClipboard)
{
    const std::string path = WriteBmp(pictures + "/a b.bmp", 6, 4, ColourAt);
    auto frame = OpenFrame(path);
    QSignalSpy finished(frame->Clipboard(), &PictureClipboard::Finished);

    Press(*frame, Qt::Key_Right, Qt::ControlModifier);  // a quarter turn clockwise
    Press(*frame, Qt::Key_C, Qt::ControlModifier);
    ASSERT_TRUE(frame->Clipboard()->Busy());
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_TRUE(finished.takeFirst().at(0).toBool());
    const QImage copied = ClipboardPngImage();
    ASSERT_EQ(copied.size(), QSize(4, 6));
    // The top-left of the picture turned clockwise is its bottom-left.
    const Rgb bottomLeft = ColourAt(0, 3);
    EXPECT_EQ(copied.pixel(0, 0) & 0xffffff, qRgb(bottomLeft.r, bottomLeft.g, bottomLeft.b) & 0xffffff);
    EXPECT_TRUE(frame->statusBar()->currentMessage().startsWith("Copied the picture (4 x 6)"))
        << frame->statusBar()->currentMessage().toStdString();

    Press(*frame, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(data->text().toStdString(), path);
    ASSERT_EQ(data->urls().size(), 1);
    EXPECT_EQ(data->urls()[0].toString(QUrl::FullyEncoded).toStdString(), "file://" + pictures + "/a%20b.bmp");

    // Another program's copy while the picture is converted stays: the
    // picture's conversion is given up.
    Press(*frame, Qt::Key_C, Qt::ControlModifier);
    QGuiApplication::clipboard()->setText(QStringLiteral("copied elsewhere"));
    frame->Clipboard()->WaitForThread();
    Settle();
    EXPECT_FALSE(frame->Clipboard()->Busy());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "copied elsewhere");
    EXPECT_TRUE(ClipboardPngImage().isNull());
    ASSERT_FALSE(finished.isEmpty());
    EXPECT_FALSE(finished.takeLast().at(0).toBool());
}

// The panel's rows for a photo with camera data, a picture without any, and
// a file that does not decode; it follows the picture on screen.
TEST_F(Conveniences, InformationPanelFollowsThePictureOnScreen)
{
    ExifDirectories directories;
    directories.primary = {ExifText(0x010F, "Brelvix Optics"), ExifText(0x0110, "Model 7")};
    directories.exif = {ExifRationals(0x829A, {{1, 250}}), ExifShorts(0x8827, {400}),
                        ExifText(0x9003, "2024-05-17 14:03:22")};
    const std::vector<std::uint8_t> jpeg =
        JpegWithExif(EncodeJpeg(16, 8, std::vector<std::uint8_t>(16 * 8 * 3, 90)), MakeExifBlock(directories));
    const std::string photo = pictures + "/a.jpg";
    std::ofstream(photo, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
    WriteSolidBmp(pictures + "/b.bmp", 1200, 100, Rgb{1, 2, 3});
    std::ofstream(pictures + "/c.png") << "not a picture";

    auto frame = OpenFrame(photo);
    InfoPanel* panel = frame->Information();
    EXPECT_TRUE(panel->isHidden());
    Press(*frame, Qt::Key_I);
    Settle();
    ASSERT_FALSE(panel->isHidden());

    using Lines = std::vector<InfoLine>;
    const auto section = [panel](const QString& title) {
        for (const InfoSection& shown : panel->Shown()) {
            if (shown.title == title) {
                return shown.lines;
            }
        }
        return Lines{};
    };
    const auto line = [&section](const QString& title, const QString& label) {
        for (const InfoLine& shown : section(title)) {
            if (shown.label == label) {
                return shown.text;
            }
        }
        return QStringLiteral("(none)");
    };
    EXPECT_EQ(line("File", "Name"), "a.jpg");
    EXPECT_EQ(line("File", "Folder"), QString::fromStdString(pictures));
    EXPECT_EQ(line("File", "Size"), QStringLiteral("%1 bytes").arg(jpeg.size()));
    EXPECT_EQ(line("Picture", "Format"), "JPEG");
    EXPECT_EQ(line("Picture", "Dimensions"), "16 x 8 pixels");
    EXPECT_EQ(line("Picture", "Bit depth"), "8 bits per channel");
    EXPECT_EQ(line("Picture", "Frames"), "1");
    EXPECT_EQ(section("Camera"), (Lines{{"Camera make", "Brelvix Optics"},
                                        {"Camera model", "Model 7"},
                                        {"Exposure time", "1/250 s"},
                                        {"ISO", "400"},
                                        {"Date taken", "2024-05-17 14:03:22"}}));

    // Filled only once what is posted, the paint among it, is done.
    Press(*frame, Qt::Key_Right);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(line("File", "Name"), "a.jpg");
    Settle();
    EXPECT_EQ(line("File", "Name"), "b.bmp");
    EXPECT_EQ(line("File", "Size"), "351.6 KB (360,054 bytes)");
    EXPECT_EQ(line("Picture", "Dimensions"), "1200 x 100 pixels (0.1 MP)");
    EXPECT_EQ(section("Camera"), (Lines{{"Nothing recorded", ""}}));

    Press(*frame, Qt::Key_Right);
    Settle();
    EXPECT_EQ(line("File", "Name"), "c.png");
    EXPECT_EQ(section("Picture").size(), 1u);
    EXPECT_EQ(line("Picture", "Format"), "(none)");
    EXPECT_TRUE(section("Camera").empty());

    Press(*frame, Qt::Key_I);
    EXPECT_TRUE(panel->isHidden());
}

// Undo after a move to the trash: put back and shown; a file of that name
// there again, or the entry gone from the trash, leaves everything as it is
// and says why.
TEST_F(Conveniences, UndoPutsThePictureBackOrSaysWhyNot)
{
    enum class Meanwhile { Nothing, SameNameAgain, TrashEmptied };
    const struct {
        Meanwhile meanwhile;
        const char* said;  // in the message box; empty: none shows
    } cases[] = {
        {Meanwhile::Nothing, ""},
        {Meanwhile::SameNameAgain, "a file of that name is in"},
        {Meanwhile::TrashEmptied, "is no longer in the trash"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        std::filesystem::remove_all(pictures);
        std::filesystem::remove_all(temp.Path() / "data" / "Trash");
        std::filesystem::create_directories(pictures);
        const std::string doomed = WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3});
        const std::string neighbour = WriteSolidBmp(pictures + "/b.bmp", 21, 20, Rgb{1, 2, 3});
        const std::filesystem::path trashed = temp.Path() / "data" / "Trash" / "files" / "a.bmp";
        auto frame = OpenFrame(doomed);
        {
            MessageBoxAnswer confirm(QMessageBox::Yes);
            Press(*frame, Qt::Key_Delete);
            ASSERT_TRUE(confirm.answered);
        }
        Reactivate(*frame);
        ASSERT_TRUE(std::filesystem::exists(trashed));
        ASSERT_EQ(frame->Image().Document().Path(), neighbour);
        std::uintmax_t newcomer = 0;
        if (c.meanwhile == Meanwhile::SameNameAgain) {
            WriteSolidBmp(doomed, 5, 5, Rgb{9, 9, 9});
            newcomer = std::filesystem::file_size(doomed);
        } else if (c.meanwhile == Meanwhile::TrashEmptied) {
            std::filesystem::remove(trashed);
        }

        MessageBoxAnswer answer(QMessageBox::Ok);
        Press(*frame, Qt::Key_Z, Qt::ControlModifier);
        if (c.meanwhile == Meanwhile::Nothing) {
            EXPECT_FALSE(answer.answered);
            EXPECT_TRUE(std::filesystem::exists(doomed));
            EXPECT_FALSE(std::filesystem::exists(trashed));
            EXPECT_EQ(frame->Image().Document().Path(), doomed);
            EXPECT_TRUE(frame->StatusText().contains("File 1 of 2")) << frame->StatusText().toStdString();
            EXPECT_TRUE(frame->TrashMoves().Empty());
        } else {
            ASSERT_TRUE(answer.answered);
            EXPECT_TRUE(answer.text.contains(c.said)) << answer.text.toStdString();
            EXPECT_EQ(frame->Image().Document().Path(), neighbour);
            // The file put there meanwhile is not overwritten.
            EXPECT_EQ(std::filesystem::exists(doomed), c.meanwhile == Meanwhile::SameNameAgain);
            if (c.meanwhile == Meanwhile::SameNameAgain) {
                EXPECT_EQ(std::filesystem::file_size(doomed), newcomer);
                EXPECT_TRUE(std::filesystem::exists(trashed));
            }
        }
        // Kept only while its place is taken: once the name is free, undoing
        // again puts it back; with nothing left to undo, nothing happens.
        Reactivate(*frame);
        EXPECT_EQ(frame->TrashMoves().Empty(), c.meanwhile != Meanwhile::SameNameAgain);
        if (c.meanwhile == Meanwhile::SameNameAgain) {
            std::filesystem::remove(doomed);
        }
        Press(*frame, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_TRUE(frame->TrashMoves().Empty());
        EXPECT_EQ(frame->Image().Document().Path(), c.meanwhile == Meanwhile::TrashEmptied ? neighbour : doomed);
    }
}

// Show in folder: the file manager's answer comes on another thread; where
// none answers the folder itself opens; an answer after the window closed is
// dropped.
TEST_F(Conveniences, ShowInFolderOpensTheFolderWhereNoFileManagerAnswers)
{
    const std::string path = WriteSolidBmp(pictures + "/a.bmp", 20, 20, Rgb{1, 2, 3});
    for (const auto result : {platform::ShowInFolderResult::kShown, platform::ShowInFolderResult::kNoFileManager,
                              platform::ShowInFolderResult::kNoSessionBus}) {
        auto frame = OpenFrame(path);
        std::string asked;
        std::vector<QUrl> opened;
        frame->SetFolderShower([&asked, result](const std::string& shown, auto done) {
            asked = shown;
            std::thread([done, result] { done(result); }).join();
        });
        frame->SetUrlOpener([&opened](const QUrl& url) { opened.push_back(url); });
        Press(*frame, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(asked, path);
        EXPECT_TRUE(opened.empty()) << "opened on the file manager's thread";
        Settle();
        if (result == platform::ShowInFolderResult::kShown) {
            EXPECT_TRUE(opened.empty());
        } else {
            EXPECT_EQ(opened, std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(pictures))});
        }
    }

    std::function<void(platform::ShowInFolderResult)> late;
    auto frame = OpenFrame(path);
    frame->SetFolderShower([&late](const std::string&, auto done) { late = std::move(done); });
    Press(*frame, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(late);
    frame.reset();
    // Under the sanitizers a frame touched after its end fails the test.
    late(platform::ShowInFolderResult::kNoFileManager);
    Settle();
}

}  // namespace

}  // namespace brelvix::app
