// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/WavetableBase.h"

#include <cmath>

WavetableBase::WavetableBase() : m_table(static_cast<size_t>(kTableSize), 0.0f) {}

float WavetableBase::wrapPhase(float phase, float size)
{
    if (!std::isfinite(phase))
        return 0.0f;
    if (phase >= size) {
        phase -= size;
        // Only a frequency above the sample rate (or a rounding step) gets
        // here twice; fold it back into the table instead of reading past it.
        if (phase >= size)
            phase = std::fmod(phase, size);
    } else if (phase < 0.0f) {
        phase = std::fmod(phase, size) + size;
    }
    // fmod + size may round up to exactly size.
    if (phase >= size || phase < 0.0f)
        phase = 0.0f;
    return phase;
}

void WavetableBase::setPhase(float phase)
{
    m_phase = wrapPhase(phase, static_cast<float>(m_tableSize));
}

float WavetableBase::nextSample() noexcept
{
    const float size = static_cast<float>(m_tableSize);
    const int i = static_cast<int>(m_phase);
    const int j = (i >= m_tableSize - 1) ? 0 : i + 1;
    const float a = m_table[static_cast<size_t>(i)];
    const float b = m_table[static_cast<size_t>(j)];
    const float value = a + (b - a) * (m_phase - static_cast<float>(i));

    const float rate = m_sampleRate.load(std::memory_order_relaxed);
    const float frequency = m_frequency.load(std::memory_order_relaxed);
    if (rate > 0.0f && std::isfinite(frequency)) {
        // size × frequency first: at 344.53125 Hz and 44100 Hz this is an
        // increment of exactly one entry.
        m_phase = wrapPhase(m_phase + size * frequency / rate, size);
    }
    return value * m_amplitude.load(std::memory_order_relaxed);
}
