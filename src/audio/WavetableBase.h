// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

// A table oscillator: one period of a waveform in a small table, read with
// linear interpolation at a phase that advances by table size × frequency /
// sample rate per sample. Frequency, amplitude and sample rate are set on
// the GUI thread (or wherever a device starts) and read by the audio
// callback, so they are atomics; the phase belongs to the audio callback.
class WavetableBase
{
public:
    static constexpr int kTableSize = 128;

    virtual ~WavetableBase() = default;
    WavetableBase(const WavetableBase&) = delete;
    WavetableBase& operator=(const WavetableBase&) = delete;

    // Produces the current sample scaled by the amplitude, then advances
    // the phase. Never reads outside the table, whatever the frequency.
    float nextSample() noexcept;

    void setSampleRate(float sampleRate) { m_sampleRate.store(sampleRate); }
    float getSampleRate() const { return m_sampleRate.load(); }
    void setFrequency(float frequency) { m_frequency.store(frequency); }
    float getFrequency() const { return m_frequency.load(); }
    void setAmplitude(float amplitude) { m_amplitude.store(amplitude); }
    float getAmplitude() const { return m_amplitude.load(); }

    // The read position in table entries, [0, table size). Only for the
    // audio callback's own thread (and tests).
    float getPhase() const { return m_phase; }
    void setPhase(float phase);

    const std::vector<float>& table() const { return m_table; }
    int tableSize() const { return m_tableSize; }

protected:
    WavetableBase();
    // Fills m_table with one period of the waveform (m_tableSize entries).
    // Each subclass calls its own override from its constructor.
    virtual void fillTable() = 0;

    std::vector<float> m_table;
    const int m_tableSize = kTableSize;

private:
    static float wrapPhase(float phase, float size);

    std::atomic<float> m_sampleRate{44100.0f};
    float m_phase = 0.0f;
    std::atomic<float> m_frequency{0.0f};
    std::atomic<float> m_amplitude{1.0f};
};
