// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A speed-adaptive low-pass filter for one jittery value. At rest it cuts
// hard (at `minCutoffHz`), so sensor noise stays out; the faster the value
// moves, the higher its cutoff climbs (by `beta` hertz per unit of speed,
// the speed being the value's change per second, itself smoothed at a fixed
// 1 Hz), so that a fast gesture passes with almost no lag.
//
// Time comes from the caller as the interval since the previous sample (the
// frame period), never from a clock, so the filter is a plain function of
// its input sequence. The first sample after construction or restart()
// passes unchanged. When the output comes within `snap` of a constant input
// it takes the input exactly, so a value at rest settles on the very value
// it rests at instead of creeping towards it forever.
class OneEuroFilter
{
public:
    static constexpr double kDerivativeCutoffHz = 1.0;

    OneEuroFilter(double minCutoffHz = 1.0, double beta = 0.0, double snap = 0.0);

    void setMinCutoff(double hz) { m_minCutoff = hz; }
    void setBeta(double beta) { m_beta = beta; }
    double minCutoff() const { return m_minCutoff; }
    double beta() const { return m_beta; }

    // Forgets the past: the next sample passes unchanged.
    void restart() { m_started = false; }
    bool isStarted() const { return m_started; }

    // The filtered value of `x`, sampled `intervalSeconds` after the
    // previous sample. An interval of 0 or less counts as no time passed:
    // the output stays where it was.
    double filter(double x, double intervalSeconds);
    double value() const { return m_value; }
    // The smoothed speed (units per second), always 0 or more.
    double speed() const;

    // The weight a first-order low-pass at `cutoffHz`, sampled every
    // `intervalSeconds`, gives a new sample.
    static double smoothingFactor(double cutoffHz, double intervalSeconds);

private:
    double m_minCutoff;
    double m_beta;
    double m_snap;
    bool m_started = false;
    double m_value = 0.0;
    double m_lastRaw = 0.0;
    double m_speed = 0.0;
};
