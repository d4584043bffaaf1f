// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// An output that places each message on its own sample: the MIDI handler's
// flush hands it every message with its offset in the block being flushed
// (in the order of their offsets). Called only by the MIDI handler's one
// consumer, inside its flush; must not lock, wait or allocate.
class TimedMidiSink
{
public:
    virtual ~TimedMidiSink() = default;
    virtual void send(const uint8_t* bytes, int size, int offset, int blockLength) = 0;
};
