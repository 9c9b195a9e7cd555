#include "framework/FramePacer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "framework/support/TestClocks.h"

namespace {

// one frame at the given time: polls once and, when due, runs it
bool FrameAt(FramePacer& pacer, ScriptedClock& clock, std::uint32_t now, int& ticks) {
    clock.Then(now);
    if (!pacer.Poll()) {
        return false;
    }
    ticks = pacer.StartFrame();
    pacer.FinishFrame(ticks);
    return true;
}

} // namespace

TEST(FramePacer, CountsWholeTicksAndCarriesTheFraction) {
    // 16 ms with nothing carried is 0.96 of a tick
    {
        ScriptedClock clock;
        clock.Then(0);
        FramePacer pacer(clock);
        int ticks = -1;
        ASSERT_TRUE(FrameAt(pacer, clock, 16, ticks));
        EXPECT_EQ(ticks, 0);
        // the 0.96 carried makes the next 16 ms frame a whole tick
        ASSERT_TRUE(FrameAt(pacer, clock, 32, ticks));
        EXPECT_EQ(ticks, 1);
    }
    // 33 ms is 1.98 ticks: 1 now with 0.98 carried, then 2
    {
        ScriptedClock clock;
        clock.Then(0);
        FramePacer pacer(clock);
        int ticks = -1;
        ASSERT_TRUE(FrameAt(pacer, clock, 33, ticks));
        EXPECT_EQ(ticks, 1);
        ASSERT_TRUE(FrameAt(pacer, clock, 66, ticks));
        EXPECT_EQ(ticks, 2);
    }
}

TEST(FramePacer, TickSumStaysWithinOneTickOfElapsedTime) {
    std::mt19937 random(7);
    std::uniform_int_distribution<std::uint32_t> frameTime(16, 90);
    ScriptedClock clock;
    std::uint32_t now = 4000000000u; // crosses the wrap of the 32-bit clock on the way
    clock.Then(now);
    FramePacer pacer(clock);
    long long tickSum = 0;
    double elapsedSum = 0.0;
    for (int frame = 0; frame < 100000; ++frame) {
        const std::uint32_t step = frameTime(random);
        now += step;
        elapsedSum += step;
        int ticks = -1;
        ASSERT_TRUE(FrameAt(pacer, clock, now, ticks));
        ASSERT_GE(ticks, 0);
        tickSum += ticks;
        ASSERT_LE(std::abs(static_cast<double>(tickSum) - elapsedSum / FramePacer::kTickMilliseconds), 1.0)
            << "frame " << frame;
    }
}

TEST(FramePacer, SleepsUntilAboutThirteenMillisecondsAfterThePreviousFrame) {
    ScriptedClock clock;
    clock.Then(1000);
    FramePacer pacer(clock);

    // 5 ms after: sleep 8 ms, not due
    clock.Then(1005);
    EXPECT_FALSE(pacer.Poll());
    EXPECT_EQ(clock.Sleeps(), std::vector<std::uint32_t>{8});
    // 11 ms after: sleep 2 ms
    clock.ClearSleeps();
    clock.Then(1011);
    EXPECT_FALSE(pacer.Poll());
    EXPECT_EQ(clock.Sleeps(), std::vector<std::uint32_t>{2});
    // from 12 ms on it polls without sleeping, due at 16 ms
    clock.ClearSleeps();
    clock.Then(1012);
    EXPECT_FALSE(pacer.Poll());
    clock.Then(1015);
    EXPECT_FALSE(pacer.Poll());
    clock.Then(1016);
    EXPECT_TRUE(pacer.Poll());
    EXPECT_TRUE(clock.Sleeps().empty());
}

TEST(FramePacer, NeverSleepsLongAcrossTheClockWrap) {
    // 15 ms after a frame just before the wrap: a frame time, not a sleep of 49 days
    ScriptedClock clock;
    clock.Then(0xFFFFFFEEu);
    FramePacer pacer(clock);
    clock.Then(0xFFFFFFFDu);
    EXPECT_FALSE(pacer.Poll());
    for (std::uint32_t sleep : clock.Sleeps()) {
        EXPECT_LE(sleep, 13u);
    }
    // and a frame that spans the wrap has its true length
    clock.Then(0x00000005u);
    ASSERT_TRUE(pacer.Poll());
    EXPECT_EQ(pacer.Elapsed(), 23u);
    EXPECT_EQ(pacer.StartFrame(), 1);
}

TEST(FramePacer, RateStartsNearSixtyAndFollowsTheFrameTime) {
    ScriptedClock clock;
    std::uint32_t now = 0;
    clock.Then(now);
    FramePacer pacer(clock);
    int ticks = 0;

    // the first frame measures nothing
    now += 16;
    ASSERT_TRUE(FrameAt(pacer, clock, now, ticks));
    EXPECT_FALSE(pacer.HasRate());
    // the sum starts at 533: after two 16 ms frames it is 531, 32000 / 531 = 60
    now += 16;
    ASSERT_TRUE(FrameAt(pacer, clock, now, ticks));
    ASSERT_TRUE(pacer.HasRate());
    EXPECT_EQ(pacer.Rate(), 60);
    // steady 16 ms frames settle the sum at 512: 62 frames a second
    for (int i = 0; i < 40; ++i) {
        now += 16;
        ASSERT_TRUE(FrameAt(pacer, clock, now, ticks));
    }
    EXPECT_EQ(pacer.Rate(), 62);
    // a slower machine: 33 ms frames bring it to about 30
    for (int i = 0; i < 400; ++i) {
        now += 33;
        ASSERT_TRUE(FrameAt(pacer, clock, now, ticks));
    }
    EXPECT_NEAR(pacer.Rate(), 30, 1);
}
