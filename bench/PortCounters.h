// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/JackMidiPort.h"

#include <cstdio>

// Prints what JackMidiPort counted between two readings of its counters.
inline void printPortCounters(const JackMidiPort::Counters& a, const JackMidiPort::Counters& b)
{
    std::printf("  port: blocks %llu (written in the cycle they ran in: %llu; in the same JACK "
                "cycle as the block before: %llu; cycle not where the block before ended: %llu, "
                "%+lld frames)\n",
                (unsigned long long)(b.blocks - a.blocks),
                (unsigned long long)(b.blocksInTheirCycle - a.blocksInTheirCycle),
                (unsigned long long)(b.blocksInOneCycle - a.blocksInOneCycle),
                (unsigned long long)(b.blockJumps - a.blockJumps),
                (long long)(b.blockJumpFrames - a.blockJumpFrames));
    std::printf("  port: messages due before their block %llu, after it %llu; port cycles %llu, "
                "gaps %llu (%+lld frames)\n",
                (unsigned long long)(b.dueBeforeBlock - a.dueBeforeBlock),
                (unsigned long long)(b.dueAfterBlock - a.dueAfterBlock),
                (unsigned long long)(b.cycles - a.cycles),
                (unsigned long long)(b.missedCycleGaps - a.missedCycleGaps),
                (long long)(b.missedFrames - a.missedFrames));
    const unsigned long long late = b.writtenLate - a.writtenLate;
    std::printf("  port: written after their frame %llu (mean %.1f frames late, max %llu over "
                "the whole run), on the frame of the message before %llu\n",
                late, late ? double(b.lateFramesSum - a.lateFramesSum) / double(late) : 0.0,
                (unsigned long long)b.lateFramesMax, (unsigned long long)(b.bunched - a.bunched));
}
