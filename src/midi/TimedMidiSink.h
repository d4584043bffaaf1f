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
    // A block of `blockLength` samples begins (before any send of it): a
    // sink that runs on a clock of its own ties the block to it.
    virtual void beginBlock(int blockLength) { (void)blockLength; }
    // `offset` is the message's due sample less the block's first one: below
    // 0 for a message that is already late, at or beyond `blockLength` for
    // one due in a later block.
    virtual void send(const uint8_t* bytes, int size, int offset, int blockLength) = 0;
};
