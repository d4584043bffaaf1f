// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/ToneGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

ToneGenerator::ToneGenerator() : m_block(static_cast<size_t>(kMaxBlockSize), 0.0f) {}

void ToneGenerator::setPan(float pan)
{
    if (!std::isfinite(pan))
        return;
    m_pan.store(std::clamp(pan, 0.0f, 1.0f));
}

void ToneGenerator::setAmplitude(float amplitude)
{
    if (!std::isfinite(amplitude))
        return;
    m_tone.setAmplitude(std::clamp(amplitude, 0.0f, 1.0f));
}

void ToneGenerator::setSampleRate(float sampleRate)
{
    m_tone.setSampleRate(sampleRate);
    m_lfo.setSampleRate(sampleRate);
}

void ToneGenerator::clear(float* const* outputs, int numOutputs, int numSamples) noexcept
{
    if (outputs == nullptr)
        return;
    for (int c = 0; c < numOutputs; ++c)
        if (float* out = outputs[c])
            std::memset(out, 0, sizeof(float) * static_cast<size_t>(numSamples));
}

void ToneGenerator::render(float* const* outputs, int numOutputs, int numSamples) noexcept
{
    if (numSamples <= 0)
        return;
    const bool playing = m_playing.load(std::memory_order_relaxed);
    if (!playing) {
        if (m_fadeCounter <= 0) {
            clear(outputs, numOutputs, numSamples);
            return;
        }
        if (--m_fadeCounter <= 0) {
            clear(outputs, numOutputs, numSamples);
            return;
        }
    } else if (m_fadeCounter <= 0) {
        m_fadeCounter = kFadeBlocks;
    }

    const float gain = playing ? 1.0f : 0.0f;
    const float pan = m_pan.load(std::memory_order_relaxed);
    const float evenGain = (1.0f - pan) * gain;
    const float oddGain = pan * gain;

    for (int start = 0; start < numSamples; start += kMaxBlockSize) {
        const int count = std::min(kMaxBlockSize, numSamples - start);
        for (int i = 0; i < count; ++i)
            m_block[static_cast<size_t>(i)] =
                m_tone.nextSample() * std::max(0.0f, m_lfo.nextSample());
        if (outputs == nullptr)
            continue;
        for (int c = 0; c < numOutputs; ++c) {
            float* out = outputs[c];
            if (out == nullptr)
                continue;
            const float g = (c % 2 == 0) ? evenGain : oddGain;
            for (int i = 0; i < count; ++i)
                out[start + i] = g * m_block[static_cast<size_t>(i)];
        }
    }
}
