// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TapTempo.h"

#include <cmath>

std::optional<int> TapTempo::tap(qint64 nowMs)
{
    const qint64 elapsed = m_lastTapMs ? nowMs - *m_lastTapMs : kSequenceLimitMs;
    m_lastTapMs = nowMs;

    if (elapsed < 1 || elapsed >= kSequenceLimitMs) {
        m_count = 0; // this tap starts a new sequence
        return std::nullopt;
    }
    m_intervals[static_cast<size_t>(m_count % 3)] = static_cast<int>(elapsed);
    ++m_count;
    if (m_count < 3)
        return std::nullopt;
    return tempoFromIntervals(m_intervals);
}

int TapTempo::tempoFromIntervals(const std::array<int, 3>& intervalsMs)
{
    const double sum = double(intervalsMs[0]) + double(intervalsMs[1]) + double(intervalsMs[2]);
    if (!(sum > 0.0))
        return 0;
    return static_cast<int>(std::lround(60.0 / (sum / 3.0) * 1000.0));
}
