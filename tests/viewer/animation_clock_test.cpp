#include "viewer/animation_clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace brelvix {

namespace {

TEST(AnimationFrameDuration, FastDelaysPlayAsBrowsersPlayThem)
{
    const struct {
        std::int64_t stored;
        std::int64_t plays;
    } cases[] = {
        {0, 100}, {10, 100}, {-5, 100}, {11, 11}, {20, 20}, {100, 100}, {655350, 655350},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AnimationFrameDuration(c.stored), c.plays) << "stored " << c.stored;
    }
}

// One call on the clock and what must hold after it.
struct Event {
    enum Kind { kAdvance, kPause, kResume, kCount, kShowAt } kind;
    std::int64_t now;
    std::vector<std::int64_t> ready;  // kAdvance: stored delays ready; kShowAt: {sequence, delay}; kCount: {count}
    int used;                         // kAdvance only
    std::int64_t sequence;
    std::int64_t deadline;
};

struct Scenario {
    const char* name;
    std::int32_t plays;
    std::int64_t firstDelay;  // the schedule starts at 1000 with this frame
    std::vector<Event> events;
};

constexpr std::int64_t kNever = kAnimationNever;

TEST(AnimationClock, FollowsAbsoluteDeadlines)
{
    using E = Event;
    const Scenario scenarios[] = {
        {"on time, frame after frame",
         0,
         100,
         {{E::kAdvance, 1050, {200}, 0, 0, 1100},
          {E::kAdvance, 1100, {200, 50}, 1, 1, 1300},
          {E::kAdvance, 1300, {50}, 1, 2, 1350}}},
        {"a late tick keeps the schedule: the next frame still ends on time",
         0,
         100,
         {{E::kAdvance, 1180, {100}, 1, 1, 1200}, {E::kAdvance, 1200, {100}, 1, 2, 1300}}},
        {"frames whose time passed while a later one was ready are dropped",
         0,
         100,
         {{E::kAdvance, 1350, {100, 100, 100, 100}, 3, 3, 1400}}},
        {"a composer that fell behind shows its one frame late, never drops it",
         0,
         100,
         {{E::kAdvance, 1500, {100}, 1, 1, 1200}, {E::kAdvance, 1510, {}, 0, 1, 1200}}},
        {"fast delays play as 100 ms",
         0,
         0,
         {{E::kAdvance, 1099, {10}, 0, 0, 1100}, {E::kAdvance, 1100, {10}, 1, 1, 1200}}},
        {"two plays of three frames, then the last frame stays",
         2,
         100,
         {{E::kCount, 0, {3}, 0, 0, 1100},
          {E::kAdvance, 1100, {100, 100, 100, 100, 100, 100}, 1, 1, 1200},
          {E::kAdvance, 1500, {100, 100, 100, 100, 100}, 4, 5, kNever},
          {E::kAdvance, 9000, {100}, 0, 5, kNever}}},
        {"one play: the count learnt at the end stops the schedule there",
         1,
         100,
         {{E::kAdvance, 1100, {100}, 1, 1, 1200}, {E::kCount, 0, {2}, 0, 1, kNever}}},
        {"absurd delays and play counts are only long",
         65535,
         655350,
         {{E::kCount, 0, {10000}, 0, 0, 1000 + 655350},
          {E::kAdvance, 1000 + 655350, {655350}, 1, 1, 1000 + 2 * 655350}}},
        {"a pause keeps the time left and resumes with it",
         0,
         100,
         {{E::kPause, 1040, {}, 0, 0, kNever},
          {E::kAdvance, 5000, {100}, 0, 0, kNever},
          {E::kResume, 5000, {}, 0, 0, 5060},
          {E::kAdvance, 5060, {100}, 1, 1, 5160}}},
        {"a step by hand shows the frame for its full time",
         0,
         100,
         {{E::kPause, 1040, {}, 0, 0, kNever},
          {E::kShowAt, 2000, {4, 300}, 0, 4, kNever},
          {E::kResume, 7000, {}, 0, 4, 7300}}},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        AnimationClock clock(s.plays);
        EXPECT_EQ(clock.Deadline(), kNever) << "not started";
        clock.Start(1000, s.firstDelay);
        for (const Event& e : s.events) {
            switch (e.kind) {
                case Event::kAdvance:
                    EXPECT_EQ(clock.Advance(e.now, e.ready), e.used) << "at " << e.now;
                    break;
                case Event::kPause:
                    clock.Pause(e.now);
                    break;
                case Event::kResume:
                    clock.Resume(e.now);
                    break;
                case Event::kCount:
                    clock.SetFrameCount(static_cast<std::int32_t>(e.ready[0]));
                    break;
                case Event::kShowAt:
                    clock.ShowAt(e.now, e.ready[0], e.ready[1]);
                    break;
            }
            EXPECT_EQ(clock.Sequence(), e.sequence) << "at " << e.now;
            EXPECT_EQ(clock.Deadline(), e.deadline) << "at " << e.now;
        }
    }
}

TEST(AnimationClock, CountsFramesAndPlaysOnceTheCountIsKnown)
{
    AnimationClock clock(3);
    clock.Start(0, 100);
    const std::vector<std::int64_t> ready(7, 100);
    EXPECT_EQ(clock.Advance(700, ready), 7);
    EXPECT_EQ(clock.FrameIndex(), 7) << "unknown count: the sequence itself";
    clock.SetFrameCount(4);
    EXPECT_EQ(clock.FrameIndex(), 3);
    EXPECT_EQ(clock.Play(), 1);
    EXPECT_TRUE(clock.Shows(11));
    EXPECT_FALSE(clock.Shows(12));
}

}  // namespace

}  // namespace brelvix
