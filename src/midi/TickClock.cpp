// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/TickClock.h"

#include <algorithm>

void TickClock::setFormat(int sampleRate, int tempo)
{
    int64_t num = 0;
    int64_t den = 0;
    if (sampleRate > 0 && tempo > 0) {
        // 60 × rate / (24 × tempo) = 5 × rate / (2 × tempo).
        num = 5 * int64_t(sampleRate);
        den = 2 * int64_t(std::min(tempo, kMaxTempo));
    }
    if (num == m_num && den == m_den)
        return;
    // The next tick keeps its place when the clock was running; a clock that
    // stood still starts again at once.
    const uint64_t next = isRunning() ? std::max(tickPosition(m_nextTick), m_position) : m_position;
    m_num = num;
    m_den = den;
    anchorAt(m_nextTick, next);
}

double TickClock::samplesPerTick() const
{
    return isRunning() ? double(m_num) / double(m_den) : 0.0;
}

void TickClock::anchorAt(uint64_t index, uint64_t position)
{
    m_anchorTick = index;
    m_anchorPosition = position;
}

uint64_t TickClock::tickPosition(uint64_t index) const
{
    // index >= m_anchorTick always: ticks are consumed in order and the
    // anchor is only ever set to the next one.
    return m_anchorPosition + uint64_t(int64_t(index - m_anchorTick) * m_num / m_den);
}

void TickClock::beginBlock(int numSamples)
{
    m_blockEnd = m_position + uint64_t(std::max(numSamples, 0));
}

bool TickClock::nextTick(Tick& tick)
{
    if (!isRunning())
        return false;
    const uint64_t at = tickPosition(m_nextTick);
    if (at >= m_blockEnd)
        return false;
    tick.index = m_nextTick;
    // A tick placed before the block (only right after a format change
    // that moved it) leaves at the block's start.
    tick.position = std::max(at, m_position);
    tick.offset = int(tick.position - m_position);
    ++m_nextTick;
    m_last = tick;
    return true;
}

void TickClock::renumberLastTick(uint64_t index)
{
    m_last.index = index;
    m_nextTick = index + 1;
    anchorAt(index, m_last.position);
}

void TickClock::endBlock()
{
    m_position = m_blockEnd;
}

void TickClock::restart()
{
    m_position = 0;
    m_blockEnd = 0;
    m_nextTick = 0;
    anchorAt(0, 0);
}
