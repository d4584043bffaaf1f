// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/TickClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

struct ClockRun
{
    std::vector<uint64_t> indices;
    std::vector<uint64_t> samples; // absolute sample of each tick
};

// Runs `clock` for `totalSamples` in blocks drawn by `nextBlock`, checking
// that every offset lies inside its block.
template <typename NextBlock>
ClockRun runClock(TickClock& clock, uint64_t totalSamples, NextBlock nextBlock)
{
    ClockRun run;
    while (clock.position() < totalSamples) {
        const int block = nextBlock();
        const uint64_t blockStart = clock.position();
        clock.beginBlock(block);
        TickClock::Tick tick;
        while (clock.nextTick(tick)) {
            EXPECT_GE(tick.offset, 0);
            EXPECT_LT(tick.offset, block);
            run.indices.push_back(tick.index);
            run.samples.push_back(blockStart + uint64_t(tick.offset));
        }
        clock.endBlock();
    }
    return run;
}

// Tick k lies on the sample that holds k × samples-per-tick, for every
// tempo the window offers and beyond, at every block size from 16 to 4096
// (fixed and varying): none lost, none doubled, none drifting.
TEST(TickClockProperty, EveryTickLiesOnItsOwnSampleWhateverTheBlocks)
{
    std::mt19937 random(18);
    for (int rate : {44100, 48000, 96000}) {
        for (int tempo : {20, 37, 60, 99, 120, 128, 173, 240, 256, 300}) {
            for (int blockSize : {16, 17, 64, 100, 512, 1000, 1024, 4096, 0}) {
                TickClock clock;
                clock.setFormat(rate, tempo);
                const double perTick = 60.0 * rate / (24.0 * tempo);
                ASSERT_DOUBLE_EQ(clock.samplesPerTick(), perTick);
                std::uniform_int_distribution<int> anyBlock(16, 4096);
                const ClockRun run = runClock(clock, uint64_t(perTick * 400), [&] {
                    return blockSize > 0 ? blockSize : anyBlock(random);
                });
                SCOPED_TRACE(testing::Message()
                             << rate << " Hz, " << tempo << " bpm, blocks " << blockSize);
                ASSERT_GE(run.indices.size(), 400u);
                // Sample s holds the tick when s <= k × 5 × rate / (2 × tempo)
                // < s + 1 (in whole numbers, free of rounding).
                for (size_t k = 0; k < run.indices.size(); ++k) {
                    ASSERT_EQ(run.indices[k], k);
                    const uint64_t exactTimesDen = uint64_t(k) * 5u * uint64_t(rate);
                    const uint64_t den = 2u * uint64_t(tempo);
                    ASSERT_LE(run.samples[k] * den, exactTimesDen);
                    ASSERT_GT((run.samples[k] + 1) * den, exactTimesDen);
                }
            }
        }
    }
}

TEST(TickClockProperty, AMinuteAtOneHundredAndTwentyEndsOnTheExactSample)
{
    TickClock clock;
    clock.setFormat(44100, 120);
    const ClockRun run = runClock(clock, 60ull * 44100, [] { return 1050; });
    // 48 ticks a second, no more and no fewer; the last one (2879 × 918.75 =
    // 2645081.25) on sample 2645081, where a whole-sample tick length would
    // have put it 2159 samples early.
    ASSERT_EQ(run.indices.size(), 2880u);
    EXPECT_EQ(run.samples.back(), 2645081u);
    for (size_t k = 1; k < run.samples.size(); ++k) {
        const uint64_t interval = run.samples[k] - run.samples[k - 1];
        EXPECT_TRUE(interval == 918 || interval == 919) << interval;
    }
}

TEST(TickClock, ATempoChangeKeepsTheNextTickAndCountsOn)
{
    TickClock clock;
    clock.setFormat(44100, 120);
    ClockRun before = runClock(clock, 10000, [] { return 1000; }); // ticks up to 9187
    ASSERT_EQ(before.indices.back(), 10u);
    clock.setFormat(44100, 300); // 367.5 samples per tick from tick 11 on
    ClockRun after = runClock(clock, 20000, [] { return 1000; });
    ASSERT_FALSE(after.indices.empty());
    EXPECT_EQ(after.indices.front(), 11u);
    EXPECT_EQ(after.samples.front(), 10106u); // where 120 bpm had placed it
    for (size_t k = 1; k < after.samples.size(); ++k) {
        EXPECT_EQ(after.indices[k], 11u + k);
        EXPECT_NEAR(double(after.samples[k] - after.samples.front()), k * 367.5, 1.0);
    }
}

TEST(TickClock, RenumberingMakesATickTheFirstOfANewCount)
{
    TickClock clock;
    clock.setFormat(44100, 120);
    runClock(clock, 5000, [] { return 500; });
    clock.beginBlock(1000); // 5000..6000 holds tick 6 on 5512
    TickClock::Tick tick;
    ASSERT_TRUE(clock.nextTick(tick));
    EXPECT_EQ(tick.index, 6u);
    EXPECT_EQ(tick.offset, 512);
    clock.renumberLastTick(0);
    clock.endBlock();
    const ClockRun run = runClock(clock, 9000, [] { return 500; });
    ASSERT_EQ(run.indices.size(), 3u); // 6430, 7349, 8268
    EXPECT_EQ(run.indices.front(), 1u);
    EXPECT_EQ(run.samples.front(), 5512u + 918u);
    EXPECT_EQ(run.samples.back(), 5512u + 2756u);
}

TEST(TickClock, StandsStillWithoutTempoOrRateAndStartsAgainAtOnce)
{
    TickClock clock;
    clock.setFormat(44100, 0);
    EXPECT_FALSE(clock.isRunning());
    EXPECT_TRUE(runClock(clock, 10000, [] { return 512; }).indices.empty());
    clock.setFormat(44100, 120);
    const ClockRun run = runClock(clock, 12000, [] { return 512; });
    ASSERT_FALSE(run.indices.empty());
    EXPECT_EQ(run.indices.front(), 0u);
    EXPECT_EQ(run.samples.front(), 10240u);
}

} // namespace
