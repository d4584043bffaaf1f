// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/BlockFrameMap.h"

#include <algorithm>

BlockFrameMap::Block BlockFrameMap::begin(uint32_t cycleFrame, int length)
{
    const uint32_t samples = uint32_t(std::max(length, 0));
    Block block;
    block.frame = cycleFrame;
    if (m_started) {
        // Frame times wrap at 2^32: a signed distance.
        const int32_t ahead = int32_t(cycleFrame - m_end);
        block.skipped = ahead;
        if (cycleFrame == m_lastCycle)
            block.kind = Kind::SameCycle;
        else if (ahead == 0)
            block.kind = Kind::InStep;
        else if (ahead > 0)
            block.kind = Kind::AheadOfServer;
        else
            block.kind = Kind::BehindServer;
        if (ahead < 0) {
            // Still ahead of the server's cycle: keep after the block before,
            // drawing back by at most one step.
            const uint32_t step = std::max<uint32_t>(samples / kCatchUpDivisor, 1);
            block.frame = m_end - std::min(uint32_t(-int64_t(ahead)), step);
            const uint32_t maxLead = samples * uint32_t(kMaxLeadBlocks);
            if (block.frame - cycleFrame > maxLead)
                block.frame = cycleFrame + maxLead;
        }
    }
    m_started = true;
    m_lastCycle = cycleFrame;
    m_lead = block.frame - cycleFrame;
    m_end = block.frame + samples;
    return block;
}
