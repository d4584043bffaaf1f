// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/WakeSignal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

WakeSignal::WakeSignal() : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeSignal::~WakeSignal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void WakeSignal::notify() noexcept
{
    if (m_fd < 0 || m_pending.exchange(true, std::memory_order_acq_rel))
        return;
    const uint64_t one = 1;
    // A full counter (never with one write per acknowledge) would fail with
    // EAGAIN; the consumer is awake then anyway.
    [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
}

void WakeSignal::acknowledge() noexcept
{
    if (m_fd < 0)
        return;
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(m_fd, &count, sizeof count);
    // An exchange, not a store: it reads the producer's exchange, so what
    // that producer pushed before notifying is visible to the look that
    // follows.
    m_pending.exchange(false, std::memory_order_acq_rel);
}
