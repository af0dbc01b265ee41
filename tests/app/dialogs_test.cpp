// The Help boxes and their pieces: the About box's links (colours from the
// settings, press-move-release, keys, opening through the desktop), the Key
// Shortcuts text and its columns, and centring over the owner.
#include <QApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QUrl>
#include <limits>

#include "app/about_dialog.h"
#include "app/common/app_test_support.h"
#include "app/dialog_layout.h"
#include "app/hyperlink.h"
#include "app/settings.h"
#include "app/shortcuts_dialog.h"
#include "app/text_numbers.h"

namespace brelvix::app {

namespace {

TEST(TextNumbers, LeadingNumberCounts)
{
    const std::pair<const char*, double> decimals[] = {
        {"5.00", 5.0},
        {"  2.5 s", 2.5},
        {"abc", 0.0},
        {"", 0.0},
        {"-4", -4.0},
        {".5", 0.5},
        {"1.", 1.0},
        {"1e3", 1000.0},
        {"1e", 1.0},
        {"+7x", 7.0},
        {"1,5", 1.0},
        {"inf", 0.0},
        {"nan", 0.0},
        {"0x10", 0.0},
        {".", 0.0},
        {"-.25", -0.25},
        {"1e999", std::numeric_limits<double>::infinity()},
    };
    for (const auto& [text, value] : decimals) {
        EXPECT_EQ(DecimalPrefix(text), value) << '"' << text << '"';
    }
    const std::pair<const char*, std::int32_t> integers[] = {
        {"20", 20},
        {"-3", -3},
        {"12abc", 12},
        {" 5", 0},
        {"+5", 0},
        {"abc", 0},
        {"-", 0},
        {"2147483647", 2147483647},
        {"99999999999", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-99999999999", -2147483647 - 1},
    };
    for (const auto& [text, value] : integers) {
        EXPECT_EQ(IntegerPrefix(text), value) << '"' << text << '"';
    }
}

TEST(HyperLinkColors, ParsesRedGreenBlue)
{
    const std::pair<const char*, std::optional<std::uint32_t>> cases[] = {
        {"255,0,0", 0x0000FF},  {"255,0", std::nullopt}, {"12,34,x", 0x00220C},    {"300,0,0", 44},
        {"0,0,300", 44u << 16}, {"1,2,", std::nullopt},  {"-1,0,0", std::nullopt}, {"0,-1,0", std::nullopt},
        {"0,0,-1", 0xFF0000},   {" 1, 2, 3", 0x030201},  {",,7", 0x070000},        {"", std::nullopt},
    };
    for (const auto& [text, colour] : cases) {
        EXPECT_EQ(ParseColorText(text), colour) << '"' << text << '"';
    }
}

// Records what the desktop was asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened.append(url); }
};

class Dialogs : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "Open");
    }
    void TearDown() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        AppTest::TearDown();
    }

    UrlRecorder recorder;
};

