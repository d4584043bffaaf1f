// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The audio format the application state keeps: the preferred one at
// start-up, and the one the running device reports.
//
// Threads: written from the audio device's start-up (any thread); the items
// are atomic.
class AudioFormatState
{
public:
    virtual ~AudioFormatState() = default;

    virtual int getAudioSampleRate() const = 0;
    virtual int getAudioBufferSize() const = 0;
    virtual void setAudioSampleRate(int newValue) = 0;
    virtual void setAudioBufferSize(int newValue) = 0;
};
