// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// Ties the audio callback's blocks to JACK frames, for a port that writes
// each message on the frame of its sample.
//
// The plain tie is "the block begins on the cycle the server is in now". It
// breaks when the audio callback falls behind and then runs several blocks
// back to back inside one cycle to catch up: all of them would begin on
// that same frame, so their messages would be laid on top of each other and
// a clock's ticks would leave on one frame. Here a block never begins
// earlier than where the block before it ended, less a small step (an
// eighth of a block): the first late block goes out as soon as the server
// allows, the ones behind it keep their spacing, and the lead this builds
// over the server's cycle shrinks by that step per block until blocks are
// back on the cycle they run in. The lead never exceeds kMaxLeadBlocks
// blocks: when blocks come much faster than cycles (the clock timer drives
// them while the audio callback is stalled) the ones beyond are laid closer
// together rather than ever later. A block that begins later than the block
// before ended (the server skipped frames, or the callback missed cycles)
// begins where the server is: those frames are gone.
//
// Pure logic, one caller at a time (the audio callback).
class BlockFrameMap
{
public:
    // How much closer than their own spacing catching-up blocks may be laid:
    // 1/kCatchUpDivisor of a block each.
    static constexpr int kCatchUpDivisor = 8;
    // The most a block is laid after the cycle it runs in, in blocks.
    static constexpr int kMaxLeadBlocks = 2;

    enum class Kind
    {
        First,
        InStep,        // began where the block before ended
        SameCycle,     // began in the same cycle as the block before
        BehindServer,  // began in an earlier place than the block before ended
        AheadOfServer, // the server's cycle is later: frames were skipped
    };

    struct Block
    {
        uint32_t frame = 0; // where the block's first sample is placed
        Kind kind = Kind::First;
        int32_t skipped = 0; // frames between the last block's end and this cycle
    };

    // A block of `length` samples begins while the server's current cycle
    // began on `cycleFrame`.
    Block begin(uint32_t cycleFrame, int length);
    // Frames the placed blocks run ahead of the server's cycles.
    uint32_t lead() const { return m_lead; }
    void reset() { m_started = false; }

private:
    bool m_started = false;
    uint32_t m_lastCycle = 0;
    uint32_t m_end = 0;
    uint32_t m_lead = 0;
};
