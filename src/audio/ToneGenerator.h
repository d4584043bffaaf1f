// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/SineWavetable.h"
#include "audio/SquareWavetable.h"

#include <atomic>
#include <vector>

// The audible guide: a sine tone gated by a square-wave LFO (it beeps at the
// LFO rate) and panned between even (left) and odd (right) output channels.
// Parameters are set from the GUI thread; render() runs in the audio
// callback and neither allocates nor blocks.
class ToneGenerator
{
public:
    // Largest block rendered in one pass; longer device blocks are rendered
    // in several passes.
    static constexpr int kMaxBlockSize = 4096;
    // After play stops, this many blocks minus one are still rendered (as
    // silence) before the generator stops writing.
    static constexpr int kFadeBlocks = 16;

    ToneGenerator();

    void setPlaying(bool playing) { m_playing.store(playing); }
    bool isPlaying() const { return m_playing.load(); }
    // 0 sends everything to the even channels, 1 to the odd ones; clamped.
    void setPan(float pan);
    float getPan() const { return m_pan.load(); }
    void setFrequency(float hz) { m_tone.setFrequency(hz); }
    // Tone level, clamped to 0…1.
    void setAmplitude(float amplitude);
    void setLfoFrequency(float hz) { m_lfo.setFrequency(hz); }
    void setSampleRate(float sampleRate);

    // Writes one block into the device's output channels (null entries are
    // skipped). Once play has stopped and the fade blocks are spent, the
    // outputs are cleared to silence instead.
    void render(float* const* outputs, int numOutputs, int numSamples) noexcept;

    int getFadeCounter() const { return m_fadeCounter; }
    SineWavetable& tone() { return m_tone; }
    SquareWavetable& lfo() { return m_lfo; }

private:
    static void clear(float* const* outputs, int numOutputs, int numSamples) noexcept;

    std::atomic<bool> m_playing{false};
    std::atomic<float> m_pan{0.5f};
    SineWavetable m_tone;
    SquareWavetable m_lfo;
    int m_fadeCounter = kFadeBlocks;
    std::vector<float> m_block;
};
