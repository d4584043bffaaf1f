// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/TimerClockDriver.h"

#include "midi/MidiSettings.h"
#include "midi/Transport.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>

TimerClockDriver::TimerClockDriver(Transport& transport, const MidiSettings& settings)
    : m_transport(transport), m_settings(settings)
{
}

TimerClockDriver::~TimerClockDriver()
{
    stop();
}

void TimerClockDriver::start()
{
    if (m_thread.joinable())
        return;
    m_running.store(true);
    m_thread = std::thread([this] { run(); });
}

void TimerClockDriver::stop()
{
    m_running.store(false);
    if (m_thread.joinable())
        m_thread.join();
}

void TimerClockDriver::run()
{
    pthread_setname_np(pthread_self(), "kinetra-clock");
    using Clock = std::chrono::steady_clock;
    Clock::time_point epoch = Clock::now();
    Clock::time_point wake = epoch + std::chrono::microseconds(kWakeIntervalUs);
    int64_t produced = 0; // samples handed over since epoch
    int rate = 0;
    bool counting = false;
    while (m_running.load()) {
        const Clock::time_point now = Clock::now();
        if (wake < now)
            wake = now; // behind: do not try to catch up wake-ups
        std::this_thread::sleep_until(wake);
        wake += std::chrono::microseconds(kWakeIntervalUs);

        const int currentRate = m_settings.getAudioSampleRate();
        const int64_t untilSilent = m_transport.nanosecondsUntilAudioSilent();
        if (untilSilent > 0 || currentRate <= 0) {
            counting = false;
            // The audio callback drives: sleep until it would count as
            // silent rather than look every millisecond (at most
            // Transport::kAudioSilenceMs, so that taking over is as prompt
            // as before and stop() waits no longer than that).
            wake = Clock::now() +
                   std::chrono::nanoseconds(currentRate <= 0
                                                ? int64_t(Transport::kAudioSilenceMs) * 1000000
                                                : untilSilent);
            continue;
        }
        const Clock::time_point at = Clock::now();
        if (!counting || currentRate != rate) {
            // Start counting from here: the samples before belonged to the
            // audio device, or to another rate.
            counting = true;
            rate = currentRate;
            epoch = at;
            produced = 0;
            continue;
        }
        const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(at - epoch).count();
        const int64_t due = ns * rate / 1000000000;
        int64_t block = due - produced;
        if (block <= 0)
            continue;
        if (block > kMaxBlock) {
            produced = due - kMaxBlock;
            block = kMaxBlock;
        }
        if (m_transport.advanceFromTimer(int(block)))
            produced += block;
    }
}
