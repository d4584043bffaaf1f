// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/BlockFrameMap.h"
#include "midi/TickClock.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kBlock = 256;

// The frames a 120 BPM clock's ticks are placed on when the audio callback
// runs its blocks in the JACK cycles named by `cycles` (one entry per block).
std::vector<uint32_t> tickFrames(BlockFrameMap& map, const std::vector<uint32_t>& cycles)
{
    TickClock clock;
    clock.setFormat(44100, 120);
    std::vector<uint32_t> frames;
    for (const uint32_t cycle : cycles) {
        const BlockFrameMap::Block block = map.begin(cycle, kBlock);
        EXPECT_GE(int32_t(block.frame - cycle), 0) << "a block placed before its own cycle";
        clock.beginBlock(kBlock);
        TickClock::Tick tick;
        while (clock.nextTick(tick))
            frames.push_back(block.frame + uint32_t(tick.offset));
        clock.endBlock();
    }
    return frames;
}

} // namespace

// After falling behind, the audio callback runs three blocks back to back in
// one JACK cycle. Laid on that cycle as they come, their ticks would land on
// top of each other (a tick 400 frames after the one before, or before it).
// They must keep their order and nearly their spacing, and the blocks must
// come back onto the cycles they run in.
TEST(BlockFrameMap, CatchingUpBlocksKeepTheClocksSpacingAndComeBackOnTheServersCycle)
{
    std::vector<uint32_t> cycles;
    uint32_t cycle = 1000;
    for (int i = 0; i < 20; ++i, cycle += kBlock)
        cycles.push_back(cycle);
    cycle += 2 * kBlock; // two cycles pass without a block...
    for (int i = 0; i < 3; ++i)
        cycles.push_back(cycle); // ...then three blocks run in one
    for (int i = 0; i < 200; ++i) {
        cycle += kBlock;
        cycles.push_back(cycle);
    }

    BlockFrameMap map;
    const std::vector<uint32_t> frames = tickFrames(map, cycles);
    ASSERT_GT(frames.size(), 50u);
    for (size_t i = 1; i < frames.size(); ++i) {
        const int32_t interval = int32_t(frames[i] - frames[i - 1]);
        // 918.75 samples a tick; at most an eighth of a block closer per
        // block in between while catching up.
        EXPECT_GE(interval, 918 - 4 * kBlock / BlockFrameMap::kCatchUpDivisor)
            << "tick " << i << " of " << frames.size();
    }
    EXPECT_EQ(map.lead(), 0u);
    // Back in step, every tick is on its sample: 918 or 919 frames apart.
    for (size_t i = frames.size() - 20; i < frames.size(); ++i) {
        const int32_t interval = int32_t(frames[i] - frames[i - 1]);
        EXPECT_TRUE(interval == 918 || interval == 919) << interval;
    }
}
