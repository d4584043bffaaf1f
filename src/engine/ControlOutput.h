// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace juce {
class MidiMessage;
}

// Where the control sources send their MIDI (the MIDI handler).
class ControlOutput
{
public:
    virtual ~ControlOutput() = default;

    // Adds a message to the pending buffer; any thread, never blocks.
    virtual void queueMessage(const juce::MidiMessage& message, int samplePosition = 0) = 0;
    // The same, due on `dueSample` of the audio clock (a frame's arrival,
    // as the link stamped it); any thread, never blocks.
    virtual void queueMessageAt(const juce::MidiMessage& message, int64_t dueSample) = 0;
    // Sends one message at once; GUI thread.
    virtual void sendNow(const juce::MidiMessage& message) = 0;
    // Sends the pending messages now.
    virtual void flushBuffer() = 0;
    // Sends the pending messages when the audio block that should have is
    // late; any thread. Returns whether it did.
    virtual bool flushIfAudioLate() = 0;
};
