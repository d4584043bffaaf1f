// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The arithmetic of the musical clock, free of devices and threads: counts
// samples and places every tick of 24 per quarter note on its own sample.
//
// A tick lasts 60 × rate / (24 × tempo) samples, kept as the exact fraction
// 5 × rate / (2 × tempo): 918.75 at 44.1 kHz and 120 beats per minute. Tick k
// falls on sample anchor + floor((k − anchorTick) × 5 × rate / (2 × tempo)),
// so the intervals alternate between the two neighbouring whole numbers and
// never add up to an error, however long the clock runs. Every tick inside a
// block is reported with its offset in the block, whatever the block length.
//
// A change of rate or tempo keeps the ticks already placed and lays the
// following ones out from the next tick at the new length. A tempo of 0 or
// less (a very slow followed clock) stands the clock still; tempos above
// kMaxTempo count as kMaxTempo.
//
// Not thread-safe: one owner (the transport, on the thread that drives it).
class TickClock
{
public:
    static constexpr int kTicksPerQuarterNote = 24;
    static constexpr int kMaxTempo = 1000;

    struct Tick
    {
        uint64_t index = 0;
        // Samples from the start of the current block.
        int offset = 0;
        // Samples since the last restart().
        uint64_t position = 0;
    };

    // The format of the following blocks. Call before beginBlock().
    void setFormat(int sampleRate, int tempo);
    // Samples per tick as a real number (0 while the clock stands still).
    double samplesPerTick() const;
    bool isRunning() const { return m_den > 0 && m_num > 0; }

    // A block of `numSamples` samples starts; nextTick() then yields its
    // ticks one by one, endBlock() moves past it.
    void beginBlock(int numSamples);
    // The next tick inside the current block, if any (consumed).
    bool nextTick(Tick& tick);
    // The tick nextTick() just returned is renumbered `index`; the ones after
    // it count on from there at the current length.
    void renumberLastTick(uint64_t index);
    void endBlock();

    // Sample 0, tick 0 on it.
    void restart();

    uint64_t position() const { return m_position; }
    // The index of the next tick to come.
    uint64_t nextTickIndex() const { return m_nextTick; }

private:
    uint64_t tickPosition(uint64_t index) const;
    void anchorAt(uint64_t index, uint64_t position);

    int64_t m_num = 0; // samples per tick = m_num / m_den
    int64_t m_den = 0;
    uint64_t m_anchorTick = 0;
    uint64_t m_anchorPosition = 0;
    uint64_t m_nextTick = 0;
    uint64_t m_position = 0;
    uint64_t m_blockEnd = 0;
    Tick m_last;
};
