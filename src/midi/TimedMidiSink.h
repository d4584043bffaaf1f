// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// An output that places each message on its own sample: the MIDI handler's
// flush hands it every message with its offset in the block being flushed
// (in the order of their offsets). Called only by the MIDI handler's one
// consumer, with the handler's port lock held; must not lock, wait or
// allocate.
class TimedMidiSink
{
public:
    virtual ~TimedMidiSink() = default;
    // A block of `blockLength` samples begins. A sink that runs on a clock of
    // its own ties the block to it and returns the steady-clock time
    // (nanoseconds) at which the block's first sample was due, so that "now"
    // on the audio clock follows the sink's clock rather than the moment the
    // consumer happened to run; -1 when it has none.
    virtual int64_t beginBlock(int blockLength)
    {
        (void)blockLength;
        return -1;
    }
    // `offset` is the message's due sample less the block's first one: below
    // 0 for a message that is already late, at or beyond `blockLength` for
    // one due in a later block.
    virtual void send(const uint8_t* bytes, int size, int offset, int blockLength) = 0;
};