TEST_F(Dialogs, AboutBoxTextsAndLinks)
{
    AboutDialog about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QStringList texts;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        texts.append(label->text());
    }
    EXPECT_TRUE(
        texts.contains(QStringLiteral("Brelvix version 2.1\n\nCopyright \u00A9 Dunmere Corporation.\nAll "
                                      "rights reserved.")));
    EXPECT_TRUE(texts.contains(
        "Brelvix is a freeware, but if you like it, please consider\na small donation to the developer - $1, $5 or "
        "$10,\nor whatever you think this software is worth. And thanks!"));
    EXPECT_EQ(about.windowTitle(), "About");

    // The maker's page opens itself; the donation link shows its text as
    // tooltip but opens the donation page.
    EXPECT_EQ(about.HomepageLink()->Target(), HomepageAddress());
    EXPECT_EQ(about.DonationLabel()->toolTip(), "Make a donation via PayPal");
    EXPECT_EQ(about.DonationLink()->Target(), DonationAddress());
    EXPECT_TRUE(DonationAddress().startsWith("https://www.paypal.com/xclick/business="));
    EXPECT_TRUE(DonationAddress().endsWith("&no_shipping=1&item_name=Brelvix+Donation"));

    QLabel* link = about.DonationLabel();
    const QPoint inside = about.DonationLink()->LinkRect().center();
    QTest::mouseMove(link, inside);
    EXPECT_EQ(link->cursor().hotSpot(), QPoint(5, 0));
    EXPECT_EQ(link->cursor().shape(), Qt::BitmapCursor);

    // Pressed on the link, released off it: nothing opens.
    QTest::mousePress(link, Qt::LeftButton, {}, inside);
    QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(inside.x(), link->height() + 30));
    EXPECT_TRUE(recorder.opened.isEmpty());
    EXPECT_TRUE(link->hasFocus());
    EXPECT_FALSE(about.DonationLink()->Visited());

    QTest::mouseClick(link, Qt::LeftButton, {}, inside);
    ASSERT_EQ(recorder.opened.size(), 1);
    EXPECT_EQ(recorder.opened[0].toString(QUrl::FullyEncoded), DonationAddress());
    EXPECT_TRUE(about.DonationLink()->Visited());

    // Enter and Space on the focused link open it instead of closing the box.
    about.HomepageLabel()->setFocus();
    QTest::keyClick(about.HomepageLabel(), Qt::Key_Return);
    QTest::keyClick(about.HomepageLabel(), Qt::Key_Space);
    EXPECT_EQ(recorder.opened.size(), 3);
    EXPECT_EQ(recorder.opened[1], QUrl(HomepageAddress()));
    EXPECT_TRUE(about.isVisible());
}

