// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/ClockEstimator.h"

#include <gtest/gtest.h>

namespace {

TEST(ClockEstimatorTest, ReportsEveryFourIntervalsOnlyOnChange)
{
    ClockEstimator estimator;
    const double interval = 60000.0 / 120.0 / 24.0;
    double now = 5000.0;
    for (int clock = 1; clock <= 4; ++clock, now += interval)
        EXPECT_FALSE(estimator.clock(now).has_value()) << "clock " << clock;
    EXPECT_EQ(estimator.clock(now), std::optional<int>(120));
    for (int clock = 0; clock < 40; ++clock) {
        now += interval;
        EXPECT_FALSE(estimator.clock(now).has_value());
    }
    EXPECT_EQ(estimator.lastTempo(), 120);
}

TEST(ClockEstimatorTest, RoundsToNearestWithTiesToEven)
{
    // 4 intervals summing to 60000 / (t * 6) ms give tempo t exactly.
    auto estimate = [](double bpm) {
        ClockEstimator estimator;
        const double interval = 60000.0 / bpm / 24.0;
        std::optional<int> result;
        for (int i = 0; i < 5; ++i)
            result = estimator.clock(1.0 + i * interval);
        return result;
    };
    EXPECT_EQ(estimate(120.4), std::optional<int>(120));
    EXPECT_EQ(estimate(120.6), std::optional<int>(121));
    EXPECT_EQ(estimate(2.5), std::optional<int>(2)); // exactly 2.5: ties to even
    EXPECT_EQ(estimate(3.5), std::optional<int>(4));
}

TEST(ClockEstimatorTest, SimultaneousClocksDoNotDivideByZero)
{
    ClockEstimator estimator;
    for (int i = 0; i < 9; ++i)
        EXPECT_FALSE(estimator.clock(100.0).has_value());
    EXPECT_EQ(estimator.lastTempo(), 0);
}

TEST(ClockEstimatorTest, ResetForgetsTheLastEstimate)
{
    ClockEstimator estimator;
    for (int i = 0; i < 5; ++i)
        estimator.clock(10.0 + i * 25.0); // 100 bpm
    EXPECT_EQ(estimator.lastTempo(), 100);
    estimator.reset();
    EXPECT_EQ(estimator.lastTempo(), 0);
    std::optional<int> result;
    for (int i = 0; i < 5; ++i)
        result = estimator.clock(1000.0 + i * 25.0);
    EXPECT_EQ(result, std::optional<int>(100));
}

} // namespace
