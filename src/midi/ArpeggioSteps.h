// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

// The arpeggiator's steps, worked out by whoever drives the transport (the
// audio callback, or the clock timer thread) at each tick, so that a step's
// note-on and its note-off leave on the very sample of their ticks, beside
// the tick's clock, however late the GUI thread is.
//
// Every kStepLength-th tick the next of the held notes, in the order they
// were pressed, starts; it ends on the following tick. Exactly one note-off
// follows every note-on: the driving thread alone knows what sounds. The
// GUI thread keeps the held notes (Arpeggiator) and publishes them here;
// a step plays the notes published before its block began.
//
// Threads and shared items:
// - publishHeld, setAttached, cut: the GUI thread (one writer).
// - beginBlock, tick: the driving thread, one block at a time (the
//   transport hands the driving over with an acquire exchange and a release
//   store, so m_front, m_sounding, m_steps and m_cutsTaken are in effect one
//   thread's).
// - m_slots/m_middle: a triple buffer. The writer fills m_slots[m_back] and
//   swaps it into the middle with an acq_rel exchange that sets kFresh (the
//   release publishes the notes); the reader, seeing kFresh, swaps its
//   front slot for the middle one with an acq_rel exchange (the acquire
//   makes the notes visible; the release hands its old front slot back, so
//   the writer never fills a slot being read). Neither side waits or
//   allocates; the reader always gets the latest complete list.
// - m_cutRequests: counted up by the GUI thread (release), compared by the
//   driving thread (acquire) with the count it has taken.
// - m_attached: GUI writes, driver reads. m_soundingShared, m_stepsShared:
//   the driver publishes them (relaxed) for any thread to read.
// No lock is taken.
class ArpeggioSteps
{
public:
    static constexpr int kChannel = 1;
    static constexpr int kStepLength = 6;     // ticks per step
    static constexpr uint8_t kVelocity = 102; // 0.8 on the 0-1 scale
    // Held notes are distinct note numbers.
    static constexpr int kMaxHeld = 128;

    // What a tick sends on kChannel, in this order (at the same sample,
    // after the tick's clock): the last step's note-off, the new step's
    // note-on; -1 for none.
    struct Change
    {
        int noteOff = -1;
        int noteOn = -1;
    };

    // The notes held, oldest first (GUI thread). Beyond kMaxHeld are left out.
    void publishHeld(const uint8_t* notes, int count);
    // Whether an arpeggiator plays the steps; while not, none starts (GUI
    // thread).
    void setAttached(bool attached) { m_attached.store(attached); }
    // The sounding note ends at the start of the next block (GUI thread).
    void cut() { m_cutRequests.fetch_add(1, std::memory_order_release); }

    // A block begins (driving thread): takes the latest held notes and a
    // cut asked for since the last block. Returns the note the cut ends, to
    // be sent at the block's first sample, or -1.
    int beginBlock();
    // Tick `index` (driving thread); `on`: the arpeggiator is switched on.
    Change tick(uint64_t index, bool on);
    // The sounding note, ended now, or -1 (the driving thread, or whoever
    // holds the transport's driving once no block will run any more).
    int stop();

    // Any thread.
    int soundingNote() const { return m_soundingShared.load(std::memory_order_relaxed); }
    int stepCounter() const { return m_stepsShared.load(std::memory_order_relaxed); }

private:
    struct Notes
    {
        int count = 0;
        std::array<uint8_t, kMaxHeld> numbers{};
    };
    static constexpr int kFresh = 4;

    void publishState();

    std::array<Notes, 3> m_slots{};
    std::atomic<int> m_middle{1};
    int m_back = 0;  // GUI thread
    int m_front = 2; // driving thread
    std::atomic<uint32_t> m_cutRequests{0};
    std::atomic<bool> m_attached{false};

    // Driving thread.
    uint32_t m_cutsTaken = 0;
    int m_sounding = -1;
    int m_steps = 0;

    std::atomic<int> m_soundingShared{-1};
    std::atomic<int> m_stepsShared{0};
};
