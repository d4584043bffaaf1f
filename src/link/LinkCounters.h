// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

// Raw tallies of what the receiver link received, per receiver slot: the
// motion frames that reached a known band, when the last one came, and the
// bytes the framer had to skip (damaged, cut or stray bytes).
//
// Threads: the link thread is the only writer (SerialHandler); any thread
// may read. Every field is an atomic of its own, read and written relaxed: a
// reader may see a slot's frame count one frame ahead of its time stamp,
// which the once-a-second arithmetic does not notice. No lock.
class LinkCounters
{
public:
    // The slot number is four bits of a frame's header.
    static constexpr int kSlots = 16;

    struct Slot
    {
        uint64_t uuid = 0;
        uint64_t frames = 0;
        // Monotonic milliseconds of the last frame, -1 before the first.
        int64_t lastFrameMs = -1;
    };

    // Milliseconds on the monotonic clock every time stamp here uses.
    static int64_t nowMs()
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

    // Link thread.
    void noteMotion(uint8_t slot, uint64_t uuid, int64_t atMs)
    {
        SlotCounters& s = m_slots[slot % kSlots];
        s.uuid.store(uuid, std::memory_order_relaxed);
        s.frames.fetch_add(1, std::memory_order_relaxed);
        s.lastFrameMs.store(atMs, std::memory_order_relaxed);
    }
    void setSkippedBytes(uint64_t total) { m_skippedBytes.store(total, std::memory_order_relaxed); }

    // Any thread.
    Slot slot(int index) const
    {
        const SlotCounters& s = m_slots[size_t(index % kSlots)];
        return Slot{s.uuid.load(std::memory_order_relaxed),
                    s.frames.load(std::memory_order_relaxed),
                    s.lastFrameMs.load(std::memory_order_relaxed)};
    }
    uint64_t skippedBytes() const { return m_skippedBytes.load(std::memory_order_relaxed); }

private:
    struct SlotCounters
    {
        std::atomic<uint64_t> uuid{0};
        std::atomic<uint64_t> frames{0};
        std::atomic<int64_t> lastFrameMs{-1};
    };

    std::array<SlotCounters, kSlots> m_slots;
    std::atomic<uint64_t> m_skippedBytes{0};
};
