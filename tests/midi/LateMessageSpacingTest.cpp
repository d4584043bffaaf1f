// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/LateMessageSpacing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

// A 120 BPM clock (918.75 frames a tick) through a port whose cycles of 256
// frames stop for 4096 frames (the server skipped them): the ticks due in
// that time are late. Written all at the start of the next cycle, they
// would leave on one frame; they must go out in order at no less than half
// their spacing, and the ticks after them must be back on their own frames.
TEST(LateMessageSpacing, TicksDueInSkippedCyclesLeaveSpacedAndTheClockRecovers)
{
    constexpr uint32_t kCycle = 256;
    std::vector<uint32_t> due;
    for (int k = 0; k < 60; ++k)
        due.push_back(5000 + uint32_t(std::floor(918.75 * k)));

    LateMessageSpacing spacing;
    std::vector<uint32_t> written;
    size_t next = 0;
    for (uint32_t cycle = 4864; next < due.size(); cycle += kCycle) {
        if (cycle == 10240)
            cycle += 4096; // the skipped cycles
        while (next < due.size()) {
            const uint32_t at = spacing.place(due[next], cycle);
            if (at >= cycle + kCycle)
                break; // a later cycle's
            ASSERT_GE(at, cycle);
            ASSERT_GE(at, due[next]);
            spacing.written(due[next], at);
            written.push_back(at);
            ++next;
        }
    }
    ASSERT_EQ(written.size(), due.size());
    int late = 0;
    for (size_t k = 0; k < written.size(); ++k) {
        if (written[k] != due[k])
            ++late;
        if (k > 0) {
            EXPECT_GE(written[k] - written[k - 1], 918u / 2) << "tick " << k;
        }
    }
    EXPECT_GE(late, 4); // the skip made some late...
    for (size_t k = 20; k < written.size(); ++k)
        EXPECT_EQ(written[k], due[k]) << "tick " << k; // ...and the clock recovered
}
