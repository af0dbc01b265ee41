// The colour picker: the pop-up's arithmetic (layout, hit test, keyboard
// ring, chosen item, placement, the button's parts) from worked numbers, and
// what a user's clicks and keys make of the colour and the notifications.
#include "app/color_picker.h"

#include <QColorDialog>
#include <QDialog>
#include <QTest>
#include <string>
#include <vector>

#include "app/common/app_test_support.h"
#include "app/common/modal_action.h"

namespace brelvix::app {

namespace {

constexpr std::uint32_t kRed = 0x0000FF;
constexpr std::uint32_t kBlue = 0xFF0000;

TEST(ColorPickerLayout, SizesAndAreas)
{
    struct Case {
        const char* name;
        QSize text;
        bool automatic, custom;
        QSize size;
        QRect automaticRect, colorsRect, customRect;
    };
    // Entries are the text plus 10; the grid is 144 x 90; a 2-pixel margin
    // goes around.
    const Case cases[] = {
        {"no entries", {80, 14}, false, false, {148, 94}, {2, 2, 144, 0}, {2, 2, 144, 90}, {2, 92, 144, 0}},
        {"More Colors... only", {80, 14}, false, true, {148, 118}, {2, 2, 144, 0}, {2, 2, 144, 90}, {2, 92, 144, 24}},
        {"wide text centres the grid",
         {200, 14},
         false,
         true,
         {214, 118},
         {2, 2, 210, 0},
         {35, 2, 144, 90},
         {2, 92, 210, 24}},
        {"both entries", {60, 16}, true, true, {148, 146}, {2, 2, 144, 26}, {2, 28, 144, 90}, {2, 118, 144, 26}},
    };
    for (const Case& c : cases) {
        const PickerLayout layout = LayOutPicker(c.text, c.automatic, c.custom, 2);
        EXPECT_EQ(layout.size, c.size) << c.name;
        EXPECT_EQ(layout.automaticRect, c.automaticRect) << c.name;
        EXPECT_EQ(layout.colorsRect, c.colorsRect) << c.name;
        EXPECT_EQ(layout.customRect, c.customRect) << c.name;
    }
}

TEST(ColorPickerLayout, HitTest)
{
    // Grid at (2, 28), 144 x 90; entries above (2, 2, 144 x 26) and below
    // (2, 118, 144 x 26).
    const PickerLayout layout = LayOutPicker({60, 16}, true, true, 2);
    const std::pair<QPoint, int> cases[] = {
        {{2, 28}, 0},
        {{19, 45}, 0},
        {{20, 28}, 1},
        {{145, 28}, 7},
        {{2, 46}, 8},
        {{145, 117}, 39},
        {{146, 60}, kNoItem},
        {{0, 60}, kNoItem},
        {{70, 2}, kAutomaticItem},
        {{70, 27}, kAutomaticItem},
        {{70, 118}, kMoreColorsItem},
        {{70, 143}, kMoreColorsItem},
        {{70, 144}, kNoItem},
        {{-5, -5}, kNoItem},
    };
    for (const auto& [point, item] : cases) {
        EXPECT_EQ(PickerHitTest(layout, point), item) << point.x() << "," << point.y();
    }
    const PickerLayout bare = LayOutPicker({60, 16}, false, false, 2);
    EXPECT_EQ(PickerHitTest(bare, {70, 2}), 3) << "no entry above the grid: the first row starts there";
}

TEST(ColorPickerLayout, KeyboardRing)
{
    struct Case {
        int hot, step;
        bool automatic, custom;
        int target;
    };
    const Case cases[] = {
        {kNoItem, 1, true, true, kAutomaticItem},
        {kNoItem, -1, true, true, kMoreColorsItem},
        {kNoItem, 1, false, true, 0},
        {kNoItem, -8, true, false, 39},
        {0, -1, true, true, kAutomaticItem},
        {0, -1, false, true, kMoreColorsItem},
        {0, -1, false, false, 39},
        {3, -8, true, true, kAutomaticItem},
        {10, 8, true, true, 18},
        {10, -1, true, true, 9},
        {39, 8, true, true, kMoreColorsItem},
        {35, 8, true, true, kMoreColorsItem},
        {39, 1, true, false, kAutomaticItem},
        {39, 1, false, false, 0},
        {kAutomaticItem, 1, true, true, 0},
        {kAutomaticItem, -1, true, true, kMoreColorsItem},
        {kAutomaticItem, -1, true, false, 39},
        {kMoreColorsItem, -8, true, true, 39},
        {kMoreColorsItem, 1, true, true, kAutomaticItem},
        {kMoreColorsItem, 1, false, true, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PickerKeyTarget(c.hot, c.step, c.automatic, c.custom), c.target)
            << "from " << c.hot << " by " << c.step << " auto " << c.automatic << " custom " << c.custom;
    }
}

TEST(ColorPickerLayout, ChosenItem)
{
    struct Case {
        std::uint32_t color;
        bool automatic, custom;
        int item;
    };
    const Case cases[] = {
        {kAutomaticColor, true, true, kAutomaticItem},
        {kAutomaticColor, false, true, kMoreColorsItem},
        {kRed, true, true, 16},
        {0x000000, false, true, 0},
        {0xFFFFFF, false, true, 39},
        {0x808000, false, true, kMoreColorsItem},
        {0x808000, false, false, kNoItem},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PickerChosenItem(c.color, c.automatic, c.custom), c.item) << std::hex << c.color;
    }
    EXPECT_EQ(PickerColors().size(), 40u);
    EXPECT_STREQ(PickerColors()[35].name, "Pale green ");
}

TEST(ColorPickerLayout, StaysOnTheScreen)
{
    const QRect screen(0, 0, 1024, 768);
    const QSize size(148, 118);
    struct Case {
        QPoint below;
        QPoint placed;
    };
    const Case cases[] = {
        {{100, 200}, {100, 200}},
        {{950, 200}, {876, 200}},  // ends at the right edge
        {{-30, 200}, {0, 200}},
        {{100, 700}, {100, 700 - 118 - 25}},  // above the 25-pixel button
        {{1000, 660}, {876, 660 - 118 - 25}},
        {{100, 650}, {100, 650}},  // ends exactly at the bottom edge
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlacePicker(c.below, size, 25, screen), c.placed) << c.below.x() << "," << c.below.y();
    }
    // A second screen to the right.
    EXPECT_EQ(PlacePicker({2000, 100}, size, 25, QRect(1024, 0, 1024, 768)), QPoint(1900, 100));
}

