// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/Transport.h"

#include "midi/MidiHandler.h"
#include "midi/MidiSettings.h"

#include <QMetaType>

#include <limits>

Transport::Transport(const MidiSettings& settings, MidiHandler* midi, QObject* parent)
    : QObject(parent), m_settings(settings), m_midi(midi)
{
    qRegisterMetaType<uint64_t>("uint64_t");
}

int Transport::samplesPerTick(int sampleRate, int tempo)
{
    constexpr int kMax = std::numeric_limits<int>::max();
    if (tempo <= 0)
        return kMax;
    // Single precision, as the tick length has always been computed.
    const float samples = 60.0f / static_cast<float>(tempo) /
                          static_cast<float>(kTicksPerQuarterNote) * static_cast<float>(sampleRate);
    if (!(samples >= 1.0f)) // also catches NaN
        return 1;
    if (samples >= static_cast<float>(kMax))
        return kMax;
    return static_cast<int>(samples);
}

void Transport::advanceBlock(int numSamples)
{
    if (!m_active.load())
        return;
    if (numSamples < 0)
        numSamples = 0;

    const int sampleRate = m_settings.getAudioSampleRate();
    const int tempo = m_settings.getTempo();
    const bool sendingClock = m_settings.getSendingClockState();
    m_sampleRate.store(sampleRate);
    m_tempo.store(tempo);

    const int samplesPerTick = Transport::samplesPerTick(sampleRate, tempo);
    m_samplesPerTick.store(samplesPerTick);
    const uint64_t position = m_samplePosition.load();
    const uint64_t tick = position / static_cast<uint64_t>(samplesPerTick);
    const int toNextTick =
        samplesPerTick - static_cast<int>(position % static_cast<uint64_t>(samplesPerTick));
    m_currentTick.store(tick);
    m_samplesToNextTick.store(toNextTick);

    MidiHandler* midi = m_midi;
    if (toNextTick <= numSamples) {
        const int clockOffset = numSamples - toNextTick;
        Q_EMIT ticked(tick);
        if (tick % kTicksPerQuarterNote == 0)
            Q_EMIT quaterNoteTick();
        if (sendingClock) {
            if (m_startRequested.exchange(false)) {
                m_samplePosition.store(0);
                m_currentTick.store(0);
                m_samplesToNextTick.store(0);
                if (midi != nullptr)
                    midi->queueMessage(juce::MidiMessage::midiStart(), 0);
                m_playing.store(true);
                Q_EMIT playingStateChanged(true);
            }
            if (midi != nullptr)
                midi->queueMessage(juce::MidiMessage::midiClock(), clockOffset);
        }
    }

    m_samplePosition.fetch_add(static_cast<uint64_t>(numSamples));
    if (midi != nullptr)
        midi->flushBuffer();
}

void Transport::stopTicking()
{
    m_active.store(false);
}

void Transport::startPlay()
{
    m_startRequested.store(true);
}

void Transport::stopPlay()
{
    if (MidiHandler* midi = m_midi)
        midi->queueMessage(juce::MidiMessage::midiStop(), 0);
    m_playing.store(false);
    Q_EMIT playingStateChanged(false);
}

void Transport::reset()
{
    m_samplePosition.store(0);
    m_currentTick.store(0);
    m_samplesToNextTick.store(0);
}