TEST_F(Dialogs, EnterInTheAboutBoxPressesOkAndTabReachesTheLinks)
{
    {
        AboutDialog about;
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
        const QList<QWidget*> order{about.HomepageLabel(), about.DonationLabel(), about.OkButton()};
        for (QWidget* next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_EQ(about.result(), QDialog::Accepted);
        EXPECT_FALSE(about.isVisible());
    }
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        AboutDialog about;
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
        QTest::keyClick(QApplication::focusWidget(), key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        EXPECT_EQ(about.result(), QDialog::Accepted) << key;
    }
    EXPECT_TRUE(recorder.opened.isEmpty());
}

TEST_F(Dialogs, LinkColoursComeFromTheSettings)
{
    {
        RegistryKey key(RegistryRoot::CurrentUser, kLinkColorsKeyPath, RegistryKey::kCreate);
        ASSERT_TRUE(key.WriteString("Anchor Color", "255,0,0"));
        ASSERT_TRUE(key.WriteString("Anchor Color Visited", "0,128,0,999"));  // 11 characters, parses
    }
    QWidget parent;
    auto* label = new QLabel(QStringLiteral("nosuchscheme:nowhere"), &parent);
    label->setGeometry(0, 0, 300, 30);
    HyperLink link;
    link.Attach(label);
    EXPECT_EQ(link.LinkColor(), QColor(255, 0, 0));
    EXPECT_EQ(link.VisitedColor(), QColor(0, 128, 0));
    const QImage drawn = label->grab().toImage();
    bool red = false;
    for (int y = 0; y < drawn.height() && !red; ++y) {
        for (int x = 0; x < drawn.width() && !red; ++x) {
            red = drawn.pixel(x, y) == qRgb(255, 0, 0);
        }
    }
    EXPECT_TRUE(red) << "the link is drawn in the link colour";

    // An address nothing opens leaves the link unvisited.
    EXPECT_FALSE(link.Activate());
    EXPECT_FALSE(link.Visited());

    {
        RegistryKey key(RegistryRoot::CurrentUser, kLinkColorsKeyPath);
        ASSERT_TRUE(key.WriteString("Anchor Color", "255,0"));
        ASSERT_TRUE(key.WriteString("Anchor Color Visited", "0,128,0,9999"));  // 12 characters: too long
    }
    HyperLink other;
    other.Attach(label);
    EXPECT_EQ(other.LinkColor(), QColor(0, 0, 255));
    EXPECT_EQ(other.VisitedColor(), QColor(128, 0, 128));
}

TEST_F(Dialogs, ShortcutsBoxShowsEveryLineInColumns)
{
    ShortcutsDialog box;
    EXPECT_EQ(box.windowTitle(), "Brelvix Keyboard Shortcuts");
    const QString body = box.Body()->text();
    const QStringList lines = body.split(u'\n');
    // The keys added since follow the original 31 lines after an empty one.
    ASSERT_GT(lines.size(), 32);
    EXPECT_EQ(lines[0], "Open file\t\tCtrl + O");
    EXPECT_EQ(lines[14], "Zoom to best fit\t\t/");
    EXPECT_EQ(lines[30], "Show this window\tF1");
    EXPECT_EQ(lines.mid(0, 31).filter(QRegularExpression("^$")).size(), 6);
    EXPECT_EQ(lines[31], "");
    // This program's own conveniences come last.
    EXPECT_EQ(lines[lines.size() - 11], "Copy picture\t\tCtrl + C");
    EXPECT_EQ(lines.back(), "Reverse sort order\tCtrl + Shift + R");

    // Every column starts on a tab stop past the widest cell before it, and
    // the whole text fits the label: nothing is cut or wrapped.
    const std::vector<int> columns = box.Body()->ColumnPositions();
    ASSERT_EQ(columns.size(), 3u);
    const QFontMetrics metrics(box.Body()->font());
    const int stop = box.Body()->TabStopDistance();
    EXPECT_EQ(columns[1] % stop, 0);
    EXPECT_EQ(columns[2] % stop, 0);
    EXPECT_GT(columns[1], metrics.horizontalAdvance("Start/stop slide show"));
    EXPECT_GT(columns[2], columns[1] + metrics.horizontalAdvance("Ctrl + P"));
    const QSize natural = box.Body()->NaturalSize();
    EXPECT_LE(natural.width(), box.Body()->width());
    EXPECT_LE(natural.height(), box.Body()->height());
    EXPECT_GE(natural.width(), columns[2] + metrics.horizontalAdvance("Ctrl + Space"));
}

TEST(CenterOverParent, Arithmetic)
{
    const QRect work(0, 0, 1000, 700);
    struct Case {
        QRect reference;
        QSize size;
        QPoint position;
    };
    const Case cases[] = {
        {{100, 100, 400, 300}, {200, 100}, {200, 200}},  // (100 + 500) / 2 - 100
        {{101, 101, 401, 301}, {201, 101}, {201, 201}},  // integer halves
        {{-300, 100, 200, 100}, {300, 100}, {0, 100}},  {{900, 650, 200, 100}, {300, 100}, {700, 600}},
        {{0, 0, 1000, 700}, {1200, 800}, {0, 0}},  // larger than the limits: the left and top edges win
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CenteredPosition(c.reference, c.size, work), c.position);
    }
}

TEST_F(Dialogs, CentredOverTheOwnerInsideTheWorkArea)
{
    QWidget owner;
    owner.setGeometry(50, 60, 400, 300);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    ShortcutsDialog box(&owner);
    const QRect frame = owner.frameGeometry();
    EXPECT_EQ(box.pos(), QPoint((frame.left() + frame.left() + frame.width()) / 2 - box.width() / 2,
                                std::max(box.screen()->availableGeometry().top(),
                                         (frame.top() + frame.top() + frame.height()) / 2 - box.height() / 2)));

    // Over a full-screen owner, the box is centred on the screen.
    owner.showFullScreen();
    QTest::qWait(20);
    AboutDialog about(&owner);
    const QRect screen = owner.frameGeometry();
    EXPECT_EQ(about.pos(),
              QPoint(screen.center().x() + 1 - about.width() / 2, screen.center().y() + 1 - about.height() / 2));

    // A hidden owner is no reference: the work area is.
    owner.hide();
    AboutDialog alone(&owner);
    const QRect area = alone.screen()->availableGeometry();
    EXPECT_EQ(alone.pos(), QPoint((area.left() + area.left() + area.width()) / 2 - alone.width() / 2,
                                  (area.top() + area.top() + area.height()) / 2 - alone.height() / 2));
}

}  // namespace

}  // namespace brelvix::app

#include "dialogs_test.moc"