TEST(ColorPickerLayout, ButtonParts)
{
    // A 56 x 22 button: the interior lies 2 inside, the content 2 more; the
    // arrow's left corner 5 left of the content's right edge (52), the
    // etched line's rectangle ends 1 left of it, the swatch 5 further left.
    const ColorButtonParts up = ColorButtonLayout(QRect(0, 0, 56, 22), false);
    EXPECT_EQ(up.interior, QRect(2, 2, 52, 18));
    EXPECT_EQ(up.focusRect, QRect(2, 2, 51, 18));
    EXPECT_EQ(up.arrow, QPolygon({QPoint(47, 10), QPoint(51, 10), QPoint(49, 12)}));
    EXPECT_EQ(up.etched, QRect(4, 4, 42, 14));
    EXPECT_EQ(up.swatch, QRect(4, 4, 37, 14));

    const ColorButtonParts down = ColorButtonLayout(QRect(0, 0, 56, 22), true);
    EXPECT_EQ(down.interior, QRect(3, 3, 52, 18));
    EXPECT_EQ(down.arrow, QPolygon({QPoint(48, 11), QPoint(52, 11), QPoint(50, 13)}));
    EXPECT_EQ(down.swatch, QRect(5, 5, 37, 14));
}

// A picker on a button of a shown dialog, recording its notifications.
class ColorPickerTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        dialog.resize(300, 200);
        button = new QPushButton(QStringLiteral("Button1"), &dialog);
        button->setGeometry(20, 20, 74, 25);
        picker = new ColorPickerButton(&dialog);
        picker->SubclassButton(button);
        picker->SetAutomaticText(QString());
        picker->SetColor(kRed);
        const auto record = [this](const char* name) {
            return [this, name](std::uint32_t colour) { notes.push_back({name, colour}); };
        };
        QObject::connect(picker, &ColorPickerButton::PickerOpening, record("opening"));
        QObject::connect(picker, &ColorPickerButton::PickerColorChanged, record("changed"));
        QObject::connect(picker, &ColorPickerButton::PickerClosed, record("closed"));
        QObject::connect(picker, &ColorPickerButton::PickerAccepted, record("accepted"));
        QObject::connect(picker, &ColorPickerButton::PickerCancelled, record("cancelled"));
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }

    // Clicks the button; `act` runs on the open pop-up and the click returns
    // when the pop-up is done.
    void Click(const std::function<void(ColorPickerPopup*)>& act)
    {
        ModalAction action([&](QWidget*, QWidget*) {
            if (picker->Popup() == nullptr || !picker->Popup()->isVisible()) {
                return false;
            }
            act(picker->Popup());
            return true;
        });
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(action.Done());
    }

    static QPoint Center(ColorPickerPopup* popup, int item) { return PickerItemRect(popup->Layout(), item).center(); }

    QDialog dialog;
    QPushButton* button = nullptr;
    ColorPickerButton* picker = nullptr;
    std::vector<std::pair<std::string, std::uint32_t>> notes;
};

using Notes = std::vector<std::pair<std::string, std::uint32_t>>;

TEST_F(ColorPickerTest, OpensBelowTheButtonWithTheColourChosen)
{
    Click([&](ColorPickerPopup* popup) {
        EXPECT_EQ(popup->geometry().topLeft(), button->mapToGlobal(QPoint(0, button->height())));
        EXPECT_EQ(popup->ChosenItem(), 16);
        EXPECT_EQ(popup->HotItem(), kNoItem);
        // Only "More Colors...": the preferences remove "Automatic".
        EXPECT_EQ(popup->Layout().automaticRect.height(), 0);
        EXPECT_GT(popup->Layout().customRect.height(), 0);
        // Enter with nothing hot keeps the colour.
        QTest::keyClick(popup, Qt::Key_Return);
    });
    EXPECT_EQ(picker->GetColor(), kRed);
    EXPECT_EQ(notes, (Notes{{"opening", kRed}, {"closed", kRed}, {"cancelled", kRed}}));
}

