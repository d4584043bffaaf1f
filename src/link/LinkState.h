// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The application state the receiver link reads and writes.
//
// Threads: every call may come from the link thread; implementations keep
// each item atomic.
class LinkState
{
public:
    virtual ~LinkState() = default;

    virtual bool getConnectionState() const = 0;
    virtual void setConnectionState(bool newState) = 0;
    // While live mode is on, a band's request to enter mapping mode is
    // ignored.
    virtual bool getLiveModeState() const = 0;
    virtual void setFocusedDevice(int index) = 0;
};
