// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The switches of the application state that the patch ("arpOn",
// "accessibilityOn") and the settings file keep, and the tempo the settings
// file remembers. GUI thread.
class PersistentFlags
{
public:
    virtual ~PersistentFlags() = default;

    virtual bool getArpeggiatorState() const = 0;
    virtual void setArpeggiatorState(bool newState) = 0;
    virtual bool getAccessibilityState() const = 0;
    virtual void setAccessibilityState(bool newState) = 0;
    virtual bool getHiResMidiState() const = 0;
    virtual void setHiResMidiState(bool newState) = 0;
    virtual bool getSyncingToClockState() const = 0;
    virtual void setSyncingToClockState(bool newState) = 0;
    virtual bool getSendingClockState() const = 0;
    virtual void setSendingClockState(bool newState) = 0;
    virtual bool getVirtualKeyboardState() const = 0;
    virtual void setVirtualKeyboardState(bool newState) = 0;
    virtual int getTempo() const = 0;
    virtual void setTempo(int newValue) = 0;
};