TEST_F(ColorPickerTest, MouseAndKeysDecide)
{
    struct Case {
        const char* name;
        std::function<void(ColorPickerPopup*)> act;
        std::uint32_t colour;
        Notes notes;
    };
    const Case cases[] = {
        {"release on a cell takes its colour",
         [](ColorPickerPopup* popup) { QTest::mouseClick(popup, Qt::LeftButton, {}, Center(popup, 13)); },
         kBlue,
         {{"opening", kRed}, {"changed", kBlue}, {"closed", kBlue}, {"accepted", kBlue}}},
        {"the same colour again is accepted without a change",
         [](ColorPickerPopup* popup) { QTest::mouseClick(popup, Qt::LeftButton, {}, Center(popup, 16)); },
         kRed,
         {{"opening", kRed}, {"closed", kRed}, {"accepted", kRed}}},
        {"release outside cancels",
         [](ColorPickerPopup* popup) { QTest::mouseClick(popup, Qt::LeftButton, {}, QPoint(-20, -20)); },
         kRed,
         {{"opening", kRed}, {"closed", kRed}, {"cancelled", kRed}}},
        {"right button cancels at once",
         [](ColorPickerPopup* popup) {
             QTest::mouseMove(popup, Center(popup, 13));
             QTest::mousePress(popup, Qt::RightButton, {}, Center(popup, 13));
         },
         kRed,
         {{"opening", kRed}, {"closed", kRed}, {"cancelled", kRed}}},
        {"Escape cancels even with an item hot",
         [](ColorPickerPopup* popup) {
             QTest::keyClick(popup, Qt::Key_Right);
             QTest::keyClick(popup, Qt::Key_Escape);
         },
         kRed,
         {{"opening", kRed}, {"closed", kRed}, {"cancelled", kRed}}},
        {"Right from nothing is the first cell; Down then Space takes the cell below",
         [](ColorPickerPopup* popup) {
             QTest::keyClick(popup, Qt::Key_Right);
             EXPECT_EQ(popup->HotItem(), 0);
             QTest::keyClick(popup, Qt::Key_Down);
             QTest::keyClick(popup, Qt::Key_Space);
         },
         0x00008B,  // "Dark red", cell 8
         {{"opening", kRed}, {"changed", 0x00008B}, {"closed", 0x00008B}, {"accepted", 0x00008B}}},
    };
    for (const Case& c : cases) {
        picker->SetColor(kRed);
        notes.clear();
        Click(c.act);
        EXPECT_EQ(picker->GetColor(), c.colour) << c.name;
        EXPECT_EQ(notes, c.notes) << c.name;
    }
}

TEST_F(ColorPickerTest, MoreColorsOpensTheColourDialog)
{
    const auto chooseMoreColors = [](ColorPickerPopup* popup) {
        QTest::mouseClick(popup, Qt::LeftButton, {}, Center(popup, kMoreColorsItem));
    };
    {
        ModalAction cancel([](QWidget* modal, QWidget*) {
            auto* colours = qobject_cast<QColorDialog*>(modal);
            if (colours == nullptr) {
                return false;
            }
            EXPECT_EQ(colours->currentColor(), QColor(255, 0, 0));
            colours->reject();
            return true;
        });
        Click(chooseMoreColors);
        EXPECT_TRUE(cancel.Done());
    }
    EXPECT_EQ(picker->GetColor(), kRed);
    EXPECT_EQ(notes.back(), (std::pair<std::string, std::uint32_t>{"cancelled", kRed}));

    notes.clear();
    ModalAction accept([](QWidget* modal, QWidget*) {
        auto* colours = qobject_cast<QColorDialog*>(modal);
        if (colours == nullptr) {
            return false;
        }
        colours->setCurrentColor(QColor(0x12, 0x34, 0x56));
        colours->accept();
        return true;
    });
    Click(chooseMoreColors);
    EXPECT_EQ(picker->GetColor(), 0x563412u);
    EXPECT_EQ(notes, (Notes{{"opening", kRed}, {"changed", 0x563412}, {"closed", 0x563412}, {"accepted", 0x563412}}));
}

TEST_F(ColorPickerTest, DisabledButtonShowsNoSwatch)
{
    const auto redPixels = [this] {
        const QImage image = button->grab().toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                count += image.pixel(x, y) == qRgb(255, 0, 0);
            }
        }
        return count;
    };
    const QRect swatch = ColorButtonLayout(button->rect(), false).swatch;
    // The swatch's inside, within its black frame.
    EXPECT_EQ(redPixels(), (swatch.width() - 2) * (swatch.height() - 2));
    button->setEnabled(false);
    EXPECT_EQ(redPixels(), 0);
}

}  // namespace

}  // namespace brelvix::app
