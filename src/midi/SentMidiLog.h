// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// The last short MIDI messages sent, for the window's MIDI monitor.
//
// Threads: record() is called by whoever sends (the audio thread or the GUI
// thread, always under MidiHandler's port lock, so one writer at a time); it
// never allocates or locks. latest() runs on the GUI thread. Each message is
// packed into one atomic word, so a reader never sees half a message; a
// reader that is lapped by the writer may see a newer message in an older
// place, which a monitor can live with.
class SentMidiLog
{
public:
    static constexpr int kCapacity = 64;

    // Keeps a channel or system message of 1 to 3 bytes; MIDI clock ticks
    // (24 per beat) are left out so that they do not flood the monitor.
    void record(const uint8_t* bytes, int size);

    // Messages recorded so far (it only grows).
    uint32_t count() const { return m_written.load(std::memory_order_acquire); }

    // Up to `max` of the newest messages, oldest first, each packed as
    // status | data1 << 8 | data2 << 16 | size << 24.
    std::vector<uint32_t> latest(int max) const;

    // "CH1 CC74 = 96", "CH2 Note on 60 vel 100", "Start"...
    static std::string describe(uint32_t packed);

private:
    std::array<std::atomic<uint32_t>, kCapacity> m_entries{};
    std::atomic<uint32_t> m_written{0};
};
