// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

// Wakes a thread's event loop from any thread, including the audio callback
// and the JACK process thread: the consumer watches fd() (a QSocketNotifier
// on the GUI thread) instead of polling on a timer, so it sleeps while
// nothing is produced.
//
// Threads and shared items:
// - notify(): any number of producers. m_pending is exchanged (an atomic,
//   lock-free) and only the producer that finds no wake pending writes to
//   the eventfd, so a burst costs one system call.
// - acknowledge(): the one consumer, before it looks at what was produced
//   (so that a producer that comes after the look wakes it again).
// No lock is taken and nothing is allocated.
class WakeSignal
{
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // False when the system refused an eventfd; the consumer then polls.
    bool isValid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

    // Real-time safe: one atomic exchange and, at most, one write(2) of 8
    // bytes to an eventfd (non-blocking; no lock, no allocation).
    void notify() noexcept;
    // Consumer: clears the wake before reading what was produced.
    void acknowledge() noexcept;

private:
    int m_fd = -1;
    std::atomic<bool> m_pending{false};
};
