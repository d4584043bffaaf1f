// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The modes the control sources and the OSC tick read.
//
// Threads: read from the link thread and the GUI thread; implementations
// keep each item atomic.
class ControlModes
{
public:
    virtual ~ControlModes() = default;

    virtual bool getHiResMidiState() const = 0;
    virtual bool getMappingModeState() const = 0;
    virtual bool getConnectionState() const = 0;
};
