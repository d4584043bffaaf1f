// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

// Turns the arrival times of incoming MIDI timing clocks (24 per quarter
// note) into a tempo. Every fourth interval yields an estimate from the mean
// interval; an estimate is reported only when it differs from the previous
// one. Not thread-safe: one caller at a time.
class ClockEstimator
{
public:
    static constexpr int kIntervalsPerEstimate = 4;
    static constexpr int kClocksPerQuarterNote = 24;

    // One clock arrived at `nowMs` (a monotonic millisecond clock). Returns
    // the new tempo in beats per minute when one is to be reported.
    std::optional<int> clock(double nowMs);
    // Forgets everything (an incoming stop).
    void reset();

    int lastTempo() const { return m_lastTempo; }

private:
    int m_intervalCount = 0;
    double m_summedIntervalMs = 0.0;
    double m_previousClockMs = 0.0; // 0 = none yet
    int m_lastTempo = 0;
};
