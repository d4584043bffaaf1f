// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/LateMessageSpacing.h"

namespace {

// The later of two frame times (signed distance: they wrap at 2^32).
uint32_t later(uint32_t a, uint32_t b)
{
    return int32_t(a - b) >= 0 ? a : b;
}

} // namespace

uint32_t LateMessageSpacing::place(uint32_t due, uint32_t cycleStart) const
{
    uint32_t at = later(due, cycleStart);
    if (m_catchingUp) {
        const int32_t spacing = int32_t(due - m_lastDue);
        if (spacing > 0)
            at = later(at, m_lastAt + uint32_t(spacing / 2 > 0 ? spacing / 2 : 1));
        else
            at = later(at, m_lastAt);
    }
    return at;
}

void LateMessageSpacing::written(uint32_t due, uint32_t at)
{
    m_catchingUp = at != due;
    m_lastDue = due;
    m_lastAt = at;
}
