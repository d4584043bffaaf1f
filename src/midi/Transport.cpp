// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/Transport.h"

#include "midi/MidiHandler.h"
#include "midi/MidiSettings.h"

#include <QMetaMethod>
#include <QMetaType>
#include <QSocketNotifier>

#include <chrono>

namespace {

int64_t steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A short message: held inside juce::MidiMessage, no allocation.
juce::MidiMessage noteOff(int note)
{
    return juce::MidiMessage::noteOff(ArpeggioSteps::kChannel, note, static_cast<juce::uint8>(0));
}

} // namespace

Transport::Transport(const MidiSettings& settings, MidiHandler* midi, QObject* parent)
    : QObject(parent), m_settings(settings), m_midi(midi)
{
    qRegisterMetaType<uint64_t>("uint64_t");
    if (m_tickWake.isValid()) {
        m_tickNotifier = std::make_unique<QSocketNotifier>(m_tickWake.fd(), QSocketNotifier::Read);
        connect(m_tickNotifier.get(), &QSocketNotifier::activated, this, &Transport::deliverTicks);
        return;
    }
    m_deliveryTimer.setInterval(kDeliveryIntervalMs);
    m_deliveryTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_deliveryTimer, &QTimer::timeout, this, &Transport::deliverTicks);
    m_deliveryTimer.start();
}

Transport::~Transport() = default;

double Transport::samplesPerTick(int sampleRate, int tempo)
{
    TickClock clock;
    clock.setFormat(sampleRate, tempo);
    return clock.samplesPerTick();
}

void Transport::advanceBlock(int numSamples)
{
    m_lastAudioNs.store(steadyNanoseconds(), std::memory_order_relaxed);
    drive(numSamples, false);
}

bool Transport::isAudioSilent() const
{
    return steadyNanoseconds() - m_lastAudioNs.load(std::memory_order_relaxed) >
           int64_t(kAudioSilenceMs) * 1000000;
}

int64_t Transport::nanosecondsUntilAudioSilent() const
{
    const int64_t left = m_lastAudioNs.load(std::memory_order_relaxed) +
                         int64_t(kAudioSilenceMs) * 1000000 - steadyNanoseconds();
    return left > 0 ? left : 0;
}

bool Transport::advanceFromTimer(int numSamples)
{
    if (!isAudioSilent())
        return false;
    return drive(numSamples, true);
}

bool Transport::drive(int numSamples, bool fromTimer)
{
    if (!m_active.load())
        return false;
    if (m_driving.exchange(true, std::memory_order_acquire)) {
        m_skippedBlocks.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    // The GUI thread announces a change of driver; wake it for that too.
    if (m_timerDriving.exchange(fromTimer, std::memory_order_relaxed) != fromTimer)
        m_tickWake.notify();
    runBlock(numSamples < 0 ? 0 : numSamples);
    m_driving.store(false, std::memory_order_release);
    return true;
}

void Transport::runBlock(int numSamples)
{

    if (m_resetRequested.exchange(false))
        m_clock.restart();
    m_clock.setFormat(m_settings.getAudioSampleRate(), m_settings.getTempo());
    m_samplesPerTick.store(m_clock.samplesPerTick());
    const bool sendingClock = m_settings.getSendingClockState();
    const bool arpeggiatorOn = m_settings.getArpeggiatorState();

    MidiHandler* midi = m_midi;
    if (midi != nullptr)
        midi->beginBlock(numSamples);
    const int cutNote = m_arpeggio.beginBlock();
    if (midi != nullptr && cutNote >= 0)
        midi->queueInBlock(noteOff(cutNote), 0);
    m_clock.beginBlock(numSamples);
    TickClock::Tick tick;
    bool wake = false;
    const bool everyTick = m_tickFollowers.load(std::memory_order_relaxed) > 0;
    while (m_clock.nextTick(tick)) {
        bool started = false;
        if (sendingClock) {
            if (m_startRequested.exchange(false)) {
                // Play starts on this tick: it becomes tick 0, and the start
                // goes right before its clock, at the same sample.
                m_clock.renumberLastTick(0);
                tick.index = 0;
                if (midi != nullptr)
                    midi->queueInBlock(juce::MidiMessage::midiStart(), tick.offset);
                m_playing.store(true);
                started = true;
            }
            if (midi != nullptr)
                midi->queueInBlock(juce::MidiMessage::midiClock(), tick.offset);
        }
        const ArpeggioSteps::Change step = m_arpeggio.tick(tick.index, arpeggiatorOn);
        if (midi != nullptr && step.noteOff >= 0)
            midi->queueInBlock(noteOff(step.noteOff), tick.offset);
        if (midi != nullptr && step.noteOn >= 0)
            midi->queueInBlock(juce::MidiMessage::noteOn(ArpeggioSteps::kChannel, step.noteOn,
                                                         ArpeggioSteps::kVelocity),
                               tick.offset);
        m_currentTick.store(tick.index);
        if (!m_ticks.push({tick.index, started}))
            m_lostTicks.fetch_add(1, std::memory_order_relaxed);
        wake = wake || everyTick || started || tick.index % kTicksPerQuarterNote == 0;
    }
    m_clock.endBlock();
    m_samplePosition.store(m_clock.position());
    // An eventfd write (a system call; no lock, no allocation): wakes the
    // GUI thread only for blocks that recorded a tick it waits for.
    if (wake)
        m_tickWake.notify();
    if (midi != nullptr)
        midi->endBlock();
}

void Transport::deliverTicks()
{
    m_tickWake.acknowledge();
    const bool fromTimer = m_timerDriving.load();
    if (fromTimer != m_announcedTimer) {
        m_announcedTimer = fromTimer;
        Q_EMIT clockDriverChanged();
    }
    TickEvent event;
    while (m_ticks.pop(event)) {
        if (event.started)
            Q_EMIT playingStateChanged(true);
        Q_EMIT ticked(event.index);
        if (event.index % kTicksPerQuarterNote == 0)
            Q_EMIT quaterNoteTick();
    }
}

// Called by Qt in the connecting thread, possibly under Qt's own lock: no
// QObject call here, only the count.
void Transport::connectNotify(const QMetaMethod& signal)
{
    if (signal == QMetaMethod::fromSignal(&Transport::ticked))
        m_tickFollowers.fetch_add(1);
}

// A disconnection of every signal at once comes with an invalid method: the
// count stays, which only wakes the GUI thread more often than needed.
void Transport::disconnectNotify(const QMetaMethod& signal)
{
    if (signal == QMetaMethod::fromSignal(&Transport::ticked))
        m_tickFollowers.fetch_sub(1);
}

void Transport::stopTicking()
{
    m_active.store(false);
    if (m_tickNotifier)
        m_tickNotifier->setEnabled(false);
    m_deliveryTimer.stop();
}

void Transport::endSounding()
{
    if (m_driving.exchange(true, std::memory_order_acquire))
        return;
    const int note = m_arpeggio.stop();
    if (MidiHandler* midi = m_midi) {
        if (note >= 0)
            midi->queueMessage(noteOff(note), 0);
        midi->flushBuffer();
    }
    m_driving.store(false, std::memory_order_release);
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
    m_resetRequested.store(true);
    m_samplePosition.store(0);
    m_currentTick.store(0);
}
