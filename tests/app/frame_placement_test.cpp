// Where the frame comes back and what is stored of it.
#include <gtest/gtest.h>

#include "app/frame_placement.h"

namespace brelvix::app {

namespace {

TEST(FramePlacement, RestoredFrameKeepsItsTitleBarOnAScreen)
{
    // Two screens side by side, each with a panel along its top.
    const QList<QRect> screens = {QRect(0, 24, 1024, 744), QRect(1024, 24, 1280, 1000)};
    struct Case {
        const char* what;
        QRect stored;
        QRect restored;
    };
    const Case cases[] = {
        {"inside a screen: as it was", {100, 100, 600, 400}, {100, 100, 600, 400}},
        {"stored under Wayland", {-3, -30, 600, 400}, {0, 24, 600, 400}},
        {"title bar under the panel", {200, 10, 600, 400}, {200, 24, 600, 400}},
        {"hanging off the bottom", {100, 600, 600, 400}, {100, 368, 600, 400}},
        {"mostly on the second screen", {900, 100, 600, 400}, {1024, 100, 600, 400}},
        {"off every screen", {5000, 4000, 600, 400}, {1704, 624, 600, 400}},
        {"larger than its screen", {-50, 0, 1200, 900}, {0, 24, 1024, 744}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OntoAScreen(c.stored, screens), c.restored) << c.what;
    }
    EXPECT_EQ(OntoAScreen(QRect(-3, -30, 600, 400), {}), QRect(-3, -30, 600, 400)) << "no screens";
}

TEST(FramePlacement, PositionIsStoredOnlyWhereTheWindowSystemTellsIt)
{
    EXPECT_TRUE(WindowPositionKnown("xcb"));
    EXPECT_TRUE(WindowPositionKnown("offscreen"));
    EXPECT_FALSE(WindowPositionKnown("wayland"));
    EXPECT_FALSE(WindowPositionKnown("wayland-egl"));

    const QRect frame(-3, -30, 640, 480);
    EXPECT_EQ(PlacementToStore(frame, QPoint(200, 100), true), frame);
    EXPECT_EQ(PlacementToStore(frame, QPoint(200, 100), false), QRect(200, 100, 640, 480));
}

}  // namespace

}  // namespace brelvix::app
