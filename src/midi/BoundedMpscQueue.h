// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

// A fixed queue of `T` from any number of producer threads to one consumer,
// for the audio thread: push and pop never lock, never wait for another
// thread and never allocate (the cells are allocated once, at construction).
// A full queue refuses the item (push returns false).
//
// Each cell carries a sequence number. A producer claims a cell by a CAS on
// m_enqueue, writes the item, then publishes it with a release store of the
// cell's sequence (position + 1). The consumer's acquire load of that
// sequence makes the item visible before it reads it; after reading, its
// release store of position + capacity hands the cell back, and a
// producer's acquire load of the sequence orders its write after that read.
// A producer that claimed a cell but has not yet published it holds back
// the consumer (pop returns false until it has): the consumer never waits,
// it only sees the message one pass later.
template <typename T> class BoundedMpscQueue
{
public:
    explicit BoundedMpscQueue(std::size_t capacity)
        : m_capacity(roundUp(capacity)), m_mask(m_capacity - 1),
          m_cells(std::make_unique<Cell[]>(m_capacity))
    {
        for (std::size_t i = 0; i < m_capacity; ++i)
            m_cells[i].sequence.store(i, std::memory_order_relaxed);
    }

    std::size_t capacity() const { return m_capacity; }

    // Any thread.
    bool push(const T& item)
    {
        std::size_t position = m_enqueue.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = m_cells[position & m_mask];
            const std::size_t sequence = cell.sequence.load(std::memory_order_acquire);
            const auto diff = static_cast<std::ptrdiff_t>(sequence - position);
            if (diff == 0) {
                if (m_enqueue.compare_exchange_weak(position, position + 1,
                                                    std::memory_order_relaxed)) {
                    cell.item = item;
                    cell.sequence.store(position + 1, std::memory_order_release);
                    return true;
                }
            } else if (diff < 0) {
                return false; // full
            } else {
                position = m_enqueue.load(std::memory_order_relaxed);
            }
        }
    }

    // The one consumer thread.
    bool pop(T& item)
    {
        Cell& cell = m_cells[m_dequeue & m_mask];
        const std::size_t sequence = cell.sequence.load(std::memory_order_acquire);
        if (static_cast<std::ptrdiff_t>(sequence - (m_dequeue + 1)) < 0)
            return false; // empty, or the next producer has not finished
        item = cell.item;
        cell.sequence.store(m_dequeue + m_capacity, std::memory_order_release);
        ++m_dequeue;
        return true;
    }

    // An estimate (exact while no one pushes or pops); any thread.
    std::size_t sizeApprox() const
    {
        const std::size_t enqueued = m_enqueue.load(std::memory_order_acquire);
        const std::size_t dequeued = m_dequeueShared.load(std::memory_order_acquire);
        return enqueued - dequeued;
    }
    // Consumer: publishes its position for sizeApprox().
    void publishConsumed() { m_dequeueShared.store(m_dequeue, std::memory_order_release); }

private:
    struct Cell
    {
        std::atomic<std::size_t> sequence{0};
        T item{};
    };

    static std::size_t roundUp(std::size_t n)
    {
        std::size_t size = 2;
        while (size < n)
            size <<= 1;
        return size;
    }

    const std::size_t m_capacity;
    const std::size_t m_mask;
    std::unique_ptr<Cell[]> m_cells;
    alignas(64) std::atomic<std::size_t> m_enqueue{0};
    alignas(64) std::size_t m_dequeue = 0; // consumer only
    std::atomic<std::size_t> m_dequeueShared{0};
};
