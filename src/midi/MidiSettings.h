// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The application state the MIDI side reads: the audio format that paces
// the clock and the late flush, the tempo and the clock and arpeggiator
// switches.
//
// Threads: read from the audio, link and MIDI-input threads as well as the
// GUI thread; implementations keep each item atomic.
class MidiSettings
{
public:
    virtual ~MidiSettings() = default;

    virtual int getAudioSampleRate() const = 0;
    virtual int getAudioBufferSize() const = 0;
    virtual int getTempo() const = 0;
    virtual bool getSendingClockState() const = 0;
    virtual bool getSyncingToClockState() const = 0;
    virtual bool getArpeggiatorState() const = 0;
};
