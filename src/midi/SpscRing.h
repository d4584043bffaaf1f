// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

// A fixed ring of `Capacity` items between exactly one producer thread and
// one consumer thread, for the audio thread: push and pop never lock, never
// wait and never allocate. A full ring refuses the item (push returns
// false); the producer counts what it loses.
//
// Memory order: the producer writes the slot, then publishes it with a
// release store of m_head; the consumer's acquire load of m_head makes the
// slot's contents visible before it reads them. The consumer frees the slot
// with a release store of m_tail after reading it; the producer's acquire
// load of m_tail keeps it from overwriting a slot still being read. Each
// index is written by one side only.
template <typename T, std::size_t Capacity> class SpscRing
{
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0,
                  "capacity must be a power of two");

public:
    // Producer thread.
    bool push(const T& item)
    {
        const std::size_t head = m_head.load(std::memory_order_relaxed);
        if (head - m_tail.load(std::memory_order_acquire) == Capacity)
            return false;
        m_items[head & (Capacity - 1)] = item;
        m_head.store(head + 1, std::memory_order_release);
        return true;
    }

    // Consumer thread.
    bool pop(T& item)
    {
        const std::size_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail == m_head.load(std::memory_order_acquire))
            return false;
        item = m_items[tail & (Capacity - 1)];
        m_tail.store(tail + 1, std::memory_order_release);
        return true;
    }

private:
    std::array<T, Capacity> m_items{};
    alignas(64) std::atomic<std::size_t> m_head{0}; // producer's
    alignas(64) std::atomic<std::size_t> m_tail{0}; // consumer's
};
