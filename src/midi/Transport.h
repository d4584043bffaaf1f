// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/ArpeggioSteps.h"
#include "midi/SpscRing.h"
#include "midi/TickClock.h"
#include "midi/WakeSignal.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <memory>

// The musical clock: 24 ticks per quarter note, counted in samples of the
// driving device (see TickClock for the arithmetic). The audio callback
// drives it, calling advanceBlock once per block; while no audio block has
// come for kAudioSilenceMs, a timer thread (TimerClockDriver) drives it
// instead through advanceFromTimer. One block at a time: whoever finds the
// other driving skips its block rather than wait. The driver is also the
// one consumer of the MIDI handler's queue: each block begins the MIDI
// handler's block and ends with its flush. Every tick inside a block is placed on its
// own sample: a MIDI timing clock is queued at that offset while clock
// sending is on, and a MIDI start right before it when play begins. The
// arpeggiator's steps (ArpeggioSteps) are played at each tick too, at the
// same offset: at one sample the start, the clock, the last step's note-off
// and the new step's note-on leave in that order, after whatever was queued
// for that sample before the block; a note ended by a cut of all notes goes
// at the block's first sample, before anything of a tick there. Every block
// ends with the MIDI handler's endBlock, which sends what falls inside it.
//
// The driving thread never emits Qt signals (a queued signal allocates):
// it records each tick in a fixed ring and wakes the GUI thread through an
// eventfd (WakeSignal) when the driver changed or a block recorded a tick
// someone waits for: the start, a quarter note (the clock lamp), or any tick
// while `ticked` has a receiver. The GUI thread drains the ring
// (deliverTicks) and only there are ticked, quaterNoteTick and
// playingStateChanged(true) emitted, in order; the ticks in between wait in
// the ring for the next wake, at most a quarter note. Otherwise the GUI
// thread is not woken at all. (Where no eventfd can be had,
// it drains every kDeliveryIntervalMs instead.)
//
// Threads and shared items:
// - m_clock, m_ticks' producer side: the driving thread only, one at a
//   time: m_driving is taken with an acquire exchange and given back with a
//   release store, so a block on the timer thread sees everything the
//   audio thread's last block wrote and the other way round.
// - m_ticks' consumer side: the GUI thread only (deliverTicks).
// - m_arpeggio: its own rules (the GUI thread publishes, the driving thread
//   plays; see ArpeggioSteps).
// - m_tickWake: notified by the driving thread, acknowledged by the GUI
//   thread (see WakeSignal).
// - m_startRequested, m_resetRequested: set by the GUI or MIDI input thread,
//   taken (exchange) by the driving thread.
// - m_tickFollowers: counted by whichever thread connects to or
//   disconnects from `ticked` (connectNotify), read by the driving thread.
// - m_playing, m_samplePosition, m_currentTick, m_samplesPerTick,
//   m_lostTicks, m_active, m_lastAudioNs, m_timerDriving: atomics, written
//   as documented at each, read anywhere.
// No lock is taken.
class MidiHandler;
class MidiSettings;
class QSocketNotifier;

class Transport : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY playingStateChanged)
    // Whether the timer thread drives the clock (no audio device runs).
    Q_PROPERTY(bool isClockFromTimer READ isClockFromTimer NOTIFY clockDriverChanged)

