// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/OutputDeadBand.h"

#include "engine/ControlMapping.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

void OutputDeadBand::setSteps(int steps)
{
    m_steps = std::clamp(steps, 0, kMaxSteps);
}

void OutputDeadBand::restart()
{
    m_hasSent = false;
    m_quietFrames = 0;
    m_settled = true;
}

void OutputDeadBand::take(float value, int step)
{
    m_hasSent = true;
    m_sentValue = value;
    m_sentStep = step;
    m_quietFrames = 0;
}

bool OutputDeadBand::admit(float value, float out, bool pinned)
{
    const int step = ControlMapping::truncate(out);
    if (!m_hasSent) {
        take(value, step);
        m_settled = false;
        return true;
    }
    if (m_quietFrames < kSettleFrames)
        ++m_quietFrames;
    const bool moved = ControlMapping::isSendDue(true, m_sentValue, value);
    const bool otherStep = step != m_sentStep;
    if (!moved && !otherStep)
        return false;
    const bool beyondBand = m_steps == 0 ? moved : std::llabs(int64_t(step) - m_sentStep) > m_steps;
    if (pinned || beyondBand) {
        take(value, step);
        m_settled = false;
        return true;
    }
    if (!m_settled && m_quietFrames >= kSettleFrames && otherStep) {
        take(value, step);
        m_settled = true;
        return true;
    }
    return false;
}
