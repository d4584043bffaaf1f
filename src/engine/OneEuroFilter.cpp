// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/OneEuroFilter.h"

#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

} // namespace

OneEuroFilter::OneEuroFilter(double minCutoffHz, double beta, double snap)
    : m_minCutoff(minCutoffHz), m_beta(beta), m_snap(snap)
{
}

double OneEuroFilter::smoothingFactor(double cutoffHz, double intervalSeconds)
{
    if (!(cutoffHz > 0.0))
        return 0.0;
    const double tau = 1.0 / (kTwoPi * cutoffHz);
    return 1.0 / (1.0 + tau / intervalSeconds);
}

double OneEuroFilter::speed() const
{
    return std::fabs(m_speed);
}

double OneEuroFilter::filter(double x, double intervalSeconds)
{
    if (!std::isfinite(x))
        return m_value;
    if (!m_started) {
        m_started = true;
        m_value = x;
        m_lastRaw = x;
        m_speed = 0.0;
        return m_value;
    }
    if (!(intervalSeconds > 0.0))
        return m_value;
    const double rawSpeed = (x - m_lastRaw) / intervalSeconds;
    m_lastRaw = x;
    m_speed += smoothingFactor(kDerivativeCutoffHz, intervalSeconds) * (rawSpeed - m_speed);
    const double cutoff = m_minCutoff + m_beta * std::fabs(m_speed);
    m_value += smoothingFactor(cutoff, intervalSeconds) * (x - m_value);
    if (std::fabs(x - m_value) <= m_snap)
        m_value = x;
    return m_value;
}
