// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <atomic>
#include <cstdint>

// One live source as the OSC tick publishes it: its settings, and the value
// the frame processing keeps up to date.
struct LiveControl
{
    QString name;
    // The source's live value; the engine's sources outlive its OSC tick.
    const std::atomic<float>* value = nullptr;
    uint8_t eventNumber = 0;
    uint8_t channel = 0;
};

// Where the engine's OSC tick publishes the live sources (the OSC sender).
class ControlPublisher
{
public:
    virtual ~ControlPublisher() = default;

    // The `count` live, enabled sources in slot order (none is allowed);
    // given on the GUI thread whenever one of their settings changes.
    virtual void setLiveControls(const LiveControl* controls, int count) = 0;
    // One tick: the sources last given, with their values now. Called on
    // the OSC tick thread (or the GUI thread); must not allocate.
    virtual void publishLiveControls() = 0;
};
