// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <array>
#include <optional>

// Tap tempo: the tempo of the last three intervals between taps. The fourth
// tap of a sequence gives the first tempo and every further tap in time
// updates it; a tap that comes too late (or in the same millisecond as the
// previous one) starts a new sequence.
//
// Plain data on the caller's thread; times come from the caller's clock.
class TapTempo
{
public:
    // A tap this long after the previous one (or later) starts a new
    // sequence.
    static constexpr int kSequenceLimitMs = 1800;

    // Records a tap at `nowMs` (a monotonic time); the tempo once three
    // intervals of the sequence are known, nothing before.
    std::optional<int> tap(qint64 nowMs);
    // Intervals counted in the current sequence.
    int tapCount() const { return m_count; }

    // 60 000 / mean interval, to the nearest integer (halves away from zero);
    // 0 when the intervals do not add up to a positive time.
    static int tempoFromIntervals(const std::array<int, 3>& intervalsMs);

private:
    std::optional<qint64> m_lastTapMs;
    // Rolling: interval n goes to slot n mod 3.
    std::array<int, 3> m_intervals{{0, 0, 0}};
    int m_count = 0;
};
