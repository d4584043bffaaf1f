// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/ClockEstimator.h"

#include <cmath>
#include <limits>

std::optional<int> ClockEstimator::clock(double nowMs)
{
    std::optional<int> report;
    if (m_previousClockMs != 0.0) {
        m_summedIntervalMs += nowMs - m_previousClockMs;
        ++m_intervalCount;
        if (m_intervalCount >= kIntervalsPerEstimate) {
            const double quarterNoteMs =
                m_summedIntervalMs / kIntervalsPerEstimate * kClocksPerQuarterNote;
            // Clocks stamped at the same millisecond give no usable interval;
            // keep the previous estimate rather than dividing by zero.
            if (quarterNoteMs > 0.0) {
                const double bpm = std::nearbyint(60000.0 / quarterNoteMs);
                const int tempo = bpm > std::numeric_limits<int>::max()
                                      ? std::numeric_limits<int>::max()
                                      : static_cast<int>(bpm);
                if (tempo != m_lastTempo) {
                    m_lastTempo = tempo;
                    report = tempo;
                }
            }
            m_summedIntervalMs = 0.0;
            m_intervalCount = 0;
        }
    }
    m_previousClockMs = nowMs;
    return report;
}

void ClockEstimator::reset()
{
    m_intervalCount = 0;
    m_summedIntervalMs = 0.0;
    m_previousClockMs = 0.0;
    m_lastTempo = 0;
}