public:
    static constexpr int kTicksPerQuarterNote = TickClock::kTicksPerQuarterNote;
    // How often the GUI thread passes the recorded ticks on when it cannot
    // be woken by the driving thread (no eventfd).
    static constexpr int kDeliveryIntervalMs = 4;
    // Ticks recorded and not yet passed on; at 300 beats per minute that is
    // more than 8 seconds of a stalled GUI thread.
    static constexpr std::size_t kTickRingSize = 1024;
    // No audio block for this long: the timer thread may drive.
    static constexpr int kAudioSilenceMs = 25;

    // `settings` (sample rate, tempo, clock sending) outlives the transport;
    // `midi` receives the clock and the flush of each block, and may be none.
    explicit Transport(const MidiSettings& settings, MidiHandler* midi = nullptr,
                       QObject* parent = nullptr);
    ~Transport() override;

    // Quitting detaches the MIDI handler before releasing it, once the audio
    // callback has stopped (GUI thread).
    void setMidiHandler(MidiHandler* midi) { m_midi = midi; }

    // The arpeggiator's steps, played on this transport's ticks (the
    // Arpeggiator publishes its held notes there).
    ArpeggioSteps& arpeggioSteps() { return m_arpeggio; }

    // One audio block of `numSamples` samples (audio thread). Every tick
    // that falls inside it is produced. Never allocates, locks or signals.
    void advanceBlock(int numSamples);
    // The same from the timer thread, only while the audio is silent.
    // Returns whether the block was run.
    bool advanceFromTimer(int numSamples);
    // No audio block for kAudioSilenceMs. Any thread.
    bool isAudioSilent() const;
    // How long until the audio counts as silent if no block comes: 0 when
    // it already is. Any thread.
    int64_t nanosecondsUntilAudioSilent() const;
    bool isClockFromTimer() const { return m_timerDriving.load(); }
    // Blocks skipped because the other driver was running one.
    uint64_t skippedBlocks() const { return m_skippedBlocks.load(); }
    // Quitting has begun: later blocks do nothing, not even a flush.
    void stopTicking();
    // Quitting, once the audio callback and the timer thread no longer drive
    // the transport (GUI thread): the arpeggiator's sounding note ends and
    // the MIDI handler sends everything pending, so no step is left hanging.
    // Does nothing while a block still runs.
    void endSounding();
    bool isActive() const { return m_active.load(); }

    // Emits the signals of the ticks recorded since the last call (GUI
    // thread; the driving thread's wake-up calls it, tests may too).
    void deliverTicks();

    // Samples per tick at `sampleRate` and `tempo` (0 for a clock that stands
    // still: a tempo or rate of 0 or less).
    static double samplesPerTick(int sampleRate, int tempo);

    uint64_t samplePosition() const { return m_samplePosition.load(); }
    uint64_t currentTick() const { return m_currentTick.load(); }
    double currentSamplesPerTick() const { return m_samplesPerTick.load(); }
    bool isStartRequested() const { return m_startRequested.load(); }
    // Ticks the GUI thread was too late to take from the ring (not signalled).
    uint64_t lostTickSignals() const { return m_lostTicks.load(); }

Q_SIGNALS:
    void playingStateChanged(bool newState);
    void ticked(uint64_t currentTick);
    void quaterNoteTick();
    void clockDriverChanged();

public Q_SLOTS:
    // Play starts at the next tick while clock sending is on.
    void startPlay();
    // Queues a MIDI stop (sent even while stopped) and stops playing.
    void stopPlay();
    bool isPlaying() const { return m_playing.load(); }
    // Restarts the count at the next block; does not touch playing.
    void reset();

protected:
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;

private:
    bool drive(int numSamples, bool fromTimer);
    void runBlock(int numSamples);

    struct TickEvent
    {
        uint64_t index;
        bool started;
    };

    const MidiSettings& m_settings;
    // Read by the audio callback; changed only while it is stopped.
    MidiHandler* m_midi = nullptr;
    TickClock m_clock;
    ArpeggioSteps m_arpeggio;
    SpscRing<TickEvent, kTickRingSize> m_ticks;
    WakeSignal m_tickWake;
    // Receivers of `ticked`: while there are any, every tick wakes the GUI
    // thread.
    std::atomic<int> m_tickFollowers{0};
    // GUI thread: watches m_tickWake; the timer only when it is not valid.
    std::unique_ptr<QSocketNotifier> m_tickNotifier;
    QTimer m_deliveryTimer;
    // Written by the driving thread (and zeroed by reset()).
    std::atomic<uint64_t> m_samplePosition{0};
    std::atomic<uint64_t> m_currentTick{0};
    std::atomic<double> m_samplesPerTick{0.0};
    std::atomic<uint64_t> m_lostTicks{0};
    std::atomic<bool> m_startRequested{false};
    std::atomic<bool> m_resetRequested{false};
    // Set by the driving thread at a start, cleared by stopPlay.
    std::atomic<bool> m_playing{false};
    std::atomic<bool> m_active{true};
    std::atomic<bool> m_driving{false};
    std::atomic<bool> m_timerDriving{false};
    std::atomic<int64_t> m_lastAudioNs{0};
    std::atomic<uint64_t> m_skippedBlocks{0};
    // GUI thread: the driver last announced.
    bool m_announcedTimer = false;
};
