// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>

// The musical clock: 24 ticks per quarter note, counted in samples of the
// audio device. It has no timer of its own; the audio callback calls
// advanceBlock once per block. Each tick is signalled (the arpeggiator, the
// window), a MIDI timing clock is queued per tick while clock sending is on,
// a MIDI start when play begins, and every block ends with a flush of the
// MIDI pending buffer.
//
// Threads: advanceBlock runs on the audio thread and emits ticked,
// quaterNoteTick and playingStateChanged(true) there. startPlay, stopPlay and
// reset run on the GUI thread or on the MIDI input thread (incoming start and
// stop). Every counter and flag is atomic.
class MidiHandler;
class MidiSettings;

class Transport : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY playingStateChanged)

public:
    static constexpr int kTicksPerQuarterNote = 24;

    // `settings` (sample rate, tempo, clock sending) outlives the transport;
    // `midi` receives the clock and the flush of each block, and may be none.
    explicit Transport(const MidiSettings& settings, MidiHandler* midi = nullptr,
                       QObject* parent = nullptr);

    // Quitting detaches the MIDI handler before releasing it, once the audio
    // callback has stopped (GUI thread).
    void setMidiHandler(MidiHandler* midi) { m_midi = midi; }

    // One audio block of `numSamples` samples (audio thread). At most one
    // tick per block.
    void advanceBlock(int numSamples);
    // Quitting has begun: later blocks do nothing, not even a flush.
    void stopTicking();
    bool isActive() const { return m_active.load(); }

    // Samples per tick at `sampleRate` and `tempo`, always at least 1. A
    // tempo of 0 or less stands the clock still (the largest count).
    static int samplesPerTick(int sampleRate, int tempo);

    uint64_t samplePosition() const { return m_samplePosition.load(); }
    uint64_t currentTick() const { return m_currentTick.load(); }
    int currentSamplesPerTick() const { return m_samplesPerTick.load(); }
    bool isStartRequested() const { return m_startRequested.load(); }

Q_SIGNALS:
    void playingStateChanged(bool newState);
    void ticked(uint64_t currentTick);
    void quaterNoteTick();

public Q_SLOTS:
    // Play starts at the next tick while clock sending is on.
    void startPlay();
    // Queues a MIDI stop (sent even while stopped) and stops playing.
    void stopPlay();
    bool isPlaying() const { return m_playing.load(); }
    // Restarts the count; does not touch playing.
    void reset();

private:
    const MidiSettings& m_settings;
    // Read by the audio callback; changed only while it is stopped.
    MidiHandler* m_midi = nullptr;
    std::atomic<uint64_t> m_samplePosition{0};
    std::atomic<int> m_samplesPerTick{0};
    std::atomic<int> m_tempo{0};
    std::atomic<int> m_sampleRate{0};
    std::atomic<int> m_samplesToNextTick{0};
    std::atomic<bool> m_startRequested{false};
    std::atomic<uint64_t> m_currentTick{0};
    std::atomic<bool> m_playing{false};
    std::atomic<bool> m_active{true};
};
