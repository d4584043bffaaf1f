// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

class MidiSettings;
class Transport;

// Drives the transport from a thread of its own while no audio device does:
// every kWakeIntervalUs it counts the samples the steady clock says have
// passed at the application's sample rate and hands them to the transport
// as one block, so that play, the MIDI clock, the arpeggiator and the flush
// of the wheels' MIDI go on without an audio device. It stands aside (and
// starts counting afresh) as long as the audio callback drives the
// transport, sleeping until the audio would count as silent instead of
// waking every kWakeIntervalUs; the transport decides who drives
// (Transport::advanceFromTimer).
//
// Threads: start() and stop() on the GUI thread; the loop on the thread
// "kinetra-clock". m_running is the only item shared with the loop.
class TimerClockDriver
{
public:
    static constexpr int kWakeIntervalUs = 1000;
    // More than this many samples at once (the thread was not scheduled for
    // a long while) are skipped rather than produced in a burst.
    static constexpr int kMaxBlock = 4096;

    TimerClockDriver(Transport& transport, const MidiSettings& settings);
    ~TimerClockDriver();
    TimerClockDriver(const TimerClockDriver&) = delete;
    TimerClockDriver& operator=(const TimerClockDriver&) = delete;

    void start();
    // Stops and joins the thread; idempotent.
    void stop();
    bool isRunning() const { return m_thread.joinable(); }

private:
    void run();

    Transport& m_transport;
    const MidiSettings& m_settings;
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};
