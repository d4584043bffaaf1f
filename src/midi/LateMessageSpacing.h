// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// Where a port writes messages whose frame has already passed (the server
// skipped cycles, or the port's client missed them): the first late one as
// soon as possible, each one after it at least half its own spacing from
// the one before, so a clock's ticks due in the lost frames go out at twice
// their rate rather than all on one frame, and the ones due later are back
// on their own frame as soon as the late ones have caught up. Messages due
// on the same frame (the halves of a 14-bit pair) stay together.
//
// Pure logic on JACK frame times (wrapping at 2^32); one caller at a time
// (the port's process callback).
class LateMessageSpacing
{
public:
    // The frame to write a message due on `due` on, in a cycle beginning on
    // `cycleStart`: never before either.
    uint32_t place(uint32_t due, uint32_t cycleStart) const;
    // The message due on `due` was written on `at`.
    void written(uint32_t due, uint32_t at);

private:
    bool m_catchingUp = false;
    uint32_t m_lastDue = 0;
    uint32_t m_lastAt = 0;
};
